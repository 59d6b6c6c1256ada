/*
 * rimage.h --
 *
 *	The rimage command: what its subcommands and the per-image object
 *	commands share.
 */
#ifndef TESK_ANALYSIS_RIMAGE_H
#define TESK_ANALYSIS_RIMAGE_H

#include <tk.h>
#include "tesk_image.h"

/* The option table of image descriptors (-file -mapid -imgid -imgdes
 * -imgtype -pixel -nbands -msbf -rows -columns -top -left -x0 -y0 -z0 -dx
 * -dy -zscale -zmin -zmax -offset -block -nindices). */
extern Tk_ConfigSpec rimageDescSpecs[];

/* Shows (argc 0 or 1) or changes a descriptor through the option table,
 * with the rules of each image type; a failure leaves desc unchanged. */
int rimageConfigDesc(ImageDesc *desc, Tcl_Interp *interp, int argc, const char **argv);

/* The bind subcommand (argv[0] "rimage", argv[1] "bind", options after),
 * in analysis/imgobj.cpp; defaults is rimage's default descriptor. */
int rimageBind(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv);

/* The canvas subcommand (analysis/rimagecanvas.cpp). */
int rimageCanvas(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv);

/* The draw subcommand (analysis/rimagedraw.cpp). */
int rimageDraw(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv);

/* The clipboard subcommand (analysis/rimageclipboard.cpp). */
int rimageClipboard(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv);

/* The window subcommand (analysis/rimagewindow.cpp). */
int rimageWindow(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv);

/*
 * rimageFromDrawable --
 *	The area (x, y, width, height) of source, read through colormap, as the
 *	memory image tag (analysis/rimagewindow.cpp): an image of that tag that
 *	existed is rewritten and released (its clients are told), a new one is
 *	opened for scripts. TCL_OK with the tag as the result, or TCL_ERROR
 *	with "Error in rimgDrawable...\n" and the reason in errorInfo.
 */
int rimageFromDrawable(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y,
                       int width, int height, const char *tag);

#endif /* TESK_ANALYSIS_RIMAGE_H */
