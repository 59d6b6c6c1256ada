/*
 * tooltable.h --
 *
 *	The image tool modules that rimage runs. A tool is written as a
 *	command-line program: entry (program name "rimage WORD", count, words)
 *	prints its usage and answers TOOL_USAGE when there are no words, else
 *	parses its options, works, and answers TOOL_DONE when done, TOOL_FAILED
 *	on failure or TOOL_CANCELED when the user aborted it. rimage turns a
 *	cancel into an error whose result is the cancel text the tool printed.
 */
#ifndef TESK_ANALYSIS_TOOLTABLE_H
#define TESK_ANALYSIS_TOOLTABLE_H

#include "runtime/progress.h"
#include "tesk.h"

/* What a tool entry answers. */
enum ToolAnswer { TOOL_FAILED = 0, TOOL_DONE = 1, TOOL_USAGE = 2, TOOL_CANCELED = 3 };

/* Follows the program name in the cancel text ("rimage calc canceled..."). */
constexpr const char kToolCanceled[] = " canceled...";

typedef int(ToolMainProc)(const char *programName, int argc, const char **argv);

struct RimageTool {
    const char *word;         // the rimage subcommand word, in full
    const char *programName;  // argument zero given to the entry
    ToolMainProc *main;       // NULL while the tool is not built
};

/* The tool whose word is word (in full), or NULL. */
const RimageTool *findRimageTool(const char *word);

/*
 * toolAbortRequested --
 *	Polled by a tool once per unit of work (a pause returns when the user
 *	resumes). True when the user aborted, after printing the cancel text
 *	and a newline on standard error; the tool then stops, keeps what it
 *	wrote, and answers TOOL_CANCELED.
 */
bool toolAbortRequested(const char *programName);

#endif /* TESK_ANALYSIS_TOOLTABLE_H */
