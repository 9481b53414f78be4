#include "file_path.h"

#include <windows.h>

namespace fs = std::filesystem;

namespace {

// text in codePage as UTF-16.
std::wstring WideFromBytes(UINT codePage, const std::string& text)
{
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 0, L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// UTF-16 text in codePage; flags as WideCharToMultiByte takes them.
std::string BytesFromWide(UINT codePage, DWORD flags, const std::wstring& wide)
{
    const int size =
        WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), &text[0], size, nullptr,
                            nullptr);
    return text;
}

bool StartsWith(const std::wstring& text, const wchar_t* start)
{
    return text.compare(0, wcslen(start), start) == 0;
}

} // namespace

std::wstring WideFromUtf8(const std::string& text)
{
    return WideFromBytes(CP_UTF8, text);
}

std::string Utf8FromWide(const std::wstring& text)
{
    return BytesFromWide(CP_UTF8, WC_ERR_INVALID_CHARS, text);
}

fs::path FilePath(const fs::path& path)
{
    if (path.empty() || StartsWith(path.native(), L"\\\\?\\") || StartsWith(path.native(), L"\\\\.\\"))
        return path;
    // The full path, made by GetFullPathNameW, already has backslashes and no "." or "..", as
    // the "\\?\" form requires.
    std::error_code error;
    const fs::path full = fs::absolute(path, error);
    const std::wstring& name = full.native();
    if (error || StartsWith(name, L"\\\\?\\") || StartsWith(name, L"\\\\.\\"))
        return error ? path : full;
    if (StartsWith(name, L"\\\\"))
        return fs::path(L"\\\\?\\UNC\\" + name.substr(2));
    return fs::path(L"\\\\?\\" + name);
}

std::string PathText(const fs::path& path)
{
    return Utf8FromWide(path.native());
}

fs::path PathFromText(const std::string& text)
{
    return fs::path(WideFromUtf8(text));
}

fs::path PathFromAnsi(const std::string& text)
{
    return fs::path(WideFromBytes(CP_ACP, text));
}

std::string AnsiFromPath(const fs::path& path)
{
    return BytesFromWide(CP_ACP, 0, path.native());
}

FileFacts LookAtFile(const fs::path& path)
{
    FileFacts facts;
    // No access rights are asked for: the facts need none, and a file open elsewhere still
    // answers. FILE_FLAG_BACKUP_SEMANTICS lets folders be opened too.
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        facts.missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
        return facts;
    }
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

// The folder is listed by the system directly: the C runtime's folder reader, under
// std::filesystem, makes each path absolute in a buffer of MAX_PATH characters. The attributes
// of the listing say which entries are reparse points, whose type the standard library would
// read through the link.
bool ListFolder(const fs::path& folder, std::vector<FolderEntry>& entries, std::error_code& error)
{
    error.clear();
    std::wstring pattern = FilePath(folder).native();
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // An empty listing: a folder with no "." entry, as a drive's root.
        if (code != ERROR_FILE_NOT_FOUND)
            error = std::error_code(static_cast<int>(code), std::system_category());
        return !error;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const DWORD attributes = found.dwFileAttributes;
        entries.push_back(FolderEntry{name, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? fs::file_type::symlink
                                            : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? fs::file_type::directory
                                                                                        : fs::file_type::regular});
    } while (FindNextFileW(search, &found));
    const DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES)
        error = std::error_code(static_cast<int>(code), std::system_category());
    return !error;
}

std::string ComparableName(const std::string& path, const std::string& folder)
{
    // Windows compares names without regard to letter case; the ASCII letters cover the
    // extensions and suffixes that make two outputs meet.
    const fs::path name = PathFromText(path);
    std::string full = PathText((name.is_absolute() ? name : PathFromText(folder) / name).lexically_normal());
    for (char& c : full) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return full;
}
