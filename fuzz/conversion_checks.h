#pragma once

// The checks the fuzz target applies to every input, shared with the test that replays the saved
// regression inputs without libFuzzer.

#include "conversion_report.h"

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>

// An output buffer that accepts the first limit bytes offered and refuses every byte after them,
// as a full disk does. What it accepted is kept in written.
struct LimitedSinkBuffer : std::streambuf {
    explicit LimitedSinkBuffer(std::size_t limit) : limit(limit) {}

    std::size_t limit;
    std::string written;

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize n) override;
    int_type overflow(int_type byte) override;
};

// Converts input in memory: the output goes to output. Returns ConvertModelStream's result.
int ConvertInMemory(const std::string& input, std::string& output, ConversionReport& report);

// As ConvertInMemory, with a sink that refuses every byte after the first limit.
int ConvertIntoLimitedSink(const std::string& input, std::size_t limit, std::string& output,
                           ConversionReport& report);

// Converts input and checks what must hold for any input whatever: the result agrees with the
// report and with an independent walk of the model's structure; a success has the input's length,
// differs from the input only in bytes that became zero, is exactly the expected reduced copy and
// converts to itself, and turns into a failure when the sink refuses a byte; a failure names a
// reason and an offset inside the input; the output never grows past the input.
// Returns an empty string when all hold, else a line saying what did not.
std::string CheckConversion(const std::string& input);
