/*
 * calc.cpp --
 *
 *	The calc command: its dispatch (first letter, minimum length, prefix),
 *	the script-library subcommands compsave and decompload, and meter. The
 *	other subcommands live in calc_geometry.cpp, calc_probes.cpp and
 *	calc_misc.cpp.
 */
#include "runtime/calc.h"

#include "runtime/calc_parts.h"
#include "runtime/cnumber.h"
#include "runtime/scriptlib.h"
#include "tesk_stdio.h"
#include "runtime/subcmd.h"

namespace {

int calcDecompload(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " file", nullptr);
        return TCL_ERROR;
    }
    return scriptLibraryLoad(interp, argv[2], 0);
}

int calcCompsave(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " outFile inFile ?inFile ...?", nullptr);
        return TCL_ERROR;
    }
    return scriptLibrarySave(interp, argv[2], argc - 3, argv + 3);
}

/* calc meter ?msg pct?: resets the meter, or shows pct percent with msg. */
int calcMeter(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 2) {
        meterReset();
        return TCL_OK;
    }
    double pct = 0;
    if (argc != 4 || cGetDouble(interp, argv[3], &pct) != TCL_OK) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: calc meter msg pct", nullptr);
        return TCL_ERROR;
    }
    tesk_fprintf(stderr, "pct: %s %f\n", argv[2], pct);
    meterSet(argv[2], static_cast<float>(pct / 100.0));
    return TCL_OK;
}

struct CalcSubcommand {
    const char *name;
    int minLength;                              // of the name's first-letter group
    CalcProc *proc;                             // NULL: built in a higher layer, or not part of this build
    CalcProc *const CalcLink::*link = nullptr;  // where a higher layer's handler is found
};

/* Minimum lengths by first letter: b 4, c 5, d 4, f 3, g 5, h 5, l 4, m 4,
 * p 3, r 3, s 4, t 4, x 3. */
const CalcSubcommand calcSubcommands[] = {
    {"bands", 4, calcBands},
    {"bitmap", 4, calcBitmap},
    {"chars", 5, calcChars},
    {"clrscr", 5, calcClrscr},
    {"correl", 5, calcCorrel},
    {"comptest", 5, calcComptest},
    {"compsave", 5, calcCompsave},
    {"decompload", 4, calcDecompload},
    {"d2r", 4, calcD2r},
    {"fgets", 3, calcFgets},
    {"fscanf", 3, calcFscanf},
    {"fplane", 3, calcFplane},
    {"ftime", 3, calcFtime},
    {"freeDisk", 3, calcFreeDisk},
    {"galloc", 5, calcGalloc},
    {"gfree", 5, calcGfree},
    {"geocalc", 5, nullptr, &CalcLink::geocalc},
    {"gotoxy", 5, calcGotoxy},
    {"handles", 5, calcHandles},
    {"loadtime", 4, calcLoadtime},
    {"malloc", 4, calcMalloc},
    {"memid", 4, calcMemid},
    {"memory", 4, calcMemory},
    {"meter", 4, calcMeter},
    {"panic", 3, calcPanic},
    {"rand", 3, calcRand},
    {"refImgCoord", 3, calcRefImgCoord},
    {"rrand", 3, calcRrand},
    {"r2d", 3, calcR2d},
    {"realloc", 3, calcRealloc},
    {"scangif", 4, nullptr, &CalcLink::scangif},
    {"scramble", 4, calcScramble},
    {"srand", 4, calcSrand},
    {"stime", 4, calcStime},
    {"test", 4, calcTest},
    {"xyzRotate", 3, calcXyzRotate},
};

int calcCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_SetResult(interp,
                      const_cast<char *>("Commands: bands bitmap chars clrscr correl comptest compsave decompload "
                                         "d2r fgets fscanf fplane ftime freeDisk galloc gfree geocalc handles "
                                         "loadtime malloc memid memory meter panic test rand refImgCoord rrand "
                                         "r2d scangif scramble srand stime xyzRotate"),
                      TCL_STATIC);
        return TCL_OK;
    }
    int row = findSubcommand(calcSubcommands, argv[1]);
    if (row < 0) {
        Tcl_SetResult(interp, const_cast<char *>("Unknown command"), TCL_STATIC);
        return TCL_OK;
    }
    const CalcSubcommand &subcommand = calcSubcommands[row];
    CalcProc *proc = subcommand.link != nullptr ? teskCalcLink.*subcommand.link : subcommand.proc;
    Tcl_ResetResult(interp);
    return proc(interp, argc, argv);
}

}  // namespace

int calcInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "calc", calcCmd, nullptr, nullptr) != nullptr ? TCL_OK : 1;
}
