#include "stream_io.h"

#include <algorithm>

namespace {

// Blocks move through one buffer of this size on the stack of the call in progress, so memory
// stays the same whatever size a file declares, and the streams are called once per 64 KiB.
constexpr std::int64_t kBlockSize = 64 * 1024;

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

void ReduceValues(unsigned char* bytes, std::size_t count, int K)
{
    // Little-endian: the low-order 4 - K bytes of each value come first. The mask spans four
    // values, so each step clears 16 bytes and the loop compiles to vector instructions.
    unsigned char keep[16];
    for (int b = 0; b < 16; ++b)
        keep[b] = b % 4 < 4 - K ? 0x00 : 0xFF;
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4, bytes += 16) {
        for (int b = 0; b < 16; ++b)
            bytes[b] &= keep[b];
    }
    for (; i < count; ++i, bytes += 4) {
        for (int b = 0; b < 4; ++b)
            bytes[b] &= keep[b];
    }
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
    const std::int64_t keySize = 4 * (1 + static_cast<std::int64_t>(valuesPerKey));
    const std::int64_t keysPerBlock = kBlockSize / keySize;
    unsigned char buffer[kBlockSize];
    while (count > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t keys = std::min(count, keysPerBlock);
        source.read(AsChars(buffer), keys * keySize);
        const std::streamsize got = source.gcount();
        // Each key: the frame time stays, the values after it are reduced.
        for (std::int64_t key = 0; key * keySize < got; ++key)
            ReduceValues(buffer + key * keySize + 4, static_cast<std::size_t>(valuesPerKey), K);
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
