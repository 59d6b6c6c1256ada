/*
 * budget.h --
 *
 *	The memory budget of one image: what a reader may allocate for an
 *	image whose size a file declares (its whole row cache, the decoder's
 *	own buffers). Scripts see it as the global variable teskImageBudget
 *	(bytes) of every interpreter that has rimage, all linked to one value;
 *	it starts at a quarter of physical memory.
 */
#ifndef TESK_RUNTIME_BUDGET_H
#define TESK_RUNTIME_BUDGET_H

#include <cstdint>
#include <tcl.h>

/* The budget in bytes: the variable's value, or the default (a quarter of
 * physical memory) while the value is below 1. */
int64_t imageMemoryBudget();
/* Sets the value (below 1: the default again); for standalone programs,
 * which have no variable. */
void setImageMemoryBudget(int64_t bytes);
/* True when bytes fit the budget; otherwise prints "Error in <what>: the
 * image needs N bytes, more than the memory budget (teskImageBudget) of M"
 * to standard error and answers false. */
bool imageBudgetAllows(int64_t bytes, const char *what);
/* Links interp's global teskImageBudget to the value; a positive integer
 * the variable held before becomes the value. Where the variable cannot
 * be linked (an array of that name) the budget still holds, unseen. */
void linkImageMemoryBudget(Tcl_Interp *interp);

#endif /* TESK_RUNTIME_BUDGET_H */
