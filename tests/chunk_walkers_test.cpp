// The bone, helper, geoset and version walkers on hand-built bytes: what they reduce, what they
// keep, and where they refuse input that is out of step with its declared sizes.

#include "chunk_walkers.h"

#include "model_tags.h"
#include "model_writer.h"
#include "stream_io.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// Input bytes and the bytes a walker must write for them, built field by field.
struct Fields {
    std::string in;
    std::string out;
    std::int64_t reduced = 0; // 4-byte values written reduced
};

// Field contents that look like floats and whose low 16 bits are never zero.
constexpr std::uint32_t kGlobalSequenceId = 0x3DCCCCCD;
constexpr std::uint32_t kFrameTime = 0x4120CCCD;
constexpr std::uint32_t kHeaderValue = 0x42C8CCCD;

std::uint32_t FloatLike(std::uint32_t i)
{
    return 0x3F80CCCDu + i * 0x00010101u;
}

void Kept(Fields& fields, std::uint32_t value)
{
    fields.in += Int32Bytes(value);
    fields.out += Int32Bytes(value);
}

void Reduced(Fields& fields, std::uint32_t value)
{
    fields.in += Int32Bytes(value);
    fields.out += Int32Bytes(value & 0xFFFF0000u);
    ++fields.reduced;
}

void KeptBytes(Fields& fields, std::size_t n, unsigned char first)
{
    for (std::size_t i = 0; i < n; ++i) {
        fields.in += static_cast<char>(first + i);
        fields.out += static_cast<char>(first + i);
    }
}

void Append(Fields& fields, const Fields& part)
{
    fields.in += part.in;
    fields.out += part.out;
    fields.reduced += part.reduced;
}

// A part written unchanged: what follows another track tag.
Fields Unchanged(const Fields& part)
{
    return Fields{part.in, part.in, 0};
}

// A track from its tag: key count, interpolation type, global sequence id, then keys of a frame
// time and (type <= 1 ? 1 : 3) * components reduced values.
Fields Track(std::int32_t tag, std::int32_t type, std::int32_t keys, int components)
{
    Fields track;
    Kept(track, static_cast<std::uint32_t>(tag));
    Kept(track, static_cast<std::uint32_t>(keys));
    Kept(track, static_cast<std::uint32_t>(type));
    Kept(track, kGlobalSequenceId);
    const int values = (type <= 1 ? 1 : 3) * components;
    for (int key = 0; key < keys; ++key) {
        Kept(track, kFrameTime + static_cast<std::uint32_t>(key));
        for (int v = 0; v < values; ++v)
            Reduced(track, FloatLike(static_cast<std::uint32_t>(key * values + v)));
    }
    return track;
}

// A node: inclusive size, 92-byte header, tracks.
Fields Node(const std::vector<Fields>& tracks)
{
    Fields body;
    for (int i = 0; i < 23; ++i)
        Kept(body, kHeaderValue + static_cast<std::uint32_t>(i));
    for (const Fields& track : tracks)
        Append(body, track);
    Fields node;
    Kept(node, static_cast<std::uint32_t>(4 + body.in.size()));
    Append(node, body);
    return node;
}

Fields Bone(const std::vector<Fields>& tracks)
{
    Fields bone = Node(tracks);
    Kept(bone, 0x3E4CCCCD); // geoset id
    Kept(bone, 0x3E99999A); // geoset animation id
    return bone;
}

struct GeosetLayout {
    std::int32_t version = 800;
    int vertices = 3;
    int faceIndices = 3;
    int vertexGroups = 3;
    int extents = 1;
    int uvSets = 1;
    bool tangents = false;
    bool skin = false;
};

void ReducedArray(Fields& geoset, const char* tag, int count, int components, std::uint32_t first)
{
    Kept(geoset, static_cast<std::uint32_t>(TagFromLetters(tag)));
    Kept(geoset, static_cast<std::uint32_t>(count));
    for (int i = 0; i < count * components; ++i)
        Reduced(geoset, first + static_cast<std::uint32_t>(i) * 0x00010203u);
}

// A geoset body (after its size) in the layout the walker follows for layout.version.
Fields GeosetBody(const GeosetLayout& layout)
{
    Fields g;
    ReducedArray(g, "VRTX", layout.vertices, 3, 0x3F80CCCD);
    ReducedArray(g, "NRMS", layout.vertices, 3, 0xBF00CCCD);
    Kept(g, static_cast<std::uint32_t>(TagFromLetters("PTYP")));
    Kept(g, 1);
    Kept(g, 4);
    Kept(g, static_cast<std::uint32_t>(TagFromLetters("PCNT")));
    Kept(g, 1);
    Kept(g, static_cast<std::uint32_t>(layout.faceIndices));
    Kept(g, static_cast<std::uint32_t>(TagFromLetters("PVTX")));
    Kept(g, static_cast<std::uint32_t>(layout.faceIndices));
    KeptBytes(g, static_cast<std::size_t>(layout.faceIndices) * 2, 0x41);
    Kept(g, static_cast<std::uint32_t>(TagFromLetters("GNDX")));
    Kept(g, static_cast<std::uint32_t>(layout.vertexGroups));
    KeptBytes(g, static_cast<std::size_t>(layout.vertexGroups), 0x61);
    Kept(g, static_cast<std::uint32_t>(TagFromLetters("MTGC")));
    Kept(g, 1);
    Kept(g, 0x3F99999A);
    Kept(g, static_cast<std::uint32_t>(TagFromLetters("MATS")));
    Kept(g, 1);
    Kept(g, 0x3FB33333);
    // material id, selection group, selection flags, [LOD, LOD name,] extent: all kept
    const int blockValues = layout.version > 800 ? 31 : 10;
    for (int i = 0; i < blockValues; ++i)
        Kept(g, 0x4049CCCDu + static_cast<std::uint32_t>(i));
    Kept(g, static_cast<std::uint32_t>(layout.extents));
    for (int i = 0; i < layout.extents * 7; ++i)
        Reduced(g, 0x4479CCCDu + static_cast<std::uint32_t>(i) * 0x00010001u);
    if (layout.tangents)
        ReducedArray(g, "TANG", layout.vertices, 4, 0x3F3504F3);
    if (layout.skin) {
        Kept(g, static_cast<std::uint32_t>(TagFromLetters("SKIN")));
        Kept(g, static_cast<std::uint32_t>(layout.vertices * 8));
        KeptBytes(g, static_cast<std::size_t>(layout.vertices) * 8, 0x21);
    }
    Kept(g, static_cast<std::uint32_t>(TagFromLetters("UVAS")));
    Kept(g, static_cast<std::uint32_t>(layout.uvSets));
    for (int set = 0; set < layout.uvSets; ++set)
        ReducedArray(g, "UVBS", layout.vertices, 2, 0x3E80CCCDu + static_cast<std::uint32_t>(set));
    return g;
}

Fields Geoset(const GeosetLayout& layout)
{
    const Fields body = GeosetBody(layout);
    Fields geoset;
    Kept(geoset, static_cast<std::uint32_t>(4 + body.in.size()));
    Append(geoset, body);
    return geoset;
}

// A chunk as the walker sees it (size and body; the tag was read by the driver) and as it must
// write it (tag, size, body).
Fields Chunk(std::int32_t tag, const std::vector<Fields>& items)
{
    Fields body;
    for (const Fields& item : items)
        Append(body, item);
    Fields chunk;
    chunk.out = Int32Bytes(static_cast<std::uint32_t>(tag));
    Kept(chunk, static_cast<std::uint32_t>(body.in.size()));
    Append(chunk, body);
    return chunk;
}

using ChunkWalker = void (*)(std::istream&, std::ostream&, ConversionReport&);

// Each kind of chunk as the driver walks it, right after reading its tag.
void WalkBoneChunk(std::istream& source, std::ostream& sink, ConversionReport& report)
{
    WalkChunk(source, sink, kTagBone, report);
}

void WalkHelperChunk(std::istream& source, std::ostream& sink, ConversionReport& report)
{
    WalkChunk(source, sink, kTagHelper, report);
}

void WalkGeosetChunk(std::istream& source, std::ostream& sink, ConversionReport& report)
{
    WalkChunk(source, sink, kTagGeoset, report);
}

void WalkVersionChunk(std::istream& source, std::ostream& sink, ConversionReport& report)
{
    WalkChunk(source, sink, kTagVersion, report);
}

struct WalkResult {
    std::string out;
    ConversionReport report;
    bool failed = false;
    std::streamoff position = 0; // where the walk left the source
};

WalkResult Walk(ChunkWalker walker, const std::string& input, std::int32_t version = 800)
{
    std::istringstream source(input + "NEXT");
    std::ostringstream sink;
    WalkResult result;
    result.report.version = version;
    walker(source, sink, result.report);
    result.out = sink.str();
    result.failed = source.fail();
    result.position = source.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
    return result;
}

// The walk ended where the chunk ends, wrote exactly the expected bytes and reduced count floats.
void ExpectWalked(const WalkResult& result, const Fields& chunk)
{
    EXPECT_FALSE(result.failed) << result.report.reason;
    EXPECT_EQ(result.report.reason, "");
    EXPECT_EQ(result.position, static_cast<std::streamoff>(chunk.in.size()));
    EXPECT_EQ(result.out.size(), chunk.out.size());
    EXPECT_TRUE(result.out == chunk.out) << HexBytes(result.out) << "\nexpected\n" << HexBytes(chunk.out);
    EXPECT_EQ(result.report.floatsReduced, chunk.reduced);
}

void ExpectRefused(const WalkResult& result)
{
    EXPECT_TRUE(result.failed);
    EXPECT_NE(result.report.reason, "");
    EXPECT_GE(result.report.offset, 0);
}

const std::int32_t kTagVisibility = TagFromLetters("KATV");

} // namespace

// ---- Nodes and tracks

TEST(WalkHelperChunk, NodeWithoutTracksIsCopiedUnchanged)
{
    const Fields node = Node({});
    ASSERT_EQ(node.in.size(), 96u);
    const Fields chunk = Chunk(kTagHelper, {node});
    const WalkResult result = Walk(WalkHelperChunk, chunk.in);
    ExpectWalked(result, chunk);
    EXPECT_EQ(result.out, "HELP" + chunk.in);
    EXPECT_EQ(result.report.floatsReduced, 0);
}

TEST(WalkTrack, LinearRotationWithTwoKeysTakes56Bytes)
{
    const Fields track = Track(kTagRotation, 1, 2, 4);
    ASSERT_EQ(track.in.size(), 56u);
    const Fields chunk = Chunk(kTagHelper, {Node({track})});
    const WalkResult result = Walk(WalkHelperChunk, chunk.in);
    ExpectWalked(result, chunk); // nothing read beyond the track
    EXPECT_EQ(result.report.floatsReduced, 8);
}

TEST(WalkTrack, LinearRotationKeepsFrameTimesAndReducesQuaternions)
{
    // count 2, linear, global sequence id, then two keys of a frame time and a quaternion.
    const std::string input = Int32Bytes(2) + Int32Bytes(1) + Int32Bytes(0x3DCCCCCD) +                 //
                              Int32Bytes(0x4120CCCD) + Int32Bytes(0x3F8CCCCD) + Int32Bytes(0xBDCCCCCD) + //
                              Int32Bytes(0x3F3504F3) + Int32Bytes(0xBF3504F3) +                          //
                              Int32Bytes(0x41A0CCCD) + Int32Bytes(0x3E4CCCCD) + Int32Bytes(0x00000000) + //
                              Int32Bytes(0x3F800000) + Int32Bytes(0x8000FFFF);
    const std::string expected = Int32Bytes(2) + Int32Bytes(1) + Int32Bytes(0x3DCCCCCD) +                 //
                                 Int32Bytes(0x4120CCCD) + Int32Bytes(0x3F8C0000) + Int32Bytes(0xBDCC0000) + //
                                 Int32Bytes(0x3F350000) + Int32Bytes(0xBF350000) +                          //
                                 Int32Bytes(0x41A0CCCD) + Int32Bytes(0x3E4C0000) + Int32Bytes(0x00000000) + //
                                 Int32Bytes(0x3F800000) + Int32Bytes(0x80000000);
    const Fields chunk = Chunk(kTagHelper, {Node({Fields{"KGRT" + input, "KGRT" + expected, 8}})});
    ExpectWalked(Walk(WalkHelperChunk, chunk.in), chunk);
}

TEST(WalkTrack, HermiteTranslationKeyCarriesNineFloats)
{
    const Fields track = Track(kTagTranslation, 2, 2, 3);
    ASSERT_EQ(track.in.size(), 16u + 2 * 4 * 10);
    const Fields chunk = Chunk(kTagHelper, {Node({track})});
    const WalkResult result = Walk(WalkHelperChunk, chunk.in);
    ExpectWalked(result, chunk);
    EXPECT_EQ(result.report.floatsReduced, 18);
}

TEST(WalkTrack, BezierCarriesTangentsAndNegativeTypeCarriesNone)
{
    // Type 3 (Bezier) has three values per key; a type below 0 compares as at most 1: one value.
    for (std::int32_t type : {3, 7, -1, 0}) {
        const Fields track = Track(kTagScaling, type, 3, 3);
        const std::int64_t values = type <= 1 ? 3 : 9;
        ASSERT_EQ(track.in.size(), 16u + 3 * 4 * (values + 1)) << "type " << type;
        const Fields chunk = Chunk(kTagHelper, {Node({track})});
        const WalkResult result = Walk(WalkHelperChunk, chunk.in);
        ExpectWalked(result, chunk);
        EXPECT_EQ(result.report.floatsReduced, 3 * values) << "type " << type;
    }
}

TEST(WalkNodeTracks, AnotherTrackTagCopiesTheRestOfTheNodeUnchanged)
{
    // A rotation track is reduced; after a visibility track everything, a later translation track
    // included, is copied as it stands.
    const Fields chunk = Chunk(kTagHelper, {Node({Track(kTagRotation, 2, 2, 4), Unchanged(Track(kTagVisibility, 0, 3, 1)),
                                                  Unchanged(Track(kTagTranslation, 1, 2, 3))})});
    const WalkResult result = Walk(WalkHelperChunk, chunk.in);
    ExpectWalked(result, chunk);
    EXPECT_EQ(result.report.floatsReduced, 24);
}

TEST(WalkNodeTracks, TrackWithoutKeysTakesSixteenBytes)
{
    const Fields chunk =
        Chunk(kTagHelper, {Node({Track(kTagTranslation, 1, 0, 3), Track(kTagScaling, 3, 0, 3), Track(kTagRotation, 2, 1, 4)})});
    ExpectWalked(Walk(WalkHelperChunk, chunk.in), chunk);
}

TEST(WalkBoneChunk, KeepsHeadersFrameTimesSequenceIdsAndGeosetIds)
{
    const Fields chunk = Chunk(kTagBone, {Bone({Track(kTagTranslation, 0, 2, 3), Track(kTagRotation, 1, 1, 4)}),
                                          Bone({}), Bone({Track(kTagScaling, 3, 2, 3)})});
    const WalkResult result = Walk(WalkBoneChunk, chunk.in);
    ExpectWalked(result, chunk);
    EXPECT_EQ(result.report.floatsReduced, chunk.reduced);
    EXPECT_EQ(result.report.floatsReduced, 6 + 4 + 18);
}

TEST(WalkHelperChunk, WalksEveryTrackKindAndInterpolation)
{
    std::vector<Fields> nodes;
    for (std::int32_t type = 0; type <= 3; ++type)
        nodes.push_back(Node({Track(kTagTranslation, type, 2, 3), Track(kTagRotation, type, 3, 4),
                              Track(kTagScaling, type, 1, 3)}));
    const Fields chunk = Chunk(kTagHelper, nodes);
    const WalkResult result = Walk(WalkHelperChunk, chunk.in);
    ExpectWalked(result, chunk);
    EXPECT_EQ(result.report.floatsReduced, chunk.reduced);
}

TEST(ChunkWalkers, EmptyChunksWriteTagAndZeroSizeOnly)
{
    const ChunkWalker walkers[] = {WalkBoneChunk, WalkHelperChunk, WalkGeosetChunk};
    const char* const tags[] = {"BONE", "HELP", "GEOS"};
    for (int i = 0; i < 3; ++i) {
        const WalkResult result = Walk(walkers[i], Int32Bytes(0));
        EXPECT_EQ(result.out, std::string(tags[i]) + Int32Bytes(0));
        EXPECT_FALSE(result.failed);
        EXPECT_EQ(result.position, 4);
    }
}

// ---- Geosets

TEST(WalkGeosetChunk, ReducesFloatArraysAndKeepsTheFortyByteBlock)
{
    GeosetLayout layout;
    layout.extents = 2;
    const Fields chunk = Chunk(kTagGeoset, {Geoset(layout)});
    const WalkResult result = Walk(WalkGeosetChunk, chunk.in);
    ExpectWalked(result, chunk);
    // positions 9, normals 9, extents 14, one set of coordinates 6
    EXPECT_EQ(result.report.floatsReduced, 38);
}

TEST(WalkGeosetChunk, OneTextureCoordinateSetKeepsTheLength)
{
    const Fields chunk = Chunk(kTagGeoset, {Geoset(GeosetLayout())});
    const WalkResult result = Walk(WalkGeosetChunk, chunk.in);
    EXPECT_EQ(result.out.size(), chunk.in.size() + 4);
    ExpectWalked(result, chunk);
}

TEST(WalkGeosetChunk, OddFaceIndexAndVertexGroupCountsNeedNoAlignment)
{
    GeosetLayout odd;
    odd.vertices = 5;
    odd.faceIndices = 9;
    odd.vertexGroups = 5;
    GeosetLayout single;
    single.faceIndices = 1;
    single.vertexGroups = 1;
    const Fields chunk = Chunk(kTagGeoset, {Geoset(odd), Geoset(single), Geoset(odd)});
    ExpectWalked(Walk(WalkGeosetChunk, chunk.in), chunk);
}

TEST(WalkGeosetChunk, NoSequenceExtentsGoesOnWithTheCoordinates)
{
    GeosetLayout layout;
    layout.extents = 0;
    const Fields chunk = Chunk(kTagGeoset, {Geoset(layout)});
    ExpectWalked(Walk(WalkGeosetChunk, chunk.in), chunk);
}

TEST(WalkGeosetChunk, EmptyArrays)
{
    GeosetLayout layout;
    layout.vertices = 0;
    layout.faceIndices = 0;
    layout.vertexGroups = 0;
    layout.extents = 0;
    const Fields chunk = Chunk(kTagGeoset, {Geoset(layout)});
    const WalkResult result = Walk(WalkGeosetChunk, chunk.in);
    ExpectWalked(result, chunk);
    EXPECT_EQ(result.report.floatsReduced, 0);
}

TEST(WalkGeosetChunk, TwoAndThreeTextureCoordinateSetsEachHaveTheirTag)
{
    for (int sets : {0, 2, 3}) {
        GeosetLayout layout;
        layout.uvSets = sets;
        layout.vertices = 4;
        const Fields chunk = Chunk(kTagGeoset, {Geoset(layout), Geoset(GeosetLayout())});
        const WalkResult result = Walk(WalkGeosetChunk, chunk.in);
        SCOPED_TRACE(sets);
        ExpectWalked(result, chunk);
        // first geoset: positions 12, normals 12, extents 7, 8 per set; second: 9 + 9 + 7 + 6
        EXPECT_EQ(result.report.floatsReduced, 12 + 12 + 7 + sets * 8 + 31);
    }
}

TEST(WalkGeosetChunk, LaterVersionsWithAndWithoutTangentsAndSkin)
{
    for (std::int32_t version : {900, 1000, 1100}) {
        for (int variant = 0; variant < 4; ++variant) {
            GeosetLayout layout;
            layout.version = version;
            layout.vertices = 5;
            layout.tangents = (variant & 1) != 0;
            layout.skin = (variant & 2) != 0;
            layout.uvSets = 1 + variant % 3;
            const Fields chunk = Chunk(kTagGeoset, {Geoset(layout)});
            const WalkResult result = Walk(WalkGeosetChunk, chunk.in, version);
            SCOPED_TRACE(testing::Message() << "version " << version << " tangents " << layout.tangents << " skin "
                                            << layout.skin);
            ExpectWalked(result, chunk);
            EXPECT_EQ(result.report.floatsReduced, chunk.reduced);
        }
    }
}

TEST(WalkGeosetChunk, LaterLayoutKeepsTheLodBlockAndReducesTangents)
{
    GeosetLayout layout;
    layout.version = 1000;
    layout.tangents = true;
    const Fields chunk = Chunk(kTagGeoset, {Geoset(layout)});
    const WalkResult result = Walk(WalkGeosetChunk, chunk.in, 1000);
    ExpectWalked(result, chunk);
    // positions 9, normals 9, extents 7, tangents 12, coordinates 6
    EXPECT_EQ(result.report.floatsReduced, 43);
}

TEST(WalkGeosetChunk, ArrayTagsAreCopiedWithoutBeingCompared)
{
    // Whatever stands where an array's tag belongs is copied; in the classic layout even "TANG"
    // and "SKIN" in the texture coordinates' place are just tags.
    const char* const replacements[][2] = {{"VRTX", "TANG"}, {"NRMS", "SKIN"}, {"PTYP", "KGTR"},
                                           {"UVAS", "TANG"}, {"UVBS", "SKIN"}, {"MATS", "\0\0\0\0"}};
    for (std::int32_t version : {800, 900}) {
        GeosetLayout layout;
        layout.version = version;
        Fields geoset = Geoset(layout);
        for (const auto& replacement : replacements) {
            const std::string from(replacement[0], 4), to(replacement[1], 4);
            if (version > 800 && from == "UVAS")
                continue; // there the walker does look for "TANG" and "SKIN"
            const std::size_t at = geoset.in.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            geoset.in.replace(at, 4, to);
            geoset.out.replace(at, 4, to);
        }
        const Fields chunk = Chunk(kTagGeoset, {geoset});
        SCOPED_TRACE(version);
        ExpectWalked(Walk(WalkGeosetChunk, chunk.in, version), chunk);
    }
}

TEST(WalkGeosetChunk, LayoutOfAnotherVersionIsOutOfStep)
{
    GeosetLayout later;
    later.version = 900;
    const Fields laterChunk = Chunk(kTagGeoset, {Geoset(later)});
    ExpectRefused(Walk(WalkGeosetChunk, laterChunk.in, 800));
    const Fields classicChunk = Chunk(kTagGeoset, {Geoset(GeosetLayout())});
    ExpectRefused(Walk(WalkGeosetChunk, classicChunk.in, 900));
}

// ---- The version chunk

TEST(WalkVersionChunk, NotesAFourByteBodyAsTheVersion)
{
    const WalkResult result = Walk(WalkVersionChunk, Int32Bytes(4) + Int32Bytes(1000));
    EXPECT_EQ(result.out, "VERS" + Int32Bytes(4) + Int32Bytes(1000));
    EXPECT_EQ(result.report.version, 1000);
    EXPECT_FALSE(result.failed);
}

TEST(WalkVersionChunk, OtherBodySizesAreCopiedAndLeaveTheVersion)
{
    const std::string input = Int32Bytes(8) + Int32Bytes(900) + Int32Bytes(0x3F8CCCCD);
    const WalkResult result = Walk(WalkVersionChunk, input);
    EXPECT_EQ(result.out, "VERS" + input);
    EXPECT_EQ(result.report.version, 800);
    EXPECT_EQ(result.position, 12);
}

TEST(WalkVersionChunk, VersionCutShortIsNotNoted)
{
    // Two bytes of the version's four: the walk fails, and the half-read value (28) does not
    // replace the version the model had so far (the failure's reason would name it).
    std::istringstream source(Int32Bytes(4) + std::string("\x1C\x00", 2));
    std::ostringstream sink;
    ConversionReport report;
    WalkVersionChunk(source, sink, report);
    EXPECT_TRUE(source.fail());
    EXPECT_EQ(report.version, 800);
}

// ---- Input out of step with its sizes

TEST(WalkNode, SizeBelowItsHeaderIsRefused)
{
    Fields node = Node({});
    node.in.replace(0, 4, Int32Bytes(92));
    const Fields chunk = Chunk(kTagHelper, {node});
    ExpectRefused(Walk(WalkHelperChunk, chunk.in));
}

TEST(WalkNode, NodeLargerThanItsChunkIsRefused)
{
    const Fields node = Node({Track(kTagTranslation, 1, 1, 3)});
    // The chunk says 96 bytes, the node says 96 + 32.
    const std::string input = Int32Bytes(96) + node.in;
    ExpectRefused(Walk(WalkHelperChunk, input));
}

TEST(WalkBoneChunk, BoneWhoseGeosetIdsRunPastTheChunkIsRefused)
{
    const Fields bone = Bone({});
    const std::string input = Int32Bytes(static_cast<std::uint32_t>(bone.in.size() - 4)) + bone.in;
    ExpectRefused(Walk(WalkBoneChunk, input));
}

TEST(WalkNodeTracks, TrackRunningPastItsNodeIsRefused)
{
    // The node's size leaves room for the track's fields but not for its two keys.
    Fields node = Node({Track(kTagRotation, 1, 2, 4)});
    node.in.replace(0, 4, Int32Bytes(96 + 16 + 20));
    const std::string input = Int32Bytes(96 + 16 + 20) + node.in.substr(0, 96 + 16 + 20);
    const WalkResult result = Walk(WalkHelperChunk, input);
    ExpectRefused(result);
    EXPECT_LE(result.out.size(), input.size() + 4);
}

TEST(WalkNodeTracks, RegionEndingInsideATrackTagIsRefused)
{
    // Two bytes of track region: too few for a tag.
    Fields node = Node({});
    node.in.replace(0, 4, Int32Bytes(98));
    node.in += "AB";
    const std::string input = Int32Bytes(98) + node.in;
    ExpectRefused(Walk(WalkHelperChunk, input));
}

TEST(WalkTrack, NegativeKeyCountIsRefused)
{
    const std::string track = "KGTR" + Int32Bytes(0xFFFFFFFF) + Int32Bytes(1) + Int32Bytes(kGlobalSequenceId);
    const Fields chunk = Chunk(kTagHelper, {Node({Unchanged(Fields{track + std::string(64, 'x'), "", 0})})});
    const WalkResult result = Walk(WalkHelperChunk, chunk.in);
    ExpectRefused(result);
    EXPECT_EQ(result.report.floatsReduced, 0);
}

TEST(WalkGeoset, FieldsNotEndingAtTheGeosetSizeAreRefused)
{
    // The geoset claims 4 bytes more than its fields take, and the chunk agrees.
    const Fields body = GeosetBody(GeosetLayout());
    const std::uint32_t size = static_cast<std::uint32_t>(4 + body.in.size() + 4);
    const std::string input = Int32Bytes(size) + Int32Bytes(size) + body.in + "PADS";
    ExpectRefused(Walk(WalkGeosetChunk, input));
}

TEST(WalkGeoset, FieldsRunningPastTheGeosetSizeAreRefused)
{
    const Fields body = GeosetBody(GeosetLayout());
    const std::uint32_t size = static_cast<std::uint32_t>(4 + body.in.size() - 8);
    const std::string input = Int32Bytes(size) + Int32Bytes(size) + body.in;
    ExpectRefused(Walk(WalkGeosetChunk, input));
}

TEST(WalkGeoset, SizeBelowFourOrPastTheChunkIsRefused)
{
    ExpectRefused(Walk(WalkGeosetChunk, Int32Bytes(4) + Int32Bytes(3)));
    const Fields geoset = Geoset(GeosetLayout());
    ExpectRefused(Walk(WalkGeosetChunk, Int32Bytes(static_cast<std::uint32_t>(geoset.in.size() - 4)) + geoset.in));
}

TEST(WalkGeoset, NegativeArrayCountIsRefused)
{
    Fields geoset = Geoset(GeosetLayout());
    // The face type count sits after size, two reduced arrays of 3 vertices and the "PTYP" tag.
    const std::size_t faceTypeCount = 4 + 2 * (8 + 36) + 4;
    ASSERT_EQ(geoset.in.substr(faceTypeCount - 4, 4), "PTYP");
    geoset.in.replace(faceTypeCount, 4, Int32Bytes(0xFFFFFFFF));
    const std::string input = Int32Bytes(static_cast<std::uint32_t>(geoset.in.size())) + geoset.in;
    ExpectRefused(Walk(WalkGeosetChunk, input));
}

TEST(WalkGeoset, NegativeCoordinateSetCountIsRefused)
{
    GeosetLayout layout;
    layout.uvSets = 0;
    Fields geoset = Geoset(layout);
    geoset.in.replace(geoset.in.size() - 4, 4, Int32Bytes(0xFFFFFFFF));
    const std::string input = Int32Bytes(static_cast<std::uint32_t>(geoset.in.size())) + geoset.in;
    ExpectRefused(Walk(WalkGeosetChunk, input));
}

TEST(ChunkWalkers, NegativeChunkSizeIsRefused)
{
    for (ChunkWalker walker : {WalkBoneChunk, WalkHelperChunk, WalkGeosetChunk})
        ExpectRefused(Walk(walker, Int32Bytes(0xFFFFFFF0)));
}

TEST(ChunkWalkers, InputEndingInsideAChunkEndsTheWalkSoon)
{
    const Fields chunk = Chunk(kTagBone, {Bone({Track(kTagRotation, 3, 4, 4)}), Bone({})});
    for (std::size_t cut = 4; cut < chunk.in.size(); cut += 7) {
        std::istringstream source(chunk.in.substr(0, cut));
        std::ostringstream sink;
        ConversionReport report;
        WalkBoneChunk(source, sink, report);
        EXPECT_TRUE(source.fail()) << "cut at " << cut;
        // The tag (written by the walker) and at most what was read: nothing is invented.
        EXPECT_LE(sink.str().size(), cut + 4) << "cut at " << cut;
    }
}
