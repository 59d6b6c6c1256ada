/*
 * nad2nadobj.h --
 *
 *	The side specifications of datum-shift objects ("27,utm=10",
 *	"83,spcs=401,feet", "hp=name,rev"), parsed on their own for callers
 *	that check option texts without an object (the option-file fuzz
 *	target), and the zone projections and the shift of a point that the
 *	objects share with the nad2nad program.
 */
#ifndef TESK_GEO_NAD2NADOBJ_H
#define TESK_GEO_NAD2NADOBJ_H

struct NadTable;
struct ProjHandle;

/* One side: datum, zone projection, high-precision grid name, order. */
struct NadIo;

/* The steps of a datum shift between two sides, shared by the objects and
 * the nad2nad program. */
struct NadShiftPath {
    ProjHandle *inZone;  /* the input side's zone projection; NULL: geographic */
    ProjHandle *outZone; /* the output side's; NULL: geographic */
    int inRev, outRev;   /* the side's coordinates come y (latitude) first */
    NadTable *inGrid;    /* high-precision grid shifted back on the input side, or NULL */
    NadTable *outGrid;   /* high-precision grid shifted forward on the output side, or NULL */
    NadTable *region;    /* the region grid; NULL for none */
    int regionInverse;   /* the input is on NAD83: the region grid shifts back */
};

/* Converts (x, y) along path: geographic sides in radians. Answers 0, or
 * the layer's error number (-1 when it has none) with the outputs
 * untouched, for a point that the zones or the grids cannot take. */
int nad2nadConvert(const NadShiftPath *path, double x, double y, double *outX, double *outY);

/* The projection of a zone: for 1 to 60 the UTM zone on GRS80 when datum
 * is 83 and on Clarke 1866 otherwise; above 60 the state-plane zone of
 * the init file "nad" + datum, in US survey feet with feet. NULL (with
 * projErrorText set) when it cannot be set up. */
ProjHandle *zoneProjection(int datum, int zone, bool feet);

/* A side from its specification: comma-separated words, each at most
 * once, at most 255 characters in all. NULL when a word is unknown or
 * repeated, a zone number is not a whole number or out of range (utm= 1
 * to 60, spcs= above 60), feet has no state-plane zone, or the zone's
 * projection cannot be set up. */
NadIo *nadIoParse(const char *spec);
/* Releases a side and its projection; NULL is ignored. */
void nadIoFree(NadIo *side);
/* The side's datum (27, 83, 0 for none) and whether it is projected. */
int nadIoDatum(const NadIo *side);
int nadIoProjected(const NadIo *side);

#endif /* TESK_GEO_NAD2NADOBJ_H */
