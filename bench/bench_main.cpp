/*
 * bench_main.cpp --
 *
 *	Main of the benchmark binaries: creates a Tcl interpreter against the
 *	real Tcl library and fills the library's stub tables, then runs the
 *	registered benchmarks.
 */
#undef USE_TCL_STUBS
#undef USE_TK_STUBS
#include <benchmark/benchmark.h>
#include <cstdio>
#include <tcl.h>

int teskInitStubs(Tcl_Interp *interp, bool withTk);

int main(int argc, char **argv)
{
    Tcl_FindExecutable(argv[0]);
    Tcl_Interp *interp = Tcl_CreateInterp();
    if (teskInitStubs(interp, false) != TCL_OK) {
        std::fprintf(stderr, "cannot initialise Tcl: %s\n", Tcl_GetStringResult(interp));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Tcl_DeleteInterp(interp);
    return 0;
}
