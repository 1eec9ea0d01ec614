#include "sha256.h"

#include <openssl/evp.h>

#include "common.h"

namespace quro_pack {

void Sha256(const std::uint8_t* data, std::size_t size, std::uint8_t digest[32])
{
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) != 1 || length != 32)
        throw Failure("OpenSSL could not compute SHA-256");
}

}  // namespace quro_pack
