#include "blocked_output.h"

#include <algorithm>
#include <cstring>

BlockedOutput::BlockedOutput(std::streambuf* target, char* block) : target_(target), block_(block)
{
    setp(block_, block_ + kOutputBlockSize);
}

bool BlockedOutput::Drain()
{
    const std::streamsize pending = pptr() - pbase();
    const bool written = pending == 0 || target_->sputn(pbase(), pending) == pending;
    setp(block_, block_ + kOutputBlockSize);
    return written;
}

BlockedOutput::int_type BlockedOutput::overflow(int_type c)
{
    if (!Drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize BlockedOutput::xsputn(const char* bytes, std::streamsize n)
{
    // Most writes are fields and short tracks that the block has room for.
    if (n < kDirectWriteSize && n <= epptr() - pptr()) {
        std::memcpy(pptr(), bytes, static_cast<std::size_t>(n));
        pbump(static_cast<int>(n));
        return n;
    }
    if (n >= kDirectWriteSize)
        return Drain() ? target_->sputn(bytes, n) : 0;
    std::streamsize done = 0;
    while (done < n) {
        if (pptr() == epptr() && !Drain())
            return done;
        const std::streamsize part = std::min<std::streamsize>(epptr() - pptr(), n - done);
        std::memcpy(pptr(), bytes + done, static_cast<std::size_t>(part));
        pbump(static_cast<int>(part));
        done += part;
    }
    return done;
}

int BlockedOutput::sync()
{
    return Drain() && target_->pubsync() == 0 ? 0 : -1;
}
