/*
 * combkernel.cpp --
 *
 *	The comb kit's kernel (in progress).
 */
#include "devices/comb.h"

int combInit(Tcl_Interp *)
{
    return 0;
}
