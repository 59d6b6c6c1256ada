/*
 * tools.h --
 *
 *	Entries of the image tool modules that rimage runs through the tool
 *	table (tooltable.cpp). Each takes the program name ("rimage WORD"), the
 *	number of words after the subcommand word and those words; it prints
 *	its usage and answers 2 when there are no words, else answers 1 when
 *	done, 0 on failure and 3 when the user aborted it, after printing its
 *	own messages on the console (the answers of tooltable.h).
 */
#ifndef TESK_ANALYSIS_TOOLS_TOOLS_H
#define TESK_ANALYSIS_TOOLS_TOOLS_H

#include <tcl.h>

/* rimage calc: band calculation with a function module (calc.cpp). */
int rimageCalcMain(const char *programName, int argc, const char **argv);
/* rimage classify: supervised classification by four decision rules. */
int rimageClassifyMain(const char *programName, int argc, const char **argv);
/* rimage dist: distances from the pixels of given classes. */
int rimageDistMain(const char *programName, int argc, const char **argv);
/* rimage egv: principal components of a class of a statistics file. */
int rimageEgvMain(const char *programName, int argc, const char **argv);
/* rimage gconv: convolution with kernel texts. */
int rimageGconvMain(const char *programName, int argc, const char **argv);
/* rimage gdem: shaded relief, slopes and calibration of elevation models. */
int rimageGdemMain(const char *programName, int argc, const char **argv);
/* rimage geocalc: the interactive control point calculator. */
int rimageGeocalcMain(const char *programName, int argc, const char **argv);
/* calc geocalc: the same calculator, or a fit of records given as options. */
int calcGeocalc(Tcl_Interp *interp, int argc, const char **argv);
/* rimage georef: rectification through fitted polynomials or a rotation. */
int rimageGeorefMain(const char *programName, int argc, const char **argv);
/* rimage gfftrans: frequency-domain transforms and filters. */
int rimageGfftransMain(const char *programName, int argc, const char **argv);
/* rimage gisoc: unsupervised clustering. */
int rimageGisocMain(const char *programName, int argc, const char **argv);
/* rimage gtop: terrain views, polar images and projections over a DEM. */
int rimageGtopMain(const char *programName, int argc, const char **argv);
/* rimage gstat: class statistics gathered from image areas. */
int rimageGstatMain(const char *programName, int argc, const char **argv);
/* rimage ptable: the pixel table of a byte image. */
int rimagePtableMain(const char *programName, int argc, const char **argv);
/* rimage statinfo: the report of a feature file. */
int rimageStatinfoMain(const char *programName, int argc, const char **argv);

/* rimage copy and crop: windows copied with steps, band pairs and updates. */
int rimageCropMain(const char *programName, int argc, const char **argv);
/* rimage data: pixel values given as text. */
int rimageDataMain(const char *programName, int argc, const char **argv);
/* rimage gsfzoom: zoom by a scale. */
int rimageGsfzoomMain(const char *programName, int argc, const char **argv);
/* rimage gslope: slopes of an elevation model. */
int rimageGslopeMain(const char *programName, int argc, const char **argv);
/* rimage pcalc: per-pixel calibration with a parameter image. */
int rimagePcalcMain(const char *programName, int argc, const char **argv);
/* rimage resample: resampling onto the output's georeference. */
int rimageResampleMain(const char *programName, int argc, const char **argv);
/* rimage rform: a new layout or type for an image's head. */
int rimageRformMain(const char *programName, int argc, const char **argv);
/* rimage rotate: quarter turns and flips. */
int rimageRotateMain(const char *programName, int argc, const char **argv);
/* rimage section: profiles and sections of images. */
int rimageSectionMain(const char *programName, int argc, const char **argv);
/* rimage smetric: systematic radiometric calibration. */
int rimageSmetricMain(const char *programName, int argc, const char **argv);
/* rimage trans: window transforms (steps, binning, components). */
int rimageTransMain(const char *programName, int argc, const char **argv);

#endif /* TESK_ANALYSIS_TOOLS_TOOLS_H */
