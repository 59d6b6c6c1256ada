/*
 * test_main.cpp --
 *
 *	Main of the GoogleTest binaries: creates the interpreters against the
 *	real Tcl and Tk libraries, then fills the library's stub tables (through
 *	teskInitStubs, compiled in the stub-using world) before any test runs.
 */
#undef USE_TCL_STUBS
#undef USE_TK_STUBS
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <tcl.h>
#include <tk.h>
#include "support/test_interp.h"

int teskInitStubs(Tcl_Interp *interp, bool withTk);

namespace {
Tcl_Interp *plain = nullptr;
Tcl_Interp *withTk = nullptr;
}

Tcl_Interp *testInterp()
{
    return plain;
}

Tcl_Interp *testTkInterp()
{
    if (withTk == nullptr) {
        withTk = Tcl_CreateInterp();
        if (Tcl_Init(withTk) != TCL_OK || Tk_Init(withTk) != TCL_OK || teskInitStubs(withTk, true) != TCL_OK) {
            ADD_FAILURE() << "cannot start Tk: " << Tcl_GetStringResult(withTk);
        }
    }
    return withTk;
}

bool peersRequired()
{
    const char *value = std::getenv("TESK_REQUIRE_PEERS");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

std::string testEval(Tcl_Interp *interp, const std::string &script, int *code)
{
    int c = Tcl_EvalEx(interp, script.c_str(), -1, TCL_EVAL_GLOBAL);
    if (code != nullptr) {
        *code = c;
    }
    return Tcl_GetStringResult(interp);
}

int main(int argc, char **argv)
{
    Tcl_FindExecutable(argv[0]);
    plain = Tcl_CreateInterp();
    if (Tcl_Init(plain) != TCL_OK || teskInitStubs(plain, false) != TCL_OK) {
        fprintf(stderr, "cannot initialise Tcl: %s\n", Tcl_GetStringResult(plain));
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (withTk != nullptr) {
        Tcl_DeleteInterp(withTk);
    }
    Tcl_DeleteInterp(plain);
    return result;
}
