// duridodi-fuzz-seeds DIR: writes the fuzz target's seed corpus into DIR, made by the model
// oracle: models with every structure in each known version's layout, varied random
// models, and the smallest models there are.
//
// Prints the number of files written; on failure one line on stderr and exit status 1.

#include "test_support.h"

#include <cstdio>
#include <string>

namespace {

// Random models per version: enough to show each structure in several arrangements, few
// enough that each fuzzing round goes through the corpus quickly.
constexpr std::uint32_t kRandomModels = 12;
// Seeds above this many bytes slow every mutation down and add little.
constexpr std::size_t kMaxSeedSize = 16 * 1024;

// A model with an empty chunk of each walked kind: tag and zero size.
std::string EmptyChunksModel()
{
    ModelPlan description;
    description.writeVersion = false;
    for (ChunkPlan::Kind kind : {ChunkPlan::Bones, ChunkPlan::Helpers, ChunkPlan::Geosets}) {
        description.chunks.emplace_back();
        description.chunks.back().kind = kind;
    }
    return WriteModel(description).bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: duridodi-fuzz-seeds DIR\n");
        return 1;
    }
    const std::string dir = argv[1];
    int written = 0;
    bool ok = true;
    const auto save = [&](const std::string& name, const std::string& bytes) {
        if (bytes.size() > kMaxSeedSize)
            return;
        ok = ok && WriteFile(dir + "/" + name, bytes);
        ++written;
    };
    const std::int32_t versions[] = {800, 900, 1000, 1100};
    for (std::int32_t version : versions) {
        save("full-" + std::to_string(version) + ".mdx", WriteModel(FullModelPlan(version)).bytes);
        for (std::uint32_t seed = 1; seed <= kRandomModels; ++seed)
            save("random-" + std::to_string(version) + "-" + std::to_string(seed) + ".mdx",
                 WriteModel(RandomModelPlan(seed, version), seed).bytes);
    }
    save("magic-only.mdx", std::string("MDLX"));
    save("empty-chunks.mdx", EmptyChunksModel());
    if (!ok) {
        std::fprintf(stderr, "duridodi-fuzz-seeds: cannot write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("%d seeds written to %s\n", written, dir.c_str());
    return 0;
}
