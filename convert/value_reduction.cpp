#include "value_reduction.h"

#include "stream_io.h"

#include <algorithm>

namespace {

// Values move through blocks of this size on the stack: a few system calls per track or array,
// and no heap memory to fail.
constexpr std::int64_t kAskedBlockSize = 16 * 1024;

constexpr std::uint32_t kExponentBits = 0x7F800000u;
constexpr std::uint32_t kDroppedBits = 0x0000FFFFu;
constexpr std::uint32_t kLastKeptBit = 0x00010000u;

void EncodeUint32(std::uint32_t value, unsigned char* bytes)
{
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
    bytes[2] = static_cast<unsigned char>(value >> 16);
    bytes[3] = static_cast<unsigned char>(value >> 24);
}

// ReduceBits to nearest. It has no branch to mispredict: the low bits of real values are as good
// as random, and a branch on them cost more than the rest of the copy.
inline std::uint32_t RoundBits(std::uint32_t bits)
{
    const std::uint32_t truncated = bits & ~kDroppedBits;
    // Just under half of the last kept place, plus that place's own bit, carries into the kept
    // bits exactly when the dropped bits are above half, or at half with the kept bits odd. The
    // carry makes the magnitude larger, into the exponent where it must; a carry that reaches the
    // all-ones exponent would make a finite value infinite, so that value is truncated.
    const std::uint32_t rounded = (bits + (kLastKeptBit / 2 - 1) + ((bits >> 16) & 1u)) & ~kDroppedBits;
    const bool special = (bits & kExponentBits) == kExponentBits;
    const bool overflow = (rounded & kExponentBits) == kExponentBits;
    // Infinity has no low bits to lose. A NaN must keep a mantissa bit, or it would read as infinity.
    const bool bareNan = special && (bits & 0x007FFFFFu) != 0 && (truncated & 0x007F0000u) == 0;
    const std::uint32_t quietNan = (bits & 0x80000000u) | 0x7FC00000u;
    return bareNan ? quietNan : (special | overflow) ? truncated : rounded;
}

} // namespace

int ValuesPerElement(ReducedKind kind)
{
    switch (kind) {
    case ReducedKind::Tangent:
    case ReducedKind::Rotation: return 4;
    case ReducedKind::Extent: return 7;
    case ReducedKind::TextureCoordinate: return 2;
    default: return 3;
    }
}

std::uint32_t ReduceBits(std::uint32_t bits, Rounding rounding)
{
    return rounding == Rounding::TowardZero ? bits & ~kDroppedBits : RoundBits(bits);
}

void CopyValuesAsAsked(std::istream& source, std::ostream& sink, std::int64_t count, int frameFields,
                       int valuesPerGroup, ReducedKind kind, const ReductionMode& mode)
{
    const std::int64_t groupSize = 4 * (static_cast<std::int64_t>(frameFields) + valuesPerGroup);
    if (frameFields < 0 || valuesPerGroup < 0 || groupSize == 0 || groupSize > kAskedBlockSize) {
        source.setstate(std::ios::failbit);
        return;
    }
    unsigned char bytes[kAskedBlockSize];
    std::uint32_t original[kAskedBlockSize / 4];
    std::uint32_t reduced[kAskedBlockSize / 4];
    const std::int64_t groupsPerBlock = kAskedBlockSize / groupSize;
    const std::size_t frameBytes = 4 * static_cast<std::size_t>(frameFields);
    const bool observed = mode.observe != nullptr;
    while (count > 0 && !IsWalkOver(source, sink)) {
        const std::int64_t groups = std::min(count, groupsPerBlock);
        source.read(reinterpret_cast<char*>(bytes), groups * groupSize);
        const std::size_t got = static_cast<std::size_t>(source.gcount());
        std::size_t values = 0;
        unsigned char* at = bytes;
        const auto reduceValue = [&]() {
            const std::uint32_t bits = static_cast<std::uint32_t>(DecodeInt32(at));
            const std::uint32_t reducedBits = ReduceBits(bits, mode.rounding);
            if (observed) {
                original[values] = bits;
                reduced[values] = reducedBits;
            }
            EncodeUint32(reducedBits, at);
            ++values;
            at += 4;
        };
        const std::size_t wholeGroups = got / static_cast<std::size_t>(groupSize);
        for (std::size_t group = 0; group < wholeGroups; ++group) {
            at += frameBytes;
            for (int value = 0; value < valuesPerGroup; ++value)
                reduceValue();
        }
        // A group cut short by the end of the input: its whole values, then a cut value's
        // low-order bytes (little-endian, they come first) zeroed.
        std::size_t rest = got - wholeGroups * static_cast<std::size_t>(groupSize);
        if (rest > frameBytes) {
            at += frameBytes;
            for (rest -= frameBytes; rest >= 4; rest -= 4)
                reduceValue();
            std::fill(at, at + std::min<std::size_t>(rest, 2), 0);
        }
        if (observed && values > 0)
            mode.observe(mode.context, kind, original, reduced, values);
        sink.write(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(got));
        count -= groups;
    }
}
