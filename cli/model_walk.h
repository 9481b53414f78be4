#pragma once

// The inputs of a batch: FILE operands as given, DIR operands (with -r) walked for models.

#include <cstdint>
#include <string>
#include <vector>

// A folder that could not be listed, and why.
struct UnreadableFolder {
    std::string folder;
    std::string reason;
};

struct ModelList {
    std::vector<std::string> models;          // paths to convert, in the order they are converted
    std::vector<UnreadableFolder> unreadable; // folders that could not be listed
    std::int64_t skipped = 0;            // "*_dezavivi.mdx" files met in folders and left alone
};

// Adds to list every file under folder (at any depth) whose name ends in ".mdx" in any case,
// except outputs of this tool, which are counted in list.skipped. Siblings are taken in byte
// order of their names, a folder's contents where the folder stands, so the order is the same
// on every run. Linked folders inside the tree are not followed (so a link loop cannot make
// the walk endless); linked files are taken. A folder that cannot be listed is added to
// list.unreadable and the walk goes on with the rest.
void CollectModels(const std::string& folder, ModelList& list);
