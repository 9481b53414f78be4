// Every map input that made the archive fuzz target fail, or that shows a refusal worth keeping,
// kept in fuzz/regressions-archive and replayed through the fuzz target's checks.

#include "archive_checks.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(ArchiveRegressionReplay, EverySavedMapPassesTheFuzzChecks)
{
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DURIDODI_ARCHIVE_REGRESSIONS_DIR)) {
        if (!entry.is_regular_file())
            continue;
        EXPECT_EQ(CheckArchiveConversion(ReadFile(entry.path())), "") << entry.path().filename();
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
    RecordProperty("replayed", replayed);
}

} // namespace
