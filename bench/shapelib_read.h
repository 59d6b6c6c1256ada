/*
 * shapelib_read.h --
 *
 *	shapelib's reading of a whole shapefile, for the load benchmark.
 */
#ifndef TESK_BENCH_SHAPELIB_READ_H
#define TESK_BENCH_SHAPELIB_READ_H

#ifdef __cplusplus
extern "C" {
#endif

/* Reads every record of the shapefile at path with shapelib; answers the
 * number of vertices read, or -1 when the file or a record cannot be read. */
long shapelibReadAll(const char *path);

#ifdef __cplusplus
}
#endif

#endif /* TESK_BENCH_SHAPELIB_READ_H */
