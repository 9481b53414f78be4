#include "conversion_checks.h"

#include "model_convert.h"
#include "model_layout.h"

#include <algorithm>
#include <sstream>

std::streamsize LimitedSinkBuffer::xsputn(const char* bytes, std::streamsize n)
{
    const std::size_t room = limit - std::min(limit, written.size());
    const std::size_t accepted = std::min(room, static_cast<std::size_t>(n));
    written.append(bytes, accepted);
    return static_cast<std::streamsize>(accepted);
}

LimitedSinkBuffer::int_type LimitedSinkBuffer::overflow(int_type byte)
{
    if (traits_type::eq_int_type(byte, traits_type::eof()))
        return traits_type::not_eof(byte);
    const char c = traits_type::to_char_type(byte);
    return xsputn(&c, 1) == 1 ? byte : traits_type::eof();
}

int ConvertInMemory(const std::string& input, std::string& output, ConversionReport& report)
{
    std::istringstream source(input);
    std::ostringstream sink;
    const int converted = ConvertModelStream(source, sink, report);
    output = sink.str();
    return converted;
}

int ConvertIntoLimitedSink(const std::string& input, std::size_t limit, std::string& output,
                           ConversionReport& report)
{
    std::istringstream source(input);
    LimitedSinkBuffer buffer(limit);
    std::ostream sink(&buffer);
    const int converted = ConvertModelStream(source, sink, report);
    output = buffer.written;
    return converted;
}

namespace {

std::string Problem(const std::string& what, const ConversionReport& report)
{
    return what + " [converted " + std::to_string(report.converted) + ", reason '" + report.reason +
           "', offset " + std::to_string(report.offset) + "]";
}

// The first offset where a and b differ (the shorter length when one is a prefix of the other).
std::size_t FirstDifference(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    return static_cast<std::size_t>(std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin()).first -
                                    a.begin());
}

// A cut point drawn from the input's bytes, so that each input tries its own.
std::size_t CutPoint(const std::string& input, std::size_t size)
{
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : input)
        hash = (hash ^ c) * 16777619u;
    return hash % size;
}

std::string CheckSuccess(const std::string& input, const std::string& output, const ConversionReport& report,
                         const ModelLayout& layout, bool parsed)
{
    if (!report.reason.empty())
        return Problem("success with a failure reason", report);
    if (output.size() != input.size())
        return Problem("success with an output of " + std::to_string(output.size()) + " bytes for an input of " +
                           std::to_string(input.size()),
                       report);
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (output[i] != input[i] && output[i] != 0)
            return Problem("output byte " + std::to_string(i) + " changed to a non-zero value", report);
    }
    if (!parsed || !layout.complete)
        return Problem("success for a model that does not walk to a clean end", report);
    std::int64_t expectedCount = 0;
    const std::string expected = WriteLayout(layout, true, nullptr, &expectedCount);
    if (output != expected)
        return Problem("output differs from the expected reduced copy at offset " +
                           std::to_string(FirstDifference(output, expected)),
                       report);
    if (report.floatsReduced != expectedCount)
        return Problem("reports " + std::to_string(report.floatsReduced) + " floats reduced, expected " +
                           std::to_string(expectedCount),
                       report);

    std::string again;
    ConversionReport againReport;
    if (ConvertInMemory(output, again, againReport) != 1)
        return Problem("converting the output again fails", againReport);
    if (again != output)
        return Problem("converting the output again changes it at offset " +
                           std::to_string(FirstDifference(again, output)),
                       againReport);

    std::string partial;
    ConversionReport faultReport;
    const std::size_t limit = CutPoint(input, output.size());
    if (ConvertIntoLimitedSink(input, limit, partial, faultReport) != 0)
        return Problem("success when the sink refused every byte after " + std::to_string(limit), faultReport);
    if (faultReport.reason.find("write") == std::string::npos)
        return Problem("a refused write is not reported as one", faultReport);
    return std::string();
}

} // namespace

std::string CheckConversion(const std::string& input)
{
    std::string output;
    ConversionReport report;
    const int converted = ConvertInMemory(input, output, report);
    if (converted != report.converted || (converted != 0 && converted != 1))
        return Problem("result " + std::to_string(converted) + " disagrees with the report", report);
    if (output.size() > input.size())
        return Problem("output of " + std::to_string(output.size()) + " bytes grew past the input's " +
                           std::to_string(input.size()),
                       report);
    ModelLayout layout;
    const bool parsed = ParseModel(input, layout);
    if (converted)
        return CheckSuccess(input, output, report, layout, parsed);
    if (report.reason.empty())
        return Problem("failure without a reason", report);
    if (report.offset < 0 || report.offset > static_cast<std::int64_t>(input.size()))
        return Problem("failure offset outside the input", report);
    if (parsed && layout.complete)
        return Problem("failure for a model that walks to a clean end", report);
    return std::string();
}
