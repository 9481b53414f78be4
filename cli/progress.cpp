#include "progress.h"

#include "platform.h"

#include <cstdio>
#include <string>

using Clock = std::chrono::steady_clock;

void StartProgress(Progress& progress)
{
    progress.start = Clock::now();
    progress.drawn = progress.start;
    progress.enabled = IsTerminal(stderr);
    progress.shownLength = 0;
}

void UpdateProgress(Progress& progress, std::size_t filesDone, std::size_t filesTotal, std::uint64_t bytesDone)
{
    if (!progress.enabled)
        return;
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - progress.start).count();
    // Short batches never show the line; a busy one redraws it ten times a second at most.
    if (seconds < 1.0 || (progress.shownLength > 0 && now - progress.drawn < std::chrono::milliseconds(100)))
        return;
    char line[96];
    const int length = std::snprintf(line, sizeof line, "duridodi: %zu/%zu files, %.1f MB/s", filesDone, filesTotal,
                                      static_cast<double>(bytesDone) / 1e6 / seconds);
    if (length <= 0)
        return;
    // Pad over what a longer earlier line left on screen.
    std::string text = "\r" + std::string(line);
    if (static_cast<std::size_t>(length) < progress.shownLength)
        text.append(progress.shownLength - static_cast<std::size_t>(length), ' ');
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    progress.shownLength = static_cast<std::size_t>(length) > progress.shownLength ? static_cast<std::size_t>(length)
                                                                                   : progress.shownLength;
    progress.drawn = now;
}

void ClearProgress(Progress& progress)
{
    if (progress.shownLength == 0)
        return;
    std::fputs(("\r" + std::string(progress.shownLength, ' ') + "\r").c_str(), stderr);
    std::fflush(stderr);
    progress.shownLength = 0;
}
