#include "output_name.h"

#include <cstring>

namespace {

// True when path ends in ending, ignoring the letter case of ASCII letters.
bool EndsWithAnyCase(const char* path, const char* ending)
{
    const std::size_t length = std::strlen(path);
    const std::size_t endingLength = std::strlen(ending);
    if (length < endingLength)
        return false;
    const char* tail = path + length - endingLength;
    for (std::size_t i = 0; i < endingLength; ++i) {
        const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] - 'A' + 'a') : tail[i];
        if (c != ending[i])
            return false;
    }
    return true;
}

} // namespace

bool HasModelExtension(const char* path)
{
    return EndsWithAnyCase(path, ".mdx");
}

bool HasMapExtension(const char* path)
{
    return EndsWithAnyCase(path, ".w3x") || EndsWithAnyCase(path, ".w3m") || EndsWithAnyCase(path, ".mpq");
}

bool HasConvertibleExtension(const char* path)
{
    return HasModelExtension(path) || HasMapExtension(path);
}

bool IsOutputName(const char* path)
{
    if (!HasConvertibleExtension(path))
        return false;
    const std::string stem(path, std::strlen(path) - 4);
    return EndsWithAnyCase(stem.c_str(), "_dezavivi");
}

std::string MakeOutputName(const char* inputPath)
{
    const std::string input(inputPath);
    const std::string stem = input.substr(0, input.size() - 4);
    // A map keeps its extension as written, since games and editors tell maps by it.
    return HasMapExtension(inputPath) ? stem + "_dezavivi" + input.substr(input.size() - 4) : stem + kOutputSuffix;
}
