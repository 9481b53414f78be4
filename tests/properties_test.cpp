// Properties over many generated models: the output is exactly the input with the recorded values
// reduced, has the input's length, differs only in bytes that became zero, and converting it
// again changes nothing. Also every cut of a model either ends at a chunk boundary or is refused.

#include "model_convert.h"

#include "model_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The first offset where a and b differ, or -1.
long long FirstDifference(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return static_cast<long long>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<long long>(n);
}

void ExpectConvertsExactly(const WrittenModel& model, const std::string& what)
{
    SCOPED_TRACE(what);
    const StreamResult result = ConvertBytes(model.bytes);
    ASSERT_EQ(result.converted, 1) << DescribeFailure(result.report);
    ASSERT_EQ(result.out.size(), model.bytes.size());
    const std::string expected = ExpectedOutput(model);
    EXPECT_EQ(FirstDifference(result.out, expected), -1);
    for (std::size_t i = 0; i < result.out.size(); ++i) {
        if (result.out[i] != model.bytes[i]) {
            ASSERT_EQ(result.out[i], '\0') << "byte " << i << " changed to something other than zero";
        }
    }
    EXPECT_EQ(result.report.floatsReduced, static_cast<std::int64_t>(model.reducedOffsets.size()));

    const StreamResult again = ConvertBytes(result.out);
    ASSERT_EQ(again.converted, 1) << DescribeFailure(again.report);
    EXPECT_EQ(FirstDifference(again.out, result.out), -1) << "converting the output again changed it";
}

// The offsets at which the top-level chunks of bytes end (after the magic: 4).
std::vector<std::size_t> ChunkEnds(const std::string& bytes)
{
    std::vector<std::size_t> ends = {4};
    std::size_t at = 4;
    while (at + 8 <= bytes.size()) {
        const std::size_t size = static_cast<unsigned char>(bytes[at + 4]) |
                                 static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 5])) << 8 |
                                 static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 6])) << 16 |
                                 static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 7])) << 24;
        at += 8 + size;
        ends.push_back(at);
    }
    return ends;
}

const std::int32_t kVersions[] = {800, 900, 1000, 1100};

} // namespace

TEST(ModelWriter, RecordedValuesAllChangeWhenReduced)
{
    // Otherwise a converter that skipped some of them would go unnoticed.
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelSpec(version), 1);
        const std::string expected = ExpectedOutput(model);
        for (std::uint64_t offset : model.reducedOffsets)
            ASSERT_NE(model.bytes.substr(offset, 2), expected.substr(offset, 2)) << offset;
    }
}

TEST(ModelWriter, StreamedModelIsTheWrittenModel)
{
    for (std::int32_t version : kVersions) {
        const ModelSpec description = RandomModelSpec(99, version);
        const WrittenModel model = WriteModel(description, 99);
        std::ostringstream streamed;
        EXPECT_EQ(StreamModel(description, streamed, 99), model.reducedOffsets.size());
        EXPECT_TRUE(streamed.str() == model.bytes);
    }
}

TEST(ModelWriter, SameSeedSameModel)
{
    EXPECT_TRUE(WriteModel(RandomModelSpec(5, 900), 5).bytes == WriteModel(RandomModelSpec(5, 900), 5).bytes);
    EXPECT_FALSE(WriteModel(RandomModelSpec(5, 900), 5).bytes == WriteModel(RandomModelSpec(6, 900), 6).bytes);
}

TEST(Properties, FullModelOfEveryVersionConvertsExactly)
{
    for (std::int32_t version : kVersions) {
        for (std::uint32_t seed = 1; seed <= 5; ++seed)
            ExpectConvertsExactly(WriteModel(FullModelSpec(version), seed), "full model version " +
                                                                                std::to_string(version));
    }
}

TEST(Properties, RandomModelsConvertExactly)
{
    for (std::int32_t version : kVersions) {
        for (std::uint32_t seed = 0; seed < 1000; ++seed) {
            ExpectConvertsExactly(WriteModel(RandomModelSpec(seed, version), seed),
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
            ExpectConvertsExactly(WriteModel(RandomModelSpec(seed, version), seed),
                                  "random model " + std::to_string(seed) + " version " + std::to_string(version));
    }
}

TEST(Properties, EveryCutOfAModelIsRefusedUnlessItEndsAtAChunk)
{
    // A cut at a chunk's end, or 1 to 3 bytes after it, is a whole model (plus stray bytes);
    // every other cut ends inside a chunk or the magic.
    for (std::int32_t version : {800, 1000}) {
        const WrittenModel model = WriteModel(FullModelSpec(version), 3);
        const std::string expected = ExpectedOutput(model);
        const std::vector<std::size_t> ends = ChunkEnds(model.bytes);
        for (std::size_t cut = 0; cut < model.bytes.size(); ++cut) {
            bool whole = false;
            for (std::size_t end : ends)
                whole = whole || (cut >= end && cut - end < 4);
            const StreamResult result = ConvertBytes(model.bytes.substr(0, cut));
            ASSERT_EQ(result.converted, whole ? 1 : 0) << "version " << version << " cut at " << cut;
            if (whole)
                ASSERT_TRUE(result.out == expected.substr(0, cut)) << "cut at " << cut;
            else
                ASSERT_NE(result.report.reason, "") << "cut at " << cut;
        }
    }
}

TEST(Properties, ModelOfOtherChunksIsCopiedByteForByte)
{
    for (std::uint32_t seed = 0; seed < 50; ++seed) {
        ModelSpec description = RandomModelSpec(seed, 800);
        for (ChunkSpec& chunk : description.chunks) {
            if (chunk.kind != ChunkSpec::Other) {
                chunk.kind = ChunkSpec::Other;
                chunk.tag = 0x4B4E554A; // "JUNK"
                chunk.size = static_cast<std::int32_t>(seed * 7 % 61);
            }
        }
        const WrittenModel model = WriteModel(description, seed);
        ASSERT_TRUE(model.reducedOffsets.empty());
        const StreamResult result = ConvertBytes(model.bytes);
        EXPECT_EQ(result.converted, 1);
        EXPECT_TRUE(result.out == model.bytes) << "seed " << seed;
    }
}
