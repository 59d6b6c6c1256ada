/*
 * terralink.h --
 *
 *	Terrain tile stores as raster analysis reaches them: a table of the
 *	tile functions of TERRA objects (see geo/terraobj.h for what each one
 *	promises), declared here so that "rimage open TAG binary" can turn a
 *	tile into an image without including the geo folder. The object itself
 *	is taken with openObject (type RAMOBJ_TERRA) and given back with
 *	closeObject. The package, which sees every layer, fills the table.
 */
#ifndef TESK_ANALYSIS_TERRALINK_H
#define TESK_ANALYSIS_TERRALINK_H

#include <cstddef>

#include "tesk.h"
#include "tesk_image.h"

struct TerraLink {
    /* The tile index a tileId word names: one index, or "column row" of
     * the map tile grid; -1 for anything else or a tile outside the
     * object's store. */
    int (*tileId)(RAMOBJ *obj, const char *word);
    /* A tile's bytes (a complete image file) and their length, NULL when
     * the tile is absent. */
    const unsigned char *(*tileData)(RAMOBJ *obj, int index, size_t *length);
    /* Writes the tile's x0, y0, dx, dy and map id into desc. */
    void (*tileGeoref)(RAMOBJ *obj, int index, ImageDesc *desc);
};

/* Filled in package/modules.cpp, every entry set. */
extern const TerraLink teskTerraLink;

#endif /* TESK_ANALYSIS_TERRALINK_H */
