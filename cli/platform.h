#pragma once

// What the command-line tool does differently on Windows and on POSIX systems: its arguments,
// the paths it hands to the file system, file identity and printing.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// The command line in UTF-8, argv[0] first. On Windows it is read as UTF-16 from the system, so
// that names the ANSI code page cannot spell arrive whole; elsewhere it is argv as given.
std::vector<std::string> GetArguments(int argc, char** argv);

// The path to open for the UTF-8 name text. On Windows, a name whose full path is longer than
// the classic limit of 259 characters gets the "\\?\" form that the wide file calls take at any
// length.
std::filesystem::path FilePath(const std::string& text);

// What one look at a file by its name tells, through links.
struct FileFacts {
    int exists = 0; // 0 also when the file cannot be looked at
    int isFolder = 0;
    std::uint64_t size = 0;
    std::uint64_t volume = 0; // with index, the file's identity: on Windows the volume serial
    std::uint64_t index = 0;  // number and file index, elsewhere device and inode
};

// Looks at the file at path with one system call (on Windows an open and a query of the handle).
FileFacts LookAtFile(const std::filesystem::path& path);

// 1 when a and b are facts of the same file, so that names differing in case or in spelling,
// and links, match; 0 when they differ or either does not exist.
inline int IsSameFile(const FileFacts& a, const FileFacts& b)
{
    return a.exists && b.exists && a.volume == b.volume && a.index == b.index;
}

// The UTF-8 path text as this system compares file names: made absolute against folder (the
// current folder's text), without "." and ".." steps, and on Windows in one letter case. Two
// texts that compare equal name the same file; links can make others name it too.
std::string ComparableName(const std::string& path, const std::string& folder);

// Writes UTF-8 text to stream (stdout or stderr): on a Windows console as UTF-16, so that every
// character shows; to files and pipes as the UTF-8 bytes.
void WriteText(std::FILE* stream, const std::string& text);

// 1 when stream is an interactive terminal or console.
int IsTerminal(std::FILE* stream);
