#include "platform.h"

#include "file_path.h"

#include <windows.h>

#include <io.h>
#include <shellapi.h>

std::vector<std::string> GetArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return arguments;
}

// The console behind stream, or null when it goes to a file or a pipe.
static HANDLE ConsoleOf(std::FILE* stream)
{
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

void WriteText(std::FILE* stream, const std::string& text)
{
    HANDLE console = ConsoleOf(stream);
    if (console == nullptr) {
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    const std::wstring wide = WideFromUtf8(text);
    // What the C runtime holds for this stream goes out first, so that the order stays.
    std::fflush(stream);
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

int IsTerminal(std::FILE* stream)
{
    return ConsoleOf(stream) != nullptr ? 1 : 0;
}
