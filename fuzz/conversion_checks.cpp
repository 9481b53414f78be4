#include "conversion_checks.h"

#include "model_convert.h"
#include "test_support.h"

#include <cstdint>

namespace {

std::string Problem(const std::string& what, const ConversionReport& report)
{
    return what + " [converted " + std::to_string(report.converted) + ", reason '" + report.reason +
           "', offset " + std::to_string(report.offset) + "]";
}

// A number drawn from the input's bytes, so that each input tries its own settings and cut point.
std::uint32_t HashOf(const std::string& input)
{
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : input)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

std::string CheckSuccess(const std::string& input, const StreamResult& result, const ModelLayout& layout, bool parsed)
{
    const std::string& output = result.out;
    const ConversionReport& report = result.report;
    if (!report.reason.empty() || report.kind != FailureKind::None)
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
    const WrittenModel model = WriteLayout(layout, LayoutRecords::ReducedOnly);
    const std::string expected = ExpectedOutput(model);
    if (output != expected)
        return Problem("output differs from the expected reduced copy at offset " +
                           std::to_string(FirstDifference(output, expected)),
                       report);
    // Other settings, drawn from the input, reduce the same values as the oracle says.
    const std::uint32_t hash = HashOf(input);
    const ReductionPlan plan = RandomReductionPlan(hash % (1u << 30));
    const StreamResult settled = ConvertIntoLimitedSink(input, input.size(), SettingsFor(plan));
    const std::string expectedSettled = ExpectedOutput(model, plan);
    if (settled.converted != 1 || settled.out != expectedSettled)
        return Problem("with other settings the output differs from the expected reduced copy at offset " +
                           std::to_string(FirstDifference(settled.out, expectedSettled)),
                       settled.report);
    if (report.floatsReduced != static_cast<std::int64_t>(model.reduced.size()))
        return Problem("reports " + std::to_string(report.floatsReduced) + " floats reduced, expected " +
                           std::to_string(model.reduced.size()),
                       report);

    const StreamResult again = ConvertThroughFileBuffers(output);
    if (again.converted != 1)
        return Problem("converting the output again fails", again.report);
    if (again.out != output)
        return Problem("converting the output again changes it at offset " +
                           std::to_string(FirstDifference(again.out, output)),
                       again.report);

    const std::size_t limit = hash % output.size();
    const StreamResult refused = ConvertIntoLimitedSink(input, limit);
    if (refused.converted != 0)
        return Problem("success when the sink refused every byte after " + std::to_string(limit), refused.report);
    if (refused.report.kind != FailureKind::CannotWrite)
        return Problem("a refused write is not reported as one", refused.report);
    return std::string();
}

std::string CheckAgainstLayout(const std::string& input, const ModelLayout& layout, bool parsed)
{
    const StreamResult result = ConvertThroughFileBuffers(input);
    const ConversionReport& report = result.report;
    if (result.converted != report.converted || (result.converted != 0 && result.converted != 1))
        return Problem("result " + std::to_string(result.converted) + " disagrees with the report", report);
    if (result.out.size() > input.size())
        return Problem("output of " + std::to_string(result.out.size()) + " bytes grew past the input's " +
                           std::to_string(input.size()),
                       report);
    if (result.converted)
        return CheckSuccess(input, result, layout, parsed);
    if (report.reason.empty() || report.kind == FailureKind::None)
        return Problem("failure without a reason", report);
    if (report.offset < 0 || report.offset > static_cast<std::int64_t>(input.size()))
        return Problem("failure offset outside the input", report);
    if (parsed && layout.complete)
        return Problem("failure for a model that walks to a clean end", report);
    return std::string();
}

} // namespace

std::string CheckConversion(const std::string& input)
{
    ModelLayout layout;
    const bool parsed = ParseModel(input, layout);
    return CheckAgainstLayout(input, layout, parsed);
}
