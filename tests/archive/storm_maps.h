#pragma once

// Archives made and read by StormLib (Debian's libstorm-dev), the independent MPQ implementation
// the archive tests measure this tool's reader and writer against.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A file to put into an archive with StormLib: flags and compression as StormLib names them
// (MPQ_FILE_*, MPQ_COMPRESSION_*), locale 0 for the neutral one.
struct StormFile {
    std::string name;
    std::string content;
    std::uint32_t flags;
    std::uint32_t compression;
    std::uint16_t locale = 0;
};

struct StormMapPlan {
    std::vector<StormFile> files;
    std::vector<std::string> removed;  // names removed after all are added: deleted slots
    std::uint32_t hashTableSize = 64;  // small tables give collision chains
    std::uint32_t attributeFlags = 0;  // MPQ_ATTRIBUTE_*; 0: no (attributes)
    bool listfile = true;              // a (listfile): without it, no file has a name
};

// Writes the archive with StormLib at path. Returns an empty string or what failed.
std::string BuildStormMap(const std::filesystem::path& path, const StormMapPlan& plan);

// One file of an archive as StormLib reads it.
struct StormEntry {
    std::string name;
    std::uint16_t locale = 0;
    std::uint32_t size = 0;       // as the archive declares it
    std::string content;          // as StormLib reads it
    bool read = false;            // StormLib read the whole content
    std::uint32_t verify = 0;     // what SFileVerifyFile found (VERIFY_*)
};

// Every file StormLib finds in the archive at path (from its listfile), sorted by name and locale.
// Returns false when StormLib cannot open it.
bool ReadStormMap(const std::filesystem::path& path, std::vector<StormEntry>& entries);
