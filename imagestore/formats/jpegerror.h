/*
 * jpegerror.h --
 *
 *	libjpeg's error manager as the package's decoders use it: messages,
 *	warnings included, go to the console's standard error (or are held
 *	for another thread to print), and an error jumps back through setjmp
 *	into the plain function that owns the (de)compressor. Serves the JPEG
 *	file format and the Motion-JPEG frames of video streams.
 */
#ifndef TESK_IMAGESTORE_FORMATS_JPEGERROR_H
#define TESK_IMAGESTORE_FORMATS_JPEGERROR_H

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>

/* libjpeg's error manager with the jump back into the glue function that
 * owns the (de)compressor. A decoder among several threads keeps its
 * first message in held for the Tcl thread to print. */
struct JpegError {
    jpeg_error_mgr mgr; /* libjpeg's record, first: cinfo->err points here */
    std::jmp_buf jump;  /* set by the function that owns the (de)compressor */
    char *held;         /* NULL: print at once; else JMSG_LENGTH_MAX bytes, "" until a message */
};

/* Fills err (held as above) and answers the record for cinfo.err. The
 * owner then calls setjmp(err.jump) before any libjpeg call. */
jpeg_error_mgr *jpegInitError(JpegError *err, char *held);

/* Why a scan watch ended a decode (see JpegScanWatch). */
enum JpegScanLimit {
    JPEG_SCANS_OK = 0,
    JPEG_SCANS_TOO_MANY = 1, /* more than kJpegMaxScans scans */
    JPEG_SCANS_TOO_LONG = 2  /* the scans visit more blocks than the data's size allows */
};

constexpr int kJpegMaxScans = 1000;                    /* scans a decode may reach */
constexpr int64_t kJpegWorkFloor = int64_t{1} << 27;   /* coefficient blocks any decode may visit */
constexpr int64_t kJpegWorkPerByte = 128;              /* and more for each byte of its data */

/*
 * The work bound of one decode. Each scan of a progressive or multi-scan
 * file may revisit every coefficient block of its components while holding
 * only a few bytes, so a small file could ask for hours of decoding. The
 * watch, installed as the decompressor's progress monitor, counts the
 * blocks of each scan as it begins and ends the decode (through err's
 * jump) at the scan after kJpegMaxScans, or when the blocks visited pass
 * kJpegWorkFloor plus kJpegWorkPerByte for each byte of the data: about a
 * second of work a megabyte, far beyond what an encoder writes.
 */
struct JpegScanWatch {
    jpeg_progress_mgr pub; /* libjpeg's record, first: cinfo->progress points here */
    int64_t limit;         /* blocks the decode may visit */
    int64_t visited;       /* blocks of the scans begun so far */
    int scan;              /* the last scan counted, 0 before the first */
    int *ended;            /* set to a JpegScanLimit when the decode is ended;
                            * outside the function that calls setjmp */
};

/* Installs watch as cinfo's progress monitor for data of dataBytes bytes;
 * *ended is set to JPEG_SCANS_OK. Call after jpeg_create_decompress. */
void jpegWatchScans(j_decompress_ptr cinfo, JpegScanWatch *watch, int64_t dataBytes, int *ended);

/* What ended a decode, for a message: "more than 1000 scans" or "too many
 * scans for its size"; "" for JPEG_SCANS_OK. */
const char *jpegScanLimitText(int ended);

#endif /* TESK_IMAGESTORE_FORMATS_JPEGERROR_H */
