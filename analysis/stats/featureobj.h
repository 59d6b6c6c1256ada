/*
 * featureobj.h --
 *
 *	The statistics, eigen and iso data objects: stats.create, eigen.create
 *	and iso.create make objects holding a feature set (feature.h) that
 *	scripts build, inspect and save.
 */
#ifndef TESK_ANALYSIS_STATS_FEATUREOBJ_H
#define TESK_ANALYSIS_STATS_FEATUREOBJ_H

#include <tcl.h>

/* Creates the three create commands; TCL_ERROR when one cannot be made. */
int featureObjInit(Tcl_Interp *interp);

#endif /* TESK_ANALYSIS_STATS_FEATUREOBJ_H */
