#include "output_name.h"

#include <cstring>

bool HasModelExtension(const char* path)
{
    const std::size_t length = std::strlen(path);
    if (length < 4)
        return false;
    const char* extension = path + length - 4;
    return extension[0] == '.' && (extension[1] == 'M' || extension[1] == 'm') &&
           (extension[2] == 'D' || extension[2] == 'd') && (extension[3] == 'X' || extension[3] == 'x');
}

std::string MakeOutputName(const char* inputPath)
{
    const std::string input(inputPath);
    return input.substr(0, input.size() - 4) + kOutputSuffix;
}
