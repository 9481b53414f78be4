#pragma once

// What a conversion does to each value it reduces: the settings a conversion takes, and the one
// rule that keeps the high N bits of a 32-bit value, by truncation or by rounding to nearest.

#include <cstddef>
#include <cstdint>

// The kinds of values that a conversion reduces.
enum class ReducedKind { Position, Normal, Tangent, TextureCoordinate, Extent, Translation, Rotation, Scaling };
constexpr int kReducedKindCount = 8;

// The 4-byte values of one element of a kind: a vertex position or normal 3, a tangent 4 (xyz and
// the sign of the bitangent), a sequence extent 7 (radius, minimum, maximum), a texture coordinate
// pair 2, a translation or scaling 3, a rotation 4 (a quaternion).
int ValuesPerElement(ReducedKind kind);

// The word for a kind where users name it: "positions", "normals", "tangents",
// "texture_coordinates", "extents", "translations", "rotations", "scalings".
const char* KindWord(ReducedKind kind);

enum class Rounding { TowardZero, Nearest };

// The high bits a reduced value keeps. 16 halves the entropy the deflater sees and is what every
// conversion keeps unless asked otherwise. 10 keeps the sign, the exponent and one mantissa bit:
// the least that lets a NaN stay a NaN when rounded. 32 keeps the value as it is.
constexpr int kDefaultKeptBits = 16;
constexpr int kFewestKeptBits = 10;
constexpr int kMostKeptBits = 32;

// Receives values as they are reduced: count values of one kind, as the 32-bit numbers their bytes
// form, before and after, in file order and whole elements at a time (a Hermite or Bezier key's
// tangents are elements too) unless the input ends inside an element.
using ValueObserver = void (*)(void* context, ReducedKind kind, const std::uint32_t* original,
                               const std::uint32_t* reduced, std::size_t count);

// How a conversion reduces its values. As it stands: the plain conversion, 16 bits of every kind,
// truncated, watched by nobody.
struct ConversionSettings {
    int keptBits[kReducedKindCount] = {kDefaultKeptBits, kDefaultKeptBits, kDefaultKeptBits, kDefaultKeptBits,
                                       kDefaultKeptBits, kDefaultKeptBits, kDefaultKeptBits, kDefaultKeptBits};
    Rounding rounding = Rounding::TowardZero;
    ValueObserver observe = nullptr; // when set, called with every value reduced
    void* context = nullptr;         // handed to observe
};

// True when every kept bit count lies from kFewestKeptBits to kMostKeptBits.
bool AreSettingsValid(const ConversionSettings& settings);

// The mask of the high keptBits bits (kFewestKeptBits to kMostKeptBits).
constexpr std::uint32_t KeptBitsMask(int keptBits)
{
    return keptBits >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> keptBits);
}

constexpr std::uint32_t kFloatMagnitude = 0x7FFFFFFFu;
constexpr std::uint32_t kFloatExponent = 0x7F800000u; // as a magnitude: infinity; above it the NaNs

// Fields side by side, as the compiler's vectors (GCC and Clang), which it maps to the
// processor's vector operations: 4 fill an SSE2 register, 8 an AVX2 one. An operation between a
// vector and a number applies the number to every field, and a comparison gives each field a mask.
// The rule below is written once, for one field and for these. (Code built without AVX passes an
// 8-field vector differently from code built with it, and GCC warns of that wherever one is
// passed; these are passed only within functions that the compiler builds into their callers.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
typedef std::uint32_t FourFields __attribute__((vector_size(16)));
typedef std::int32_t FourSigned __attribute__((vector_size(16)));
typedef std::uint32_t EightFields __attribute__((vector_size(32)));
typedef std::int32_t EightSigned __attribute__((vector_size(32)));

// What rounding to nearest adds to a field before its dropped bits are cleared: halfLess, just
// under half of the last kept place, plus that place's own bit, taken where odd is 1. It carries
// into the kept bits exactly when the dropped bits are above half, or at half with the kept bits
// odd, and makes the magnitude larger, into the exponent where it must. A field that is truncated
// or copied unchanged has halfLess and odd zero, and so no carry.
template <class Fields>
inline Fields RoundingCarry(Fields bits, Fields halfLess, Fields odd, int dropped)
{
    return halfLess + ((bits >> dropped) & odd);
}

// The bit that makes a NaN quiet, the highest of the mantissa.
constexpr std::uint32_t kQuietNaNBit = 0x00400000u;

// Numbers compared as signed: vector code has a signed comparison of 32-bit numbers but no
// unsigned one. A magnitude, below 2^31, keeps its order; a sum that passes 2^31 turns negative.
constexpr std::int32_t AsSigned(std::uint32_t number)
{
    return static_cast<std::int32_t>(number);
}
inline FourSigned AsSigned(FourFields numbers)
{
    return (FourSigned)numbers;
}
inline EightSigned AsSigned(EightFields numbers)
{
    return (EightSigned)numbers;
}

// A condition as a mask, all ones where it holds and zero where not: what a comparison of vectors
// gives each field, and what a comparison of one field's numbers is made into.
constexpr std::uint32_t MaskOf(bool condition)
{
    return condition ? 0xFFFFFFFFu : 0u;
}
inline FourFields MaskOf(FourSigned condition)
{
    return (FourFields)condition;
}
inline EightFields MaskOf(EightSigned condition)
{
    return (EightFields)condition;
}

// The rule of every reduction, for one 32-bit field or a vector of them: keep says which bits
// stay (KeptBitsMask, all ones for a field copied unchanged), dropped is how many low bits a value
// drops (the same for every field of a run: 32 minus the kept bits), and halfLess and odd make
// the RoundingCarry, zero to truncate. It has no branches, so that it can work on vectors of
// fields: the low bits of real values are as good as random, and a branch on them would cost more
// than the copy. Its conditions are masks, all ones or zero, that select by bit operations:
// written as choices between values, they compiled to twice as many vector operations. Its bounds
// depend on dropped alone, so that a run works them out once, and each condition is one signed
// comparison.
//
// Truncation clears the dropped bits. Rounding to nearest breaks ties to even; a finite value that
// would round past the largest finite value is truncated instead, infinity stays, and a NaN is
// truncated, or becomes the quiet NaN of its sign (0x7FC00000, 0xFFC00000) when truncation would
// leave it no mantissa bit. (Truncation keeps no such promise: a NaN may become infinity, as it
// always has.)
template <class Fields>
inline Fields ReduceField(Fields bits, Fields keep, Fields halfLess, Fields odd, int dropped)
{
    const Fields magnitude = bits & kFloatMagnitude;
    const Fields carry = RoundingCarry(bits, halfLess, odd, dropped);
    const std::uint32_t lastPlace = 1u << dropped;
    // Infinity and the NaNs, and a finite value that would round up to infinity: one in the upper
    // half of the last kept place below it. These are truncated. (At exactly half, the kept bits
    // of the largest finite value are odd, so that a tie rounds up too.)
    const Fields truncate = MaskOf(AsSigned(magnitude) >= AsSigned(kFloatExponent - lastPlace / 2));
    // A NaN whose mantissa lies wholly in the dropped bits, which truncation would leave infinite:
    // its magnitude lies above infinity's by less than the last kept place. Moved up by the room
    // between 2^31 and that place above infinity, these magnitudes end just below 2^31, a larger
    // one passes 2^31, and infinity and the finite values stay at or below the start of the range.
    const std::uint32_t moveUp = 0x80000000u - lastPlace - kFloatExponent;
    const Fields nanLeftEmpty = MaskOf(AsSigned(magnitude + moveUp) > AsSigned(kFloatExponent + moveUp));
    return ((bits + (carry & ~truncate)) & keep) | (nanLeftEmpty & odd * kQuietNaNBit);
}

// A mask of the fields for which ReduceField may not give the ordinary result, (bits +
// RoundingCarry) & keep: zero where the exponent of bits is below 254, so that bits is finite and
// a carry cannot make it infinite. A run can round its fields the ordinary way and take the whole
// rule only where this says so, which real values almost never make it do.
template <class Fields>
inline Fields MayNeedTheWholeRule(Fields bits)
{
    const std::uint32_t kTopExponents = 0x7F000000u; // 254 and 255
    return MaskOf((bits & kTopExponents) == kTopExponents);
}

#pragma GCC diagnostic pop

// The arguments of ReduceField for a value kept to its high keptBits bits (kFewestKeptBits to
// kMostKeptBits) with rounding. Keeping all 32 bits does not round: nothing is dropped.
struct FieldRule {
    std::uint32_t keep;
    std::uint32_t halfLess;
    std::uint32_t odd;
    int dropped;
};
FieldRule FieldRuleOf(int keptBits, Rounding rounding);

// One value reduced to its high keptBits bits (kFewestKeptBits to kMostKeptBits) by ReduceField.
std::uint32_t ReduceBits(std::uint32_t bits, int keptBits, Rounding rounding);
