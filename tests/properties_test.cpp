// Properties over many models from the model oracle: the output is exactly the input with the
// recorded values reduced, has the input's length, differs only in bytes that became zero, and
// converting it again changes nothing.

#include "model_convert.h"
#include "scratch_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void ExpectConvertsExactly(const WrittenModel& model, const std::string& what)
{
    SCOPED_TRACE(what);
    const StreamResult result = ConvertBytes(model.bytes);
    ASSERT_EQ(result.converted, 1) << DescribeFailure(result.report);
    ASSERT_EQ(result.out.size(), model.bytes.size());
    EXPECT_EQ(FirstDifference(result.out, ExpectedOutput(model)), -1);
    for (std::size_t i = 0; i < result.out.size(); ++i) {
        if (result.out[i] != model.bytes[i]) {
            ASSERT_EQ(result.out[i], '\0') << "byte " << i << " changed to something other than zero";
        }
    }
    EXPECT_EQ(result.report.floatsReduced, static_cast<std::int64_t>(model.reduced.size()));

    const StreamResult again = ConvertBytes(result.out);
    ASSERT_EQ(again.converted, 1) << DescribeFailure(again.report);
    EXPECT_EQ(FirstDifference(again.out, result.out), -1) << "converting the output again changed it";
}

const std::int32_t kVersions[] = {800, 900, 1000, 1100};

} // namespace

TEST(Properties, FullModelOfEveryVersionConvertsExactly)
{
    for (std::int32_t version : kVersions) {
        for (std::uint32_t seed = 1; seed <= 5; ++seed)
            ExpectConvertsExactly(WriteModel(FullModelPlan(version), seed), "full model version " +
                                                                                std::to_string(version));
    }
}

TEST(Properties, RandomModelsConvertExactly)
{
    for (std::int32_t version : kVersions) {
        for (std::uint32_t seed = 0; seed < 1000; ++seed) {
            ExpectConvertsExactly(WriteModel(RandomModelPlan(seed, version), seed),
                                  "random model " + std::to_string(seed) + " version " + std::to_string(version));
            if (HasFailure())
                return;
        }
    }
}

TEST(Properties, UnknownVersionsWalkWithTheNearestLayout)
{
    for (std::int32_t version : {700, 1200}) {
        for (std::uint32_t seed = 0; seed < 20; ++seed)
            ExpectConvertsExactly(WriteModel(RandomModelPlan(seed, version), seed),
                                  "random model " + std::to_string(seed) + " version " + std::to_string(version));
    }
}

TEST(Properties, ModelOfOtherChunksIsCopiedByteForByte)
{
    for (std::uint32_t seed = 0; seed < 50; ++seed) {
        ModelPlan description = RandomModelPlan(seed, 800);
        for (ChunkPlan& chunk : description.chunks) {
            if (chunk.kind != ChunkPlan::Other) {
                chunk.kind = ChunkPlan::Other;
                chunk.tag = TagOf("JUNK");
                chunk.size = static_cast<std::int32_t>(seed * 7 % 61);
            }
        }
        const WrittenModel model = WriteModel(description, seed);
        ASSERT_TRUE(model.reduced.empty());
        const StreamResult result = ConvertBytes(model.bytes);
        EXPECT_EQ(result.converted, 1);
        EXPECT_TRUE(result.out == model.bytes) << "seed " << seed;
    }
}

// The path entry moves what its file buffers hold straight from the one into the other and the
// rest through the block buffer. Models of a few megabytes, made of many random models' chunks
// and a long track and a large geoset, make the input buffer refill and the output block drain
// at every kind of place, and take both ways for arrays and tracks larger than the buffers.
using PropertiesOfFiles = ScratchFolder;

TEST_F(PropertiesOfFiles, LargeModelsConvertExactlyThroughFiles)
{
    for (std::int32_t version : {800, 1000}) {
        for (std::uint32_t seed = 0; seed < 3; ++seed) {
            const ModelPlan description =
                LargeModelPlan(seed, seed * 1000, 1000, version, {TrackPlan{TagOf("KGRT"), 3, 30000}});
            const WrittenModel model = WriteModel(description, seed);
            WriteFile(Path("model.mdx"), model.bytes);
            ConversionReport report;
            ASSERT_EQ(ConvertModelWithReport(Path("model.mdx").c_str(), Path("out.mdx").c_str(), report), 1)
                << DescribeFailure(report);
            EXPECT_EQ(FirstDifference(ReadFile(Path("out.mdx")), ExpectedOutput(model)), -1)
                << "seed " << seed << ", version " << version << ", " << model.bytes.size() << " bytes";
            EXPECT_EQ(report.floatsReduced, static_cast<std::int64_t>(model.reduced.size()));
        }
    }
}
