// Rounding to nearest, checked against a rounding done on values (not bits), and the rounded or
// observed conversion checked value by value against the model record.

#include "model_convert.h"
#include "test_support.h"
#include "value_reduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

float FloatOf(std::uint32_t bits)
{
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint32_t BitsOf(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The largest finite float with 8 significant bits: (2 - 2^-7) * 2^127.
const double kLargestKept = std::ldexp(2.0 - std::ldexp(1.0, -7), 127);

// The value of 8 significant bits nearest to the finite x, ties to the one whose last bit is 0, never
// past kLargestKept; worked out with arithmetic on values. Zero keeps its sign.
float RoundToEightBits(float x)
{
    if (x == 0)
        return x;
    int exponent = 0;
    std::frexp(x, &exponent);
    // The weight of the last kept bit; subnormals share the smallest normal's.
    const double unit = std::ldexp(1.0, std::max(exponent, -125) - 8);
    const double below = std::trunc(x / unit) * unit;
    const double above = below + std::copysign(unit, x);
    const double belowDistance = std::fabs(x - below);
    const double aboveDistance = std::fabs(above - x);
    const bool odd = std::fmod(std::fabs(below) / unit, 2.0) == 1.0;
    const bool up = aboveDistance < belowDistance || (aboveDistance == belowDistance && odd);
    return static_cast<float>(up && std::fabs(above) <= kLargestKept ? above : below);
}

// What rounding must give for bits: the rounding above for finite values; infinity unchanged; a
// NaN with its low bits dropped if it stays a NaN, else the quiet NaN of its sign.
std::uint32_t ExpectedRounding(std::uint32_t bits)
{
    const float value = FloatOf(bits);
    if (std::isfinite(value))
        return BitsOf(RoundToEightBits(value));
    if (std::isinf(value))
        return bits;
    const std::uint32_t dropped = bits & 0xFFFF0000u;
    return std::isnan(FloatOf(dropped)) ? dropped : (bits & 0x80000000u) | 0x7FC00000u;
}

TEST(Rounding, MatchesARoundingOnValuesForEveryHighHalfAndTheEdgesOfTheLowHalf)
{
    // Every sign, exponent and kept mantissa, so every binade, both zeros, the subnormals, the
    // largest finite values, the infinities and the NaNs; low halves below, at and above the tie.
    const std::uint32_t lows[] = {0x0000, 0x0001, 0x7FFF, 0x8000, 0x8001, 0xFFFF, 0x3C5A};
    for (std::uint32_t high = 0; high <= 0xFFFF; ++high) {
        for (const std::uint32_t low : lows) {
            const std::uint32_t bits = high << 16 | low;
            ASSERT_EQ(ReduceBits(bits, Rounding::Nearest), ExpectedRounding(bits)) << std::hex << bits;
        }
    }
}

TEST(Rounding, NamedEdgeCases)
{
    const struct {
        std::uint32_t bits;
        std::uint32_t rounded;
        const char* what;
    } cases[] = {
        {0x3F808000u, 0x3F800000u, "tie with an even last bit stays"},
        {0x3F818000u, 0x3F820000u, "tie with an odd last bit goes up"},
        {0xBF818000u, 0xBF820000u, "negative tie goes away from zero to even"},
        {0x3F8CCCCDu, 0x3F8D0000u, "1.1 rounds up where truncation gives 0x3F8C0000"},
        {0x3FFF8000u, 0x40000000u, "a carry into the exponent"},
        {0x7F7F7FFFu, 0x7F7F0000u, "below the tie under the largest value"},
        {0x7F7F8000u, 0x7F7F0000u, "a tie past the largest finite value is truncated"},
        {0xFF7FFFFFu, 0xFF7F0000u, "the most negative float stays finite"},
        {0x7F800000u, 0x7F800000u, "infinity"},
        {0xFF800000u, 0xFF800000u, "negative infinity"},
        {0x7F80FFFFu, 0x7FC00000u, "a NaN with its payload in the low half only"},
        {0xFF800001u, 0xFFC00000u, "the same with its sign"},
        {0x7FA1FFFFu, 0x7FA10000u, "a NaN that keeps payload bits is truncated"},
        {0x80000000u, 0x80000000u, "negative zero"},
        {0x00008000u, 0x00000000u, "the smallest subnormal tie goes to zero"},
        {0x80018001u, 0x80020000u, "a negative subnormal"},
        {0x007FFFFFu, 0x00800000u, "the largest subnormal rounds up to the smallest normal"},
    };
    for (const auto& edge : cases) {
        EXPECT_EQ(ReduceBits(edge.bits, Rounding::Nearest), edge.rounded) << edge.what;
        EXPECT_EQ(ExpectedRounding(edge.bits), edge.rounded) << "the rounding on values: " << edge.what;
    }
    EXPECT_EQ(ReduceBits(0x7F80FFFFu, Rounding::TowardZero), 0x7F800000u) << "truncation makes it infinite";
}

// The core's kind for each of the oracle's.
ReducedKind KindOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Position: return ReducedKind::Position;
    case ValueKind::Normal: return ReducedKind::Normal;
    case ValueKind::Tangent: return ReducedKind::Tangent;
    case ValueKind::Extent: return ReducedKind::Extent;
    case ValueKind::TextureCoordinate: return ReducedKind::TextureCoordinate;
    case ValueKind::Translation: return ReducedKind::Translation;
    case ValueKind::Rotation: return ReducedKind::Rotation;
    case ValueKind::Scaling: return ReducedKind::Scaling;
    }
    return ReducedKind::Position;
}

struct SeenValue {
    ReducedKind kind;
    std::uint32_t original;
    std::uint32_t reduced;
};

void CollectValues(void* context, ReducedKind kind, const std::uint32_t* original, const std::uint32_t* reduced,
                   std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        static_cast<std::vector<SeenValue>*>(context)->push_back({kind, original[i], reduced[i]});
}

// Converting with a mode rounds or truncates every recorded value and nothing else, and shows each
// value, in file order, with its kind. The first values of each model are set to the edge cases.
TEST(RoundedConversion, ChangesEachRecordedValueAsAskedAndNothingElseAndShowsItWithItsKind)
{
    const std::uint32_t edges[] = {0x3F808000u, 0x3F818000u, 0xBF818000u, 0x7F7F8000u, 0xFF7FFFFFu, 0x7F800000u,
                                   0xFF800000u, 0x7F80FFFFu, 0xFF800001u, 0x7FA1FFFFu, 0x80000000u, 0x00008000u,
                                   0x80018001u, 0x007FFFFFu, 0x00000000u};
    std::vector<ModelPlan> plans = {FullModelPlan(800), FullModelPlan(1000)};
    for (std::uint32_t seed = 1; seed <= 12; ++seed)
        plans.push_back(RandomModelPlan(seed, seed % 2 ? 800 : 900));
    for (std::size_t m = 0; m < plans.size(); ++m) {
        WrittenModel model = WriteModel(plans[m], static_cast<std::uint32_t>(m + 1));
        for (std::size_t i = 0; i < std::size(edges) && i < model.reduced.size(); ++i) {
            PutFieldAt(model.bytes, model.reduced[i].offset, static_cast<std::int32_t>(edges[i]));
            model.reduced[i].original = edges[i];
        }
        for (const Rounding rounding : {Rounding::Nearest, Rounding::TowardZero}) {
            SCOPED_TRACE("model " + std::to_string(m) + (rounding == Rounding::Nearest ? ", nearest" : ", toward zero"));
            std::string expected = model.bytes;
            for (const ReducedValue& value : model.reduced) {
                const std::uint32_t reduced =
                    rounding == Rounding::Nearest ? ExpectedRounding(value.original) : value.original & 0xFFFF0000u;
                PutFieldAt(expected, value.offset, static_cast<std::int32_t>(reduced));
            }
            std::vector<SeenValue> seen;
            ReductionMode mode;
            mode.rounding = rounding;
            mode.observe = CollectValues;
            mode.context = &seen;
            std::istringstream source(model.bytes);
            std::ostringstream sink;
            ConversionReport report;
            report.mode = &mode;
            ASSERT_EQ(ConvertModelStream(source, sink, report), 1) << DescribeFailure(report);
            EXPECT_EQ(FirstDifference(sink.str(), expected), -1);
            ASSERT_EQ(seen.size(), model.reduced.size());
            for (std::size_t i = 0; i < seen.size(); ++i) {
                const ReducedValue& value = model.reduced[i];
                ASSERT_TRUE(seen[i].kind == KindOf(value.kind) && seen[i].original == value.original &&
                            seen[i].reduced == static_cast<std::uint32_t>(FieldAt(expected, value.offset)))
                    << "value " << i << " at offset " << value.offset;
            }
        }
    }
}

} // namespace
