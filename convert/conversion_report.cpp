#include "conversion_report.h"

std::string TagLetters(std::int32_t tag)
{
    std::string letters;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(tag) >> shift) & 0xFF);
        letters += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return letters;
}

std::string DescribeFailure(const ConversionReport& report)
{
    std::string line = report.reason.empty() ? std::string("conversion failed") : report.reason;
    std::string where;
    if (report.tag != 0)
        where = "chunk '" + TagLetters(report.tag) + "'";
    if (report.offset >= 0)
        where += (where.empty() ? "" : ", ") + std::string("offset ") + std::to_string(report.offset);
    return where.empty() ? line : line + " (" + where + ")";
}

void ClearReport(ConversionReport& report)
{
    report = ConversionReport();
}
