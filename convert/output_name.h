#pragma once

// The naming rule shared by the window tool and the command-line tool.

#include <string>

// Appended to the input's name, in place of its four-character extension.
constexpr char kOutputSuffix[] = "_dezavivi.mdx";

// True when path ends in ".mdx" in any letter case (and so is at least 4 characters long).
bool HasModelExtension(const char* path);

// True when path ends in "_dezavivi.mdx" in any letter case: an output of this tool.
bool IsOutputName(const char* path);

// The input path without its last four characters, then "_dezavivi.mdx": C:\models\tree.MDX
// gives C:\models\tree_dezavivi.mdx. inputPath must pass HasModelExtension.
std::string MakeOutputName(const char* inputPath);
