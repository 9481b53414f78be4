#include "model_walk.h"

#include "output_name.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error) {
        list.unreadable.push_back(folder + ": cannot read the folder (" + error.message() + ")");
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        return a.path().filename().string() < b.path().filename().string();
    });
    for (const fs::directory_entry& entry : entries)
        TakeEntry(entry, list);
}
