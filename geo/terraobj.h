/*
 * terraobj.h --
 *
 *	terra objects: terrain tile stores on the data object layer (type
 *	TERRA), made by terra.create, and the tile functions through which
 *	raster analysis reads a tile of an object it has opened.
 */
#ifndef TESK_GEO_TERRAOBJ_H
#define TESK_GEO_TERRAOBJ_H

#include <cstddef>
#include <tcl.h>

#include "tesk.h"
#include "tesk_image.h"

/* Registers terra.create; 0, or 1 when it cannot be created. */
int terraCmdInit(Tcl_Interp *interp);

/* The command procedure of a terra object (client data: its RAMOBJ). */
int terraObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

/* Tile access of a TERRA object (obj->payload a store or NULL): the tile
 * index a tileId word names (one index, or "column row" of the map tile
 * grid; -1 for anything else, a tile outside the store, or no store), a
 * tile's bytes inside the store and their length (NULL for an absent tile
 * or an index outside the store), and a tile's georeference written into
 * desc (x0, y0, dx, dy, map id; the index must be valid). */
int terraObjTileId(RAMOBJ *obj, const char *word);
const unsigned char *terraObjTileData(RAMOBJ *obj, int index, size_t *length);
void terraObjTileGeoref(RAMOBJ *obj, int index, ImageDesc *desc);

#endif /* TESK_GEO_TERRAOBJ_H */
