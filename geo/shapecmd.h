/*
 * shapecmd.h --
 *
 *	The script side of vector layers: shape.create, shape.info and the
 *	command every shape object gets.
 */
#ifndef TESK_GEO_SHAPECMD_H
#define TESK_GEO_SHAPECMD_H

#include <tcl.h>

/* Registers shape.create and shape.info; 0, or 1 when either fails. */
int shapeCmdInit(Tcl_Interp *interp);

/* The command procedure of a shape object (client data: its RAMOBJ). */
int shapeObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

/* Checks the parts of a record about to be built for its geometry class:
 * lines need parts of two points or more, polygons closed rings of four or
 * more, and a given part list (hasParts) must hold at least one part and
 * add up to the points. */
bool shapeValidateGeometry(int type, const double *points, int nPoints, bool hasParts, const int *partCounts,
                           int nParts);

#endif /* TESK_GEO_SHAPECMD_H */
