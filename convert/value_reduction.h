#pragma once

// Reductions beyond the plain truncation of the stream primitives: rounding to nearest, and a look
// at every value as it is reduced. The walkers take this way only when a conversion asks for it
// (ConversionReport::mode), so a plain conversion never pays for it.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>

// The kinds of values that a conversion reduces.
enum class ReducedKind { Position, Normal, Tangent, TextureCoordinate, Extent, Translation, Rotation, Scaling };
constexpr int kReducedKindCount = 8;

// The 4-byte values of one element of a kind: a vertex position or normal 3, a tangent 4 (xyz and
// the sign of the bitangent), a sequence extent 7 (radius, minimum, maximum), a texture coordinate
// pair 2, a translation or scaling 3, a rotation 4 (a quaternion).
int ValuesPerElement(ReducedKind kind);

enum class Rounding { TowardZero, Nearest };

// Receives values as they are reduced: count values of one kind, as the 32-bit numbers their bytes
// form, before and after, in file order and whole elements at a time (a Hermite or Bezier key's
// tangents are elements too) unless the input ends inside an element.
using ValueObserver = void (*)(void* context, ReducedKind kind, const std::uint32_t* original,
                               const std::uint32_t* reduced, std::size_t count);

// How a conversion reduces its values when it asks for more than truncation.
struct ReductionMode {
    Rounding rounding = Rounding::TowardZero;
    ValueObserver observe = nullptr; // when set, called with every value reduced
    void* context = nullptr;         // handed to observe
};

// The 32-bit float bits reduced to their high 16 bits, the low 16 zero. TowardZero truncates.
// Nearest rounds to nearest, ties to even; a finite value that would round past the largest finite
// value is truncated instead, infinity stays, and a NaN is truncated, or becomes the quiet NaN of
// its sign (0x7FC00000, 0xFFC00000) when truncation would leave it no mantissa bit.
std::uint32_t ReduceBits(std::uint32_t bits, Rounding rounding);

// Copies count groups, each frameFields 32-bit fields copied unchanged (a key's frame time), then
// valuesPerGroup values of kind reduced as mode says and shown to its observer. A group must fit
// in 16 KiB, else the source is failed. On a short read it writes what it read: a cut value with
// its low-order bytes zeroed, as truncation leaves it, and shown to nobody.
void CopyValuesAsAsked(std::istream& source, std::ostream& sink, std::int64_t count, int frameFields,
                       int valuesPerGroup, ReducedKind kind, const ReductionMode& mode);
