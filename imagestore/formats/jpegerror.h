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

#endif /* TESK_IMAGESTORE_FORMATS_JPEGERROR_H */
