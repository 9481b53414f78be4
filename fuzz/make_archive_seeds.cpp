// duridodi-fuzz-archive-seeds DIR: writes the archive fuzz target's seed corpus into DIR: small
// maps made by StormLib (linked by the fuzz build alone) with the model oracle's smallest models
// and every kind of file the archive code reads: compressed with sector checksums, encrypted,
// with a fixed key, single units, stored, behind a map header or not.
//
// Prints the number of files written; on failure one line on stderr and exit status 1.

#include "storm_maps.h"
#include "test_support.h"

#include <StormLib.h>

#include <cstdio>
#include <string>

namespace {

// Seeds above this many bytes slow every mutation down and add little.
constexpr std::size_t kMaxSeedSize = 16 * 1024;

std::string SmallModel(std::uint32_t seed)
{
    ModelPlan plan;
    plan.chunks.resize(2);
    plan.chunks[0].kind = ChunkPlan::Bones;
    plan.chunks[0].nodes.push_back(NodePlan{{TrackPlan{tags::kTranslation, 1, 2}}});
    plan.chunks[1].kind = ChunkPlan::Geosets;
    plan.chunks[1].geosets.emplace_back();
    return WriteModel(plan, seed).bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: duridodi-fuzz-archive-seeds DIR\n");
        return 1;
    }
    const std::filesystem::path dir = argv[1];
    const std::uint32_t compressed = MPQ_FILE_COMPRESS | MPQ_FILE_SECTOR_CRC;
    const std::uint32_t fixedKey = MPQ_FILE_COMPRESS | MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY;
    const std::uint32_t single = MPQ_FILE_COMPRESS | MPQ_FILE_SINGLE_UNIT;
    const std::string text = "call Preload( \"Units\\\\Footman.mdx\" )\r\n";
    const std::vector<std::vector<StormFile>> maps = {
        {{"a.mdx", "MDLX", compressed, MPQ_COMPRESSION_ZLIB}},
        {{"units\\a.mdx", SmallModel(1), compressed, MPQ_COMPRESSION_ZLIB},
         {"war3map.j", text + text + text, compressed, MPQ_COMPRESSION_ZLIB}},
        {{"b.mdx", SmallModel(2), fixedKey | MPQ_FILE_SECTOR_CRC, MPQ_COMPRESSION_ZLIB},
         {"c.txt", text, fixedKey, MPQ_COMPRESSION_ZLIB}},
        {{"d.mdx", SmallModel(3), single, MPQ_COMPRESSION_ZLIB},
         {"e.bin", text, single | MPQ_FILE_ENCRYPTED, MPQ_COMPRESSION_ZLIB}},
        {{"f.mdx", SmallModel(4), 0, 0}, {"g.txt", text, MPQ_FILE_ENCRYPTED, 0}},
        {{"h.mdx", SmallModel(5) + std::string(600, '\0'), compressed, MPQ_COMPRESSION_BZIP2}},
    };
    int written = 0;
    for (std::size_t i = 0; i < maps.size(); ++i) {
        for (bool header : {false, true}) {
            StormMapPlan plan;
            plan.files = maps[i];
            plan.hashTableSize = 4;
            plan.attributeFlags = (i % 2) ? MPQ_ATTRIBUTE_CRC32 | MPQ_ATTRIBUTE_MD5 : MPQ_ATTRIBUTE_CRC32;
            const std::filesystem::path raw = dir / "storm.tmp";
            const std::string problem = BuildStormMap(raw, plan);
            if (!problem.empty()) {
                std::fprintf(stderr, "duridodi-fuzz-archive-seeds: %s\n", problem.c_str());
                return 1;
            }
            std::string map = ReadFile(raw);
            std::filesystem::remove(raw);
            if (header)
                map = "HM3W" + std::string(508, '\0') + map;
            if (map.size() > kMaxSeedSize)
                continue;
            if (!WriteFile(dir / ("map-" + std::to_string(i) + (header ? "-header" : "") + ".w3x"), map)) {
                std::fprintf(stderr, "duridodi-fuzz-archive-seeds: cannot write into %s\n", argv[1]);
                return 1;
            }
            ++written;
        }
    }
    std::printf("%d seeds written to %s\n", written, argv[1]);
    return 0;
}
