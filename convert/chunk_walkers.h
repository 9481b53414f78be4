#pragma once

// Walkers that follow the structure of the three chunks whose float data is reduced: bones,
// helpers and geosets. Each chunk walker is called right after the chunk's tag was read, writes
// the tag itself and consumes the rest of the chunk. Headers, names, ids, indices and frame times
// are copied unchanged; animation keys, vertex positions, normals, tangents, sequence extents and
// texture coordinates are written reduced.
//
// Every walker checks each declared size and count against the room its container leaves and
// fails the walk (FailWalk) when they disagree, so a walk never runs out of step or past its chunk.

#include "conversion_report.h"

#include <cstdint>
#include <istream>
#include <ostream>

// Records reason and the input offset in report (unless a failure was recorded or the source had
// failed already) and puts the source into the failed state, which ends every walk loop.
void FailWalk(std::istream& source, ConversionReport& report, const char* reason);

void WalkBoneChunk(std::istream& source, std::ostream& sink, ConversionReport& report);
void WalkHelperChunk(std::istream& source, std::ostream& sink, ConversionReport& report);
void WalkGeosetChunk(std::istream& source, std::ostream& sink, ConversionReport& report);

// The "VERS" chunk: copied unchanged; a 4-byte body is noted as report.version.
void WalkVersionChunk(std::istream& source, std::ostream& sink, ConversionReport& report);

// One node: inclusive size, 92-byte header, tracks. room is what the enclosing chunk has left.
// Returns the node's inclusive size.
std::int64_t WalkNode(std::istream& source, std::ostream& sink, std::int64_t room, ConversionReport& report);

// The tracks of a node, regionSize bytes. A tag other than translation, rotation and scaling
// ends the walk: the rest of the region is copied unchanged.
void WalkNodeTracks(std::istream& source, std::ostream& sink, std::int64_t regionSize, ConversionReport& report);

// One track after its tag: key count, interpolation type, global sequence id, keys. C is the
// components per value (3 or 4); interpolation types above 1 carry two tangents per value.
// room is what the track region has left after the tag. Returns the bytes the track took after
// its tag: 12 + count * 4 * (V * C + 1).
std::int64_t WalkTrack(std::istream& source, std::ostream& sink, int C, int K, std::int64_t room,
                       ConversionReport& report);

// One geoset, in the layout of report.version. room is what the chunk has left.
// Returns the geoset's inclusive size.
std::int64_t WalkGeoset(std::istream& source, std::ostream& sink, std::int64_t room, ConversionReport& report);
