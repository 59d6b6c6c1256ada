/*
 * bandcalc.h --
 *
 *	The band calculator's operators: a table of named kernels, each of
 *	which computes the new values of one run of a row in place. The image
 *	object command (imgobj.cpp) looks an operator up by name and parameter
 *	count, fills a CalcRow for every row it walks and calls the kernel.
 */
#ifndef TESK_ANALYSIS_BANDCALC_H
#define TESK_ANALYSIS_BANDCALC_H

/* What a kernel knows of the run it computes: the image whose coordinates
 * are used, the row, and the parameters. Sizes, coordinates and parameters
 * are 32-bit floats; kernels compute in double and store floats. */
struct CalcRow {
    int pixel;       /* pixel type code of that image, PIX_* */
    float rows;      /* that image's rows */
    float columns;   /* that image's columns */
    int n;           /* parameter count, 0..6 (an image operand counts one) */
    float y;         /* the row of every value of the run */
    const float *x;  /* the column of each value of the run */
    const float *p1; /* the first parameter of each value: a constant run,
                         * or the operand image's pixels */
    float p[6];      /* p[1]..p[5] hold the parameters p2..p6 */
};

/* Replaces count values by the operator's result for each. */
typedef void(CalcKernel)(const CalcRow &row, float *values, int count);

/* One row of the operator table; the table ends with a null name. Rows of
 * one name stand together and differ in their parameter count. */
struct CalcOp {
    const char *name;
    int count; /* parameters, 0..6 */
    CalcKernel *kernel;
};

extern const CalcOp rimgCalcOps[];

/* The kernel of the first row whose name equals name exactly and whose
 * parameter count is count; NULL when no row matches. */
CalcKernel *rimgObjFindOp(const char *name, int count);

#endif /* TESK_ANALYSIS_BANDCALC_H */
