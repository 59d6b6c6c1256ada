/*
 * fuzz_projline.cpp --
 *
 *	Fuzz target of the projection programs' line processing. The first
 *	byte of the input picks a program run (proj forward, inverse, with
 *	scale factors and echo, the -V report, binary pairs; cs2cs both ways;
 *	nad2nad between a UTM side and geographic text or binary pairs; geod
 *	both ways), the rest is the input file it reads. Every run must
 *	complete normally (errorCode {PROJEXIT 0}): no line ends a run.
 *	Binary output goes to the process's standard output, sent to
 *	/dev/null.
 */
#include "fuzz_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tcl.h>
#include <unistd.h>

#include "geo/projcmd.h"

namespace {

const char *const kRuns[] = {
    "proj +proj=utm +zone=10 +ellps=clrk66",
    "proj -I -W2 +proj=utm +zone=10 +ellps=clrk66",
    "proj -S -E -r -s -f %.3f +proj=merc +ellps=WGS84",
    "proj -V +proj=lcc +lat_1=33 +lat_2=45 +lon_0=-96 +ellps=GRS80",
    "proj -b +proj=ortho +lat_0=40 +lon_0=-100 +ellps=WGS84",
    "proj -I -i -m 1:1000 +proj=utm +zone=33 +ellps=WGS84",
    "cs2cs -E +proj=latlong +ellps=clrk66 +towgs84=-8,160,176 +to +proj=utm +zone=10 +datum=WGS84",
    "cs2cs -I -w3 +proj=latlong +ellps=clrk66 +towgs84=-8,160,176 +to +proj=utm +zone=10 +datum=WGS84",
    "nad2nad -E -i utm=10,27 -o 27",
    "nad2nad -i 27,bin,rev -o utm=11,27",
    "geod -I -a -p +ellps=clrk66",
    "geod -f %.6f -F %.2f +ellps=WGS84 +units=km",
};

Tcl_Interp *interp = nullptr;

std::string scratch()
{
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fuzzprojline-" + std::to_string(getpid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (interp == nullptr) {
        interp = Tcl_CreateInterp();
        if (projCmdInit(interp) != 0) {
            std::abort();
        }
        if (std::freopen("/dev/null", "w", stdout) == nullptr) {
            std::abort();
        }
    }
    if (size < 1) {
        return 0;
    }
    static const std::string file = scratch();
    FILE *f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    std::string script = std::string(kRuns[data[0] % (sizeof kRuns / sizeof kRuns[0])]) + " {" + file + "}";
    int code = Tcl_Eval(interp, script.c_str());
    const char *errorCode = Tcl_GetVar(interp, "errorCode", TCL_GLOBAL_ONLY);
    if (code != TCL_ERROR || errorCode == nullptr || std::strcmp(errorCode, "PROJEXIT 0") != 0) {
        std::fprintf(stderr, "fuzz_projline: %s ended with %d %s: %s\n", script.c_str(), code,
                     errorCode != nullptr ? errorCode : "", Tcl_GetStringResult(interp));
        std::abort();
    }
    unlink(file.c_str());
    return 0;
}
