/*
 * test_interp.h --
 *
 *	The interpreters of the GoogleTest binaries. The shared main creates a
 *	Tcl interpreter and fills the library's stub tables before any test.
 */
#ifndef TESK_TESTS_TEST_INTERP_H
#define TESK_TESTS_TEST_INTERP_H

#include <string>
#include <tcl.h>

/* The shared Tcl interpreter (no Tk). */
Tcl_Interp *testInterp();
/* An interpreter with Tk, made on first use (needs an X display). */
Tcl_Interp *testTkInterp();
/* Evaluates script in interp; answers the result, and the code in *code. */
std::string testEval(Tcl_Interp *interp, const std::string &script, int *code = nullptr);
/* Whether a missing peer program fails its test rather than skipping it:
 * TESK_REQUIRE_PEERS is set (tools/test.sh), not empty and not 0. A test
 * whose peer is missing asserts !peersRequired() before GTEST_SKIP. */
bool peersRequired();

#endif /* TESK_TESTS_TEST_INTERP_H */
