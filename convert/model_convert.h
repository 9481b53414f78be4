#pragma once

// The conversion driver: checks the magic, walks the top-level chunks in file order, reducing the
// float data of bones, helpers and geosets and copying every other chunk unchanged, and decides
// what counts as a failure and of which kind.

#include "conversion_report.h"
#include "value_reduction.h"

#include <filesystem>
#include <istream>
#include <ostream>

// Converts the model at inputPath into its reduced copy at outputPath. Paths are the system's
// own (on Windows wide names, so that any name works, at any length given the "\\?\" form);
// callers name every file through one rule of theirs. Returns 1 when the whole model was
// converted and written, 0 otherwise.
int ConvertModel(const std::filesystem::path& inputPath, const std::filesystem::path& outputPath);

// As ConvertModel, and fills report. The output is written to a temporary file beside
// outputPath and moved onto it only on success; on failure an earlier file at outputPath is
// left as it was and no new file remains.
// settings say how the values are reduced; without them, as every conversion reduces them by
// default.
int ConvertModelWithReport(const std::filesystem::path& inputPath, const std::filesystem::path& outputPath,
                           const ConversionSettings& settings, ConversionReport& report);
int ConvertModelWithReport(const std::filesystem::path& inputPath, const std::filesystem::path& outputPath,
                           ConversionReport& report);

// Walks the model at inputPath into sink, as ConvertModelWithReport would into its output, and
// fills report. Returns 1 when the whole input was walked and the sink took every byte.
int WalkModelFile(const std::filesystem::path& inputPath, std::ostream& sink, const ConversionSettings& settings,
                  ConversionReport& report);

// The conversion over streams, with settings or by default. Returns 1 when the whole input was
// walked to a clean end and every byte was accepted by the sink (flushed), 0 otherwise; report
// says why. Settings that AreSettingsValid refuses fail it before anything is read. On failure
// the sink holds a partial copy that must not be used.
int ConvertModelStream(std::istream& source, std::ostream& sink, const ConversionSettings& settings,
                       ConversionReport& report);
int ConvertModelStream(std::istream& source, std::ostream& sink, ConversionReport& report);
