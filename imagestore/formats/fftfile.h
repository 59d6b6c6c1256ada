/*
 * fftfile.h --
 *
 *	FFT image files for the frequency-domain tools: the 1,024-byte header
 *	as a record, and the routines that create and open these files, write
 *	their header, and read and write their complex values by blocks of
 *	whole rows and by strips of columns, folding written values into the
 *	header's running statistics. Values are pairs of floats (real part,
 *	then imaginary part) in the host's byte order; pixel (r, c) lies at
 *	1024 + (r x columns + c) x 8.
 *
 *	Failures print their message on standard error and are answered to
 *	the caller (null, 0 or -1); no routine ends the process.
 */
#ifndef TESK_IMAGESTORE_FORMATS_FFTFILE_H
#define TESK_IMAGESTORE_FORMATS_FFTFILE_H

#include <cstdint>

/* What the values of an FFT image file hold (header field "state"). */
enum FFTState {
    FFT_INIT = 0,  /* nothing transformed yet */
    FFT_SFRI = 1,  /* spatial frequencies, real and imaginary parts */
    FFT_SFPP = 2,  /* spatial frequencies, magnitude and phase */
    FFT_FSRI = 3,  /* back in the spatial domain, real and imaginary parts */
    FFT_FSPP = 4,  /* back in the spatial domain, magnitude and phase */
    FFT_SFRIX = 5, /* rows transformed only, real and imaginary parts */
    FFT_SFRIY = 6, /* columns transformed only, real and imaginary parts */
    FFT_SFPPX = 7, /* rows transformed only, magnitude and phase */
    FFT_SFPPY = 8  /* columns transformed only, magnitude and phase */
};

/* The header of an FFT image file, field by field. */
struct FFTHeader {
    char source[65];       /* file name of the source image, at most 64 characters */
    int32_t band;          /* source band */
    int32_t rows;          /* rows of values: a power of two, at least the source's rows */
    int32_t columns;       /* values per row: a power of two, at least the source's columns */
    int32_t sourceRows;    /* rows of the source image */
    int32_t sourceColumns; /* columns of the source image */
    int32_t state;         /* an FFTState */
    double count;          /* complex values folded into the statistics */
    double maxRe, minRe;   /* largest and smallest real part */
    double maxIm, minIm;   /* largest and smallest imaginary part */
    double meanRe, meanIm; /* means of the real and imaginary parts */
    double sqRe, sqIm;     /* while writing: means of the squared parts; finished: their deviations */
};

/* Bytes before the first value. */
constexpr int kFFTHeaderBytes = 1024;

/*
 * fftHeadInit --
 *	A new header for a transform of band of source (rows x columns):
 *	sides rounded up to powers of two, the given state, statistics empty
 *	(count and means 0, largest parts -infinity, smallest +infinity).
 *	Answers 1, or 0 when a side is below 1 or its power of two would be
 *	too large for a file (header then undefined).
 */
int fftHeadInit(FFTHeader *head, const char *source, int band, int rows, int columns, int state);

/*
 * createFFTFile --
 *	Checks that the file system of name holds the header and rows x
 *	columns values ("Insufficient disk space.\n" and "Rquest: %ld
 *	Available: %ld\n" when not; nothing is created then), creates (or
 *	truncates) the file, writes the header and answers openFFTFile of the
 *	file, or -1 (system errors are printed for the name; a file whose
 *	header could not be written is removed).
 */
int createFFTFile(const char *name, FFTHeader *head);

/*
 * openFFTFile --
 *	Opens name for reading and writing and reads its header into head.
 *	Answers the descriptor (the caller closes it), or -1 after "Not an FFT
 *	image file!\n" (wrong magic or sizes out of bounds) or the system
 *	error for the name.
 */
int openFFTFile(const char *name, FFTHeader *head);

/* Writes the 1,024 header bytes at offset 0 (the reserved bytes zero).
 * Answers 1, or 0 after "write error in PutFFTHead: ...". */
int PutFFTHead(const FFTHeader *head, int fd);

/*
 * GetFFTFileBlock --
 *	Reads count whole rows from row first into buffer (count x columns x
 *	2 floats); a null buffer is gmemAlloc'd (the caller frees it). Answers
 *	the buffer, or null after "lseek error in GetFFTFileBlock: ..." (rows
 *	outside the file's), "read error in GetFFTFileBlock: ..." or "malloc
 *	error in GetFFTFileBlock.\n" (an allocated buffer is then freed).
 */
float *GetFFTFileBlock(const FFTHeader *head, int fd, float *buffer, int first, int count);

/*
 * PutFFTFileBlock --
 *	Writes count whole rows from row first; with stats set, each row is
 *	first folded into head's statistics. Answers 1, or 0 after "lseek
 *	error in PutFFTFileBlock: ..." or "write error in PutFFTFileBlock: ...".
 */
int PutFFTFileBlock(FFTHeader *head, int fd, const float *buffer, int first, int count, int stats);

/*
 * GetFFTFileSeg --
 *	Reads, for every row of the file, count values from column first: a
 *	vertical strip, its rows one after another in buffer (rows x count x
 *	2 floats; null: gmemAlloc'd). Answers and reports as GetFFTFileBlock
 *	("... in GetFFTFileSeg").
 */
float *GetFFTFileSeg(const FFTHeader *head, int fd, float *buffer, int first, int count);

/*
 * PutFFTFileSeg --
 *	Writes such a strip back; with stats set, every strip row is folded
 *	into the statistics first. Answers as PutFFTFileBlock ("... in
 *	PutFFTFileSeg").
 */
int PutFFTFileSeg(FFTHeader *head, int fd, const float *buffer, int first, int count, int stats);

/*
 * fftHeadStats --
 *	Folds n complex values (2n floats) into head's running statistics:
 *	bounds, and the means of the parts and of their squares, weighted by
 *	the counts before and in the block.
 */
void fftHeadStats(FFTHeader *head, int64_t n, const float *values);

#endif /* TESK_IMAGESTORE_FORMATS_FFTFILE_H */
