/*
 * combkernel_test.cpp --
 *
 *	The comb kit's kernel: evaluation by words with its errorInfo texts
 *	and abort points, the _comb store, option parsing and item chains.
 */
#include <gtest/gtest.h>
#include <string>
#include "devices/comb/comb.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

std::string errorInfo(Tcl_Interp *interp)
{
    const char *info = Tcl_GetVar(interp, "errorInfo", TCL_GLOBAL_ONLY);
    return info != nullptr ? info : "";
}

/* A fresh _comb array in the plain interpreter. */
Tcl_Interp *freshStore()
{
    Tcl_Interp *interp = testInterp();
    testEval(interp, "unset -nocomplain _comb; array set _comb {}");
    return interp;
}

/* Counts every command the interpreter runs. */
int countCommand(ClientData clientData, Tcl_Interp *, int, const char *, Tcl_Command, int, Tcl_Obj *const[])
{
    ++*static_cast<int *>(clientData);
    return TCL_OK;
}

TEST(CombEval, NoWordsIsAnErrorAndRunsNothing)
{
    Tcl_Interp *interp = testInterp();
    int ran = 0;
    Tcl_Trace trace = Tcl_CreateObjTrace(interp, 0, 0, countCommand, &ran, nullptr);
    EXPECT_EQ(combEval(nullptr, interp, static_cast<char *>(nullptr)), TCL_ERROR);
    EXPECT_EQ(combEvalWords(CombOnError::Abort, interp, {}), TCL_ERROR);
    EXPECT_EQ(combEvalVar(CombOnError::Abort, interp, 0, nullptr), TCL_ERROR);
    Tcl_DeleteTrace(interp, trace);
    EXPECT_EQ(ran, 0);
    /* The probe sees a command that does run. */
    trace = Tcl_CreateObjTrace(interp, 0, 0, countCommand, &ran, nullptr);
    EXPECT_EQ(combEvalWords(CombOnError::Return, interp, {"list"}), TCL_OK);
    Tcl_DeleteTrace(interp, trace);
    EXPECT_EQ(ran, 1);
}

TEST(CombEval, ThousandsOfWordsArriveWhole)
{
    Tcl_Interp *interp = testInterp();
    CombWords words{"list"};
    std::vector<const char *> argv{"list"};
    for (int i = 0; i < 3000; i++) {
        words.push_back(std::to_string(i));
    }
    for (int i = 1; i <= 3000; i++) {
        argv.push_back(words[i].c_str());
    }
    ASSERT_EQ(combEvalWords(CombOnError::Return, interp, words), TCL_OK);
    Tcl_Obj *list = Tcl_GetObjResult(interp);
    int n = 0;
    ASSERT_EQ(Tcl_ListObjLength(nullptr, list, &n), TCL_OK);
    EXPECT_EQ(n, 3000);
    Tcl_Obj *last = nullptr;
    Tcl_ListObjIndex(nullptr, list, 2999, &last);
    EXPECT_STREQ(Tcl_GetString(last), "2999");
    ASSERT_EQ(combEvalVar(CombOnError::Return, interp, static_cast<int>(argv.size()), argv.data()), TCL_OK);
    ASSERT_EQ(Tcl_ListObjLength(nullptr, Tcl_GetObjResult(interp), &n), TCL_OK);
    EXPECT_EQ(n, 3000);
}

TEST(CombEval, WordsArriveWholeAndTheResultIsTheCommands)
{
    Tcl_Interp *interp = testInterp();
    const std::string odd = "a b [x] {y $z";
    ASSERT_EQ(combEvalWords(CombOnError::Return, interp, {"set", "::combOdd", odd}), TCL_OK);
    EXPECT_EQ(Tcl_GetStringResult(interp), odd);
    ASSERT_EQ(combEval(nullptr, interp, "string", "length", odd.c_str(), static_cast<char *>(nullptr)), TCL_OK);
    EXPECT_EQ(std::string(Tcl_GetStringResult(interp)), std::to_string(odd.size()));
}

TEST(CombEval, FailuresAddTheFormsTextsToErrorInfo)
{
    Tcl_Interp *interp = testInterp();
    EXPECT_EQ(combEval(nullptr, interp, "error", "boom", static_cast<char *>(nullptr)), TCL_ERROR);
    EXPECT_NE(errorInfo(interp).find("\nError from combEval: error\n"), std::string::npos) << errorInfo(interp);

    EXPECT_EQ(combEvalWords(CombOnError::Return, interp, {"noSuchCommand", "x"}), TCL_ERROR);
    EXPECT_NE(errorInfo(interp).find("\nnoSuchCommand does not exists!\nError from combEval: noSuchCommand\n"),
              std::string::npos)
        << errorInfo(interp);

    const char *argv[] = {"noSuchCommand", "x"};
    EXPECT_EQ(combEvalVar(CombOnError::Return, interp, 2, argv), TCL_ERROR);
    EXPECT_NE(errorInfo(interp).find("\nnoSuchCommand dose not exist!\nError from combEvalVar: noSuchCommand\n"),
              std::string::npos)
        << errorInfo(interp);
}

/* Keeps what the package writes to the console's standard output. */
class CombConsole : public StderrCapture {
protected:
    void SetUp() override
    {
        StderrCapture::SetUp();
        testEval(interp, R"(
            set ::out {}
            proc tkConsoleOutput {stream text} {
                if {$stream eq "stdout"} {append ::out $text} else {append ::err $text}
            }
        )");
    }
    std::string output() { return testEval(interp, "set ::out"); }
};

TEST_F(CombConsole, AnAbortPointReturnsToTheGuardAndSkipsTheRest)
{
    testEval(interp, "set ::combAfter 0");
    int code = combGuard(interp, [&] {
        combEvalWords(CombOnError::Abort, interp, {"error", "first step failed"});
        combEvalWords(CombOnError::Return, interp, {"set", "::combAfter", "1"});
        return TCL_OK;
    });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "first step failed");
    EXPECT_EQ(testEval(interp, "set ::combAfter"), "0");
    EXPECT_EQ(output(), "first step failed\nAbort at:\nerror first step failed \nfrom combEval\n");

    testEval(interp, "set ::out {}");
    const char *argv[] = {"error", "bad [x]"};
    EXPECT_EQ(combGuard(interp, [&] { return combEvalVar(CombOnError::Abort, interp, 2, argv); }), TCL_ERROR);
    EXPECT_EQ(output(), "Abort at:\nerror bad [x] \nfrom combEvalVar\n");
    /* Without an abort point the failing code comes back and the body goes on. */
    code = combGuard(interp, [&] {
        EXPECT_EQ(combEvalWords(CombOnError::Return, interp, {"error", "x"}), TCL_ERROR);
        return TCL_OK;
    });
    EXPECT_EQ(code, TCL_OK);
    EXPECT_EQ(output(), "Abort at:\nerror bad [x] \nfrom combEvalVar\n");
}

TEST_F(CombConsole, ObjectWordsRunWholeAndSpliceOptionLists)
{
    Tcl_Obj *options = Tcl_NewStringObj("-a {b c} $d", -1);
    Tcl_IncrRefCount(options);
    for (int round = 0; round < 2; round++) {
        CombObjv words(interp, {"list", std::string("x [y]")});
        words.addOptions(options).addOptions(nullptr).add(CombWord::fixed("end"));
        ASSERT_EQ(words.eval(CombOnError::Abort), TCL_OK);
        EXPECT_STREQ(Tcl_GetStringResult(interp), "{x [y]} -a {b c} {$d} end");
    }
    Tcl_DecrRefCount(options);

    int code = combGuard(interp, [&] {
        CombObjv(interp, {"list"}).addOptions(Tcl_NewStringObj("{open", -1)).eval(CombOnError::Abort);
        return TCL_OK;
    });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "unmatched open brace in list");
    EXPECT_EQ(output(), "");

    code = combGuard(interp, [&] { return CombObjv(interp, {"error", std::string("a b")}).eval(CombOnError::Abort); });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(output(), "a b\nAbort at:\nerror a b \nfrom combEval\n");
}

TEST(CombStore, KeysAreBuiltFromPartsOfAnyLength)
{
    Tcl_Interp *interp = freshStore();
    EXPECT_EQ(combGetVar(interp, ".never", "set"), nullptr);
    const std::string path = ".f" + std::string(20000, 'x');
    const std::string value(40000, 'v');
    ASSERT_NE(combSetVar(interp, value, path, "cf-max"), nullptr);
    const char *read = combGetVar(interp, path, "cf-max");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(std::string(read), value);
    EXPECT_EQ(testEval(interp, "info exists _comb(" + path + ",cf-max)"), "1");
}

TEST(CombStore, UnsetTakesOneKeyAndIgnoresAMissingOne)
{
    Tcl_Interp *interp = freshStore();
    testEval(interp, "array set _comb {{.a*,STATES} 1 .ab,STATES 2 {.a*,STATES2} 3}");
    combUnsetVar(interp, ".a*", "STATES");
    /* A missing key leaves the result as it was. */
    Tcl_SetResult(interp, const_cast<char *>("kept"), TCL_STATIC);
    combUnsetVar(interp, ".none", "STATES");
    EXPECT_EQ(std::string(Tcl_GetStringResult(interp)), "kept");
    EXPECT_EQ(testEval(interp, "lsort [array names _comb]"), ".a*,STATES2 .ab,STATES");
}

TEST(CombParse, PairsAreStoredUntilTheFirstBadOne)
{
    Tcl_Interp *interp = freshStore();
    combSetVar(interp, "0", ".n", "cf-min");
    combSetVar(interp, "100", ".n", "cf-max");

    const char *good[] = {"-min", "5", "-max", "{a b}"};
    EXPECT_EQ(combParseParams(interp, ".n", 4, good), 1);
    EXPECT_STREQ(combGetVar(interp, ".n", "cf-max"), "{a b}");

    struct Case {
        std::vector<const char *> words;
        const char *text;
    } cases[] = {
        {{"-min", "7", "-max"}, "\ncombParseParams: no value given to option -max\n"},
        {{"-min", "8", "max", "5"}, "\ncombParseParams: option syntax error: max\n"},
        {{"-min", "9", "-step", "1"}, "\ncombParseParams: unknown option: -step 1\n"},
    };
    for (const Case &c : cases) {
        Tcl_ResetResult(interp);
        EXPECT_EQ(combParseParams(interp, ".n", static_cast<int>(c.words.size()), c.words.data()), 0);
        EXPECT_NE(errorInfo(interp).find(c.text), std::string::npos) << errorInfo(interp);
        EXPECT_STREQ(combGetVar(interp, ".n", "cf-min"), c.words[1]);
    }
    EXPECT_EQ(combGetVar(interp, ".n", "cf-step"), nullptr);
}

TEST(CombItems, ChainsResolveThroughTheStore)
{
    Tcl_Interp *interp = freshStore();
    combSetVar(interp, ".f.item0", ".f", "-list");
    combSetVar(interp, ".f.item0.lb", ".f.item0", "-box");
    std::string out;
    const char *none[] = {nullptr};
    ASSERT_TRUE(getID(interp, ".f", 0, none, out));
    EXPECT_EQ(out, ".f");
    ASSERT_TRUE(getIDList(interp, ".f", "-list -box", out));
    EXPECT_EQ(out, ".f.item0.lb");

    Tcl_ResetResult(interp);
    EXPECT_FALSE(getIDList(interp, ".f", "-list box", out));
    EXPECT_NE(errorInfo(interp).find("getID - syntex error"), std::string::npos);
    Tcl_ResetResult(interp);
    EXPECT_FALSE(getIDList(interp, ".f", "-list -nothing", out));
    EXPECT_NE(errorInfo(interp).find("getID - invalid path"), std::string::npos);
    EXPECT_FALSE(getIDList(interp, ".f", "{-list", out));
}

TEST(CombNames, OptionNamesAndClasses)
{
    EXPECT_TRUE(isOptionName("-a"));
    EXPECT_TRUE(isOptionName("-max"));
    EXPECT_FALSE(isOptionName("-"));
    EXPECT_FALSE(isOptionName("--x"));
    EXPECT_FALSE(isOptionName("max"));
    EXPECT_TRUE(isTkClass("Button"));
    EXPECT_FALSE(isTkClass("num"));
    EXPECT_FALSE(isTkClass(""));
}

TEST(CombPaths, ChecksAndClassesOfWindows)
{
    Tcl_Interp *interp = testTkInterp();
    Tk_Window main = Tk_MainWindow(interp);
    testEval(interp, "unset -nocomplain _comb; frame .cf; frame .plain; set _comb(.cf,class) num");
    EXPECT_EQ(combGetClass(main, interp, ".cf"), "num");
    EXPECT_EQ(combGetClass(main, interp, ".plain"), "Frame");
    EXPECT_EQ(combGetClass(main, interp, ".gone"), "");
    EXPECT_TRUE(combIsClass(main, interp, ".cf", "num"));
    EXPECT_FALSE(combIsClass(main, interp, ".gone", "num"));

    struct Case {
        const char *path;
        bool mustBeNew;
        int ok;
        const char *result;
    } cases[] = {
        {"x", true, 0, "Invalid widget pathname"},
        {".cf", true, 0, "Path .cf already exists!"},
        {".new", true, 1, ""},
        {".gone", false, 0, "None-existed widget: .gone"},
        {".plain", false, 0, ".plain is not a combined widget or has currupted"},
        {".cf", false, 1, ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(combCheckPath(main, interp, c.path, c.mustBeNew), c.ok) << c.path;
        EXPECT_STREQ(Tcl_GetStringResult(interp), c.result) << c.path;
    }

    testEval(interp, "set _comb(.cf,-a) .cf.item0");
    Tcl_ResetResult(interp);
    EXPECT_EQ(combCheckNewItem(main, interp, ".cf", "num", "-b", "x.add"), 1);
    EXPECT_EQ(combCheckNewItem(main, interp, ".cf", "str", "-b", "x.add"), 0);
    EXPECT_NE(errorInfo(interp).find("x.add - invalid class"), std::string::npos);
    Tcl_ResetResult(interp);
    EXPECT_EQ(combCheckNewItem(main, interp, ".cf", "num", "b", "x.add"), 0);
    EXPECT_NE(errorInfo(interp).find("x.add - invalid ID"), std::string::npos);
    Tcl_ResetResult(interp);
    EXPECT_EQ(combCheckNewItem(main, interp, ".cf", "num", "-a", "x.add"), 0);
    EXPECT_NE(errorInfo(interp).find("x.add - id -a already exists"), std::string::npos);
    testEval(interp, "destroy .cf .plain");
}

TEST(CombDisable, EachWindowKeepsWhatItHasOfStateAndColour)
{
    Tcl_Interp *interp = testTkInterp();
    testEval(interp, "frame .dt; canvas .dt.c; message .dt.m -fg {light blue}; button .dt.b -state active -fg red");
    CombWords restore;
    combDisableTree(interp, ".dt", restore);
    /* Children first, in stacking order; the frame has neither option. */
    ASSERT_EQ(restore.size(), 3u);
    EXPECT_EQ(restore[0], ".dt.c config -state normal");
    EXPECT_EQ(restore[1], ".dt.m config -fg {light blue}");
    EXPECT_EQ(restore[2], ".dt.b config -state active -fg red");
    EXPECT_EQ(testEval(interp, "list [.dt.c cget -state] [.dt.m cget -fg] [.dt.b cget -state] [.dt.b cget -fg]"),
              "disabled gray50 disabled gray50");
    for (const std::string &script : restore) {
        testEval(interp, script);
    }
    EXPECT_EQ(testEval(interp, "list [.dt.c cget -state] [.dt.m cget -fg] [.dt.b cget -state] [.dt.b cget -fg]"),
              "normal {light blue} active red");
    testEval(interp, "destroy .dt");
}

TEST(CombBind, PercentIsDoubledAndTheIdleFreeSparesAWindowMadeAgain)
{
    EXPECT_EQ(combBindText("a%b %%"), "a%%b %%%%");
    Tcl_Interp *interp = testTkInterp();
    ASSERT_EQ(combInit(interp), TCL_OK);
    testEval(interp, "unset -nocomplain _comb; frame {.f %d}; set _comb(.f\\ %d,class) x");
    testEval(interp, "bind {.f %d} <Destroy> " + combMerge({combFreeWhenGone(".f %d")}));
    testEval(interp, "destroy {.f %d}; frame {.f %d}; update");
    EXPECT_EQ(testEval(interp, "array names _comb"), "{.f %d,class}");
    testEval(interp, "destroy {.f %d}; update");
    EXPECT_EQ(testEval(interp, "array names _comb"), "{.f %d,class}");
    testEval(interp, "frame {.f %d}; bind {.f %d} <Destroy> " + combMerge({combFreeWhenGone(".f %d")}) +
                         "; destroy {.f %d}; update");
    EXPECT_EQ(testEval(interp, "array size _comb"), "0");
}

}  // namespace
