#include "stream_io.h"

#include <algorithm>
#include <cstring>

namespace {

// Blocks move through one buffer of this size on the stack of the call in progress, so memory
// stays the same whatever size a file declares, and the streams are called once per 256 KiB.
constexpr std::int64_t kBlockSize = 256 * 1024;

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

} // namespace

void ReduceValues(unsigned char* bytes, std::size_t count, int K)
{
    unsigned char keep[kMaxMaskSize];
    const int maskSize = MakeKeepMask(keep, 0, 1, K);
    ApplyKeepMask(bytes, count * 4, keep, maskSize);
}

void CopyBlock(std::istream& source, std::ostream& sink, std::int64_t n)
{
    if (n < 0) {
        source.setstate(std::ios::eofbit | std::ios::failbit);
        sink.setstate(std::ios::badbit);
        return;
    }
    unsigned char buffer[kBlockSize];
    while (n > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t want = std::min(n, kBlockSize);
        source.read(AsChars(buffer), want);
        sink.write(AsChars(buffer), source.gcount());
        n -= want;
    }
}

void CopyReducedValues(std::istream& source, std::ostream& sink, std::int64_t n, int K)
{
    unsigned char buffer[kBlockSize];
    while (n > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t values = std::min(n, kBlockSize / 4);
        source.read(AsChars(buffer), values * 4);
        const std::streamsize got = source.gcount();
        // A value cut short by the end of the input is reduced too; only the bytes read are written.
        ReduceValues(buffer, static_cast<std::size_t>((got + 3) / 4), K);
        sink.write(AsChars(buffer), got);
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
    unsigned char buffer[kBlockSize];
    while (count > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t keys = std::min(count, keysPerBlock);
        source.read(AsChars(buffer), keys * keySize);
        const std::streamsize got = source.gcount();
        ApplyKeepMask(buffer, static_cast<std::size_t>(got), keep, maskSize);
        sink.write(AsChars(buffer), got);
        count -= keys;
    }
}

std::int64_t CopyCountThenBlock(std::istream& source, std::ostream& sink, int elementSize, std::int64_t room)
{
    const std::int64_t count = CopyInt32(source, sink);
    const std::int64_t bytes = count * elementSize;
    if (count < 0 || bytes > room - 4)
        return -1;
    CopyBlock(source, sink, bytes);
    return 4 + bytes;
}

std::int64_t CopyCountThenReduced(std::istream& source, std::ostream& sink, int components, int K, std::int64_t room)
{
    const std::int64_t count = CopyInt32(source, sink);
    const std::int64_t values = count * components;
    if (count < 0 || values * 4 > room - 4)
        return -1;
    CopyReducedValues(source, sink, values, K);
    return 4 + values * 4;
}

std::int64_t CopyCountedBlock(std::istream& source, std::ostream& sink, int elementSize, std::int64_t room)
{
    CopyInt32(source, sink); // the array's tag, copied whatever it is
    const std::int64_t bytes = CopyCountThenBlock(source, sink, elementSize, room - 4);
    return bytes < 0 ? -1 : bytes + 4;
}

std::int64_t CopyCountedReduced(std::istream& source, std::ostream& sink, int components, int K, std::int64_t room)
{
    CopyInt32(source, sink); // the array's tag, copied whatever it is
    const std::int64_t bytes = CopyCountThenReduced(source, sink, components, K, room - 4);
    return bytes < 0 ? -1 : bytes + 4;
}

void CopyRest(std::istream& source, std::ostream& sink)
{
    unsigned char buffer[kBlockSize];
    while (!IsWalkOver(source, sink)) {
        source.read(AsChars(buffer), kBlockSize);
        sink.write(AsChars(buffer), source.gcount());
    }
}
