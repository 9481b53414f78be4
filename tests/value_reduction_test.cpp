// The reduction of values: the rule checked against the model oracle's reduction on values (not
// bits) at every bit count, its named boundaries, and conversions with random settings checked
// value by value against the model record, in memory and through files.

#include "model_convert.h"
#include "scratch_folder.h"
#include "test_support.h"
#include "value_reduction.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(ReduceBits, MatchesTheOraclesReductionOnValuesAtEveryBitCount)
{
    // Every sign and exponent, so every binade, both zeros, the subnormals, the largest finite
    // values, the infinities and the NaNs; kept mantissas even and odd, all ones and random;
    // dropped bits below, at and above the tie, none and all.
    std::mt19937 random(7);
    const auto draw = [&random](std::uint32_t mask) { return static_cast<std::uint32_t>(random()) & mask; };
    for (int keptBits = kFewestKeptBits; keptBits <= kMostKeptBits; ++keptBits) {
        const std::uint32_t dropped = keptBits == 32 ? 0u : 0xFFFFFFFFu >> keptBits;
        const std::uint32_t half = (dropped + 1) / 2;
        const std::uint32_t lows[] = {0, 1, half - 1, half, half + 1, dropped, draw(dropped)};
        for (std::uint32_t top = 0; top < 512; ++top) {
            const std::uint32_t mantissas[] = {0, 0x007FFFFFu, draw(0x007FFFFFu), draw(0x007FFFFFu)};
            for (const std::uint32_t mantissa : mantissas) {
                for (const std::uint32_t low : lows) {
                    const std::uint32_t bits = top << 23 | ((mantissa & ~dropped) | (low & dropped));
                    for (const bool nearest : {false, true}) {
                        ASSERT_EQ(ReduceBits(bits, keptBits, nearest ? Rounding::Nearest : Rounding::TowardZero),
                                  ReducedValueBits(bits, keptBits, nearest))
                            << std::hex << bits << std::dec << ", " << keptBits << " bits, "
                            << (nearest ? "nearest" : "toward zero");
                    }
                }
            }
        }
    }
}

TEST(ReduceBits, NamedBoundariesAtTheFewestTheDefaultAndMoreBits)
{
    const struct {
        int keptBits;
        std::uint32_t bits;
        std::uint32_t truncated;
        std::uint32_t rounded;
        const char* what;
    } cases[] = {
        {16, 0x3F8CCCCDu, 0x3F8C0000u, 0x3F8D0000u, "1.1"},
        {16, 0x3F808000u, 0x3F800000u, 0x3F800000u, "a tie with an even last bit stays"},
        {16, 0x3F818000u, 0x3F810000u, 0x3F820000u, "a tie with an odd last bit goes up"},
        {16, 0xBF818000u, 0xBF810000u, 0xBF820000u, "a negative tie goes away from zero to even"},
        {16, 0x3FFF8000u, 0x3FFF0000u, 0x40000000u, "a carry into the exponent"},
        {16, 0x7F7F8000u, 0x7F7F0000u, 0x7F7F0000u, "a tie past the largest finite value is truncated"},
        {16, 0xFF7FFFFFu, 0xFF7F0000u, 0xFF7F0000u, "the most negative float stays finite"},
        {16, 0x7F80FFFFu, 0x7F800000u, 0x7FC00000u, "a NaN with its payload in the dropped bits"},
        {16, 0xFF800001u, 0xFF800000u, 0xFFC00000u, "the same with its sign"},
        {16, 0x7FA1FFFFu, 0x7FA10000u, 0x7FA10000u, "a NaN that keeps payload bits is truncated"},
        {16, 0x007FFFFFu, 0x007F0000u, 0x00800000u, "the largest subnormal rounds up to the smallest normal"},
        {16, 0x80018001u, 0x80010000u, 0x80020000u, "a negative subnormal"},
        {10, 0x3F8CCCCDu, 0x3F800000u, 0x3F800000u, "1.1 keeps one mantissa bit"},
        {10, 0x3FA00000u, 0x3F800000u, 0x3F800000u, "1.25 is a tie to even"},
        {10, 0x3FE00000u, 0x3FC00000u, 0x40000000u, "1.75 is a tie to even, carried to 2"},
        {10, 0x7F7FFFFFu, 0x7F400000u, 0x7F400000u, "the largest finite value"},
        {10, 0x7F800001u, 0x7F800000u, 0x7FC00000u, "a NaN keeps its one mantissa bit set"},
        {10, 0xFF800000u, 0xFF800000u, 0xFF800000u, "negative infinity"},
        {10, 0x80000000u, 0x80000000u, 0x80000000u, "negative zero"},
        {10, 0x00200000u, 0x00000000u, 0x00000000u, "a subnormal tie goes to zero"},
        {10, 0x00600000u, 0x00400000u, 0x00800000u, "an odd subnormal tie goes to the smallest normal"},
        {24, 0x3F8CCCCDu, 0x3F8CCC00u, 0x3F8CCD00u, "1.1"},
        {24, 0x3F800180u, 0x3F800100u, 0x3F800200u, "a tie with an odd last bit goes up"},
        {24, 0x7F7FFF80u, 0x7F7FFF00u, 0x7F7FFF00u, "a tie past the largest finite value"},
        {24, 0xFF800080u, 0xFF800000u, 0xFFC00000u, "a negative NaN"},
        {24, 0x80000080u, 0x80000000u, 0x80000000u, "a negative subnormal tie goes to negative zero"},
        {31, 0x3F800003u, 0x3F800002u, 0x3F800004u, "the last bit only"},
        {32, 0x7F800001u, 0x7F800001u, 0x7F800001u, "32 bits copy a NaN"},
        {32, 0x3F8CCCCDu, 0x3F8CCCCDu, 0x3F8CCCCDu, "32 bits copy"},
    };
    for (const auto& edge : cases) {
        SCOPED_TRACE(std::to_string(edge.keptBits) + " bits: " + edge.what);
        EXPECT_EQ(ReduceBits(edge.bits, edge.keptBits, Rounding::TowardZero), edge.truncated);
        EXPECT_EQ(ReduceBits(edge.bits, edge.keptBits, Rounding::Nearest), edge.rounded);
        EXPECT_EQ(ReducedValueBits(edge.bits, edge.keptBits, true), edge.rounded) << "the oracle";
    }
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

// For random settings, a conversion reduces every recorded value as the oracle does and leaves
// every other byte as it was, and shows each value, in file order, with its kind, as written.
// The first values of each model are set to the boundary cases.
TEST(ReducedConversion, RandomSettingsReduceEachRecordedValueAsTheOracleDoesAndNothingElse)
{
    const std::uint32_t edges[] = {0x3F808000u, 0x3F818000u, 0xBF818000u, 0x7F7F8000u, 0xFF7FFFFFu, 0x7F800000u,
                                   0xFF800000u, 0x7F80FFFFu, 0xFF800001u, 0x7FA1FFFFu, 0x80000000u, 0x00008000u,
                                   0x80018001u, 0x007FFFFFu, 0x00000000u, 0x7F7FFFFFu, 0x7F800001u, 0x00600000u};
    std::vector<ModelPlan> plans = {FullModelPlan(800), FullModelPlan(1000)};
    for (std::uint32_t seed = 1; seed <= 30; ++seed)
        plans.push_back(RandomModelPlan(seed, seed % 2 ? 800 : 900));
    for (std::size_t m = 0; m < plans.size(); ++m) {
        WrittenModel model = WriteModel(plans[m], static_cast<std::uint32_t>(m + 1));
        for (std::size_t i = 0; i < std::size(edges) && i < model.reduced.size(); ++i) {
            PutFieldAt(model.bytes, model.reduced[i].offset, static_cast<std::int32_t>(edges[i]));
            model.reduced[i].original = edges[i];
        }
        for (std::uint32_t draw = 0; draw < 4; ++draw) {
            const ReductionPlan plan = RandomReductionPlan(static_cast<std::uint32_t>(100 * m) + draw);
            ConversionSettings settings = SettingsFor(plan);
            std::vector<SeenValue> seen;
            settings.observe = CollectValues;
            settings.context = &seen;
            SCOPED_TRACE("model " + std::to_string(m) + ", draw " + std::to_string(draw));
            const std::string expected = ExpectedOutput(model, plan);
            std::istringstream source(model.bytes);
            std::ostringstream sink;
            ConversionReport report;
            ASSERT_EQ(ConvertModelStream(source, sink, settings, report), 1) << DescribeFailure(report);
            ASSERT_EQ(FirstDifference(sink.str(), expected), -1);
            EXPECT_EQ(report.floatsReduced, static_cast<std::int64_t>(model.reduced.size()));
            ASSERT_EQ(seen.size(), model.reduced.size());
            for (std::size_t i = 0; i < seen.size(); ++i) {
                const ReducedValue& value = model.reduced[i];
                ASSERT_TRUE(seen[i].kind == ReducedKindOf(value.kind) && seen[i].original == value.original &&
                            seen[i].reduced == static_cast<std::uint32_t>(FieldAt(expected, value.offset)))
                    << "value " << i << " at offset " << value.offset;
            }
        }
    }
}

// The same through files, where runs are reduced on their way between the file buffers: a model
// of a few megabytes, with long tracks and large geosets, refills the input buffer and drains
// the output block at every kind of place.
using ReducedConversionOfFiles = ScratchFolder;

TEST_F(ReducedConversionOfFiles, RandomSettingsReduceALargeModelAsTheOracleDoes)
{
    const ModelPlan description =
        LargeModelPlan(5, 5000, 400, 1000, {TrackPlan{TagOf("KGRT"), 3, 30000}, TrackPlan{TagOf("KGTR"), 1, 20000}});
    const WrittenModel model = WriteModel(description, 5);
    ASSERT_TRUE(WriteFile(Path("model.mdx"), model.bytes));
    for (std::uint32_t draw = 0; draw < 4; ++draw) {
        const ReductionPlan plan = RandomReductionPlan(9000 + draw);
        ConversionReport report;
        ASSERT_EQ(ConvertModelWithReport(Path("model.mdx"), Path("out.mdx"), SettingsFor(plan), report), 1)
            << DescribeFailure(report);
        EXPECT_EQ(FirstDifference(ReadFile(Path("out.mdx")), ExpectedOutput(model, plan)), -1) << "draw " << draw;
    }
}

TEST(ReducedConversion, SettingsOutsideTheBitRangeFailBeforeAnythingIsWritten)
{
    for (const int keptBits : {0, 9, 33, -16}) {
        ConversionSettings settings;
        settings.keptBits[static_cast<int>(ReducedKind::Rotation)] = keptBits;
        std::istringstream source(WriteModel(FullModelPlan(800)).bytes);
        std::ostringstream sink;
        ConversionReport report;
        EXPECT_EQ(ConvertModelStream(source, sink, settings, report), 0) << keptBits;
        EXPECT_EQ(report.kind, FailureKind::InvalidSettings);
        EXPECT_EQ(sink.str(), "");
    }
}

} // namespace
