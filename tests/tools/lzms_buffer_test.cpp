// The Compression API buffer against genuine Windows output, and round
// trips through wimlib.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "lzms_buffer.h"
#include "test_support.h"

using namespace quro_pack;
using namespace quro_pack_test;

namespace {

const char* const kGenuine[] = {"zeros", "sequential", "english", "small", "random"};

Bytes Fixture(const std::string& name) { return ReadBytes(std::string(QURO_FIXTURES) + "/" + name); }

Bytes Compress(const Bytes& raw, bool store = false, lzms::CompressOptions options = {})
{
    Bytes out;
    options.store = store;
    lzms::AppendBuffer(raw.data(), raw.size(), options, out);
    return out;
}

lzms::Decoded Decode(const Bytes& buffer, std::size_t capacity, Bytes& out)
{
    out.assign(capacity, 0);
    std::size_t produced = 0;
    const lzms::Decoded d = lzms::Decompress(buffer.data(), buffer.size(), out.data(), out.size(), produced);
    out.resize(produced);
    return d;
}

// Runs of 4 KiB, each of its own byte value, rippled every 7 bytes: not
// trivial to compress, yet wimlib's LZMS gets through 64 MiB of it in a few
// seconds (text-like data takes it close to a minute).
Bytes CompressibleData(std::size_t size)
{
    Bytes data(size);
    std::minstd_rand random(7);
    std::uint8_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (i % 4096 == 0) value = std::uint8_t(random());
        data[i] = std::uint8_t(value + (i % 7 == 0));
    }
    return data;
}

}  // namespace

TEST(LzmsBuffer, GenuineWindowsBuffersDecodeToTheirData)
{
    for (const char* name : kGenuine) {
        SCOPED_TRACE(name);
        const Bytes buffer = Fixture(std::string(name) + ".lzms"), raw = Fixture(std::string(name) + ".raw");
        Bytes out;
        ASSERT_EQ(Decode(buffer, raw.size(), out), lzms::Decoded::Ok);
        EXPECT_EQ(out, raw);
    }
}

TEST(LzmsBuffer, WritesTheHeaderWindowsWrites)
{
    for (const char* name : kGenuine) {
        SCOPED_TRACE(name);
        const Bytes genuine = Fixture(std::string(name) + ".lzms");
        const Bytes ours = Compress(Fixture(std::string(name) + ".raw"));
        ASSERT_GE(ours.size(), 24u);
        EXPECT_EQ(Bytes(ours.begin(), ours.begin() + 24), Bytes(genuine.begin(), genuine.begin() + 24));
    }
    // Incompressible data is stored, so all of it must match Windows.
    EXPECT_EQ(Compress(Fixture("random.raw")), Fixture("random.lzms"));
}

TEST(LzmsBuffer, RoundTrips)
{
    std::mt19937 random(1);
    Bytes incompressible(100000);
    for (auto& b : incompressible) b = std::uint8_t(random());
    const std::size_t big = (std::size_t(64) << 20) + 1234567;
    enum Chunks { Either, Stored, Lzms };
    // Sixteen threads asked for, memory for one 64 MiB chunk at a time.
    lzms::CompressOptions oneAtATime;
    oneAtATime.threads = 16;
    oneAtATime.memoryBudget = lzms::ChunkMemory(64u << 20, oneAtATime);
    struct Case {
        const char* name;
        Bytes data;
        std::size_t chunks;
        bool store;
        Chunks expect;
        lzms::CompressOptions options = {};
    };
    const Case cases[] = {
        {"empty", {}, 0, false, Either},
        {"one byte", {42}, 1, false, Stored},
        {"tiny", ToBytes("hello, hello, hello"), 1, false, Either},
        {"incompressible", incompressible, 1, false, Stored},
        {"over 64 MiB", CompressibleData(big), 2, false, Lzms},
        {"over 64 MiB, stored", CompressibleData(big), 2, true, Stored},
        {"over 64 MiB, one chunk at a time", CompressibleData(big), 2, false, Lzms, oneAtATime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes buffer = Compress(c.data, c.store, c.options);
        const lzms::BufferInfo info = lzms::Describe(buffer.data(), buffer.size());
        ASSERT_TRUE(info.headerValid && info.recordsValid);
        ASSERT_EQ(info.chunks.size(), c.chunks);
        for (const lzms::ChunkInfo& chunk : info.chunks)
            if (c.expect != Either) {
                EXPECT_EQ(chunk.stored(), c.expect == Stored);
            }
        Bytes out;
        ASSERT_EQ(Decode(buffer, c.data.size(), out), lzms::Decoded::Ok);
        EXPECT_TRUE(out == c.data);
    }
}

TEST(LzmsBuffer, RefusesWhatWindowsRefuses)
{
    const Bytes raw = Fixture("english.raw");
    const Bytes good = Compress(raw);
    // Each edit keeps the header CRC right, so that the check it aims at decides.
    auto changed = [&](auto edit) {
        Bytes b = good;
        edit(b);
        if (b.size() >= 24) b[6] = compressapi::detail::HeaderCrc(b.data(), &lzms::Crc32);
        return b;
    };
    struct Case {
        const char* name;
        Bytes buffer;
        std::size_t capacity;
    };
    const Case cases[] = {
        {"output one byte over the capacity", good, raw.size() - 1},
        {"stream cut short", changed([](Bytes& b) { b.pop_back(); }), raw.size()},
        {"a byte after the last chunk", changed([](Bytes& b) { b.push_back(0); }), raw.size()},
        {"header CRC wrong",
         [&] {
             Bytes b = good;
             b[6] ^= 1;
             return b;
         }(),
         raw.size()},
        {"another algorithm", changed([](Bytes& b) { b[7] = 4; }), raw.size()},
        {"chunk size not min(total, 64 MiB)", changed([](Bytes& b) { b[16] ^= 1; }), raw.size()},
        {"chunk record of size 0", changed([](Bytes& b) { b[24] = b[25] = b[26] = b[27] = 0; }), raw.size()},
        {"shorter than the header", Bytes(good.begin(), good.begin() + 23), raw.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        EXPECT_EQ(Decode(c.buffer, c.capacity, out), lzms::Decoded::Corrupt);
    }
}
