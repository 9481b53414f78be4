// Every map input that made the archive fuzz target fail, or that shows a refusal worth keeping,
// kept in fuzz/regressions-archive, and the minimized corpus of the long fuzzing campaigns, kept in
// fuzz/corpus/archive, replayed through the fuzz target's checks.

#include "archive_checks.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Runs the fuzz checks over every file in folder and returns how many there were.
int ReplayFolder(const std::filesystem::path& folder)
{
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        EXPECT_EQ(CheckArchiveConversion(ReadFile(entry.path())), "") << entry.path().filename();
        ++replayed;
    }
    return replayed;
}

TEST(ArchiveRegressionReplay, EverySavedMapPassesTheFuzzChecks)
{
    const int replayed = ReplayFolder(DURIDODI_ARCHIVE_REGRESSIONS_DIR);
    EXPECT_GT(replayed, 0);
    RecordProperty("replayed", replayed);
}

TEST(ArchiveRegressionReplay, EveryInputOfTheCampaignCorpusPassesTheFuzzChecks)
{
    const int replayed = ReplayFolder(DURIDODI_ARCHIVE_CORPUS_DIR);
    // An empty folder would make this pass without replaying anything.
    EXPECT_GT(replayed, 0);
    RecordProperty("replayed", replayed);
}

} // namespace
