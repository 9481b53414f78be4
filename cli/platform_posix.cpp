#include "platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

std::vector<std::string> GetArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path FilePath(const std::string& text)
{
    return std::filesystem::path(text);
}

FileFacts LookAtFile(const std::filesystem::path& path)
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

std::string ComparableName(const std::string& path, const std::string& folder)
{
    const std::string full = !path.empty() && path[0] == '/' ? path : folder + "/" + path;
    // Only "." and ".." steps and doubled separators need normalizing, and finding that a name
    // has none costs a fraction of normalizing it.
    if (full.find("/.") == std::string::npos && full.find("//") == std::string::npos)
        return full;
    return std::filesystem::path(full).lexically_normal().string();
}

void WriteText(std::FILE* stream, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

int IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) ? 1 : 0;
}
