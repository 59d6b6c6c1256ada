/*
 * geodobj.h --
 *
 *	The payload of geodesic objects and the making of one from the text
 *	of a saved object, for callers that check option files without an
 *	object command (the option-file fuzz target).
 */
#ifndef TESK_GEO_GEODOBJ_H
#define TESK_GEO_GEODOBJ_H

#include "geo/geodesic.h"
#include "geo/projobj.h"

struct GeodObjParams {
    char *geod;        /* -geod: definition words */
    char *fmt;         /* -fmt: format of one output number */
    int configured;    /* 1 after a successful configuration */
    double A, S;       /* -A (degrees), -S (definition's units) */
    double lat1, lat2; /* -lat_1, -lat_2 (degrees) */
    double lon1, lon2; /* -lon_1, -lon_2 (degrees) */
    GeodState working; /* used by configuration; -inv is its inverse field */
    GeodState setup;   /* the state -geod set up, for the subcommands */
};

/* The payload that loading a saved object's text makes (the text split as
 * a list, then configured over the defaults through projInterp), with read
 * bringing the option words into the record in place of Tk; NULL when the
 * text is refused. Free it with geodParamsFree. */
GeodObjParams *geodParamsFromText(const char *text, ProjOptionReader read);
void geodParamsFree(GeodObjParams *p);

#endif /* TESK_GEO_GEODOBJ_H */
