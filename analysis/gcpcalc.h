/*
 * gcpcalc.h --
 *
 *	Ground control points and their polynomial fit. A calculator context
 *	holds up to 300 points, pairs (X1, Y1) in the source system and
 *	(X2, Y2) in the target system, with the last least-squares fit of two
 *	2-D polynomials in the centred source position (u, v) = (X1 - xOffset,
 *	Y1 - yOffset): I gives Y2 and J gives X2,
 *
 *	    I = iOffset + sum Icoef[k] t_k(u, v),  J = jOffset + sum Jcoef[k] t_k(u, v).
 *
 *	The terms of power p are the monomials u^a v^b with a + b <= p, by
 *	total degree and within a degree from u^d down to v^d (1, u, v, u^2,
 *	uv, v^2, ...); power 0 is the bilinear case 1, u, v, uv. Points are
 *	kept in GCPOBJ files; a fit is handed on as a georectification
 *	parameter file (georect.h).
 */
#ifndef TESK_ANALYSIS_GCPCALC_H
#define TESK_ANALYSIS_GCPCALC_H

#include <cstdint>

/* One control point; also a record of a GCPOBJ file (48 bytes there). */
struct GcpRecord {
    int32_t selected; /* non-zero: the point takes part in fits */
    int32_t id;       /* the user's point number */
    double x1, y1;    /* source position */
    double x2, y2;    /* target position */
    float dx, dy;     /* residuals of X2 and Y2 after the last fit (observed - fitted) */
};

enum { GCP_CAPACITY = 300, GCP_LINE_SIZE = 128, GCP_MAX_WORDS = 24, GCP_LOADED_FILES = 16 };

/* A calculator context: the points, the last fit and the console state of
 * the geocalc loop. */
struct GcpCalc {
    GcpRecord *records; /* GCP_CAPACITY records, zeroed at creation */
    int32_t capacity;   /* GCP_CAPACITY */
    int32_t count;      /* records in use */
    int32_t current;    /* index of the current record */
    int32_t running;    /* the geocalc loop runs while non-zero */
    int32_t lineLength; /* of the last geocalc input line */
    int32_t wordCount;  /* words in it */
    int32_t modified;   /* records added or deleted since the last GCPOBJ save */
    int32_t nTerms;     /* terms of the last fit; 0: no fit */
    int32_t power;      /* power of the last fit */
    char line[GCP_LINE_SIZE];
    char words[GCP_LINE_SIZE]; /* lower-cased copy of the line, cut into words */
    char *word[GCP_MAX_WORDS];
    char helpFile[80]; /* "/geocalc.hlp" */
    double *iCoef;     /* nTerms values; NULL before a fit */
    double *jCoef;
    double *terms;  /* nTerms + 2 values: the working term vector */
    double xOffset; /* means of X1, Y1, X2 (jOffset) and Y2 (iOffset) */
    double yOffset; /* over the selected points of the last fit */
    double iOffset;
    double jOffset;
    double msrJ, msrI, msr; /* root mean square residuals of X2, Y2 and both */
    int32_t loadedCount;    /* files the records were loaded from, the last GCP_LOADED_FILES of them */
    uint64_t loadedDevice[GCP_LOADED_FILES]; /* each file's device and inode, so that an */
    uint64_t loadedInode[GCP_LOADED_FILES];  /* output never replaces one */
};

/* The number of terms of a fit of power p (4 for power 0). */
int gcpTermCount(int power);
/* Terms of power p at (u, v): t[0..gcpTermCount(p) - 1]. */
void polyTerms2D(double u, double v, int power, double *t);

/* A new context, fresh or copied from source (records, counters, fit). NULL
 * when memory runs out. */
GcpCalc *gcpCalcCreate(const GcpCalc *source);
void gcpCalcInit(GcpCalc *calc);
/* Frees the fit's vectors and the record array. */
void gcpCalcClear(GcpCalc *calc);
void gcpCalcFree(GcpCalc *calc);

/* 1 with *index the first record with id, else 0 with *index = count. */
int gcpFindById(const GcpCalc *calc, int id, int *index);
void gcpDeleteRecord(GcpCalc *calc, int index);
/* Appends "selected id x1 y1 x2 y2"; answers the new count, 0 on failure. */
int gcpAddRecordText(GcpCalc *calc, const char *line);

/* Least-squares fit of the given power over the selected points; residuals
 * of every record, root mean squares over the selected ones. 1 on success;
 * 0 (the previous fit kept whole) when there are too few selected points
 * ("Not enough GCPs !"), the system is singular ("Singular GCP system.\n"),
 * the power is outside 0 to 10 or memory runs out. The fit's vectors are
 * gmemAlloc blocks. */
int gcpFit(GcpCalc *calc, int power);
/* The fitted (i, j) = (Y2, X2) at (x, y); 0 (nothing set) before a fit. */
int gcpTransform(const GcpCalc *calc, double x, double y, double *i, double *j);
/* Drops the fit: frees the coefficient and term vectors, nTerms = 0 (the
 * power, offsets and residuals stay). */
void gcpDropFit(GcpCalc *calc);
/* Swaps (X1, Y1) and (X2, Y2) of every record and drops the fit;
 * modified is left as it was. */
void gcpExchange(GcpCalc *calc);

/* Text forms; buffer must hold the whole text (records: 128 bytes; the
 * coefficient lists: 32 bytes per coefficient). 0 when index >= count. */
int gcpFormatRecord(const GcpCalc *calc, int index, char *buffer);
int gcpFormatResidual(const GcpCalc *calc, int index, char *buffer);
void gcpFormatJCoef(const GcpCalc *calc, const char *format, char *buffer);
void gcpFormatICoef(const GcpCalc *calc, const char *format, char *buffer);
void gcpFormatMsr(const GcpCalc *calc, const char *format, char *buffer);

/* The fit as a georectification parameter file; 1 when written, 0 when
 * there is no fit (quietly) or writeGeorect fails. */
int gcpSaveGeorect(const GcpCalc *calc, const char *fileName);
/* The fit as an in-memory georectification record; false without a fit. */
bool gcpMakeGeorect(const GcpCalc *calc, struct Georect *record);
/* GCPOBJ files: save answers 1 when written (through a file beside it,
 * renamed over the old one when whole), else 0 after the file name and the
 * system's message; load answers a new context, refitted when the file had
 * a fit (no fit when the refit fails), or NULL after the system's message,
 * "%s is not a GCPOBJ file.\n" or "%s read error.\n" (a count outside 0 to
 * 300, or records cut short). */
int gcpObjSave(GcpCalc *calc, const char *fileName);
GcpCalc *gcpObjLoad(const char *fileName);

/*
 * sweepSolve --
 *	Solves the leading m x m block of a row-major matrix of width w (= m
 *	+ k) by complete pivoting, carrying the k trailing columns, so that the
 *	trailing rows hold the coefficients of the trailing variables on the
 *	leading ones. A pivot of at most 1e-12 times the largest leading
 *	diagonal element counts as zero: false, the matrix then undefined.
 */
bool sweepSolve(double *matrix, int m, int w);

#endif /* TESK_ANALYSIS_GCPCALC_H */
