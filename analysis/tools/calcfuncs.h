/*
 * calcfuncs.h --
 *
 *	The function modules of "rimage calc": the run's context record, the
 *	module table (name, meter label, set-up, row kernel) and the kernels'
 *	view of one row. The frame (calc.cpp) opens the images and runs a
 *	module's kernel over every row; calcfuncs.cpp holds the modules.
 */
#ifndef TESK_ANALYSIS_TOOLS_CALCFUNCS_H
#define TESK_ANALYSIS_TOOLS_CALCFUNCS_H

#include <vector>
#include "tesk_image.h"

enum {
    CALC_MAX_BANDS = 8192,   /* entries of a band list */
    CALC_MAX_PARAMS = 16384, /* parameters of -par */
    CALC_MODULES = 8         /* rows of the module table; calcFindModule's "none" */
};

/* Module indexes, in table order. */
enum { CALC_DRATIO, CALC_RATIO, CALC_NRATIO, CALC_STRETCH, CALC_DEV, CALC_LINEAR, CALC_AVG, CALC_NORM };

/* One run of the tool. The frame fills the image fields and the module
 * index; the module's set-up fills the band lists and the parameters. */
struct CalcContext {
    RamImage *input = nullptr;  /* the image named by -in, one use held; NULL while unopened */
    RamImage *output = nullptr; /* the image named by -out, one use held; NULL while unopened */
    int module = 0;             /* index into calcModules, 0 .. CALC_MODULES - 1 */
    int rows = 0;               /* rows processed: the smaller of the two images' row counts */
    int columns = 0;            /* columns processed: the smaller of the two images' column counts */
    int inImageBands = 0;       /* bands of the input image, at least 1 */
    int outImageBands = 0;      /* bands of the output image, at least 1 */
    std::vector<int> inBands;   /* 0-based input bands, in the order the kernel reads them */
    std::vector<int> outBands;  /* 0-based output band of each result, one per result */
    std::vector<int> parBands;  /* norm: 0-based positions in inBands of the divisor's bands */
    std::vector<float> params;  /* the module's parameters p0, p1, ... */
    float *buffer = nullptr;    /* gmemAlloc'd rows of columns floats: the input bands', the
                                       results', then one scratch row; NULL while unallocated */
};

/* A kernel's view of one row: in[k] holds the columns values of input band
 * inBands[k], out[k] receives the columns values of result k. */
struct CalcRow {
    const float *const *in; /* inBands.size() rows of columns floats */
    float *const *out;      /* outBands.size() rows of columns floats */
    float *scratch;         /* columns floats for the kernel's own use, undefined at entry */
    int columns;            /* values of each row, at least 1 */
    int row;                /* the image row, 0 .. rows - 1 */
};

/* Turns the -b, -par and -ob texts (each NULL when not given) into the
 * context's band lists and parameters; answers 1, or 0 after printing one
 * line on standard error. */
typedef int(CalcSetupProc)(CalcContext *ctx, const char *bands, const char *params, const char *outBands);
/* Computes every result of one row; no failure path. */
typedef void(CalcKernelProc)(const CalcContext *ctx, const CalcRow *row);

struct CalcModule {
    const char *name;  /* the -f word, matched ignoring case */
    const char *label; /* the progress meter label */
    CalcSetupProc *setup;
    CalcKernelProc *kernel;
};

extern const CalcModule calcModules[CALC_MODULES];

/* The index of the first module whose name equals name ignoring case;
 * CALC_MODULES when none does. */
int calcFindModule(const char *name);

/* The stretch formula over one band's run: out[i] = (in[i] - offset) * gain.
 * The band-sequential path of the frame calls it band by band. */
void calcStretchRun(const float *in, float *out, int n, float gain, float offset);

/* The -b and -ob lists of the modules other than norm: comma-separated
 * decimal integers (an item that is not one whole number reads 0); stores
 * at most max items into out and answers the number of items, 0 for NULL. */
int calcPassLongs(const char *text, std::vector<int> &out, int max);
/* The -par list of those modules: comma-separated decimal numbers read in
 * the C locale; stores at most max into out and answers the number of
 * items, 0 for NULL, -1 when an item is not one whole number, finite as a
 * float. */
int calcPassFloats(const char *text, std::vector<float> &out, int max);

#endif /* TESK_ANALYSIS_TOOLS_CALCFUNCS_H */
