#pragma once

// The progress line of a batch: files done out of total and the rate, on stderr, drawn only
// when stderr is a terminal and the batch has run for more than a second, and erased before
// any other line is printed and at the end.

#include <chrono>
#include <cstddef>
#include <cstdint>

struct Progress {
    std::chrono::steady_clock::time_point start; // when the batch began
    std::chrono::steady_clock::time_point drawn; // when the line was last drawn
    int enabled = 0;                             // stderr is a terminal
    std::size_t shownLength = 0;                 // characters on screen now, 0 when erased
};

// Starts the clock; the line is enabled only when stderr is a terminal.
void StartProgress(Progress& progress);

// Redraws the line (at most ten times a second) once the batch has run for a second.
void UpdateProgress(Progress& progress, std::size_t filesDone, std::size_t filesTotal, std::uint64_t bytesDone);

// Erases the line if it is on screen.
void ClearProgress(Progress& progress);
