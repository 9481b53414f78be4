#pragma once

// Paths of a batch as the file system names them (wide on Windows, so any name works), and
// their text in UTF-8 for printing and for the core's naming rule.

#include <filesystem>
#include <string>

// The UTF-8 text of path (on POSIX its bytes as they stand). Never throws: a Windows name that
// is not valid UTF-16 gives an empty text, which names no model.
std::string PathText(const std::filesystem::path& path);

// The path named by UTF-8 text (on POSIX the bytes as they stand).
std::filesystem::path PathFromText(const std::string& text);

// The output beside input: MakeOutputName applied to the input's text. input must name a model
// (HasModelExtension).
std::filesystem::path MakeOutputPath(const std::filesystem::path& input);
