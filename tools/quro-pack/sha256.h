// The package header's fingerprint. Writing a package computes it, reading
// one checks it, and inspect --json lists it for every file; none of them
// should need the others to get at it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quro_pack {

// Throws Failure when OpenSSL cannot compute it.
void Sha256(const std::uint8_t* data, std::size_t size, std::uint8_t digest[32]);

// The same over data that comes in pieces, never all in memory at once.
class Sha256Stream {
public:
    Sha256Stream();  // throws Failure
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;

    void Add(const std::uint8_t* data, std::size_t size);  // throws Failure
    void Finish(std::uint8_t digest[32]);                  // throws Failure

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace quro_pack
