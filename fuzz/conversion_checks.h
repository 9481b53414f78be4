#pragma once

// The checks the fuzz target applies to every input, shared with the test that replays the saved
// regression inputs without libFuzzer.

#include <string>

// Converts input and checks what must hold for any input whatever: the result agrees with the
// report and with the model oracle's walk of the model's structure; a success has the input's
// length, differs from the input only in bytes that became zero, is exactly the oracle's reduced
// copy and converts to itself, is the oracle's reduced copy too under other settings drawn from
// the input, and turns into a failure to write when the sink refuses a byte; a failure names a
// reason and an offset inside the input; the output never grows past the input.
// Returns an empty string when all hold, else a line saying what did not.
std::string CheckConversion(const std::string& input);
