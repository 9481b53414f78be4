#pragma once

// The folder walk of a batch: every model and map under a folder, in a fixed order.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A folder that could not be listed (or a model whose type could not be read), and why.
struct UnreadableFolder {
    std::filesystem::path folder;
    std::string reason;
    std::size_t before; // how many models of the list come before it in the walk
};

struct ModelList {
    // Paths to convert (models and maps), in the order they are converted, held as the system's
    // strings: a path object keeps each of its parts apart as well, several times the memory.
    std::vector<std::filesystem::path::string_type> models;
    std::vector<UnreadableFolder> unreadable;  // folders that could not be listed, models not typed
    std::int64_t skipped = 0;                  // outputs ("*_dezavivi.mdx", ...) met in folders, left alone
};

// Adds to list every file under folder (at any depth) whose name ends in ".mdx", ".w3x", ".w3m"
// or ".mpq" in any case, except outputs of this tool, which are counted in list.skipped. Each path
// is folder joined with the names below it. Siblings are taken in the order of their names' code
// units (bytes on POSIX, UTF-16 on Windows), a folder's contents where the folder stands, so the
// order is the same on every run. Linked folders (symbolic links, junctions) are not followed, so
// a link loop cannot make the walk endless; linked files are taken. A folder that cannot be listed
// is added to list.unreadable and the walk goes on with the rest. Every folder is listed and every
// link looked at through FilePath. When stop is given and becomes non-zero, the walk ends early.
void CollectModels(const std::filesystem::path& folder, ModelList& list, const std::atomic<int>* stop = nullptr);

// Where the folders of list.unreadable that the walk met before the model at index end, for a
// caller that has reported those before next (all of them, when index is the model count).
std::size_t UnreadableBefore(const ModelList& list, std::size_t index, std::size_t next);
