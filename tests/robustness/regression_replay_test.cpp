// Every input that ever made the fuzz target fail, kept in fuzz/regressions, replayed through the
// same checks as the fuzz target without libFuzzer.

#include "conversion_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

TEST(RegressionReplay, EverySavedInputPassesTheFuzzChecks)
{
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(DURIDODI_REGRESSIONS_DIR)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string input(std::istreambuf_iterator<char>(file), {});
        EXPECT_EQ(CheckConversion(input), "") << entry.path().filename();
        ++replayed;
    }
    RecordProperty("replayed", replayed);
}

} // namespace
