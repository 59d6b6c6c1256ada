/*
 * avi.h --
 *
 *	A reader of RIFF AVI files for the ddw widget's video: the first video
 *	stream of the first RIFF chunk (OpenDML extensions are not followed),
 *	its frames found through idx1 or by walking the movi list, decoded as
 *	uncompressed 8-bit (palette), 24- or 32-bit rows in either order, or as
 *	Motion-JPEG through libjpeg. Frames come out as pixels of blue, green
 *	and red bytes, top row first.
 */
#ifndef TESK_DEVICES_DDW_AVI_H
#define TESK_DEVICES_DDW_AVI_H

#include <cstdint>
#include <string>
#include <vector>

/* Where one frame's data lie in the file. */
struct AviFrameRef {
    int64_t offset; /* of the data, past the chunk header */
    uint32_t size;  /* bytes; 0 for a dropped frame */
};

/* A decoded picture, top row first. */
struct AviPicture {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels; /* width x height of 4 bytes: blue, green, red, a byte of no meaning */
    std::vector<unsigned char> index;  /* 8-bit files: each pixel's palette index; else empty */
};

struct AviFile {
    int fd = -1;
    int64_t fileSize = 0;
    int width = 0, height = 0;  /* of the picture, 1..16384 */
    int bits = 0;               /* 8, 24 or 32 (MJPG: 24) */
    bool bottomUp = false;      /* rows stored bottom row first */
    bool mjpeg = false;         /* compression MJPG, else uncompressed */
    double frameTime = 0.0;     /* seconds: scale / rate */
    int paletteCount = 0;       /* 0..256 */
    unsigned char palette[256][3] = {};
    std::vector<AviFrameRef> frames;
    std::vector<unsigned char> buffer; /* the last frame's bytes, reused */
    AviPicture spare;                  /* where the next frame is decoded */
};

/*
 * aviOpen --
 *	Reads and validates the headers and the frame list of file. Answers
 *	true with file filled (its descriptor open), or false with the reason
 *	in why and nothing held.
 */
bool aviOpen(const char *fileName, AviFile *file, std::string *why);
void aviClose(AviFile *file);

/*
 * aviDecode --
 *	Decodes frame n into picture (sized to the file's picture); the
 *	picture's old memory becomes the file's spare picture. False for a frame
 *	that is dropped, short or cannot be decoded: picture is then left as it
 *	was (the last picture stays).
 */
bool aviDecode(AviFile &file, int n, AviPicture *picture);

#endif /* TESK_DEVICES_DDW_AVI_H */
