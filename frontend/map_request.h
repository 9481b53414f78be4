#pragma once

// Maps dropped on the window or named on its command line: converted on the batch's worker, each
// into NAME_dezavivi.EXT beside it, and reported in one box when a map comes alone.

#include "archive_convert.h"

#include <windows.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// Converts the map at map (its system path, as the walk gives it) into its output beside it, its
// models one after another on the calling thread. Returns 1 when the output was written.
int ConvertDroppedMap(const std::filesystem::path& map, ArchiveReport& report);

// What a batch's report lists for a map named name: the reason it was refused, or each model it
// kept unchanged with the reason.
void ListMapFailures(const std::string& name, const ArchiveReport& report, std::vector<std::string>& failures);

// The box for one map given alone (inputPath as given, ANSI): "Dezavivi N models to", the output
// path and the sizes; a warning box that also lists the models kept unchanged (up to
// maxListed); or the error box with the reason the archive was refused.
void ShowMapReport(HWND window, const std::string& inputPath, const ArchiveReport& report, std::size_t maxListed);
