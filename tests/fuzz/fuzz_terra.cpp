/*
 * fuzz_terra.cpp --
 *
 *	Fuzz target of the terrain tile store reader. The input is a TERRA
 *	file. When it loads, every tile index is reached (its bytes summed,
 *	its map position turned back into the index, its georeference
 *	computed), the store is saved and must read back with the same bytes
 *	up to the data end, and a tile added to the first empty index must
 *	read back as added, in memory and from the store saved again.
 */
#include "fuzz_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "geo/terrastore.h"

namespace {

std::string scratch(const char *name)
{
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fuzzterra-" + std::to_string(getpid()) + name;
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_terra: %s\n", what);
        std::abort();
    }
}

/* Reaches every tile; answers a sum so that nothing is optimised away. */
double walk(const TerraStore *s)
{
    double sum = 0;
    int stored = 0;
    for (int i = 0; i < s->tileCount; i++) {
        int column = 0, row = 0;
        check(terraTileXY(s, i, &column, &row) == 1, "an index inside the store has no position");
        check(terraTileIndex(s, column, row) == i, "a tile's position gives another index");
        size_t length = 0;
        const unsigned char *p = terraTileData(s, i, &length);
        if (p == nullptr) {
            continue;
        }
        stored++;
        check(p >= s->image + terraHeaderSize(s) && p + length <= s->image + terraDataEnd(s),
              "a tile's bytes lie outside the tile data");
        for (size_t k = 0; k < length; k++) {
            sum += p[k];
        }
        ImageDesc desc;
        std::memset(&desc, 0, sizeof desc);
        terraTileGeoref(s, i, &desc);
        sum += desc.x0 + desc.y0 + desc.dx;
    }
    return sum + stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string input = scratch(".ter"), copy = scratch("-copy.ter");
    FILE *f = std::fopen(input.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    if (size > 0) {
        std::fwrite(data, 1, size, f);
    }
    std::fclose(f);

    TerraStore store;
    if (terraOpenFile(input.c_str(), &store)) {
        volatile double sum = walk(&store);
        (void)sum;
        if (terraSaveFile(copy.c_str(), &store)) {
            TerraStore back;
            check(terraOpenFile(copy.c_str(), &back) == 1, "a saved store does not read back");
            check(terraDataEnd(&back) == terraDataEnd(&store) &&
                      std::memcmp(back.image, store.image, terraDataEnd(&store)) == 0,
                  "a saved store reads back with other bytes");
            terraClose(&back);
        }
        static const unsigned char tile[] = {'G', 'I', 'F', '8', '9', 'a'};
        for (int i = 0; i < store.tileCount; i++) {
            size_t length = 0;
            if (terraTileData(&store, i, &length) == nullptr) {
                if (terraPutTile(&store, i, tile, sizeof tile)) {
                    const unsigned char *p = terraTileData(&store, i, &length);
                    check(p != nullptr && length == sizeof tile && std::memcmp(p, tile, length) == 0,
                          "an added tile reads back changed");
                    TerraStore back;
                    if (terraSaveFile(copy.c_str(), &store)) {
                        check(terraOpenFile(copy.c_str(), &back) == 1, "a store saved after a put does not read back");
                        check(terraTilesStored(&back) == terraTilesStored(&store) &&
                                  terraTileData(&back, i, &length) != nullptr,
                              "a store saved after a put reads back without the tile");
                        terraClose(&back);
                    }
                }
                break;
            }
        }
        terraClose(&store);
    }
    unlink(input.c_str());
    unlink(copy.c_str());
    return 0;
}
