#pragma once

// Gathers the many small writes of a conversion into large blocks for the file stream below it.
// A file stream hands every write of more than about a kilobyte straight to the system, so a walk
// that writes a field, then a track's keys, then a field would cost one system call per track;
// through this buffer it costs one per half megabyte. A block the target refuses makes the next
// write (or flush) fail, which puts the ostream over this buffer into the bad state.

#include <cstddef>
#include <streambuf>

// The size of the gathering block the caller provides.
constexpr std::size_t kOutputBlockSize = 512 * 1024;

// A write of at least this many bytes already costs as little as its one system call: it goes
// straight to the target after what was gathered, rather than being copied into the block first.
constexpr std::streamsize kDirectWriteSize = 128 * 1024;

struct BlockedOutput : std::streambuf {
    // Gathers in block (kOutputBlockSize bytes, kept by the caller) for target.
    BlockedOutput(std::streambuf* target, char* block);

    // Where n more bytes go in the block, for the caller to fill and Commit, or null when the
    // block has no room for them (a write through the stream then drains it).
    char* Room(std::streamsize n) { return epptr() - pptr() >= n ? pptr() : nullptr; }
    void Commit(std::streamsize n) { pbump(static_cast<int>(n)); }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize n) override;
    int sync() override;

private:
    // Hands the gathered bytes to the target; false when it took fewer.
    bool Drain();

    std::streambuf* target_;
    char* block_;
};
