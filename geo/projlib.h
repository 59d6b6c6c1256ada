/*
 * projlib.h --
 *
 *	The projection layer: plain functions between the projection objects,
 *	the projection programs, proj.info, the shape objects' reprojection and
 *	PROJ 9. A projection is an opaque handle set up from classic definition
 *	words ("proj=utm", "zone=10", "datum=NAD27", "init=epsg:26910", ...);
 *	the layer keeps the classic behaviour over PROJ 9: the classic defaults
 *	file's entries, forward and inverse projection without datum shifts,
 *	and the classic datum transformation rebuilt step by step (geocentric
 *	shifts with towgs84, grid shifts with nadgrids). It also walks PROJ's
 *	projection, ellipsoid and unit lists and the classic datum list, finds
 *	files through the console interpreter's env(PROJ_DATA) and
 *	env(PROJ_LIB) (colon-separated folders searched before PROJ's own,
 *	whose proj.db is always the one used), and routes PROJ's log to the
 *	console's standard error at the level env(PROJ_DEBUG) gives (0 to 3;
 *	silent when unset).
 *
 *	Every angle crossing the layer is in radians. Tcl thread only: the
 *	layer's PROJ context, its last error and its caches are process-wide.
 */
#ifndef TESK_GEO_PROJLIB_H
#define TESK_GEO_PROJLIB_H

#include <tcl.h>

/* A projection: PROJ's operation with the classic fields read from its
 * definition, its parameter entries and its datum. Made by projInit,
 * released by projFree. */
struct ProjHandle;
/* One parameter entry of a projection, in the order of the set-up words. */
struct ProjParam;
/* A datum-shift grid (or a comma-separated list of them) opened by name. */
struct NadTable;
/* Entries of the library's lists; each list ends with an entry whose id is
 * NULL. */
struct ProjListEntry;
struct EllpsListEntry;
struct UnitsListEntry;
struct DatumListEntry;

/* Radians to degrees, for every angle the layer's callers print in
 * degrees. */
constexpr double kRadToDeg = 57.29577951308232;

/* Datum types, as the classic library numbered them. */
enum ProjDatumType {
    PROJ_DATUM_UNKNOWN = 0,   /* no datum given: never shifted */
    PROJ_DATUM_3PARAM = 1,    /* towgs84 with three translations (metres) */
    PROJ_DATUM_7PARAM = 2,    /* towgs84 with translations, rotations, scale */
    PROJ_DATUM_GRIDSHIFT = 3, /* nadgrids: shifted to WGS84/NAD83 by grids */
    PROJ_DATUM_WGS84 = 4      /* towgs84=0,0,0 on the WGS84 or GRS80 ellipsoid */
};

/* ---- Set-up and release ------------------------------------------------ */

/* Sets up a projection from argc definition words, each "key=value" or a
 * flag, with or without a leading "+". The layer completes the words as
 * the classic library did, appending, in this order: the entries that the
 * first "init=file:key" names (through PROJ's classic init rules, e.g.
 * init=epsg:26910); unless "no_defs" is among them, the defaults for keys
 * not given ("ellps=WGS84" when none of datum, ellps, a, b, rf, f, R, es, e
 * is given; "lat_1=33 lat_2=45" for lcc, "lat_1=29.5 lat_2=45.5" for aea,
 * "W=2" for lagrng); and the ellipsoid and shift of a "datum=" name. The
 * first entry of a key wins. Grids are not opened here but by the first
 * projTransform that needs them. Answers NULL (with projErrorText set) when
 * PROJ refuses the definition, no projection is named, an init or datum
 * name is unknown, or the towgs84 clause in force has an element that is
 * no number or another count than 3 or 7 (as PROJ refuses it). */
ProjHandle *projInit(int argc, const char *const *argv);
/* Releases a handle with its grids; NULL is ignored. */
void projFree(ProjHandle *handle);
/* The latitude/longitude system on a projection's datum and ellipsoid: its
 * datum=, else its ellps=, else its a= with the first of b, es, f (or the
 * eccentricity in force), then its towgs84 and nadgrids when no datum is
 * named, and its R, R_A, R_V, R_a, R_lat_a, R_lat_g and pm entries. NULL
 * (with projErrorText set) when the projection names none of datum, ellps
 * and a, or the set-up fails. */
ProjHandle *projLatLongFrom(const ProjHandle *handle);

/* The largest semi-major axis or radius projEllSet takes, metres: far
 * beyond any body's, small enough that lengths on it stay finite. */
constexpr double kMaxEllipsoidAxis = 1e10;

/* The ellipsoid of definition words (with or without "+"), as a
 * projection's set-up reads it: R= makes a sphere of that radius; else the
 * ellps= entry, overruled by a= for the size and by the first of rf, f,
 * es, e, b for the shape; R_A, R_V, R_a, R_g, R_h, R_lat_a, R_lat_g turn
 * it into a sphere. Answers 0 with *a (metres) and *es (eccentricity
 * squared), or 1 (with projErrorText set, *a and *es untouched) when ellps
 * names no ellipsoid, the size is not above 0 or over kMaxEllipsoidAxis,
 * rf is not above 0 or the eccentricity squared is outside [0, 1). */
int projEllSet(int argc, const char *const *argv, double *a, double *es);

/* ---- Projecting -------------------------------------------------------- */

/* 1 when the projection has an inverse, else 0. */
int projHasInverse(const ProjHandle *handle);
/* 1 for proj=latlong (longlat, latlon, lonlat), else 0. */
int projIsLatLong(const ProjHandle *handle);
/* Projects lam, phi (radians) to x, y in the projection's units, without
 * any datum shift or prime meridian. A point that cannot be projected gives
 * HUGE_VAL in both outputs (projErrorText tells why). */
void projFwd(ProjHandle *handle, double lam, double phi, double *x, double *y);
/* The inverse of projFwd; HUGE_VAL in both outputs on failure, also for a
 * projection without an inverse. */
void projInv(ProjHandle *handle, double x, double y, double *lam, double *phi);
/* Transforms one point from src to dst as the classic library did:
 * inverse-projects x, y (radians for a latlong source, metres of the
 * geocentric system for proj=geocent, else the source's units), applies
 * the prime meridians and the datum transformation (nothing when either
 * datum is UNKNOWN or both are the same; grid shifts through the nadgrids
 * list, geocentric shifts with towgs84), then projects onto dst. z is the
 * height (kept by 2-D projections); oz may be NULL. Answers 0, or PROJ's
 * error number with the outputs untouched: a grid list that cannot be
 * loaded (a missing grid, or every optional "@" grid missing; "@null"
 * always loads), a point outside every grid, a point the projections
 * refuse. */
int projTransform(ProjHandle *src, ProjHandle *dst, double x, double y, double z, double *ox, double *oy, double *oz);

/* ---- Grids ------------------------------------------------------------- */

/* Opens a shift grid by file name (found through the search paths, or an
 * absolute path), or a comma-separated list with optional "@" names.
 * NULL (with projErrorText set) when it cannot be loaded. */
NadTable *nadTableOpen(const char *name);
void nadTableFree(NadTable *table);
/* Shifts lam, phi (radians) through the grid, forward (as the grid's
 * source to its target, NAD27 to NAD83 for the NADCON grids) or back.
 * A point outside the grid gives HUGE_VAL in both outputs. */
void nadShiftFwd(NadTable *table, double lam, double phi, double *outLam, double *outPhi);
void nadShiftInv(NadTable *table, double lam, double phi, double *outLam, double *outPhi);

/* ---- Fields of a projection -------------------------------------------- */

double projGetA(const ProjHandle *handle);       /* semi-major axis, metres */
double projGetE(const ProjHandle *handle);       /* eccentricity, 0 for a sphere */
double projGetLam0(const ProjHandle *handle);    /* central longitude, radians */
double projGetPhi0(const ProjHandle *handle);    /* central latitude, radians */
double projGetX0(const ProjHandle *handle);      /* false easting, metres */
double projGetY0(const ProjHandle *handle);      /* false northing, metres */
double projGetK0(const ProjHandle *handle);      /* scale factor */
double projGetToMeter(const ProjHandle *handle); /* metres per unit */
double projGetFrMeter(const ProjHandle *handle); /* units per metre */
/* "3PARAM", "7PARAM", "GRIDSHIFT", "WGS84" or "UNKNOWN". */
const char *projDatumTypeName(const ProjHandle *handle);
/* The seven datum parameters in place (translations in metres; for 7PARAM
 * the rotations in radians and the scale as 1 + ppm / 1e6); *count = 7.
 * Read only. */
const double *projDatumParams(const ProjHandle *handle, int *count);

/* ---- Parameter entries ------------------------------------------------- */

/* The definition words (without "+"), then the entries the layer appended,
 * in order. projParamNext answers NULL after the last. */
const ProjParam *projParamFirst(const ProjHandle *handle);
const ProjParam *projParamNext(const ProjParam *entry);
/* "key=value" or the flag, without a leading "+". */
const char *projParamText(const ProjParam *entry);
/* 1 when the set-up read the entry (the first entry of a key PROJ or the
 * layer took), else 0. */
int projParamUsed(const ProjParam *entry);

/* Appends eleven elements to interp's result: "a %f", "e %f", "lam0 %f",
 * "phi0 %f", "x0 %f", "y0 %f", "k0 %f", "to_meter %f", "fr_meter %f",
 * "datum_type %s", "datum_params %f %f %f %f %f %f %f" (lam0 and phi0 in
 * radians). Nothing for a NULL handle. */
void projParams(Tcl_Interp *interp, const ProjHandle *handle);

/* ---- Lists --------------------------------------------------------------
 * Each list is walked from First with Next: Next answers the following
 * entry while the given one has an id, so a walk visits the terminating
 * entry (id NULL) once and then gets NULL. Count is the number of entries
 * before the terminator; Entry(i) is entry i for 0 <= i <= Count, NULL
 * otherwise; Index(id) is the first entry whose id equals id exactly, -1
 * when none. The texts of a NULL entry are NULL.
 */

/* PROJ's projections and other operations: id ("utm") and description
 * (lines: name; kind and flags; parameters), NULL when it has none. */
const ProjListEntry *projListFirst(void);
const ProjListEntry *projListNext(const ProjListEntry *entry);
int projListCount(void);
const ProjListEntry *projListEntry(int index);
int projListIndex(const char *id);
const char *projListId(const ProjListEntry *entry);
const char *projListDescr(const ProjListEntry *entry);

/* PROJ's ellipsoids: id ("clrk66"), major axis ("a=6378206.4"), second
 * parameter ("b=6356583.8" or "rf=294.98"), name ("Clarke 1866"). */
const EllpsListEntry *ellpsListFirst(void);
const EllpsListEntry *ellpsListNext(const EllpsListEntry *entry);
int ellpsListCount(void);
const EllpsListEntry *ellpsListEntry(int index);
int ellpsListIndex(const char *id);
const char *ellpsListId(const EllpsListEntry *entry);
const char *ellpsListMajor(const EllpsListEntry *entry);
const char *ellpsListEll(const EllpsListEntry *entry);
const char *ellpsListName(const EllpsListEntry *entry);

/* PROJ's linear units: id ("us-ft"), metres per unit as text, name. */
const UnitsListEntry *unitsListFirst(void);
const UnitsListEntry *unitsListNext(const UnitsListEntry *entry);
int unitsListCount(void);
const UnitsListEntry *unitsListEntry(int index);
int unitsListIndex(const char *id);
const char *unitsListId(const UnitsListEntry *entry);
const char *unitsListToMeter(const UnitsListEntry *entry);
const char *unitsListName(const UnitsListEntry *entry);

/* The linear units of PROJ's database that have a short name, in the
 * database's order: each(data, id, metres per unit, name) for every one.
 * Answers the number of units, 0 when the database cannot be read. */
int projDbLinearUnits(void (*each)(void *data, const char *id, double toMeter, const char *name), void *data);

/* The classic datums that "datum=" names: id ("NAD27"), ellipsoid id
 * ("clrk66"), definition ("nadgrids=@conus,...") and comments (may be
 * empty). */
const DatumListEntry *datumListFirst(void);
const DatumListEntry *datumListNext(const DatumListEntry *entry);
int datumListCount(void);
const DatumListEntry *datumListEntry(int index);
int datumListIndex(const char *id);
const char *datumListId(const DatumListEntry *entry);
const char *datumListEllipse(const DatumListEntry *entry);
const char *datumListDefn(const DatumListEntry *entry);
const char *datumListComments(const DatumListEntry *entry);

/* ---- Degree-minute-second text and scale factors ------------------------ */

/* Sets the seconds precision of projRtodms: fract decimals (0 to 8; other
 * values change nothing); conW non-zero fixes the field widths (two-digit
 * minutes, zero-padded seconds, no trailing zeros dropped). */
void projSetRtodms(int fract, int conW);
/* Back to 3 decimals without fixed widths, as every program run starts. */
void projResetRtodms(void);
/* r (radians) as degree-minute-second text ("123d8'47.505\"W") into
 * buffer (at least 64 bytes), with the letter pos for r >= 0 and neg for
 * r < 0; pos 0 writes a leading "-" for negatives and no letter. Trailing
 * zeros of the seconds are dropped, zero seconds and minutes left out,
 * unless the widths are fixed. A value that is not finite, or so large
 * that it overflows in seconds, is "*".
 * Answers buffer. */
char *projRtodms(char *buffer, double r, int pos, int neg);
/* The library's dmstor: an angle in degrees or degree-minute-second text
 * from the front of text, in radians; *end (when not NULL) just past it,
 * or text when nothing could be read (the answer is then 0); HUGE_VAL for
 * a malformed text. */
double projDmstor(const char *text, char **end);

/* Scale factors of a projection at lam, phi (radians). */
struct ProjFactors {
    double h, k;          /* meridian and parallel scale */
    double s;             /* areal scale */
    double omega;         /* angular distortion, radians */
    double thetap;        /* meridian/parallel angle, radians */
    double conv;          /* meridian convergence, radians */
    double a, b;          /* Tissot's axes */
};
/* 0 on success; PROJ's error number when the factors cannot be computed. */
int projFactors(ProjHandle *handle, double lam, double phi, ProjFactors *factors);

/* ---- Errors and release ------------------------------------------------ */

/* The message for the layer's latest error (set-up, projection, transform
 * or grid), or "" when the latest call succeeded or none failed yet. */
const char *projErrorText(void);
/* The message naming PROJ's database or settings file (proj.db, proj.ini
 * in a folder PROJ searches) when that file, being no regular file, kept
 * the latest call from using PROJ; NULL otherwise. Commands report it in
 * place of their own message for a refused definition or grid. */
const char *projOwnFileFault(void);
/* The latest error number (PROJ's numbering), 0 when none. */
int projErrno(void);
/* PROJ's release text ("Rel. 9.1.1, December 1st, 2022"). */
const char *projReleaseText(void);

/* ---- Coordinate transforms for C modules --------------------------------
 * The extension word of proj, nad2nad and cs2cs objects points at one of
 * these; geod objects have none. Each operation takes the object's payload
 * (the RAMOBJ payload word). What a class puts in the slots and in which
 * units is the class's own; inverse is NULL where a class has none.
 */
typedef struct CoordTransformOps {
    int (*hasInverse)(void *payload); /* non-zero: inverse can be called */
    int (*reversed)(void *payload);   /* non-zero: input comes latitude first */
    int (*forward)(void *payload, double x, double y, double *outX, double *outY);
    int (*inverse)(void *payload, double x, double y, double *outX, double *outY);
} CoordTransformOps;

#endif /* TESK_GEO_PROJLIB_H */
