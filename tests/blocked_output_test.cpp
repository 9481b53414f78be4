#include "blocked_output.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<char> block(kOutputBlockSize);

} // namespace

TEST(BlockedOutput, PassesSmallAndLargeWritesOnInOrder)
{
    std::stringbuf target;
    BlockedOutput blocks(&target, block.data());
    std::ostream sink(&blocks);
    std::string expected;
    // Fields, a run of single bytes and blocks larger than the gathering block, interleaved.
    for (int round = 0; round < 5; ++round) {
        const std::string field = "KGTR" + std::to_string(round);
        const std::string large(900 * 1024 + round, static_cast<char>('a' + round));
        sink.write(field.data(), static_cast<std::streamsize>(field.size()));
        sink.put('#');
        sink.write(large.data(), static_cast<std::streamsize>(large.size()));
        expected += field + "#" + large;
    }
    sink.flush();
    EXPECT_TRUE(sink.good());
    EXPECT_EQ(target.str(), expected);
}

TEST(BlockedOutput, ARefusedBlockMakesTheStreamBadByTheFlushAtTheLatest)
{
    const std::string data(3 * 1024 * 1024, 'x');
    for (std::size_t limit : {std::size_t(0), std::size_t(10), std::size_t(1024 * 1024 + 1)}) {
        LimitedSinkBuffer target(limit);
        BlockedOutput blocks(&target, block.data());
        std::ostream sink(&blocks);
        sink.write(data.data(), static_cast<std::streamsize>(data.size()));
        sink.flush();
        EXPECT_TRUE(sink.bad()) << "limit " << limit;
        EXPECT_LE(target.written.size(), limit);
    }
}

TEST(BlockedOutput, AFlushOfNothingSucceeds)
{
    std::stringbuf target;
    BlockedOutput blocks(&target, block.data());
    std::ostream sink(&blocks);
    sink.flush();
    EXPECT_TRUE(sink.good());
    EXPECT_EQ(target.str(), "");
}
