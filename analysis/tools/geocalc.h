/*
 * geocalc.h --
 *
 *	The console loop of the control point calculator (geocalc.cpp) and the
 *	seam through which it reads its lines: the console by default, a
 *	replacement in tests.
 */
#ifndef TESK_ANALYSIS_TOOLS_GEOCALC_H
#define TESK_ANALYSIS_TOOLS_GEOCALC_H

#include <string>

struct GcpCalc;

/* Reads one input line, without its line end, into line; false at the end
 * of input (and on every call after it). */
typedef bool(GeocalcLineReader)(std::string &line);

/* Makes reader the source of the calculator's lines (NULL: the console);
 * answers the previous one. The yes/no questions are asked through
 * askYesNo on the console whatever the reader. */
GeocalcLineReader *geocalcSetLineReader(GeocalcLineReader *reader);

/* Prompts for and runs commands on calc until quit or the end of input. */
void geocalcLoop(GcpCalc *calc);

#endif /* TESK_ANALYSIS_TOOLS_GEOCALC_H */
