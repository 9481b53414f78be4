#pragma once

// Gathers the many small writes of a conversion into large blocks for the file stream below it.
// A file stream hands every write of more than about a kilobyte straight to the system, so a walk
// that writes a field, then a track's keys, then a field would cost one system call per track;
// through this buffer it costs one per megabyte. A block the target refuses makes the next write
// (or flush) fail, which puts the ostream over this buffer into the bad state.

#include <streambuf>
#include <vector>

struct BlockedOutput : std::streambuf {
    explicit BlockedOutput(std::streambuf* target);

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize n) override;
    int sync() override;

private:
    // Hands the gathered bytes to the target; false when it took fewer.
    bool Drain();

    std::streambuf* target_;
    std::vector<char> block_;
};
