#include "sha256.h"

#include <openssl/evp.h>

#include "common.h"

namespace quro_pack {
namespace {

[[noreturn]] void Fail() { throw Failure("OpenSSL could not compute SHA-256"); }

}  // namespace

void Sha256(const std::uint8_t* data, std::size_t size, std::uint8_t digest[32])
{
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) != 1 || length != 32) Fail();
}

struct Sha256Stream::Context {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(md); }
};

Sha256Stream::Sha256Stream() : context_(std::make_unique<Context>())
{
    if (!context_->md || EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) != 1) Fail();
}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Add(const std::uint8_t* data, std::size_t size)
{
    if (EVP_DigestUpdate(context_->md, data, size) != 1) Fail();
}

void Sha256Stream::Finish(std::uint8_t digest[32])
{
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->md, digest, &length) != 1 || length != 32) Fail();
}

}  // namespace quro_pack
