#include "file_path.h"

#include "output_name.h"

std::filesystem::path MakeOutputPath(const std::filesystem::path& input)
{
    return PathFromText(MakeOutputName(PathText(input).c_str()));
}
