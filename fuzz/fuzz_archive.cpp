// The archive fuzz target: every input goes through the map conversion and the checks that must
// hold for any input; a check that fails aborts, so libFuzzer saves the input. Mutations reach
// into the encrypted tables (archive_mutator.h).

#include "archive_checks.h"
#include "archive_mutator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// As in the model target: two frames of the stack at each allocation instead of 30, a twentieth
// of the time here; detection is unchanged. For a finding's full stacks, replay it with
// ASAN_OPTIONS=malloc_context_size=30.
extern "C" const char* __asan_default_options()
{
    return "malloc_context_size=2";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string problem = CheckArchiveConversion(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "duridodi_fuzz_archive: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    return MutateArchive(data, size, maxSize, seed, LLVMFuzzerMutate);
}
