/*
 * progframe.h --
 *
 *	What the in-process projection programs (proj, cs2cs, nad2nad, geod)
 *	share: the walk over their argument words (option letters, "+"
 *	parameter words, input names), the settings common to several of them
 *	(-t, -w, -W, -f, -e, -E, -r, -s), the "+" parameter table, the loop
 *	over the inputs (files and the console's standard input), 199-character
 *	line reading, number and angle reading, and the output line that goes
 *	to the console once it is complete.
 *
 *	Numbers are read and printed in the C locale: each program entry holds
 *	a CLocaleScope (runtime/cnumber.h) for its run.
 *
 *	Everything here runs inside a program run (projRun in projcmd.h): a
 *	failure is reported through emess, whose positive codes end the run by
 *	throwing ProjExit, so the callers hold what they own (projections,
 *	grids, files) in RAII holders and every way out releases it.
 */
#ifndef TESK_GEO_PROGFRAME_H
#define TESK_GEO_PROGFRAME_H

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geo/projlib.h"

/* The longest input line a program reads, without the newline. */
constexpr int kProgLineMax = 199;

/* ---- The programs' entries -------------------------------------------------
 * One run each with the command's own words (word 0 the program name);
 * every run ends through projToolExit (code 0 for a normal completion). */
int projMain(int argc, const char **argv);
int cs2csMain(int argc, const char **argv);
int nad2nadMain(int argc, const char **argv);
int geodMain(int argc, const char **argv);

/* ---- Settings shared by the programs ------------------------------------ */

/* The run settings that several programs have, at their defaults. Which
 * letters a program accepts is its own choice (progCommonLetter). */
struct ProgCommon {
    char tag = '#';                 /* -t: a line beginning with it is copied unchanged */
    std::string format;             /* -f: printf format of each number ("" none) */
    std::string errorText = "*\t*"; /* -e: written for a point that cannot be converted */
    bool echo = false;              /* -E: input coordinates, then a tab, before the output */
    bool reverseIn = false;         /* -r: input holds y (latitude) before x */
    bool reverseOut = false;        /* -s: output y (latitude) before x */
    bool inverse = false;           /* -I, or a program name beginning with "inv" */
};

/* ---- Walking the argument words ------------------------------------------ */

/* The walk over one run's argument words, handed to a program's letter
 * procedure so that a letter can take the next word. */
class ProgArgWalk {
public:
    ProgArgWalk(int argc, const char *const *argv) : argc(argc), argv(argv) {}
    /* The word after the current one, for an option letter that takes an
     * argument; with none left, emess(1, "missing argument for -%c"). */
    const char *nextWord(char letter);
    /* True when the current word is the last argument word. */
    bool isLast() const { return index + 1 >= argc; }

private:
    friend void progWalkArgs(int, const char *const *, const struct ProgArgHooks &, std::vector<std::string> &);
    int argc;
    const char *const *argv;
    int index = 1; /* the word being walked */
};

/* A program's part of the walk. letter gets one option letter with rest
 * pointing just after it in the same word: a letter that reads characters
 * of its word (-t, -w, -W, -l) advances rest past them (or to the word's
 * end); a letter that takes the next word calls walk.nextWord and leaves
 * rest alone, so letters after it in the same word still count. letter
 * answers false for a letter the program does not know ("invalid option:
 * -%c", code 1). plus gets a "+" word without its "+"; an empty plus makes
 * "+" words input names (nad2nad). */
struct ProgArgHooks {
    std::function<bool(char letter, const char *&rest, ProgArgWalk &walk)> letter;
    std::function<void(const char *param)> plus;
};

/* Walks words 1 .. argc - 1: "-" alone adds "-" (standard input) to
 * inputs, other words beginning "-" are option letters, "+" words go to
 * hooks.plus, any other word is an input name. */
void progWalkArgs(int argc, const char *const *argv, const ProgArgHooks &hooks, std::vector<std::string> &inputs);

/* Handles the letter if it is one of letters (a subset of "tWwfeErs")
 * with its common meaning; answers false otherwise. -t takes the next
 * character of the word ("missing -t col. 1 tag"), -w and -W one digit
 * ("-W argument missing or non-digit") and set the dms precision of the
 * run (projSetRtodms), -f and -e the next word; -f must be a number format
 * with one floating conversion, else "bad number format" (code 1). */
bool progCommonLetter(ProgCommon &common, const char *letters, char letter, const char *&rest, ProgArgWalk &walk);

/* The listing of an option word "-l<rest>" ("", "p", "P", "=id", "e",
 * "u", "d"), then the run ends with code 0; any other rest is "invalid
 * list option: l%c" (code 1). */
[[noreturn]] void progListAndEnd(const char *rest);

/* Sets common.inverse when the program name of the run (projRunState)
 * begins with "inv". */
void progInverseFromName(ProgCommon &common);

/* With fewer than two argument words: the usage text (a printf format
 * taking the release text and the program name) on standard error, and
 * the run ends with code 0. */
void progUsageIfBare(int argc, const char *usage);

/* The "+" parameter table of a program: at most max words, the next one
 * is "overflowed + argument table" (code 1). */
struct ProgParamTable {
    explicit ProgParamTable(std::size_t max) : max(max) {}
    void add(const char *word);
    /* The words as a C array for projInit (valid while the table lives). */
    std::vector<const char *> argv() const;
    std::size_t max;
    std::vector<std::string> words;
};

/* Pointers to the texts of words, for projInit (valid while words lives
 * unchanged). */
std::vector<const char *> progWordPointers(const std::vector<std::string> &words);

/* ---- Projections and grids owned by a run -------------------------------- */

struct ProjFreeer {
    void operator()(ProjHandle *handle) const { projFree(handle); }
};
struct NadFreeer {
    void operator()(NadTable *table) const { nadTableFree(table); }
};
using ProjOwner = std::unique_ptr<ProjHandle, ProjFreeer>;
using NadOwner = std::unique_ptr<NadTable, NadFreeer>;

/* ---- Inputs ---------------------------------------------------------------- */

/* One open input: the console's standard input (never closed) or a file
 * (for binary runs "-" is the process's standard input, read as a file). */
struct ProgInput {
    FILE *file;   /* the file, or stdin */
    bool console; /* reads the console's standard input */
};

/* Runs process over each input in order (standard input when inputs is
 * empty): "-" is the console's standard input named "<stdin>" (with
 * binary, the process's standard input), a file is opened for reading
 * when it is a regular one (never a FIFO waited on), a file that does not
 * open is reported (emess -2, "input file") and skipped. Sets and clears projRunState's file name and line number; the
 * file is closed on every way out. */
void progForInputs(const std::vector<std::string> &inputs, bool binary,
                   const std::function<void(ProgInput &)> &process);

/* Reads one line of at most kProgLineMax characters into line (at least
 * kProgLineMax + 2 bytes), with its newline (one is appended when the
 * line has none; the rest of a longer physical line is read and dropped).
 * A NUL byte ends the line's text: the bytes after it up to the newline
 * are dropped. Counts the line in projRunState. False at the end of the
 * input. */
bool progReadLine(ProgInput &input, char *line);

/* Reads one pair of doubles from a binary input; false on a short read. */
bool progReadPair(ProgInput &input, double pair[2]);
/* Writes one pair of doubles to the process's standard output. */
void progWritePair(const double pair[2]);

/* An angle (degrees, or degree-minute-second text with hemisphere
 * letters) in radians from the front of text, *end just past it (the
 * library's dmstor); a plain number in the C locale (strtod, with "nan"
 * read as HUGE_VAL, the mark of a value that cannot be read). */
double progAngle(const char *text, char **end);
double progNumber(const char *text, char **end);

/* After the last number read: when the rest of line is empty (a reader
 * took the newline too), steps back onto the newline. */
const char *progRestOfLine(const char *line, const char *rest);

/* ---- Output ------------------------------------------------------------------ */

/* One output line, built up and then written to the console's standard
 * output in one piece (progEmit). */
struct ProgOut {
    std::string text;
    void put(const char *s) { text += s; }
    void put(const std::string &s) { text += s; }
    void put(char c) { text += c; }
    /* printf into the line. */
    void putf(const char *format, ...) __attribute__((format(printf, 2, 3)));
    /* A number with a number format checked by progCommonLetter or a
     * fixed one ("%.2f"). */
    void putNumber(const char *format, double value);
    /* An angle in radians as degree-minute-second text with the run's
     * precision; pos and neg are the hemisphere letters (0 for none). */
    void putDms(double radians, int pos, int neg);
    /* One converted point: common.errorText when x is HUGE_VAL; with angles
     * x, y (longitude, latitude in radians) as degree-minute-second text
     * when no -f format was given, else in degrees through format; without
     * angles x, y through format. latFirst writes y before x. */
    void putPoint(const ProgCommon &common, const char *format, bool angles, double x, double y, bool latFirst);
    /* Writes the line to the console and empties it. */
    void emit();
};

/* Prints a projection's parameter list as the classic library did: its
 * description with every line headed "#", the used entries as " +text"
 * in lines of at most 72 characters headed "#", then, when some entries
 * were not used, "#--- following specified but NOT used" and those. */
void progPrintParams(const ProjHandle *handle);

#endif /* TESK_GEO_PROGFRAME_H */
