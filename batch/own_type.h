#pragma once

// The type of a folder entry itself, not of what a link in it points to.

#include <filesystem>

// symlink for a symbolic link and, on Windows, for every reparse point (junctions, mount points,
// the links of other systems), whose type the standard library would otherwise read through the
// link; else the entry's own type. not_found when the type cannot be read.
std::filesystem::file_type OwnType(const std::filesystem::directory_entry& entry);
