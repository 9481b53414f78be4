#include "platform.h"

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

int IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

void WriteText(std::FILE* stream, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

int IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) ? 1 : 0;
}
