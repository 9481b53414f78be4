#pragma once

// A map written from scratch for the benchmark: a 512-byte map header, then an archive of format
// version 0 with 4096-byte sectors, each file's sectors deflated with zlib (raw where that does
// not shrink them), a listfile and an (attributes) file with every file's CRC32. The archive
// library's own packing writes the files; nothing but one file is held at a time.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

struct GeneratedFile {
    std::string name;
    std::string content;
};

// Writes count files, file(i) for i from 0, into a new map at path. Returns an empty string, or
// what failed.
std::string WriteGeneratedMap(const std::filesystem::path& path, std::size_t count,
                              const std::function<GeneratedFile(std::size_t)>& file);
