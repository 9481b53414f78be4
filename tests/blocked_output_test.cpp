#include "blocked_output.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Accepts limit bytes, then refuses every write, as a full disk does.
struct RefusingTarget : std::stringbuf {
    explicit RefusingTarget(std::streamsize limit) : left(limit) {}
    std::streamsize xsputn(const char* bytes, std::streamsize n) override
    {
        const std::streamsize taken = std::min(n, left);
        left -= taken;
        return std::stringbuf::xsputn(bytes, taken);
    }
    int_type overflow(int_type c) override { return left-- > 0 ? std::stringbuf::overflow(c) : traits_type::eof(); }
    std::streamsize left;
};

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
    for (std::streamsize limit : {std::streamsize(0), std::streamsize(10), std::streamsize(1024 * 1024 + 1)}) {
        RefusingTarget target(limit);
        BlockedOutput blocks(&target, block.data());
        std::ostream sink(&blocks);
        sink.write(data.data(), static_cast<std::streamsize>(data.size()));
        sink.flush();
        EXPECT_TRUE(sink.bad()) << "limit " << limit;
        EXPECT_LE(static_cast<std::streamsize>(target.str().size()), limit);
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
