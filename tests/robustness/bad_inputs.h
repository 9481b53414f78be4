#pragma once

// Bad inputs as users meet them, beside the models the model oracle builds.

#include "test_support.h"

#include <cstdint>
#include <string>
#include <vector>

// A texture of the kind models refer to ("BLP1" header, sizes, palette, pixels), 1 KiB.
std::string TextureFile();

// bytes with the 32-bit field at offset set to value.
std::string WithField(const std::string& bytes, std::size_t offset, std::int32_t value);

// A bad input and the name of its file ("empty.mdx", ...).
struct BadInput {
    std::string name;
    std::string bytes;
};

// The bad inputs made from model: an empty file, a texture, the model cut at two thirds, the model
// with its first count -1, and with its first chunk claiming 2 GB.
std::vector<BadInput> BadInputsOf(const WrittenModel& model);
