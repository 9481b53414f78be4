#pragma once

// Bad inputs as users meet them, made from the models the test model writer builds.

#include "model_layout.h"

#include <cstdint>
#include <string>
#include <vector>

// A texture of the kind models refer to ("BLP1" header, sizes, palette, pixels), 1 KiB.
std::string TextureFile();

// The marks of every field of a well-formed model (see WriteLayout); empty when bytes do not
// parse to a model that walks to a clean end.
std::vector<Mark> FieldMarks(const std::string& bytes);

// The offsets where a top-level chunk starts, and the file's length: where a cut leaves
// nothing but whole chunks.
std::vector<std::size_t> ChunkBoundaries(const std::string& bytes);

// bytes with the 32-bit field at offset set to value.
std::string WithField(const std::string& bytes, std::size_t offset, std::int32_t value);
