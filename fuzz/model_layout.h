#pragma once

// A model split into its structure: chunks, nodes, tracks, geosets and their arrays, with every
// size and count left out (they follow from the contents) and every leaf kept as raw bytes.
// ParseModel reads a file the way the converter walks it; WriteLayout writes a layout back,
// deriving every size and count, and can write it reduced (the converter's expected output).
// The fuzzer's mutator edits layouts, so that what it writes keeps its sizes consistent; the
// robustness tests use the marks WriteLayout leaves to find every field of a model.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TrackLayout {
    std::int32_t tag = 0;            // "KGTR", "KGRT" or "KGSC"
    std::int32_t interpolation = 0;  // above 1: every value has two tangents
    std::int32_t globalSequence = 0;
    std::string keys;                // frame time + values per key; the key count follows from it
};

struct NodeLayout {
    std::string header;              // name, object id, parent id, flags: 92 bytes
    std::vector<TrackLayout> tracks;
    std::string otherTracks;         // from a tag other than the three to the end of the node
    std::string boneTail;            // bones only: geoset id, geoset animation id (8 bytes)
};

struct ArrayLayout {
    std::int32_t tag = 0;            // copied, never compared
    std::string data;                // the count follows from it
};

// The eight tagged arrays at the start of a geoset, in file order.
enum GeosetArray { kPositions, kNormals, kFaceTypes, kFaceGroups, kFaces, kVertexGroups, kMatrixGroups, kMatrixIndices };
constexpr int kGeosetArrayCount = 8;
constexpr int kGeosetElementSizes[kGeosetArrayCount] = {12, 12, 4, 4, 2, 1, 4, 4};

struct GeosetLayout {
    ArrayLayout arrays[kGeosetArrayCount];
    std::string block;               // 40 bytes; 124 in versions above 800
    std::string extents;             // 28 bytes each
    bool hasTangents = false;        // versions above 800 only
    std::string tangents;            // 16 bytes each
    bool hasSkin = false;            // versions above 800 only
    std::string skin;                // 1 byte each
    std::int32_t uvTag = 0;          // the texture coordinate sets' tag
    std::vector<ArrayLayout> uvSets; // 8 bytes per coordinate pair
};

struct ChunkLayout {
    std::int32_t tag = 0;
    bool walked = false;             // bones, helpers or geosets parsed into nodes or geosets
    std::vector<NodeLayout> nodes;
    std::vector<GeosetLayout> geosets;
    std::string body;                // a chunk that is not walked (or did not parse): its body
};

struct ModelLayout {
    std::vector<ChunkLayout> chunks;
    std::string tail;                // after the last chunk: a zero tag, stray bytes or a broken chunk
    bool complete = false;           // the whole file walks to a clean end
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

// Parses bytes as the converter walks them. Returns false when they do not begin with "MDLX".
// A walked chunk that does not parse is kept as a plain body and the layout is not complete; a
// chunk that does not fit in the file ends the chunk list and goes to the tail with the rest.
bool ParseModel(const std::string& bytes, ModelLayout& model);

// Writes the layout, deriving every size and count and bringing leaves to whole elements and
// blocks to the size the model's version gives them. With reduce set, every value the converter
// reduces has its low two bytes zeroed, and reducedCount (if given) receives their number.
// marks, if given, receives the offset of every field and block written.
std::string WriteLayout(const ModelLayout& model, bool reduce = false, std::vector<Mark>* marks = nullptr,
                        std::int64_t* reducedCount = nullptr);

// The bytes of a key of a track with this tag and interpolation type: a frame time, then one
// value (three with tangents) of 3 components, 4 for rotations.
std::int64_t KeySize(std::int32_t tag, std::int32_t interpolation);

// The 32-bit little-endian field at offset (which must leave 4 bytes).
std::int32_t FieldAt(const std::string& bytes, std::size_t offset);

// Overwrites the 32-bit field at offset with value, little-endian.
void PutFieldAt(std::string& bytes, std::size_t offset, std::int32_t value);
