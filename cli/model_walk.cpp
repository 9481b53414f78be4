#include "model_walk.h"

#include "output_name.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

// Takes one folder entry: a model is added or skipped, a real folder is walked, anything else
// (other files, linked folders, entries whose type cannot be read) is left alone.
static void TakeEntry(const fs::directory_entry& entry, ModelList& list)
{
    // The entry's own type comes with the listing on most systems, so these tests cost a system
    // call only for links (which is_regular_file follows).
    std::error_code error;
    const bool link = entry.is_symlink(error);
    if (error)
        return;
    if (!link && entry.is_directory(error)) {
        CollectModels(entry.path().string(), list);
        return;
    }
    const std::string path = entry.path().string();
    if (!HasModelExtension(path.c_str()) || !entry.is_regular_file(error) || error)
        return;
    if (IsOutputName(path.c_str()))
        ++list.skipped;
    else
        list.models.push_back(path);
}

void CollectModels(const std::string& folder, ModelList& list)
{
    // Each entry with its name, taken once: sorting by names made from the entries in every
    // comparison cost more than the rest of the walk.
    std::error_code error;
    std::vector<std::pair<std::string, fs::directory_entry>> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.emplace_back(it->path().filename().string(), *it);
    if (error) {
        list.unreadable.push_back(folder + ": cannot read the folder (" + error.message() + ")");
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : entries)
        TakeEntry(entry.second, list);
}
