#include "file_facts.h"

#include <sys/stat.h>

#include <filesystem>

FileFacts LookAtFile(const std::string& path)
{
    FileFacts facts;
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return facts;
    facts.exists = 1;
    facts.isFolder = S_ISDIR(status.st_mode) ? 1 : 0;
    facts.size = static_cast<std::uint64_t>(status.st_size);
    facts.volume = static_cast<std::uint64_t>(status.st_dev);
    facts.index = static_cast<std::uint64_t>(status.st_ino);
    return facts;
}

int IsSameFile(const FileFacts& a, const FileFacts& b)
{
    return a.exists && b.exists && a.volume == b.volume && a.index == b.index;
}

std::string ComparableName(const std::string& path, const std::string& folder)
{
    return (std::filesystem::path(folder) / path).lexically_normal().string();
}
