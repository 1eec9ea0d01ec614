#include "sha256.h"

#include <openssl/evp.h>

#include "common.h"

namespace quro_pack {
namespace {

[[noreturn]] void Fail() { throw Failure("OpenSSL could not compute SHA-256"); }

}  // namespace

void Sha256(const std::uint8_t* data, std::size_t size, std::uint8_t digest[32])
{
    // inspect --json hashes every file of a list that may hold millions:
    // the algorithm is looked up once and each thread keeps its context, as
    // a lookup per call takes OpenSSL's locks and most of the time.
    static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    thread_local const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned int length = 0;
    if (!md || !context || EVP_DigestInit_ex2(context.get(), md, nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), data, size) != 1 || EVP_DigestFinal_ex(context.get(), digest, &length) != 1 ||
        length != 32)
        Fail();
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
