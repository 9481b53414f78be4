// The archive fuzz target: every input goes through the map conversion and the checks that must
// hold for any input; a check that fails aborts, so libFuzzer saves the input.

#include "archive_checks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string problem = CheckArchiveConversion(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "duridodi_fuzz_archive: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
