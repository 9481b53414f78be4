#pragma once

// The model oracle: the one description of the MDX layout outside the converter, written apart
// from it on purpose (it shares no code or header with convert/), so that a mistake in the
// converter's reading of the layout cannot hide in its tests. It builds models from a
// description, writes them together with the record of every value the converter must reduce,
// predicts the reduced copy from that record, and parses bytes the way the converter walks them.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// ---- The layout

// A four-letter tag as the 32-bit little-endian number its bytes form in the file.
constexpr std::int32_t TagOf(const char* letters)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned char>(letters[0])) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(letters[1])) << 8 |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(letters[2])) << 16 |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(letters[3])) << 24);
}

namespace tags {
constexpr std::int32_t kModel = TagOf("MDLX"); // the first four bytes of every model
constexpr std::int32_t kVersion = TagOf("VERS");
constexpr std::int32_t kBone = TagOf("BONE");
constexpr std::int32_t kHelper = TagOf("HELP");
constexpr std::int32_t kGeoset = TagOf("GEOS");
constexpr std::int32_t kTranslation = TagOf("KGTR");
constexpr std::int32_t kRotation = TagOf("KGRT");
constexpr std::int32_t kScaling = TagOf("KGSC");
constexpr std::int32_t kTangents = TagOf("TANG"); // geosets of versions above 800
constexpr std::int32_t kSkin = TagOf("SKIN");     // geosets of versions above 800
} // namespace tags

// After a node's inclusive size: name (80 bytes), object id, parent id, flags. Tracks follow.
constexpr std::int64_t kNodeHeaderSize = 92;
// After a bone's node: its geoset id and geoset animation id.
constexpr std::int64_t kBoneTailSize = 8;

// The eight tagged arrays at the start of a geoset, in file order, and the size of an element.
enum GeosetArray { kPositions, kNormals, kFaceTypes, kFaceGroups, kFaces, kVertexGroups, kMatrixGroups, kMatrixIndices };
constexpr int kGeosetArrayCount = 8;
constexpr std::int64_t kGeosetElementSizes[kGeosetArrayCount] = {12, 12, 4, 4, 2, 1, 4, 4};
// Elements of the later arrays: a sequence extent (radius, minimum, maximum: 7 floats), a
// tangent (4 floats), a skin weight (1 byte), a texture coordinate pair (2 floats).
constexpr std::int64_t kExtentSize = 28;
constexpr std::int64_t kTangentSize = 16;
constexpr std::int64_t kSkinSize = 1;
constexpr std::int64_t kCoordinateSize = 8;

// The block after the arrays: material id, selection group, selection flags and the extent
// (40 bytes); versions above 800 add a LOD level and an 80-byte LOD name (124 bytes).
std::int64_t GeosetBlockSize(std::int32_t version);

// True for the tracks whose keys are reduced: translation, rotation, scaling.
bool IsReducedTrack(std::int32_t tag);

// The bytes of one key: a frame time, then one value (three with interpolation types above 1,
// Hermite and Bezier: the value and two tangents) of 4 components for rotations, 3 for
// translation and scaling, 1 for any other track.
std::int64_t KeySize(std::int32_t tag, std::int32_t interpolation);

// ---- Descriptions: what a model holds, without its contents

struct TrackPlan {
    std::int32_t tag;           // "KGTR", "KGRT", "KGSC" (reduced) or any other track
    std::int32_t interpolation; // 0 none, 1 linear, 2 Hermite, 3 Bezier
    std::int32_t keyCount;      // negative counts are written as 0
};

struct NodePlan {
    // Tracks in order. From the first tag other than the three reduced ones, the converter copies
    // the rest of the node unchanged.
    std::vector<TrackPlan> tracks;
};

struct GeosetPlan {
    std::int32_t vertexCount = 3;      // positions and normals (and tangents)
    std::int32_t faceTypeCount = 1;    // PTYP, 4 bytes each
    std::int32_t faceGroupCount = 1;   // PCNT, 4 bytes each
    std::int32_t faceIndexCount = 3;   // PVTX, 2 bytes each
    std::int32_t vertexGroupCount = 3; // GNDX, 1 byte each
    std::int32_t matrixGroupCount = 1; // MTGC, 4 bytes each
    std::int32_t matrixIndexCount = 1; // MATS, 4 bytes each
    std::int32_t extentCount = 1;      // sequence extents
    std::int32_t uvSetCount = 1;       // texture coordinate sets, each vertexCount pairs
    bool tangents = false;             // "TANG" array (versions above 800 only)
    bool skin = false;                 // "SKIN" array of vertexCount * 8 bytes (versions above 800 only)
};

struct ChunkPlan {
    enum Kind { Bones, Helpers, Geosets, Other } kind = Other;
    std::vector<NodePlan> nodes;       // Bones, Helpers
    std::vector<GeosetPlan> geosets;   // Geosets
    std::int32_t tag = 0;              // Other: the chunk's tag
    std::int32_t size = 0;             // Other: body bytes
};

struct ModelPlan {
    std::int32_t version = 800;   // written as a "VERS" chunk first unless writeVersion is false
    bool writeVersion = true;     // without it the model reads as version 800
    std::vector<ChunkPlan> chunks;
};

// One model with every structure: version chunk, other chunks (one of odd size), bones and
// helpers with translation, rotation and scaling tracks of every interpolation type, a node
// without tracks, nodes with other track tags, a track without keys, geosets with odd face-index
// and vertex-group counts, zero and several sequence extents, one to three texture coordinate
// sets; for versions above 800 geosets with and without tangents and skin weights.
ModelPlan FullModelPlan(std::int32_t version = 800);

// A varied well-formed model drawn from seed (same seed, same model).
ModelPlan RandomModelPlan(std::uint32_t seed, std::int32_t version = 800);

// ---- Layouts: a model split into its structure, every leaf kept as bytes

struct TrackLayout {
    std::int32_t tag = 0;
    std::int32_t interpolation = 0;
    std::int32_t globalSequence = 0;
    std::string keys;                // KeySize bytes per key; the key count follows from it
};

struct NodeLayout {
    std::string header;              // kNodeHeaderSize bytes
    std::vector<TrackLayout> tracks; // those from the first other tag on are one block to the converter
    std::string otherTracks;         // raw bytes after the tracks, from a tag other than the three
    std::string boneTail;            // bones only: kBoneTailSize bytes
};

struct ArrayLayout {
    std::int32_t tag = 0;            // copied, never compared
    std::string data;                // the count follows from it
};

struct GeosetLayout {
    ArrayLayout arrays[kGeosetArrayCount];
    std::string block;               // GeosetBlockSize bytes
    std::string extents;
    bool hasTangents = false;        // versions above 800 only
    std::string tangents;
    bool hasSkin = false;            // versions above 800 only
    std::string skin;
    std::int32_t uvTag = 0;          // the texture coordinate sets' tag
    std::vector<ArrayLayout> uvSets;
};

struct ChunkLayout {
    std::int32_t tag = 0;
    bool walked = false;             // bones, helpers or geosets held as nodes or geosets
    std::vector<NodeLayout> nodes;
    std::vector<GeosetLayout> geosets;
    std::string body;                // a chunk that is not walked (or did not parse): its body
};

struct ModelLayout {
    std::vector<ChunkLayout> chunks;
    std::string tail;                // after the last chunk: a zero tag, stray bytes or a broken chunk
    bool complete = false;           // ParseModel: the whole file walks to a clean end
};

// Contents are drawn from a generator state: every 4-byte field gets non-zero low 16 bits (frame
// times, ids and copied blocks too) and every single byte is non-zero, so that a wrong reduction
// always shows. The same state gives the same contents; state moves on past what was drawn.
std::uint32_t ContentState(std::uint32_t seed);
NodeLayout BuildNode(const NodePlan& node, bool bone, std::uint32_t& state);
GeosetLayout BuildGeoset(const GeosetPlan& geoset, std::int32_t version, std::uint32_t& state);
// A chunk that is not walked, of size body bytes (4-byte fields, then single bytes for an odd rest).
ChunkLayout BuildOtherChunk(std::int32_t tag, std::int32_t size, std::uint32_t& state);

// Parses bytes as the converter walks them. Returns false when they do not begin with "MDLX".
// A walked chunk that does not parse is kept as a plain body and the layout is not complete; a
// chunk that does not fit in the file ends the chunk list and goes to the tail with the rest.
bool ParseModel(const std::string& bytes, ModelLayout& model);

// ---- Written models and what the converter must make of them

enum class ValueKind { Position, Normal, Tangent, Extent, TextureCoordinate, Translation, Rotation, Scaling };

// One 4-byte value that the converter reduces. Records stand in file order, so the values of a
// key lie together: a rotation key's records are quaternions, four records each.
struct ReducedValue {
    std::uint64_t offset;
    ValueKind kind;
    std::uint32_t original; // the value's 4 bytes, as the little-endian number they form
};

// What a mark left by WriteLayout stands at.
enum MarkKind {
    kMarkTag,         // a chunk, track or array tag
    kMarkChunkSize,   // a chunk's body size
    kMarkNodeSize,    // a node's inclusive size
    kMarkGeosetSize,  // a geoset's inclusive size
    kMarkCount,       // a key, element, extent or set count
    kMarkField,       // any other 32-bit field (interpolation type, global sequence id, version)
    kMarkData,        // the start of a block of bytes or values
};

struct Mark {
    std::size_t offset;
    MarkKind kind;
};

// True for the marks of chunk, node and geoset sizes and of counts.
bool IsSizeOrCount(MarkKind kind);

struct WrittenModel {
    std::string bytes;
    std::vector<ReducedValue> reduced; // every value the converter reduces
    std::vector<Mark> marks;           // every field and block
};

// What WriteLayout records beside the bytes: the fuzz checks need only the reduced values, the
// mutator the marks or nothing, and recording more costs them a tenth of their time.
enum class LayoutRecords { All, ReducedOnly, MarksOnly, None };

// Writes the layout, deriving every size and count, bringing leaves to whole elements and
// blocks to the size the model's version (from its "VERS" chunks, 800 without) gives them.
// The records that are not asked for stay empty.
WrittenModel WriteLayout(const ModelLayout& model, LayoutRecords records = LayoutRecords::All);

// The model described, its contents drawn from ContentState(seed), in file order.
WrittenModel WriteModel(const ModelPlan& description, std::uint32_t seed = 1);

// Writes the same bytes as WriteModel to out without holding the model (for models of hundreds
// of MB; at most a node or a geoset is held); out must be seekable, as files and string streams
// are. Returns the number of values the converter reduces.
std::uint64_t StreamModel(const ModelPlan& description, std::ostream& out, std::uint32_t seed = 1);

// How a conversion is asked to reduce values: the high bits each kind keeps (10 to 32, by
// ValueKind) and whether to round to nearest instead of truncating. As it stands: the default.
struct ReductionPlan {
    int keptBits[8] = {16, 16, 16, 16, 16, 16, 16, 16};
    bool nearest = false;
};

// A value's 4 bytes (as the little-endian number they form) as the converter must reduce them,
// worked out on values rather than bits: truncation drops the low 32 - keptBits bits; rounding
// takes the float of keptBits - 8 significant bits nearest to a finite value, ties to the one
// whose last bit is 0, never past the largest such float (it then truncates); infinity stays; a
// NaN is truncated, or becomes the quiet NaN of its sign when truncation would make it infinity.
std::uint32_t ReducedValueBits(std::uint32_t bits, int keptBits, bool nearest);

// The converter's output for the model: its bytes with every recorded value reduced as plan
// says; by default with the two low-order bytes of every recorded value set to zero.
std::string ExpectedOutput(const WrittenModel& model, const ReductionPlan& plan = ReductionPlan());

// The offsets where the top-level chunks of bytes start, then the file's length: where a cut
// leaves nothing but whole chunks.
std::vector<std::size_t> ChunkBoundaries(const std::string& bytes);

// ---- Bytes

// The 32-bit little-endian field at offset (which must leave 4 bytes).
std::int32_t FieldAt(const std::string& bytes, std::size_t offset);

// Overwrites the 32-bit field at offset with value, little-endian.
void PutFieldAt(std::string& bytes, std::size_t offset, std::int32_t value);

// The 4 little-endian bytes of value.
std::string Int32Bytes(std::uint32_t value);
