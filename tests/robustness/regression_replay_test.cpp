// Every input that ever made the fuzz target fail, kept in fuzz/regressions, and the minimized
// corpus of the long fuzzing campaigns, kept in fuzz/corpus/model, replayed through the same
// checks as the fuzz target without libFuzzer.

#include "conversion_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

// Runs the fuzz checks over every file in folder and returns how many there were.
int ReplayFolder(const fs::path& folder)
{
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string input(std::istreambuf_iterator<char>(file), {});
        EXPECT_EQ(CheckConversion(input), "") << entry.path();
        ++replayed;
    }
    return replayed;
}

TEST(RegressionReplay, EverySavedInputPassesTheFuzzChecks)
{
    RecordProperty("replayed", ReplayFolder(DURIDODI_REGRESSIONS_DIR));
}

TEST(RegressionReplay, EveryInputOfTheCampaignCorpusPassesTheFuzzChecks)
{
    const int replayed = ReplayFolder(DURIDODI_MODEL_CORPUS_DIR);
    // An empty folder would make this pass without replaying anything.
    EXPECT_GT(replayed, 0);
    RecordProperty("replayed", replayed);
}

} // namespace
