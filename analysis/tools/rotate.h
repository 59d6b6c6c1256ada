/*
 * rotate.h --
 *
 *	What the unit tests may ask of "rimage rotate" (rotate.cpp) beside its
 *	entry in tools.h.
 */
#ifndef TESK_ANALYSIS_TOOLS_ROTATE_H
#define TESK_ANALYSIS_TOOLS_ROTATE_H

/* Makes one buffer allocation of every later run fail as if memory ran
 * out: 1 the block (or row) buffer of the preparation, 2 the output row
 * buffer of a turn; 0 lifts it. Answers the setting that held before. */
int rotateFailAllocation(int which);

#endif /* TESK_ANALYSIS_TOOLS_ROTATE_H */
