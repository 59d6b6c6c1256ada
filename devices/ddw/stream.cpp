/*
 * stream.cpp --
 *
 *	Video streams of the ddw widget (stream.h): the play position runs on
 *	the monotonic clock from the time playing started; frames are decoded
 *	when the position reaches them.
 */
#include "devices/ddw/stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

struct VideoStream {
    AviFile file;
    AviPicture picture;    /* the last frame decoded well */
    int shown = -1;        /* frame in picture, -1 before the first */
    bool playing = false;  /* the clock runs */
    double position = 0.0; /* seconds, when stopped; the start when playing */
    double end = 0.0;      /* of the play */
    bool endAnswered = false; /* the play's end was answered once */
    std::chrono::steady_clock::time_point started;
};

namespace {

int frameAt(const VideoStream *stream, double time)
{
    int last = static_cast<int>(stream->file.frames.size()) - 1;
    double n = std::floor(time / stream->file.frameTime + 1e-9);
    return !(n > 0.0) ? 0 : n >= last ? last : static_cast<int>(n);
}

/* Decodes frame n (a bad frame keeps the last picture) and paints it. */
void show(VideoStream *stream, int n, const StreamSurface &surface)
{
    aviDecode(stream->file, n, &stream->picture);
    stream->shown = n;
    if (!stream->picture.pixels.empty()) {
        surface.paint(surface.data, stream->picture);
    }
}

}  // namespace

VideoStream *createStreamSample(const char *fileName)
{
    auto *stream = new (std::nothrow) VideoStream;
    if (stream == nullptr) {
        return nullptr;
    }
    std::string why;
    if (!aviOpen(fileName, &stream->file, &why)) {
        delete stream;
        return nullptr;
    }
    return stream;
}

void freeStreamSample(VideoStream *stream)
{
    aviClose(&stream->file);
    delete stream;
}

double streamDuration(VideoStream *stream)
{
    return stream->file.frameTime * static_cast<double>(stream->file.frames.size());
}

double streamFrametime(VideoStream *stream)
{
    return stream->file.frameTime;
}

double streamClock(VideoStream *stream)
{
    if (!stream->playing) {
        return stream->position;
    }
    std::chrono::duration<double> run = std::chrono::steady_clock::now() - stream->started;
    return std::min(stream->position + run.count(), std::min(stream->end, streamDuration(stream)));
}

int updateStreamSample(VideoStream *stream, const StreamSurface &surface)
{
    if (!stream->playing) {
        return 0;
    }
    double clock = streamClock(stream);
    double last = std::min(stream->end, streamDuration(stream));
    int due = frameAt(stream, clock);
    if (clock >= last) {
        /* the play's end: its last frame once, then no more answers */
        if (!stream->endAnswered) {
            int final = frameAt(stream, std::max(last - 1e-6, stream->position));
            if (stream->shown != final) {
                show(stream, final, surface);
            }
            stream->endAnswered = true;
            return 1;
        }
        stream->position = clock;
        stream->playing = false;
        return 0;
    }
    if (due == stream->shown) {
        return 1;
    }
    bool dropped = stream->shown >= 0 && due > stream->shown + 1;
    show(stream, due, surface);
    return dropped ? 2 : 1;
}

void updateSurface(VideoStream *stream, const StreamSurface &surface)
{
    if (!stream->picture.pixels.empty()) {
        surface.paint(surface.data, stream->picture);
    }
}

void streamImageInfo(VideoStream *stream, int *width, int *height, int *bits, int *frames)
{
    *width = stream->file.width;
    *height = stream->file.height;
    *bits = stream->file.bits;
    *frames = static_cast<int>(stream->file.frames.size());
}

void streamRect(VideoStream *stream, int *width, int *height)
{
    *width = stream->file.width;
    *height = stream->file.height;
}

void streamPause(VideoStream *stream, const StreamSurface &surface, double time)
{
    stream->playing = false;
    stream->position = std::max(0.0, std::min(time, streamDuration(stream)));
    int n = frameAt(stream, stream->position);
    if (n != stream->shown) {
        show(stream, n, surface);
    } else {
        updateSurface(stream, surface);
    }
}

void streamSeek(VideoStream *stream, double time, double end)
{
    if (time < 0.0) {
        stream->position = streamClock(stream);
        stream->playing = false;
        return;
    }
    stream->position = std::min(time, streamDuration(stream));
    stream->end = end;
    stream->endAnswered = false;
    stream->playing = true;
    stream->started = std::chrono::steady_clock::now();
}

int streamPalette(VideoStream *stream, unsigned char entries[256][3])
{
    std::memcpy(entries, stream->file.palette, sizeof stream->file.palette);
    return stream->file.paletteCount;
}
