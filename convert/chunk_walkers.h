#pragma once

// The walk of one top-level chunk, for the driver (model_convert.cpp). Bones, helpers and geosets
// are walked field by field: headers, names, ids, indices and frame times are copied unchanged;
// animation keys, vertex positions, normals, tangents, sequence extents and texture coordinates
// are written reduced. "VERS" is copied and noted; every other chunk is copied unchanged.
//
// Every declared size and count is checked against the room its container leaves, and a walk that
// disagrees is failed, so a walk never runs out of step or past its chunk.

#include "conversion_report.h"
#include "value_reduction.h"

#include <cstdint>
#include <istream>
#include <ostream>

// Called right after the chunk's tag was read: writes the tag, copies the size and walks the body
// within it (geosets in the layout of report.version), reducing values as settings say.
// Malformed input fails the source and is recorded in report (reason, kind Malformed and input
// offset) unless the source had failed already.
void WalkChunk(std::istream& source, std::ostream& sink, std::int32_t tag, const ConversionSettings& settings,
               ConversionReport& report);
