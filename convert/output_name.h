#pragma once

// The naming rules shared by the window tool and the command-line tool: which files are models,
// which are maps (MPQ archives holding models), which are this tool's outputs, and what an
// output is called.

#include <string>

// Appended to a model's name, in place of its four-character extension.
constexpr char kOutputSuffix[] = "_dezavivi.mdx";

// True when path ends in ".mdx" in any letter case (and so is at least 4 characters long).
bool HasModelExtension(const char* path);

// True when path ends in ".w3x", ".w3m" or ".mpq" in any letter case: a map, whose models are
// converted inside it.
bool HasMapExtension(const char* path);

// True when path names a model or a map by its extension.
bool HasConvertibleExtension(const char* path);

// True when path ends in "_dezavivi" and a model's or a map's extension, in any letter case: an
// output of this tool.
bool IsOutputName(const char* path);

// The input path without its last four characters, then "_dezavivi" and the extension: ".mdx"
// for a model (C:\models\tree.MDX gives C:\models\tree_dezavivi.mdx), the map's own extension as
// written for a map (maps\td.W3X gives maps\td_dezavivi.W3X). inputPath must pass
// HasConvertibleExtension.
std::string MakeOutputName(const char* inputPath);
