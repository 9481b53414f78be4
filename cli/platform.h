#pragma once

// What the command-line tool does differently on Windows and on POSIX systems: its arguments,
// the paths it hands to the file system, file identity and printing.

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

// 1 when a and b are the same file (on Windows: the same volume serial number and file index,
// so that names differing in case or in spelling match; elsewhere device and inode), 0 when they
// differ or either does not exist.
int IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Writes UTF-8 text to stream (stdout or stderr): on a Windows console as UTF-16, so that every
// character shows; to files and pipes as the UTF-8 bytes.
void WriteText(std::FILE* stream, const std::string& text);

// 1 when stream is an interactive terminal or console.
int IsTerminal(std::FILE* stream);
