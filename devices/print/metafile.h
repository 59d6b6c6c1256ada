/*
 * metafile.h --
 *
 *	A region of a Tk canvas or a gcanvas as a raster enhanced metafile, and
 *	the gmetafile command that writes one to a file. Serves gmetafile and
 *	canvas printing.
 */
#ifndef TESK_DEVICES_PRINT_METAFILE_H
#define TESK_DEVICES_PRINT_METAFILE_H

#include <tcl.h>
#include <vector>

/*
 * canvasRegionToMetafile --
 *	Draws the region x0..x1 by y0..y1 (ends included, x1 >= x0, y1 >= y0)
 *	of the canvas at path the way its redisplay does (coordType as
 *	canvasToPixmap takes it) and makes the metafile of its pixels against
 *	the canvas's screen. False, with *bytes empty, when the canvas is not
 *	found or cannot be drawn or read.
 */
bool canvasRegionToMetafile(Tcl_Interp *interp, const char *path, int x0, int y0, int x1, int y1, int coordType,
                            std::vector<unsigned char> *bytes);

/* gmetafile canvasName metaFile ?x0 y0 x1 y1? ?coordType? */
int gmetafileCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_DEVICES_PRINT_METAFILE_H */
