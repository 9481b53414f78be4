#include "model_walk.h"

#include "file_path.h"
#include "output_name.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

// Takes one folder entry: a model is added or skipped, a real folder is walked, anything else
// (other files, linked folders) is left alone. A model whose type cannot be read is reported, so
// that it is not lost without a word.
static void TakeEntry(const fs::path& path, fs::file_type own, ModelList& list, const std::atomic<int>* stop)
{
    const std::string name = PathText(path.filename());
    if (own == fs::file_type::not_found) {
        if (HasConvertibleExtension(name.c_str()))
            list.unreadable.push_back(
                UnreadableFolder{path, "cannot read what kind of file it is", list.models.size()});
        return;
    }
    if (own == fs::file_type::directory) {
        CollectModels(path, list, stop);
        return;
    }
    if (!HasConvertibleExtension(name.c_str()))
        return;
    // A link is taken when it leads to a file; only links cost a look at the file.
    if (own == fs::file_type::symlink) {
        const FileFacts target = LookAtFile(FilePath(path));
        if (!target.exists || target.isFolder)
            return;
    } else if (own != fs::file_type::regular) {
        return;
    }
    if (IsOutputName(name.c_str()))
        ++list.skipped;
    else
        list.models.push_back(path.native());
}

void CollectModels(const fs::path& folder, ModelList& list, const std::atomic<int>* stop)
{
    std::error_code error;
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries, error)) {
        list.unreadable.push_back(
            UnreadableFolder{folder, "cannot read the folder (" + error.message() + ")", list.models.size()});
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (const FolderEntry& entry : entries) {
        if (stop != nullptr && *stop)
            return;
        TakeEntry(folder / entry.name, entry.type, list, stop);
    }
}

std::size_t UnreadableBefore(const ModelList& list, std::size_t index, std::size_t next)
{
    while (next < list.unreadable.size() && list.unreadable[next].before <= index)
        ++next;
    return next;
}
