#include "file_path.h"

#include <sys/stat.h>

#include <cerrno>

namespace fs = std::filesystem;

fs::path FilePath(const fs::path& path)
{
    return path;
}

std::string PathText(const fs::path& path)
{
    return path.native();
}

fs::path PathFromText(const std::string& text)
{
    return fs::path(text);
}

fs::path PathFromAnsi(const std::string& text)
{
    return fs::path(text);
}

std::string AnsiFromPath(const fs::path& path)
{
    return path.native();
}

FileFacts LookAtFile(const fs::path& path)
{
    FileFacts facts;
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        facts.missing = errno == ENOENT || errno == ENOTDIR ? 1 : 0;
        return facts;
    }
    facts.exists = 1;
    facts.isFolder = S_ISDIR(status.st_mode) ? 1 : 0;
    facts.size = static_cast<std::uint64_t>(status.st_size);
    facts.volume = static_cast<std::uint64_t>(status.st_dev);
    facts.index = static_cast<std::uint64_t>(status.st_ino);
    return facts;
}

bool ListFolder(const fs::path& folder, std::vector<FolderEntry>& entries, std::error_code& error)
{
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        // The type the listing gave, where it gave one, without a system call.
        std::error_code typeError;
        const fs::file_status own = it->symlink_status(typeError);
        const fs::file_type type = typeError ? fs::file_type::not_found : own.type();
        entries.push_back(FolderEntry{it->path().filename().native(), type});
    }
    return !error;
}

std::string ComparableName(const std::string& path, const std::string& folder)
{
    const std::string full = !path.empty() && path[0] == '/' ? path : folder + "/" + path;
    // Only "." and ".." steps and doubled separators need normalizing, and finding that a name
    // has none costs a fraction of normalizing it.
    if (full.find("/.") == std::string::npos && full.find("//") == std::string::npos)
        return full;
    return fs::path(full).lexically_normal().string();
}
