/*
 * Console routing of standard output, error and input through the console
 * interpreter, and the stdio functions built on it.
 */
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include "runtime/console.h"
#include "runtime/startup.h"
#include "runtime/util.h"
#include "support/test_interp.h"
#include "tesk_stdio.h"

namespace {

/* Makes the shared interpreter the console, with recording output and input
 * procedures; input lines come from the list ::lines. */
class ConsoleTest : public ::testing::Test {
protected:
    Tcl_Interp *interp = testInterp();
    Tcl_Interp *previous = nullptr;

    void SetUp() override
    {
        previous = setConsoleInterp(interp);
        testEval(interp, R"(
            set ::out {}
            set ::lines {}
            set ::rings 0
            proc tkConsoleOutput {stream text} {lappend ::out $stream $text}
            proc tkConsoleInput {args} {
                set ::consoleCmdLine [lindex $::lines 0]
                set ::lines [lrange $::lines 1 end]
            }
            proc bell {} {incr ::rings}
        )");
        setTkConsoleFlag(true);
    }

    void TearDown() override
    {
        setTkConsoleFlag(false);
        setConsoleUnblock(0);
        setConsoleInterp(previous);
    }

    std::string out() { return testEval(interp, "set ::out"); }
    void input(const std::string &lines) { testEval(interp, "set ::lines " + lines); }
};

TEST_F(ConsoleTest, StreamsGoToTheConsoleOutputProcedure)
{
    EXPECT_EQ(tesk_fprintf(stdout, "%d apples", 3), 8);
    EXPECT_EQ(tesk_fprintf(stderr, "%s", "oops"), 4);
    EXPECT_EQ(tesk_puts("line"), 4);
    EXPECT_EQ(tesk_fputc('z', stderr), 'z');
    EXPECT_EQ(out(), "stdout {3 apples} stderr oops stdout line stdout {\n} stderr z");
}

TEST_F(ConsoleTest, PlainShellUsesPutsNoNewline)
{
    setTkConsoleFlag(false);
    testEval(interp, "rename puts saved_puts; proc puts {args} {lappend ::out $args}");
    consolePuts(TESK_CON_STDERR, "x y", 3);
    testEval(interp, "rename puts {}; rename saved_puts puts");
    EXPECT_EQ(out(), "{-nonewline stderr {x y}}");
}

TEST_F(ConsoleTest, OutputIsDroppedWithoutConsoleOrWhileSuppressed)
{
    setConsoleInterp(nullptr);
    EXPECT_EQ(tesk_fprintf(stderr, "lost"), 4);
    setConsoleInterp(interp);
    consoleSuppressOutput(1);
    EXPECT_EQ(tesk_fprintf(stderr, "%s", "quiet"), 5);
    consoleSuppressOutput(-1);
    consoleSuppressOutput(-1);  // never below zero
    EXPECT_EQ(consoleOutputSuppressed(), 0);
    EXPECT_EQ(out(), "");
}

TEST_F(ConsoleTest, BellRingsInsteadOfPrinting)
{
    consolePuts(TESK_CON_STDOUT, "a\ab", 3);
    EXPECT_EQ(out(), "stdout ab");
    EXPECT_EQ(testEval(interp, "set ::rings"), "1");
}

TEST_F(ConsoleTest, BytesArriveInTheSystemEncoding)
{
    std::string saved = testEval(interp, "encoding system");
    testEval(
        interp,
        "proc tkConsoleOutput {stream text} {lappend ::out [string length $text] [scan [string index $text 3] %c]}");
    testEval(interp, "encoding system iso8859-1");
    consolePuts(TESK_CON_STDOUT, "caf\xe9", 4);
    testEval(interp, "encoding system utf-8");
    consolePuts(TESK_CON_STDOUT, "caf\xc3\xa9", 5);
    consolePuts(TESK_CON_STDOUT, "abc\0d", 5);  // a NUL byte is a character too
    consolePuts(TESK_CON_STDOUT, "plain", 5);
    testEval(interp, "encoding system iso8859-1");
    consolePuts(TESK_CON_STDOUT, "caf\xc3\xa9", 5);  // two characters now
    testEval(interp, "encoding system " + saved);
    EXPECT_EQ(out(), "4 233 4 233 5 0 5 105 5 195");
}

TEST_F(ConsoleTest, AnOutputProcedureDefinedAfterwardsIsTheOneCalled)
{
    setTkConsoleFlag(false);
    testEval(interp, "rename puts saved_puts; proc puts {args} {lappend ::out first}");
    consolePuts(TESK_CON_STDOUT, "a", 1);
    testEval(interp, "proc puts {args} {lappend ::out second}");
    consolePuts(TESK_CON_STDOUT, "b", 1);
    /* from inside a namespace with a puts of its own: still the global one */
    Tcl_CreateCommand(
        interp, "probe",
        [](ClientData, Tcl_Interp *, int, const char **) { return (consolePuts(TESK_CON_STDOUT, "c", 1), TCL_OK); },
        nullptr, nullptr);
    testEval(interp, "namespace eval ::teskns {proc puts {args} {lappend ::out inner}; ::probe}");
    Tcl_DeleteCommand(interp, "probe");
    testEval(interp, "rename puts {}; rename saved_puts puts; namespace delete ::teskns");
    EXPECT_EQ(out(), "first second second");
}

TEST_F(ConsoleTest, EachWriteGoesToTheStandardChannelOfTheMoment)
{
    setTkConsoleFlag(false);
    std::string names[2] = {testEval(interp, "file tempfile"), testEval(interp, "file tempfile")};
    Tcl_Channel saved = Tcl_GetStdChannel(TCL_STDOUT);
    Tcl_Channel files[2];
    for (int i = 0; i < 2; i++) {
        files[i] = Tcl_OpenFileChannel(interp, names[i].c_str(), "w", 0600);
        ASSERT_NE(files[i], nullptr);
        Tcl_RegisterChannel(interp, files[i]);
        Tcl_SetStdChannel(files[i], TCL_STDOUT);
        consolePuts(TESK_CON_STDOUT, i == 0 ? "one" : "two", 3);
    }
    Tcl_SetStdChannel(saved, TCL_STDOUT);
    for (Tcl_Channel file : files) {
        Tcl_UnregisterChannel(interp, file);
    }
    for (int i = 0; i < 2; i++) {
        std::string text = testEval(interp, "set f [open " + names[i] + "]; set t [read $f]; close $f; file delete " +
                                                names[i] + "; set t");
        EXPECT_EQ(text, i == 0 ? "one" : "two");
    }
}

TEST_F(ConsoleTest, PrintingKeepsTheInterpreterResultAndSurvivesErrors)
{
    testEval(interp, "proc tkConsoleOutput {args} {error broken}");
    Tcl_SetResult(interp, const_cast<char *>("command result"), TCL_STATIC);
    EXPECT_EQ(consolePuts(TESK_CON_STDOUT, "text", 4), 4);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "command result");
}

TEST_F(ConsoleTest, AnOutputProcedureThatPrintsDoesNotRecurseForever)
{
    Tcl_CreateCommand(
        interp, "cputs",
        [](ClientData, Tcl_Interp *, int argc, const char **argv) {
            return argc == 2 ? (consolePuts(TESK_CON_STDOUT, argv[1], -1), TCL_OK) : TCL_ERROR;
        },
        nullptr, nullptr);
    testEval(interp, "proc tkConsoleOutput {stream text} {lappend ::out $text; cputs again}");
    consolePuts(TESK_CON_STDOUT, "first", 5);
    EXPECT_EQ(out(), "first again again again");
    Tcl_DeleteCommand(interp, "cputs");
}

TEST_F(ConsoleTest, UnblockHandlesPendingEventsAfterEachWrite)
{
    testEval(interp, "set ::fired 0; after idle {set ::fired 1}");
    consolePuts(TESK_CON_STDOUT, "x", 1);
    EXPECT_EQ(testEval(interp, "set ::fired"), "0");
    setConsoleUnblock(1);
    consolePuts(TESK_CON_STDOUT, "y", 1);
    EXPECT_EQ(testEval(interp, "set ::fired"), "1");
}

TEST_F(ConsoleTest, LineReadersTakeOneConsoleLine)
{
    input("{\"abc\n\" \"abcdef\n\" \"12 xyz\n\"}");
    char buffer[16];
    ASSERT_NE(tesk_gets(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "abc");
    ASSERT_NE(tesk_fgets(buffer, 4, stdin), nullptr);
    EXPECT_STREQ(buffer, "abc");
    int n = 0;
    char word[8];
    EXPECT_EQ(tesk_scanf("%d %7s", &n, word), 2);
    EXPECT_EQ(n, 12);
    EXPECT_STREQ(word, "xyz");
    EXPECT_EQ(tesk_gets(buffer, sizeof buffer), nullptr);  // no more lines
    EXPECT_EQ(tesk_fgetc(stdin), -1);
    EXPECT_EQ(tesk_getch(), 0);
}

TEST_F(ConsoleTest, BoundedGetsCutsLongLines)
{
    input("{\"0123456789\n\"}");
    char buffer[5];
    ASSERT_NE(tesk_gets(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "0123");
}

TEST_F(ConsoleTest, AskYesNoRingsForOtherAnswersAndSaysNoWithoutInput)
{
    input("{\"x\n\" \"Y\n\"}");
    EXPECT_EQ(askYesNo("Save?"), 1);
    EXPECT_EQ(testEval(interp, "set ::rings"), "1");
    EXPECT_EQ(askYesNo("Again?"), 0);  // the console gives nothing more
    EXPECT_EQ(out(), "stdout {\nSave? (Y/N) } stdout {\nAgain? (Y/N) }");
}

TEST_F(ConsoleTest, ConsoleChannelHandsOutLongLinesWhole)
{
    std::string line(6000, 'q');
    line += "\n";
    testEval(interp, "set ::lines [list [string repeat q 6000]\\n]");
    char buffer[4096];
    int error = 0;
    int first = consoleChannelInput(nullptr, buffer, sizeof buffer, &error);
    int second = consoleChannelInput(nullptr, buffer, sizeof buffer, &error);
    EXPECT_EQ(first, 4096);
    EXPECT_EQ(second, 6001 - 4096);
    EXPECT_EQ(consoleChannelInput(nullptr, buffer, sizeof buffer, &error), 0);
}

TEST(StdioFiles, OtherStreamsGoToTheCLibrary)
{
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(tesk_fprintf(file, "%s%c", "ab", 0xFF), 3);
    EXPECT_EQ(tesk_fputs("cd\n", file), 3);
    std::rewind(file);
    EXPECT_EQ(tesk_fgetc(file), 'a');
    EXPECT_EQ(tesk_fgetc(file), 'b');
    EXPECT_EQ(tesk_fgetc(file), 255);  // a byte, not the end of data
    char line[8];
    ASSERT_NE(tesk_fgets(line, sizeof line, file), nullptr);
    EXPECT_STREQ(line, "cd\n");
    EXPECT_EQ(tesk_fgetc(file), -1);
    std::fclose(file);
}

TEST(Fmt, RingWrapsAfterSixteenTextsOfAThousandBytes)
{
    /* Texts of 1000 bytes take 1001 bytes of the ring each: from the ring's
     * start, sixteen fit, and the seventeenth starts at the beginning again. */
    std::string text(1000, 'x');
    std::vector<const char *> texts;
    for (int i = 0; i < 40; i++) {
        texts.push_back(fmt("%s", text.c_str()));
    }
    std::vector<int> wraps;
    for (int i = 1; i < 40; i++) {
        if (texts[i] < texts[i - 1]) {
            wraps.push_back(i);
        } else {
            EXPECT_EQ(texts[i], texts[i - 1] + 1001);
        }
    }
    ASSERT_GE(wraps.size(), 2u);
    EXPECT_EQ(wraps[1] - wraps[0], 16);
    EXPECT_EQ(texts[wraps[0]], texts[wraps[1]]);
}

TEST(Fmt, TextsAreCutAt1023Bytes)
{
    std::string text(5000, 'y');
    const char *a = fmt("%s", text.c_str());
    EXPECT_EQ(std::string(a).size(), 1023u);
    const char *b = fmt("%d", 42);
    EXPECT_STREQ(b, "42");
    EXPECT_EQ(std::string(a).size(), 1023u);  // the next text did not overwrite it
}

TEST(Rounding, HalvesGoAwayFromZeroAndEveryDoubleIsDefined)
{
    EXPECT_EQ(roundToInt(2.5), 3);
    EXPECT_EQ(roundToInt(-2.5), -3);
    EXPECT_EQ(roundToInt(2.4999), 2);
    EXPECT_EQ(roundToInt(-0.4), 0);
    EXPECT_EQ(roundToInt(std::nan("")), 0);
    EXPECT_EQ(roundToInt(1e300), INT32_MAX);
    EXPECT_EQ(roundToInt(-1e300), INT32_MIN);
    EXPECT_EQ(roundToInt(-HUGE_VAL), INT32_MIN);
}

TEST(Output, NumberListsJoinTheResultAsOneElement)
{
    Tcl_Interp *interp = testInterp();
    float one = 1.5f;
    double three[] = {1, 0.1234567, 1e20};
    Tcl_ResetResult(interp);
    appendDoubleList(interp, three, 3);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "1 0.123457 1e+20");
    appendFloatList(interp, &one, 1);
    appendDoubleList(interp, three, 2);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "1 0.123457 1e+20 1.5 {1 0.123457}");
}

TEST_F(ConsoleTest, BandListsPrintEightToALine)
{
    long bands[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    testEval(interp, "proc tkConsoleOutput {stream text} {append ::text $text}; set ::text {}");
    printBandList(9, bands);
    std::string expected = "Bands: 9\n";
    for (int i = 1; i <= 8; i++) {
        expected += std::string(9, ' ') + std::to_string(i);
    }
    expected += "\n" + std::string(9, ' ') + "9\n";
    EXPECT_EQ(testEval(interp, "set ::text"), expected);
}

TEST(EventLoop, WaitLastsAtLeastItsTime)
{
    auto start = std::chrono::steady_clock::now();
    tclWait(nullptr, 0, 50);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(ms.count(), 45);
}

}  // namespace
