#include "model_walk.h"

#include "output_name.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

int IsOutputName(const std::string& name)
{
    const std::size_t suffixLength = sizeof kOutputSuffix - 1;
    if (name.size() < suffixLength)
        return 0;
    const char* tail = name.c_str() + name.size() - suffixLength;
    for (std::size_t i = 0; i < suffixLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != kOutputSuffix[i])
            return 0;
    }
    return 1;
}

// Takes one folder entry: a model is added or skipped, a real folder is walked, anything else
// (other files, linked folders, entries whose type cannot be read) is left alone.
static void TakeEntry(const fs::directory_entry& entry, ModelList& list)
{
    std::error_code error;
    const fs::file_status own = entry.symlink_status(error);
    if (error)
        return;
    if (fs::is_directory(own)) {
        CollectModels(entry.path().string(), list);
        return;
    }
    const std::string path = entry.path().string();
    if (!HasModelExtension(path.c_str()) || !fs::is_regular_file(entry.status(error)) || error)
        return;
    if (IsOutputName(entry.path().filename().string()))
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
