#include "model_path.h"

#include "output_name.h"

#include <system_error>

namespace fs = std::filesystem;

std::string PathText(const fs::path& path)
{
    try {
        return path.u8string();
    } catch (const std::system_error&) {
        return std::string();
    }
}

fs::path PathFromText(const std::string& text)
{
    return fs::u8path(text);
}

fs::path MakeOutputPath(const fs::path& input)
{
    return PathFromText(MakeOutputName(PathText(input).c_str()));
}
