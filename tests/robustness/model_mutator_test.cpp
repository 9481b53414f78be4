// The fuzzer's structure-aware mutator: its changes must keep a well-formed model well-formed,
// so that fuzzing gets past the size checks into the walkers, and what it writes must fit the
// room libFuzzer gives it.

#include "conversion_checks.h"
#include "model_mutator.h"
#include "test_support.h"

#include <gtest/gtest.h>

TEST(ModelMutator, LayoutChangesKeepModelsWellFormed)
{
    const std::vector<WrittenModel> models = OracleModels();
    for (unsigned seed = 0; seed < 600; ++seed) {
        std::mt19937 random(seed);
        ModelLayout layout;
        ASSERT_TRUE(ParseModel(models[seed % models.size()].bytes, layout));
        for (unsigned step = 0; step < 1 + seed % 6; ++step)
            MutateLayout(layout, random, nullptr);
        const std::string bytes = WriteLayout(layout).bytes;
        ModelLayout again;
        ASSERT_TRUE(ParseModel(bytes, again));
        EXPECT_TRUE(again.complete) << "seed " << seed;
        EXPECT_EQ(CheckConversion(bytes), "") << "seed " << seed;
        const StreamResult result = ConvertBytes(bytes);
        EXPECT_EQ(result.converted, 1) << "seed " << seed << ": " << result.report.reason;
    }
}

TEST(ModelMutator, MutatedInputsFitTheirBound)
{
    const std::string model = WriteModel(FullModelPlan(1000)).bytes;
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
    const std::string first = WriteModel(FullModelPlan(800)).bytes;
    const std::string second = WriteModel(RandomModelPlan(7, 800), 7).bytes;
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
