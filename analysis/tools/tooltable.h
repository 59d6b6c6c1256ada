/*
 * tooltable.h --
 *
 *	The image tool modules that rimage runs. A tool is written as a
 *	command-line program: entry (program name "rimage WORD", count, words)
 *	prints its usage and answers 2 when there are no words, else parses its
 *	options, works, and answers 1 when done or 0 on failure.
 */
#ifndef TESK_ANALYSIS_TOOLTABLE_H
#define TESK_ANALYSIS_TOOLTABLE_H

typedef int (ToolMainProc)(const char *programName, int argc, const char **argv);

struct RimageTool {
    const char *word;         // the rimage subcommand word, in full
    const char *programName;  // argument zero given to the entry
    ToolMainProc *main;       // NULL while the tool is not built
};

/* The tool whose word is word (in full), or NULL. */
const RimageTool *findRimageTool(const char *word);

#endif /* TESK_ANALYSIS_TOOLTABLE_H */
