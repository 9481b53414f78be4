#pragma once

// What the command-line tool does differently on Windows and on POSIX systems: its arguments and
// printing. (Paths and files: file_path.h.)

#include <cstdio>
#include <string>
#include <vector>

// The command line in UTF-8, argv[0] first. On Windows it is read as UTF-16 from the system, so
// that names the ANSI code page cannot spell arrive whole; elsewhere it is argv as given.
std::vector<std::string> GetArguments(int argc, char** argv);

// Writes UTF-8 text to stream (stdout or stderr): on a Windows console as UTF-16, so that every
// character shows; to files and pipes as the UTF-8 bytes.
void WriteText(std::FILE* stream, const std::string& text);

// 1 when stream is an interactive terminal or console.
int IsTerminal(std::FILE* stream);
