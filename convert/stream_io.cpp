#include "stream_io.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Blocks move through one buffer of at most this size, obtained for the copy in progress and
// released with it, so memory stays the same whatever size a file declares, and the streams are
// called once per 512 KiB (larger blocks were no faster; smaller ones were).
constexpr std::int64_t kBlockSize = 512 * 1024;

// A buffer of the smaller of bytes and kBlockSize for one block copy (bytes > 0). When that
// memory cannot be had, the sink is failed, which ends the walk; it is not made bad, which would
// say that a write was refused.
std::unique_ptr<unsigned char[]> ObtainBlockBuffer(std::ostream& sink, std::int64_t bytes)
{
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[std::min(bytes, kBlockSize)]);
    if (!buffer)
        sink.setstate(std::ios::failbit);
    return buffer;
}

char* AsChars(unsigned char* bytes)
{
    return reinterpret_cast<char*>(bytes);
}

} // namespace

bool IsWalkOver(const std::istream& source, const std::ostream& sink)
{
    return source.fail() || sink.fail();
}

std::int32_t DecodeInt32(const unsigned char* bytes)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[2]) << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::int32_t ReadInt32(std::istream& source)
{
    unsigned char bytes[4] = {0, 0, 0, 0};
    source.read(AsChars(bytes), 4);
    return DecodeInt32(bytes);
}

void WriteInt32(std::ostream& sink, std::int32_t value)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    unsigned char bytes[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                              static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    sink.write(AsChars(bytes), 4);
}

std::int32_t CopyInt32(std::istream& source, std::ostream& sink)
{
    unsigned char bytes[4] = {0, 0, 0, 0};
    source.read(AsChars(bytes), 4);
    // Only the bytes read are written, so even a failed walk's output never outgrows its input.
    sink.write(AsChars(bytes), source.gcount());
    return DecodeInt32(bytes);
}

namespace {

// The longest repeating pattern of kept and dropped bytes: 16 keys of a frame time and the most
// values a key holds (a Hermite or Bezier rotation: a quaternion and its two tangents).
constexpr int kMaxValuesPerKey = 12;
constexpr int kMaxMaskSize = 16 * 4 * (1 + kMaxValuesPerKey);

// Builds the pattern of kept (0xFF) and dropped (0x00) bytes of keys made of frameFields 32-bit
// fields copied unchanged, then valuesPerKey values that keep their high-order K bytes, repeated
// 16 times so that it spans whole 16-byte steps. Returns its length.
int MakeKeepMask(unsigned char* keep, int frameFields, int valuesPerKey, int K)
{
    const int keySize = 4 * (frameFields + valuesPerKey);
    const int maskSize = 16 * keySize;
    for (int b = 0; b < maskSize; ++b) {
        const int inKey = b % keySize;
        // Little-endian: the low-order 4 - K bytes of each value come first.
        keep[b] = inKey < 4 * frameFields || inKey % 4 >= 4 - K ? 0xFF : 0x00;
    }
    return maskSize;
}

// Clears the bytes that the mask drops, pattern after pattern. The mask is a whole number of
// 64-byte steps (16 keys of a multiple of 4 bytes), and a step of fixed length compiles to a few
// vector ANDs.
void ApplyKeepMask(unsigned char* bytes, std::size_t size, const unsigned char* keep, int maskSize)
{
    std::size_t b = 0;
    int at = 0;
    for (; b + 64 <= size; b += 64) {
        // A local copy of the step cannot overlap the data, so no overlap check is needed.
        unsigned char step[64];
        std::memcpy(step, keep + at, 64);
        for (int i = 0; i < 64; ++i)
            bytes[b + i] &= step[i];
        at += 64;
        if (at == maskSize)
            at = 0;
    }
    for (int i = 0; b < size; ++b, ++i)
        bytes[b] &= keep[at + i];
}

// Zeroes the low-order 4 - K bytes of each of count little-endian 4-byte values in place,
// keeping the high-order K bytes. K = 2 truncates a float to sign, exponent and 7 mantissa bits.
void ReduceValues(unsigned char* bytes, std::size_t count, int K)
{
    unsigned char keep[kMaxMaskSize];
    const int maskSize = MakeKeepMask(keep, 0, 1, K);
    ApplyKeepMask(bytes, count * 4, keep, maskSize);
}

} // namespace

void CopyBlock(std::istream& source, std::ostream& sink, std::int64_t n)
{
    if (n < 0) {
        source.setstate(std::ios::eofbit | std::ios::failbit);
        sink.setstate(std::ios::badbit);
        return;
    }
    if (n == 0)
        return;
    const std::unique_ptr<unsigned char[]> buffer = ObtainBlockBuffer(sink, n);
    while (n > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t want = std::min(n, kBlockSize);
        source.read(AsChars(buffer.get()), want);
        sink.write(AsChars(buffer.get()), source.gcount());
        n -= want;
    }
}

void CopyReducedValues(std::istream& source, std::ostream& sink, std::int64_t n, int K)
{
    if (n <= 0)
        return;
    const std::unique_ptr<unsigned char[]> buffer = ObtainBlockBuffer(sink, n * 4);
    while (n > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t values = std::min(n, kBlockSize / 4);
        source.read(AsChars(buffer.get()), values * 4);
        const std::streamsize got = source.gcount();
        // A value cut short by the end of the input is reduced too; only the bytes read are written.
        ReduceValues(buffer.get(), static_cast<std::size_t>((got + 3) / 4), K);
        sink.write(AsChars(buffer.get()), got);
        n -= values;
    }
}

void CopyKeyedReduced(std::istream& source, std::ostream& sink, std::int64_t count, int valuesPerKey, int K)
{
    if (valuesPerKey < 0 || valuesPerKey > kMaxValuesPerKey) {
        source.setstate(std::ios::failbit);
        return;
    }
    const std::int64_t keySize = 4 * (1 + static_cast<std::int64_t>(valuesPerKey));
    const std::int64_t keysPerBlock = kBlockSize / keySize;
    unsigned char keep[kMaxMaskSize];
    const int maskSize = MakeKeepMask(keep, 1, valuesPerKey, K);
    if (count <= 0)
        return;
    const std::unique_ptr<unsigned char[]> buffer = ObtainBlockBuffer(sink, std::min(count, keysPerBlock) * keySize);
    while (count > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t keys = std::min(count, keysPerBlock);
        source.read(AsChars(buffer.get()), keys * keySize);
        const std::streamsize got = source.gcount();
        ApplyKeepMask(buffer.get(), static_cast<std::size_t>(got), keep, maskSize);
        sink.write(AsChars(buffer.get()), got);
        count -= keys;
    }
}

void CopyRest(std::istream& source, std::ostream& sink)
{
    const std::unique_ptr<unsigned char[]> buffer = ObtainBlockBuffer(sink, kBlockSize);
    while (!IsWalkOver(source, sink)) {
        source.read(AsChars(buffer.get()), kBlockSize);
        sink.write(AsChars(buffer.get()), source.gcount());
    }
}
