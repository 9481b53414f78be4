// The model oracle that every other test trusts for its expected outputs: its records name every
// reduced value with its kind and original bytes, streaming writes what writing holds, and what
// it parses writes back to the same bytes and records.

#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

const std::int32_t kVersions[] = {800, 900, 1000, 1100};

} // namespace

// Otherwise a converter that skipped some of them would go unnoticed.
TEST(ModelOracle, RecordedValuesHoldTheirOriginalBytesAndAllChangeWhenReduced)
{
    for (std::int32_t version : kVersions) {
        const WrittenModel model = WriteModel(FullModelPlan(version));
        const std::string expected = ExpectedOutput(model);
        for (const ReducedValue& value : model.reduced) {
            ASSERT_EQ(model.bytes.substr(value.offset, 4), Int32Bytes(value.original)) << value.offset;
            ASSERT_NE(model.bytes.substr(value.offset, 2), expected.substr(value.offset, 2)) << value.offset;
            ASSERT_EQ(expected.substr(value.offset + 2, 2), model.bytes.substr(value.offset + 2, 2)) << value.offset;
        }
    }
}

// One geoset and one node whose value counts follow from their description alone.
TEST(ModelOracle, RecordsNameTheKindOfEveryValueAndKeepQuaternionsTogether)
{
    ModelPlan description;
    description.version = 1000;
    GeosetPlan geoset;
    geoset.vertexCount = 5;
    geoset.extentCount = 2;
    geoset.uvSetCount = 3;
    geoset.tangents = true;
    geoset.skin = true;
    description.chunks.resize(2);
    description.chunks[0].kind = ChunkPlan::Geosets;
    description.chunks[0].geosets = {geoset};
    description.chunks[1].kind = ChunkPlan::Bones;
    description.chunks[1].nodes = {{{{TagOf("KGTR"), 1, 2}, {TagOf("KGRT"), 2, 3}, {TagOf("KGSC"), 3, 1},
                                     {TagOf("KATV"), 1, 4}, {TagOf("KGRT"), 1, 2}}}};
    const WrittenModel model = WriteModel(description);

    std::map<ValueKind, int> counts;
    for (const ReducedValue& value : model.reduced)
        ++counts[value.kind];
    EXPECT_EQ(counts[ValueKind::Position], 15);
    EXPECT_EQ(counts[ValueKind::Normal], 15);
    EXPECT_EQ(counts[ValueKind::Tangent], 20);
    EXPECT_EQ(counts[ValueKind::Extent], 14);
    EXPECT_EQ(counts[ValueKind::TextureCoordinate], 30);
    EXPECT_EQ(counts[ValueKind::Translation], 6);
    EXPECT_EQ(counts[ValueKind::Rotation], 36); // three Hermite keys of three quaternions; none after "KATV"
    EXPECT_EQ(counts[ValueKind::Scaling], 9);

    // Records stand in file order; a rotation key's 12 values follow its frame time in one run.
    std::vector<std::uint64_t> rotations;
    for (std::size_t i = 0; i < model.reduced.size(); ++i) {
        EXPECT_TRUE(i == 0 || model.reduced[i].offset > model.reduced[i - 1].offset) << i;
        if (model.reduced[i].kind == ValueKind::Rotation)
            rotations.push_back(model.reduced[i].offset);
    }
    for (std::size_t i = 0; i < rotations.size(); ++i)
        EXPECT_EQ(rotations[i], rotations[i - i % 12] + 4 * (i % 12)) << i;
}

TEST(ModelOracle, StreamedModelIsTheWrittenModel)
{
    for (std::int32_t version : kVersions) {
        ModelPlan description = RandomModelPlan(99, version);
        description.chunks.push_back(FullModelPlan(version).chunks[4]); // bones and geosets, flushed one by one
        description.chunks.push_back(FullModelPlan(version).chunks[7]);
        const WrittenModel model = WriteModel(description, 99);
        std::ostringstream streamed;
        EXPECT_EQ(StreamModel(description, streamed, 99), model.reduced.size());
        EXPECT_TRUE(streamed.str() == model.bytes) << FirstDifference(streamed.str(), model.bytes);
    }
}

TEST(ModelOracle, SameSeedSameModel)
{
    EXPECT_TRUE(WriteModel(RandomModelPlan(5, 900), 5).bytes == WriteModel(RandomModelPlan(5, 900), 5).bytes);
    EXPECT_FALSE(WriteModel(RandomModelPlan(5, 900), 5).bytes == WriteModel(RandomModelPlan(6, 900), 6).bytes);
}

// The fuzz target's expected output comes from what the oracle parses.
TEST(ModelOracle, ParsedModelsWriteBackWithTheSameBytesRecordsAndMarks)
{
    for (const WrittenModel& model : OracleModels()) {
        ModelLayout layout;
        ASSERT_TRUE(ParseModel(model.bytes, layout));
        EXPECT_TRUE(layout.complete);
        const WrittenModel again = WriteLayout(layout);
        ASSERT_TRUE(again.bytes == model.bytes);
        ASSERT_EQ(again.reduced.size(), model.reduced.size());
        for (std::size_t i = 0; i < model.reduced.size(); ++i) {
            EXPECT_EQ(again.reduced[i].offset, model.reduced[i].offset);
            EXPECT_EQ(again.reduced[i].kind, model.reduced[i].kind);
        }
        ASSERT_EQ(again.marks.size(), model.marks.size());
        for (std::size_t i = 0; i < model.marks.size(); ++i)
            EXPECT_EQ(again.marks[i].offset, model.marks[i].offset);
    }
}

TEST(ModelOracle, NotAModelDoesNotParse)
{
    ModelLayout layout;
    EXPECT_FALSE(ParseModel("", layout));
    EXPECT_FALSE(ParseModel("MDL", layout));
    EXPECT_FALSE(ParseModel("BLP1xxxxxxxx", layout));
    EXPECT_TRUE(ParseModel("MDLX", layout));
    EXPECT_TRUE(layout.complete);
}

// A geoset whose fields end before its size does not parse; its chunk is kept as plain bytes.
TEST(ModelOracle, BrokenChunkIsKeptAsItsBytes)
{
    const WrittenModel model = WriteModel(FullModelPlan(800));
    std::string broken = model.bytes;
    for (const Mark& mark : model.marks) {
        if (mark.kind == kMarkGeosetSize) {
            PutFieldAt(broken, mark.offset, FieldAt(broken, mark.offset) - 4);
            break;
        }
    }
    ModelLayout layout;
    ASSERT_TRUE(ParseModel(broken, layout));
    EXPECT_FALSE(layout.complete);
    EXPECT_TRUE(WriteLayout(layout).bytes == broken);
}
