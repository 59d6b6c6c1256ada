/*
 * gimg.h --
 *
 *	What the rest of the package calls of the gimg image type.
 */
#ifndef TESK_DISPLAY_GIMG_H
#define TESK_DISPLAY_GIMG_H

#include <tcl.h>

/* Registers the gimg image type and its master registry, once per process. */
int gimgTypeInit(Tcl_Interp *interp);
/* Appends the name of every gimg image, each followed by a blank. */
void gimgAppendNames(Tcl_Interp *interp);

#endif /* TESK_DISPLAY_GIMG_H */
