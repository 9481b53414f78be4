#pragma once

// Bad inputs as users meet them, beside the models the model oracle builds.

#include "test_support.h"

#include <cstdint>
#include <string>

// A texture of the kind models refer to ("BLP1" header, sizes, palette, pixels), 1 KiB.
std::string TextureFile();

// bytes with the 32-bit field at offset set to value.
std::string WithField(const std::string& bytes, std::size_t offset, std::int32_t value);
