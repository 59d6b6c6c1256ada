/*
 * tesktest.cpp --
 *
 *	The test-only extension libtesktest.so: the "tesktest" command, which
 *	lets tcltest files drive the package's C interface. It reaches
 *	libtesk.so only through its exported API, so it shares the package's
 *	state. Never part of the product.
 *
 *	tesktest capture start|stop      standard output and error into memory;
 *	                                 stop answers {stdoutText stderrText}
 *	tesktest printf stdout|stderr TEXT   tesk_fprintf(stream, "%s", TEXT)
 *	tesktest puts TEXT               tesk_puts(TEXT)
 *	tesktest meter reset|inc|check   meterReset, meterInc, meterCheckPause
 *	tesktest meter set LABEL FRACTION
 *	tesktest meter step VALUE | state VALUE
 *	tesktest options OPTIONWORDS WORDS   parseToolOptions: {left {values}}
 *	tesktest bands NIN NOUT ?TEXT?   parseBandParams: {count {in out} ...}
 *	tesktest numbers TEXT MAX        parseNumberList: {count {numbers}}
 *	tesktest tkconsole               gives the interpreter Tk's console
 *	                                 window and "console" command
 *	tesktest panic MESSAGE           Tcl_Panic("%s", MESSAGE): ends the process
 *	tesktest objopen|objclose|objuses    C holders of data objects (testobj.cpp)
 *	tesktest img ...                 the RAM image store (testimg.cpp)
 *	tesktest redrawlog               what the geo canvas's redisplay did:
 *	                                 {displays N renders N rebuilds N last {x1 y1 x2 y2}}
 *	tesktest readback WINDOW ?X Y W H?   the colours a window shows
 *	                                 (testreadback.cpp)
 *	tesktest ctable2 FILE WEST SOUTH STEPLON STEPLAT COLUMNS ROWS DLON DLAT
 *	                                 writes a CTable2 shift grid (degrees)
 *	                                 whose every node shifts by DLON DLAT
 *	                                 arc-seconds, east and north positive
 *	tesktest failwrites BYTES         the store's file writes fail after BYTES
 *	                                 more bytes (negative: never)
 */
#include <cerrno>
#include <dlfcn.h>
#include <cstdint>
#include <string>
#include <vector>
#include <tcl.h>
#include <tk.h>
#include "tesk.h"
#include "tesk_image.h"
#include "tesk_stdio.h"
#include "gridfile.h"

/* The test object kind and its C holders (testobj.cpp). */
int testobjInit(Tcl_Interp *interp);
int testobjOpen(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int testobjClose(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], bool usesOnly);
/* The RAM image store (testimg.cpp). */
int testimgCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
/* The colours a window shows (testreadback.cpp). */
int testreadbackCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

namespace {

/* ---- capture of the standard channels ---- */

struct Capture {
    std::string text[2];        // stdout, stderr
    Tcl_Channel saved[2] = {};  // the standard channels before the capture
    Tcl_Channel chan[2] = {};
    bool active = false;
} capture;

int captureClose(ClientData, Tcl_Interp *)
{
    return 0;
}

int captureInput(ClientData, char *, int, int *errorCode)
{
    *errorCode = EINVAL;
    return -1;
}

int captureOutput(ClientData instanceData, const char *bytes, int n, int *errorCode)
{
    *errorCode = 0;
    capture.text[reinterpret_cast<intptr_t>(instanceData)].append(bytes, static_cast<std::size_t>(n));
    return n;
}

void captureWatch(ClientData, int) {}

int captureHandle(ClientData, int, ClientData *)
{
    return TCL_ERROR;
}

const Tcl_ChannelType captureType = {
    "tesktestcapture", TCL_CHANNEL_VERSION_5, captureClose, captureInput, captureOutput, nullptr, nullptr, nullptr,
    captureWatch,      captureHandle,         nullptr,      nullptr,      nullptr,       nullptr, nullptr, nullptr,
    nullptr,
};

int captureCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    static const char *const names[] = {"tesktestout", "tesktesterr"};
    static const int kinds[] = {TCL_STDOUT, TCL_STDERR};
    const char *word = objc == 3 ? Tcl_GetString(objv[2]) : "";
    if (std::string(word) == "start" && !capture.active) {
        for (int i = 0; i < 2; i++) {
            capture.text[i].clear();
            capture.saved[i] = Tcl_GetStdChannel(kinds[i]);
            capture.chan[i] = Tcl_CreateChannel(&captureType, names[i],
                                                reinterpret_cast<ClientData>(static_cast<intptr_t>(i)), TCL_WRITABLE);
            Tcl_SetChannelOption(nullptr, capture.chan[i], "-buffering", "none");
            Tcl_SetChannelOption(nullptr, capture.chan[i], "-translation", "lf");
            Tcl_SetChannelOption(nullptr, capture.chan[i], "-encoding", "utf-8");
            Tcl_RegisterChannel(interp, capture.chan[i]);
            Tcl_SetStdChannel(capture.chan[i], kinds[i]);
        }
        capture.active = true;
        return TCL_OK;
    }
    if (std::string(word) == "stop" && capture.active) {
        Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
        for (int i = 0; i < 2; i++) {
            Tcl_SetStdChannel(capture.saved[i], kinds[i]);
            Tcl_UnregisterChannel(interp, capture.chan[i]);
            Tcl_ListObjAppendElement(
                nullptr, result, Tcl_NewStringObj(capture.text[i].data(), static_cast<int>(capture.text[i].size())));
        }
        capture.active = false;
        Tcl_SetObjResult(interp, result);
        return TCL_OK;
    }
    Tcl_SetResult(interp, const_cast<char *>("usage: tesktest capture start|stop (in turn)"), TCL_STATIC);
    return TCL_ERROR;
}

/* ---- console output ---- */

int printfCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "stdout|stderr text");
        return TCL_ERROR;
    }
    std::string stream = Tcl_GetString(objv[2]);
    int n = tesk_fprintf(stream == "stderr" ? stderr : stdout, "%s", Tcl_GetString(objv[3]));
    Tcl_SetObjResult(interp, Tcl_NewIntObj(n));
    return TCL_OK;
}

int putsCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "text");
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(tesk_puts(Tcl_GetString(objv[2]))));
    return TCL_OK;
}

/* ---- meter ---- */

int meterCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    std::string word = objc >= 3 ? Tcl_GetString(objv[2]) : "";
    if (word == "reset" && objc == 3) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(meterReset()));
        return TCL_OK;
    }
    if (word == "set" && objc == 5) {
        double fraction = 0;
        if (Tcl_GetDoubleFromObj(interp, objv[4], &fraction) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_SetObjResult(interp, Tcl_NewIntObj(meterSet(Tcl_GetString(objv[3]), static_cast<float>(fraction))));
        return TCL_OK;
    }
    if (word == "inc" && objc == 3) {
        Tcl_SetObjResult(interp, Tcl_NewDoubleObj(meterInc()));
        return TCL_OK;
    }
    if (word == "check" && objc == 3) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(meterCheckPause()));
        return TCL_OK;
    }
    if (word == "step" && objc == 4) {
        double step = 0;
        if (Tcl_GetDoubleFromObj(interp, objv[3], &step) != TCL_OK) {
            return TCL_ERROR;
        }
        meterSetStep(step);
        Tcl_SetObjResult(interp, Tcl_NewDoubleObj(meterInc()));
        return TCL_OK;
    }
    if (word == "state" && objc == 4) {
        int state = 0;
        if (Tcl_GetIntFromObj(interp, objv[3], &state) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_SetObjResult(interp, Tcl_NewIntObj(meterSetState(state)));
        return TCL_OK;
    }
    Tcl_SetResult(interp, const_cast<char *>("usage: tesktest meter reset|inc|check|set LABEL FRACTION|step V|state V"),
                  TCL_STATIC);
    return TCL_ERROR;
}

/* ---- tool options and band lists ---- */

int optionsCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int nOptions = 0, nWords = 0;
    const char **options = nullptr;
    const char **words = nullptr;
    if (objc != 4 || Tcl_SplitList(interp, Tcl_GetString(objv[2]), &nOptions, &options) != TCL_OK) {
        Tcl_AppendResult(interp, "usage: tesktest options OPTIONWORDS WORDS", nullptr);
        return TCL_ERROR;
    }
    if (Tcl_SplitList(interp, Tcl_GetString(objv[3]), &nWords, &words) != TCL_OK) {
        Tcl_Free(reinterpret_cast<char *>(options));
        return TCL_ERROR;
    }
    std::vector<ToolOption> table(static_cast<std::size_t>(nOptions) + 1);
    for (int i = 0; i < nOptions; i++) {
        table[i] = {options[i], nullptr};
    }
    table[nOptions] = {nullptr, nullptr};
    int left = parseToolOptions(table.data(), nWords, words);
    Tcl_Obj *values = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < nOptions; i++) {
        Tcl_ListObjAppendElement(nullptr, values, Tcl_NewStringObj(table[i].value ? table[i].value : "<unset>", -1));
    }
    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    Tcl_ListObjAppendElement(nullptr, result, Tcl_NewIntObj(left));
    Tcl_ListObjAppendElement(nullptr, result, values);
    Tcl_SetObjResult(interp, result);
    Tcl_Free(reinterpret_cast<char *>(options));
    Tcl_Free(reinterpret_cast<char *>(words));
    return TCL_OK;
}

int bandsCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int nIn = 0, nOut = 0;
    if ((objc != 4 && objc != 5) || Tcl_GetIntFromObj(interp, objv[2], &nIn) != TCL_OK ||
        Tcl_GetIntFromObj(interp, objv[3], &nOut) != TCL_OK) {
        Tcl_AppendResult(interp, " usage: tesktest bands NIN NOUT ?TEXT?", nullptr);
        return TCL_ERROR;
    }
    std::vector<int> in(TESK_MAX_BAND_PAIRS), out(TESK_MAX_BAND_PAIRS);
    int n = parseBandParams(nIn, nOut, in.data(), out.data(), objc == 5 ? Tcl_GetString(objv[4]) : nullptr);
    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    Tcl_ListObjAppendElement(nullptr, result, Tcl_NewIntObj(n));
    for (int i = 0; i < n; i++) {
        Tcl_Obj *pair[] = {Tcl_NewIntObj(in[i]), Tcl_NewIntObj(out[i])};
        Tcl_ListObjAppendElement(nullptr, result, Tcl_NewListObj(2, pair));
    }
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

int numbersCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int maximum = 0;
    if (objc != 4 || Tcl_GetIntFromObj(interp, objv[3], &maximum) != TCL_OK || maximum < 0 || maximum > 65536) {
        Tcl_AppendResult(interp, " usage: tesktest numbers TEXT MAX", nullptr);
        return TCL_ERROR;
    }
    std::vector<int> numbers(static_cast<std::size_t>(maximum) + 1);
    int n = parseNumberList(Tcl_GetString(objv[2]), numbers.data(), maximum);
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < n; i++) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewIntObj(numbers[i]));
    }
    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    Tcl_ListObjAppendElement(nullptr, result, Tcl_NewIntObj(n));
    Tcl_ListObjAppendElement(nullptr, result, list);
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

int tkconsoleCmd(Tcl_Interp *interp, int, Tcl_Obj *const[])
{
    if (tkStubsPtr == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("tesktest tkconsole needs Tk"), TCL_STATIC);
        return TCL_ERROR;
    }
    /* Not in Tk's stub table: take it from the Tk library wish runs on. */
    using CreateConsoleProc = int (*)(Tcl_Interp *);
    auto create = reinterpret_cast<CreateConsoleProc>(dlsym(RTLD_DEFAULT, "Tk_CreateConsoleWindow"));
    if (create == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Tk_CreateConsoleWindow not found"), TCL_STATIC);
        return TCL_ERROR;
    }
    return create(interp);
}

int panicCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "message");
        return TCL_ERROR;
    }
    Tcl_Panic("%s", Tcl_GetString(objv[2]));
    return TCL_ERROR;
}

/* tesktest failwrites BYTES: the store's file writes fail after BYTES more
 * bytes; a negative count lifts the limit. */
int failwritesCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    Tcl_WideInt bytes = 0;
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "bytes");
        return TCL_ERROR;
    }
    if (Tcl_GetWideIntFromObj(interp, objv[2], &bytes) != TCL_OK) {
        return TCL_ERROR;
    }
    tesk_failWritesAfter(bytes);
    return TCL_OK;
}

int objcloseCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return testobjClose(interp, objc, objv, false);
}

int objusesCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return testobjClose(interp, objc, objv, true);
}

/* ---- synthetic shift grids ---- */

int ctable2Cmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    double v[6];
    int columns = 0, rows = 0;
    bool ok = objc == 11;
    for (int i = 0; ok && i < 4; i++) {
        ok = Tcl_GetDoubleFromObj(interp, objv[3 + i], &v[i]) == TCL_OK;
    }
    ok = ok && Tcl_GetIntFromObj(interp, objv[7], &columns) == TCL_OK &&
         Tcl_GetIntFromObj(interp, objv[8], &rows) == TCL_OK && columns > 0 && rows > 0 && columns <= 100000 / rows;
    for (int i = 4; ok && i < 6; i++) {
        ok = Tcl_GetDoubleFromObj(interp, objv[5 + i], &v[i]) == TCL_OK;
    }
    if (!ok) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "usage: tesktest ctable2 FILE WEST SOUTH STEPLON STEPLAT COLUMNS ROWS DLON DLAT",
                         nullptr);
        return TCL_ERROR;
    }
    std::string error;
    if (!writeCtable2(Tcl_GetString(objv[2]), constantShiftGrid(v[0], v[1], v[2], v[3], columns, rows, v[4], v[5]),
                      &error)) {
        Tcl_AppendResult(interp, error.c_str(), nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

struct TestSubcommand {
    const char *name;
    int (*proc)(Tcl_Interp *, int, Tcl_Obj *const[]);
};

/* ---- redisplay of the geo canvas ---- */

int redrawlogCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 2, objv, "");
        return TCL_ERROR;
    }
    long counts[3];
    int area[4];
    gcanvasRedrawCounts(&counts[0], &counts[1], &counts[2], area);
    Tcl_Obj *last = Tcl_NewListObj(0, nullptr);
    for (int v : area) {
        Tcl_ListObjAppendElement(nullptr, last, Tcl_NewIntObj(v));
    }
    Tcl_Obj *words[] = {Tcl_NewStringObj("displays", -1), Tcl_NewLongObj(counts[0]),
                        Tcl_NewStringObj("renders", -1),  Tcl_NewLongObj(counts[1]),
                        Tcl_NewStringObj("rebuilds", -1), Tcl_NewLongObj(counts[2]),
                        Tcl_NewStringObj("last", -1),     last};
    Tcl_SetObjResult(interp, Tcl_NewListObj(8, words));
    return TCL_OK;
}

const TestSubcommand kSubcommands[] = {
    {"capture", captureCmd},  {"printf", printfCmd},         {"puts", putsCmd},
    {"meter", meterCmd},      {"options", optionsCmd},       {"bands", bandsCmd},
    {"numbers", numbersCmd},  {"tkconsole", tkconsoleCmd},   {"panic", panicCmd},
    {"objopen", testobjOpen}, {"objclose", objcloseCmd},     {"objuses", objusesCmd},
    {"img", testimgCmd},      {"readback", testreadbackCmd}, {"redrawlog", redrawlogCmd},
    {"ctable2", ctable2Cmd},  {"failwrites", failwritesCmd},
};

int tesktestCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc >= 2) {
        std::string word = Tcl_GetString(objv[1]);
        for (const TestSubcommand &sub : kSubcommands) {
            if (word == sub.name) {
                return sub.proc(interp, objc, objv);
            }
        }
    }
    Tcl_SetResult(interp, const_cast<char *>("usage: tesktest capture|printf|puts|meter|options|bands|numbers ..."),
                  TCL_STATIC);
    return TCL_ERROR;
}

}  // namespace

extern "C" TESK_API int Tesktest_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) {
        return TCL_ERROR;
    }
    if (Tcl_PkgPresent(interp, "Tk", nullptr, 0) != nullptr && Tk_InitStubs(interp, "8.6", 0) == nullptr) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    Tcl_CreateObjCommand(interp, "tesktest", tesktestCmd, nullptr, nullptr);
    testobjInit(interp);
    return Tcl_PkgProvide(interp, "tesktest", "1.0");
}
