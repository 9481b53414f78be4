#pragma once

// The checks the archive fuzz target applies to every input, shared with the test that replays
// the saved archive inputs without libFuzzer.

#include <string>

// Converts input as a map and checks what must hold for any input whatever: a refusal names its
// kind and reason; a written archive has the size its report and a dry run give, is read again
// by the library, and converts to exactly itself. Returns an empty string when all hold, else a
// line saying what did not.
std::string CheckArchiveConversion(const std::string& input);
