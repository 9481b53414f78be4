// The fuzz target: every input goes through the stream conversion and the checks that must hold
// for any input; a check that fails aborts, so libFuzzer saves the input.

#include "conversion_checks.h"
#include "model_mutator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// Each input allocates hundreds of times (the oracle's layout of the model), and by default
// AddressSanitizer records 30 frames of the stack at every allocation and release: a tenth of
// the fuzzer's time. Two frames still name where a block came from; detection is unchanged. For
// a finding's full stacks, replay it with ASAN_OPTIONS=malloc_context_size=30.
extern "C" const char* __asan_default_options()
{
    return "malloc_context_size=2";
}

// Nothing may outlive an input's run (no cache of what the checks parsed, for the mutator): when
// a run ends with more allocations than releases, libFuzzer runs the same input again to look for
// a leak, and counts that run as an execution too. A kept layout once made half of all runs such
// repeats.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string problem = CheckConversion(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "duridodi_fuzz: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    return MutateModel(data, size, maxSize, seed, LLVMFuzzerMutate);
}

extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t* data1, std::size_t size1,
                                                 const std::uint8_t* data2, std::size_t size2, std::uint8_t* out,
                                                 std::size_t maxOutSize, unsigned int seed)
{
    return CrossOverModels(data1, size1, data2, size2, out, maxOutSize, seed);
}
