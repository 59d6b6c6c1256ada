/*
 * tools.h --
 *
 *	Entries of the image tool modules that rimage runs through the tool
 *	table (tooltable.cpp). Each takes the program name ("rimage WORD"), the
 *	number of words after the subcommand word and those words; it prints
 *	its usage and answers 2 when there are no words, else answers 1 when
 *	done, 0 on failure and 3 when the user aborted it, after printing its
 *	own messages on the console (the answers of tooltable.h).
 */
#ifndef TESK_ANALYSIS_TOOLS_TOOLS_H
#define TESK_ANALYSIS_TOOLS_TOOLS_H

/* rimage calc: band calculation with a function module (calc.cpp). */
int rimageCalcMain(const char *programName, int argc, const char **argv);

#endif /* TESK_ANALYSIS_TOOLS_TOOLS_H */
