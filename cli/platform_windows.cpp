#include "platform.h"

#include "model_path.h"

#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include <system_error>

namespace fs = std::filesystem;

// The longest path the file calls take without the "\\?\" form (MAX_PATH less the terminator).
constexpr std::size_t kMaxPlainPathLength = MAX_PATH - 1;

static std::string Utf8FromWide(const wchar_t* text, int length)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &result[0], size, nullptr, nullptr);
    return result;
}

std::vector<std::string> GetArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Utf8FromWide(wide[i], static_cast<int>(wcslen(wide[i]))));
    LocalFree(wide);
    return arguments;
}

fs::path FilePath(const std::string& text)
{
    const fs::path path = fs::u8path(text);
    std::error_code error;
    const fs::path full = fs::absolute(path, error);
    const std::wstring& name = full.native();
    if (error || name.size() <= kMaxPlainPathLength || name.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    // The full path, made by GetFullPathNameW, already has backslashes and no "." or "..", as
    // the "\\?\" form requires; a network path \\server\share\... becomes \\?\UNC\server\share\....
    if (name.compare(0, 2, L"\\\\") == 0)
        return fs::path(L"\\\\?\\UNC\\" + name.substr(2));
    return fs::path(L"\\\\?\\" + name);
}

FileFacts LookAtFile(const fs::path& path)
{
    FileFacts facts;
    // No access rights are asked for: the facts need none, and a file open elsewhere still
    // answers. FILE_FLAG_BACKUP_SEMANTICS lets folders be opened too.
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return facts;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information)) {
        facts.exists = 1;
        facts.isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
        facts.size = static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
        facts.volume = information.dwVolumeSerialNumber;
        facts.index = static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    }
    CloseHandle(file);
    return facts;
}

std::string ComparableName(const std::string& path, const std::string& folder)
{
    // Windows compares names without regard to letter case; the ASCII letters cover the
    // extensions and suffixes that make two outputs meet.
    const fs::path name = fs::u8path(path);
    std::string full = PathText((name.is_absolute() ? name : fs::u8path(folder) / name).lexically_normal());
    for (char& c : full) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return full;
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
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 0, L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    // What the C runtime holds for this stream goes out first, so that the order stays.
    std::fflush(stream);
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

int IsTerminal(std::FILE* stream)
{
    return ConsoleOf(stream) != nullptr ? 1 : 0;
}
