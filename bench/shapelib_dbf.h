/*
 * shapelib_dbf.h --
 *
 *	shapelib's reading and writing of a whole dBase table, for the table
 *	benchmark.
 */
#ifndef TESK_BENCH_SHAPELIB_DBF_H
#define TESK_BENCH_SHAPELIB_DBF_H

#ifdef __cplusplus
extern "C" {
#endif

/* Reads every cell of the table at path with DBFReadStringAttribute;
 * answers the total length of the texts read, or -1 when the table cannot
 * be opened. */
long long shapelibDbfReadAll(const char *path);

/* Writes a table of `records` records of the benchmark's fields (NAME C 20,
 * AREA N 12.3, COUNT N 8, DAY D, OK L) with the DBFWrite*Attribute calls;
 * the values are those of benchDbfValues. Answers 0, or -1 on a failure. */
int shapelibDbfWriteAll(const char *path, int records);

/* The cells of record i as the benchmark's table holds them: a name, an
 * area, a count, a date YYYYMMDD and a logical letter. */
void benchDbfValues(int i, char name[21], double *area, int *count, char date[9], char *ok);

#ifdef __cplusplus
}
#endif

#endif /* TESK_BENCH_SHAPELIB_DBF_H */
