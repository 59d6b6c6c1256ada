/*
 * fuzz_nadopts.cpp --
 *
 *	Fuzz target of the option files of nad2nad objects. The input is the
 *	text of a saved object: a Tcl list of options and values. Each -inad
 *	and -onad specification is parsed into a side as a configuration
 *	parses it; a side that is taken must have come from at most 255
 *	characters with a datum of 27, 83 or none, and the same text must
 *	parse alike a second time.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tcl.h>

#include "fuzz_harness.h"
#include "geo/nad2nadobj.h"

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_nadopts: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    int count = 0;
    const char **words = nullptr;
    if (Tcl_SplitList(nullptr, text.c_str(), &count, &words) != TCL_OK) {
        return 0;
    }
    for (int k = 0; k + 1 < count; k += 2) {
        const char *option = words[k], *value = words[k + 1];
        if (std::strcmp(option, "-inad") == 0 || std::strcmp(option, "-onad") == 0) {
            NadIo *side = nadIoParse(value);
            if (side != nullptr) {
                int datum = nadIoDatum(side);
                check(std::strlen(value) <= 255, "a specification over 255 characters was taken");
                check(datum == 0 || datum == 27 || datum == 83, "a side has a datum other than 27 or 83");
                NadIo *again = nadIoParse(value);
                check(again != nullptr && nadIoDatum(again) == datum && nadIoProjected(again) == nadIoProjected(side),
                      "a specification parses otherwise a second time");
                nadIoFree(again);
                nadIoFree(side);
            }
        }
    }
    Tcl_Free(reinterpret_cast<char *>(words));
    return 0;
}
