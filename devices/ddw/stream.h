/*
 * stream.h --
 *
 *	The video streams of the ddw widget: an AVI file (avi.h) played
 *	against the monotonic clock, with the calls the widget makes of it. A
 *	stream shows a frame by calling its surface's paint procedure with the
 *	decoded picture.
 */
#ifndef TESK_DEVICES_DDW_STREAM_H
#define TESK_DEVICES_DDW_STREAM_H

#include "devices/ddw/avi.h"

/* Where a stream shows its frames. */
struct StreamSurface {
    void (*paint)(void *data, const AviPicture &picture);
    void *data;
};

struct VideoStream;

/* A stream of file, stopped before its first frame; NULL when the file is
 * no AVI this reader serves. */
VideoStream *createStreamSample(const char *fileName);
void freeStreamSample(VideoStream *stream);

/*
 * updateStreamSample --
 *	Shows the frame the clock has reached: 0 at the end of the stream or
 *	of the play (nothing more to show), 1 when a frame is shown or due, 2
 *	when late frames were dropped to show the one due.
 */
int updateStreamSample(VideoStream *stream, const StreamSurface &surface);
/* Paints the current picture again. */
void updateSurface(VideoStream *stream, const StreamSurface &surface);

double streamClock(VideoStream *stream);
double streamDuration(VideoStream *stream);
double streamFrametime(VideoStream *stream);
/* Width, height, bits per pixel and frames of the picture. */
void streamImageInfo(VideoStream *stream, int *width, int *height, int *bits, int *frames);
void streamRect(VideoStream *stream, int *width, int *height);
/* Stops and shows the frame at time. */
void streamPause(VideoStream *stream, const StreamSurface &surface, double time);
/* Plays from time up to end; a negative time stops where the clock is. */
void streamSeek(VideoStream *stream, double time, double end);
/* Copies the file's palette into entries (red, green, blue); answers the
 * number of entries, 0 for a file without one. */
int streamPalette(VideoStream *stream, unsigned char entries[256][3]);

#endif /* TESK_DEVICES_DDW_STREAM_H */
