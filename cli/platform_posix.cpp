#include "platform.h"

#include <unistd.h>

std::vector<std::string> GetArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void WriteText(std::FILE* stream, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

int IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) ? 1 : 0;
}
