#include "archive_text.h"

#include <cstdio>

std::string DescribeMapSizes(std::uint64_t before, std::uint64_t after)
{
    const double change = before > 0 ? 100.0 * (static_cast<double>(before) - static_cast<double>(after)) /
                                           static_cast<double>(before)
                                     : 0.0;
    char text[128];
    std::snprintf(text, sizeof text, "%llu -> %llu bytes (%.1f%% %s)", static_cast<unsigned long long>(before),
                  static_cast<unsigned long long>(after), change < 0 ? -change : change,
                  after > before ? "larger" : "smaller");
    return text;
}

std::string DescribeKeptModel(const ArchiveModel& model)
{
    return model.name + ": " + model.keptReason;
}
