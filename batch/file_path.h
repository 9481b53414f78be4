#pragma once

// How the programs name files to the system. Every file and folder operation of the window, the
// command-line tool and the code they share (opening, creating, moving, removing, listing a
// folder, looking at a file) is given a path made by FilePath; the texts of paths are converted
// by the functions below and nowhere else.

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// The path to hand to the system for path. On Windows the absolute "\\?\" form (a network path
// \\server\share\... becomes \\?\UNC\server\share\...), which the wide file calls take at any
// length; a path already in that form, or a device path (\\.\...), stays as it is. On POSIX
// systems path itself. Never throws; a path that cannot be made absolute is returned as it is.
std::filesystem::path FilePath(const std::filesystem::path& path);

// The UTF-8 text of path (on POSIX its bytes as they stand). Never throws: a Windows name that
// is not valid UTF-16 gives an empty text, which names no model.
std::string PathText(const std::filesystem::path& path);

// The path named by UTF-8 text (on POSIX the bytes as they stand).
std::filesystem::path PathFromText(const std::string& text);

// The path named by text in the ANSI code page, as the window's calls give and take it (on
// POSIX the bytes as they stand), and back: characters the code page lacks show as '?'.
std::filesystem::path PathFromAnsi(const std::string& text);
std::string AnsiFromPath(const std::filesystem::path& path);

#ifdef _WIN32
// UTF-8 and UTF-16 text, for the command line and the console. Text that is not valid UTF-16
// gives an empty text.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
#endif

// What one look at a file tells, through links.
struct FileFacts {
    int exists = 0;  // 0 also when the file cannot be looked at
    int missing = 0; // 1 when no file has that name (rather than the look failing)
    int isFolder = 0;
    std::uint64_t size = 0;
    std::uint64_t volume = 0; // with index, the file's identity: on Windows the volume serial
    std::uint64_t index = 0;  // number and file index, elsewhere device and inode
};

// Looks at the file at path (made by FilePath) with one system call (on Windows an open and a
// query of the handle).
FileFacts LookAtFile(const std::filesystem::path& path);

// 1 when a and b are facts of the same file, so that names differing in case or in spelling,
// and links, match; 0 when they differ or either does not exist.
inline int IsSameFile(const FileFacts& a, const FileFacts& b)
{
    return a.exists && b.exists && a.volume == b.volume && a.index == b.index;
}

// One entry of a folder: its name and its own type (symlink for a symbolic link and, on Windows,
// for every reparse point: junctions, mount points, the links of other systems), not_found when
// the type cannot be read.
struct FolderEntry {
    std::filesystem::path::string_type name;
    std::filesystem::file_type type;
};

// The entries of folder, without "." and "..", in the order the system gives them. Returns false
// with the reason in error when the folder cannot be listed.
bool ListFolder(const std::filesystem::path& folder, std::vector<FolderEntry>& entries, std::error_code& error);

// The UTF-8 path text as this system compares file names: made absolute against folder (the
// current folder's text), without "." and ".." steps, and on Windows in one letter case. Two
// texts that compare equal name the same file; links can make others name it too.
std::string ComparableName(const std::string& path, const std::string& folder);

// The output beside input: MakeOutputName applied to the input's text. input must name a model
// or a map (HasConvertibleExtension).
std::filesystem::path MakeOutputPath(const std::filesystem::path& input);
