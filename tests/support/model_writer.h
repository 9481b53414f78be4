#pragma once

// Builds well-formed models from a description, for tests, fuzz seeds, the benchmark and the
// bundled sample, and records where every value lies that the converter must reduce, so that the
// expected output is computed independently of the converter.

#include "conversion_report.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct TrackSpec {
    std::int32_t tag;           // "KGTR", "KGRT", "KGSC" (reduced) or any other tag
    std::int32_t interpolation; // 0 none, 1 linear, 2 Hermite, 3 Bezier
    std::int32_t keyCount;
};

struct NodeSpec {
    // Tracks in order. A track whose tag is not one of the three reduced ones makes it and every
    // later track of the node plain copied bytes (not recorded as reduced). Such a track is
    // written as a scalar track: key count, type, global sequence id, keys of a frame time and
    // 1 (or with tangents 3) values.
    std::vector<TrackSpec> tracks;
};

struct GeosetSpec {
    std::int32_t vertexCount = 3;      // positions and normals (and tangents)
    std::int32_t faceTypeCount = 1;    // PTYP, 4 bytes each
    std::int32_t faceGroupCount = 1;   // PCNT, 4 bytes each
    std::int32_t faceIndexCount = 3;   // PVTX, 2 bytes each
    std::int32_t vertexGroupCount = 3; // GNDX, 1 byte each
    std::int32_t matrixGroupCount = 1; // MTGC, 4 bytes each
    std::int32_t matrixIndexCount = 1; // MATS, 4 bytes each
    std::int32_t extentCount = 1;      // sequence extents, 7 floats each
    std::int32_t uvSetCount = 1;       // texture coordinate sets, each vertexCount pairs
    bool tangents = false;             // "TANG" array (versions above 800 only)
    bool skin = false;                 // "SKIN" array of vertexCount * 8 bytes (versions above 800 only)
};

struct ChunkSpec {
    enum Kind { Bones, Helpers, Geosets, Other } kind = Other;
    std::vector<NodeSpec> nodes;       // Bones, Helpers
    std::vector<GeosetSpec> geosets;   // Geosets
    std::int32_t tag = 0;              // Other: the chunk's tag
    std::int32_t size = 0;             // Other: body bytes, float-looking content
};

struct ModelSpec {
    std::int32_t version = 800;   // written as a "VERS" chunk first unless writeVersion is false
    bool writeVersion = true;     // without it the model reads as version 800
    std::vector<ChunkSpec> chunks;
};

struct WrittenModel {
    std::string bytes;
    std::vector<std::uint64_t> reducedOffsets; // offset of every 4-byte value that is reduced
};

// Writes the model described by description. Every field is filled from seed with values whose low
// 16 bits are non-zero (frame times, ids and copied blocks too), so a wrong reduction shows.
// Sizes, counts, tags and interpolation types are written as the structure needs; negative
// counts in description are written as 0. Versions up to 800 get the classic geoset layout (tangents
// and skin ignored), later versions the layout with the 124-byte block.
WrittenModel WriteModel(const ModelSpec& description, std::uint32_t seed = 1);

// Streams the model to out without keeping it (for models of hundreds of MB); returns the
// number of reduced values.
std::uint64_t StreamModel(const ModelSpec& description, std::ostream& out, std::uint32_t seed = 1);

// The converter's expected output: the input with the two low-order bytes of every recorded
// value set to zero.
std::string ExpectedOutput(const WrittenModel& model);

// One model with every structure: version chunk, other chunks, bones and helpers with
// translation, rotation and scaling tracks of every interpolation type, a node without tracks,
// a node with another track tag, several geosets with odd face-index and vertex-group counts,
// zero and several sequence extents, one to three texture coordinate sets; for versions above
// 800 geosets with and without tangents and skin weights.
ModelSpec FullModelSpec(std::int32_t version = 800);

// A varied well-formed model drawn from seed (same seed, same model).
ModelSpec RandomModelSpec(std::uint32_t seed, std::int32_t version = 800);

// The 4 little-endian bytes of value, for building and comparing hand-made bytes in tests.
std::string Int32Bytes(std::uint32_t value);

// bytes as two-digit hex numbers separated by spaces ("00 00 33 44"), for readable expectations.
std::string HexBytes(const std::string& bytes);

// One conversion in memory, through the stream entry point.
struct StreamResult {
    int converted = 0;
    std::string out;
    ConversionReport report;
};
StreamResult ConvertBytes(const std::string& input);
