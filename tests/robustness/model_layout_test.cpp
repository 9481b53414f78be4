// The structure walk the fuzz checks and the mutator rely on: it must agree with the model
// writer on every model it makes (the fuzz target's expected output comes from it), and the
// mutator's changes must keep a well-formed model well-formed, so that fuzzing gets past the
// size checks into the walkers.

#include "conversion_checks.h"
#include "model_layout.h"
#include "model_mutator.h"
#include "model_tags.h"
#include "model_writer.h"

#include <gtest/gtest.h>

namespace {

const std::int32_t kVersions[] = {800, 900, 1000, 1100};

std::vector<WrittenModel> WriterModels()
{
    std::vector<WrittenModel> models;
    for (std::int32_t version : kVersions) {
        models.push_back(WriteModel(FullModelSpec(version)));
        for (std::uint32_t seed = 1; seed <= 20; ++seed)
            models.push_back(WriteModel(RandomModelSpec(seed, version), seed));
    }
    return models;
}

TEST(ModelLayout, WriterModelsParseAndWriteBackUnchanged)
{
    for (const WrittenModel& model : WriterModels()) {
        ModelLayout layout;
        ASSERT_TRUE(ParseModel(model.bytes, layout));
        EXPECT_TRUE(layout.complete);
        EXPECT_EQ(WriteLayout(layout), model.bytes);
    }
}

// The reduced copy the layout predicts is the one the writer predicts from where it put floats.
TEST(ModelLayout, ReducedLayoutIsTheWritersExpectedOutput)
{
    for (const WrittenModel& model : WriterModels()) {
        ModelLayout layout;
        ASSERT_TRUE(ParseModel(model.bytes, layout));
        std::int64_t reduced = 0;
        EXPECT_EQ(WriteLayout(layout, true, nullptr, &reduced), ExpectedOutput(model));
        EXPECT_EQ(reduced, static_cast<std::int64_t>(model.reducedOffsets.size()));
        EXPECT_EQ(CheckConversion(model.bytes), "");
    }
}

TEST(ModelLayout, NotAModelDoesNotParse)
{
    ModelLayout layout;
    EXPECT_FALSE(ParseModel("", layout));
    EXPECT_FALSE(ParseModel("MDL", layout));
    EXPECT_FALSE(ParseModel("BLP1xxxxxxxx", layout));
    EXPECT_TRUE(ParseModel("MDLX", layout));
    EXPECT_TRUE(layout.complete);
}

// A geoset whose fields end before its size does not parse; its chunk is kept as plain bytes.
TEST(ModelLayout, BrokenChunkIsKeptAsItsBytes)
{
    std::string model = WriteModel(FullModelSpec(800)).bytes;
    std::vector<Mark> marks;
    ModelLayout layout;
    ASSERT_TRUE(ParseModel(model, layout));
    WriteLayout(layout, false, &marks);
    for (const Mark& mark : marks) {
        if (mark.kind == kMarkGeosetSize) {
            PutFieldAt(model, mark.offset, FieldAt(model, mark.offset) - 4);
            break;
        }
    }
    ASSERT_TRUE(ParseModel(model, layout));
    EXPECT_FALSE(layout.complete);
    EXPECT_EQ(WriteLayout(layout), model);
}

// The size of every key follows the track tag and interpolation type: a frame time and one or
// three values of 3 components, 4 for rotations.
TEST(ModelLayout, KeySizeFollowsTagAndInterpolation)
{
    EXPECT_EQ(KeySize(kTagTranslation, 0), 16);
    EXPECT_EQ(KeySize(kTagScaling, 1), 16);
    EXPECT_EQ(KeySize(kTagRotation, 1), 20);
    EXPECT_EQ(KeySize(kTagTranslation, 2), 40);
    EXPECT_EQ(KeySize(kTagRotation, 3), 52);
    EXPECT_EQ(KeySize(kTagRotation, -5), 20);
}

TEST(ModelMutator, LayoutChangesKeepModelsWellFormed)
{
    const std::vector<WrittenModel> models = WriterModels();
    for (unsigned seed = 0; seed < 600; ++seed) {
        std::mt19937 random(seed);
        ModelLayout layout;
        ASSERT_TRUE(ParseModel(models[seed % models.size()].bytes, layout));
        for (unsigned step = 0; step < 1 + seed % 6; ++step)
            MutateLayout(layout, random, nullptr);
        const std::string bytes = WriteLayout(layout);
        ModelLayout again;
        ASSERT_TRUE(ParseModel(bytes, again));
        EXPECT_TRUE(again.complete) << "seed " << seed;
        EXPECT_EQ(CheckConversion(bytes), "") << "seed " << seed;
        std::string output;
        ConversionReport report;
        EXPECT_EQ(ConvertInMemory(bytes, output, report), 1) << "seed " << seed << ": " << report.reason;
    }
}

TEST(ModelMutator, MutatedInputsFitTheirBound)
{
    const std::string model = WriteModel(FullModelSpec(1000)).bytes;
    for (unsigned seed = 0; seed < 300; ++seed) {
        const std::size_t maxSize = model.size() + 64 * (seed % 4);
        std::vector<std::uint8_t> data(model.begin(), model.end());
        data.resize(maxSize);
        const std::size_t size = MutateModel(data.data(), model.size(), maxSize, seed, nullptr);
        EXPECT_LE(size, maxSize) << "seed " << seed;
        EXPECT_EQ(CheckConversion(std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size))), "")
            << "seed " << seed;
    }
}

TEST(ModelMutator, CrossOverSplicesWholeChunks)
{
    const std::string first = WriteModel(FullModelSpec(800)).bytes;
    const std::string second = WriteModel(RandomModelSpec(7, 800), 7).bytes;
    for (unsigned seed = 0; seed < 50; ++seed) {
        std::vector<std::uint8_t> out(first.size() + second.size());
        const std::size_t size = CrossOverModels(reinterpret_cast<const std::uint8_t*>(first.data()), first.size(),
                                                 reinterpret_cast<const std::uint8_t*>(second.data()), second.size(),
                                                 out.data(), out.size(), seed);
        ASSERT_GT(size, first.size()) << "seed " << seed;
        ModelLayout layout;
        ASSERT_TRUE(ParseModel(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size)), layout));
        EXPECT_TRUE(layout.complete) << "seed " << seed;
    }
}

} // namespace
