#include "model_walk.h"

#include "model_path.h"
#include "output_name.h"
#include "own_type.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

// Takes one folder entry: a model is added or skipped, a real folder is walked, anything else
// (other files, linked folders, entries whose type cannot be read) is left alone.
static void TakeEntry(const fs::directory_entry& entry, ModelList& list)
{
    const fs::file_type own = OwnType(entry);
    if (own == fs::file_type::not_found)
        return;
    if (own == fs::file_type::directory) {
        CollectModels(entry.path(), list);
        return;
    }
    const std::string name = PathText(entry.path());
    std::error_code error;
    if (!HasModelExtension(name.c_str()) || !fs::is_regular_file(entry.status(error)) || error)
        return;
    if (IsOutputName(name.c_str()))
        ++list.skipped;
    else
        list.models.push_back(entry.path());
}

void CollectModels(const fs::path& folder, ModelList& list)
{
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error) {
        list.unreadable.push_back(UnreadableFolder{folder, "cannot read the folder (" + error.message() + ")"});
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        return a.path().filename().native() < b.path().filename().native();
    });
    for (const fs::directory_entry& entry : entries)
        TakeEntry(entry, list);
}
