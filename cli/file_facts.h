#pragma once

// What the command-line tool learns about a file by its name, in one system call, and how it
// compares names.

#include <cstdint>
#include <string>

struct FileFacts {
    int exists = 0;          // the name leads to a file (through any links)
    int isFolder = 0;
    std::uint64_t size = 0;  // bytes
    std::uint64_t volume = 0; // volume and index: the file's identity on this system
    std::uint64_t index = 0;
};

// Looks at the file at path, following links. exists is 0 when there is none or it cannot be
// looked at.
FileFacts LookAtFile(const std::string& path);

// 1 when both exist and are the same file, under whatever names.
int IsSameFile(const FileFacts& a, const FileFacts& b);

// path as this system compares file names: made absolute against folder (the current folder,
// absolute), without "." and ".." steps, and on Windows in one letter case. Two paths with the
// same name lead to the same file; links can make other names lead there too.
std::string ComparableName(const std::string& path, const std::string& folder);
