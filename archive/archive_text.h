#pragma once

// The words both programs use to tell a user what became of a map.

#include "archive_convert.h"

#include <cstdint>
#include <string>

// "285245 -> 227431 bytes (20.3% smaller)", or "(0.4% larger)" when the map grew.
std::string DescribeMapSizes(std::uint64_t before, std::uint64_t after);

// "units\Footman.mdx: REASON" for a model kept unchanged.
std::string DescribeKeptModel(const ArchiveModel& model);
