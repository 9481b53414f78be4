#pragma once

// The workers of a batch: files converted on several threads at once, their outcomes taken in
// the order of the files.

#include <cstddef>
#include <functional>

// Calls convert(i) for every i below count on up to workers threads, the calling thread one of
// them (workers <= 1: the calling thread alone), and take(i) on the calling thread for every i in
// increasing order once convert(i) has returned. The calling thread takes outcomes between its
// own conversions, so one may wait for the conversion in progress there. Where no thread can be
// started, the calling thread does all the work.
void ConvertInOrder(std::size_t count, int workers, const std::function<void(std::size_t)>& convert,
                    const std::function<void(std::size_t)>& take);
