#include "model_walk.h"

#include "model_path.h"
#include "output_name.h"
#include "own_type.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

// Takes one folder entry: a model is added or skipped, a real folder is walked, anything else
// (other files, linked folders) is left alone. A model whose type cannot be read is reported, so
// that it is not lost without a word.
static void TakeEntry(const fs::directory_entry& entry, ModelList& list)
{
    const fs::file_type own = OwnType(entry);
    const std::string name = PathText(entry.path());
    if (own == fs::file_type::not_found) {
        if (HasModelExtension(name.c_str()))
            list.unreadable.push_back(
                UnreadableFolder{entry.path(), "cannot read what kind of file it is", list.models.size()});
        return;
    }
    if (own == fs::file_type::directory) {
        CollectModels(entry.path(), list);
        return;
    }
    // is_regular_file, unlike status, answers from the type the listing gave where it gave one,
    // so it costs a system call only for links, which it follows.
    std::error_code error;
    if (!HasModelExtension(name.c_str()) || !entry.is_regular_file(error) || error)
        return;
    if (IsOutputName(name.c_str()))
        ++list.skipped;
    else
        list.models.push_back(entry.path().native());
}

void CollectModels(const fs::path& folder, ModelList& list)
{
    // Each entry with its name, taken once: sorting by names made from the entries in every
    // comparison cost more than the rest of the walk.
    std::error_code error;
    std::vector<std::pair<fs::path::string_type, fs::directory_entry>> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.emplace_back(it->path().filename().native(), *it);
    if (error) {
        list.unreadable.push_back(
            UnreadableFolder{folder, "cannot read the folder (" + error.message() + ")", list.models.size()});
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : entries)
        TakeEntry(entry.second, list);
}

std::size_t UnreadableBefore(const ModelList& list, std::size_t index, std::size_t next)
{
    while (next < list.unreadable.size() && list.unreadable[next].before <= index)
        ++next;
    return next;
}
