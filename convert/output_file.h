#pragma once

// The files of a conversion by the system's own paths (on Windows wide names), as a model's
// conversion handles them, for the other conversions that write through a temporary file.

#include <cstdio>
#include <filesystem>

// Opens path for reading; null when it cannot be opened.
std::FILE* OpenInputFile(const std::filesystem::path& path);

// Creates a new temporary file beside outputPath (outputPath + ".part", else with a number after
// it, else a short name in the same folder when the path would be too long) that no other file
// or run has; its name goes to temporaryPath. Null when none can be created.
std::FILE* CreateTemporaryBeside(const std::filesystem::path& outputPath, std::filesystem::path& temporaryPath);

// Moves the finished temporary file onto outputPath, replacing an earlier file there.
bool PlaceOutputFile(const std::filesystem::path& temporaryPath, const std::filesystem::path& outputPath);

// Removes a temporary file that is not to be used.
void RemoveTemporaryFile(const std::filesystem::path& temporaryPath);
