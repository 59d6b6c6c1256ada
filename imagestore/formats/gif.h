/*
 * gif.h --
 *
 *	The GIF machinery beneath the GIF rows of the image-type table: a
 *	byte source over a file or a memory block, the block readers, the LZW
 *	decoder and encoder, and the block writers. The table's procedures
 *	(detector, frame decoder, rewrite, new files, scanGIF) are declared
 *	in formats.h; this header is for the tests of the pieces.
 */
#ifndef TESK_IMAGESTORE_FORMATS_GIF_H
#define TESK_IMAGESTORE_FORMATS_GIF_H

#include <cstddef>
#include <cstdint>
#include <string>
#include "tesk_image.h"

/* A byte source over a file (read through readAt in windows, the file
 * position never moved) or over a memory block that it does not own. */
class GifSource {
public:
    explicit GifSource(int fd) : fd_(fd), buffer_(window_) {}
    GifSource(const unsigned char *data, int64_t size)
        : fd_(-1), buffer_(data), length_(static_cast<size_t>(size > 0 ? size : 0)), size_(size > 0 ? size : 0)
    {}
    GifSource(const GifSource &) = delete;
    GifSource &operator=(const GifSource &) = delete;

    /* The next byte, or -1 at the end of the data. */
    int byte()
    {
        if (at_ < length_ || refill()) {
            return buffer_[at_++];
        }
        return -1;
    }
    /* Reads up to n bytes; answers how many were read. */
    size_t read(void *out, size_t n);
    /* Skips n bytes (fewer at the end of the data). */
    void skip(int64_t n);
    /* Moves to offset from the start (whence SEEK_SET), the current
     * position (SEEK_CUR) or, for memory, the end (SEEK_END). Memory
     * positions are held to 0 .. size, file positions to 0 and above. */
    void seek(int64_t offset, int whence = 0);
    int64_t tell() const { return base_ + static_cast<int64_t>(at_); }
    /* Bytes of the data: the memory block's, or the file's size. */
    int64_t size() const;
    /* The bytes buffered from the position on (*n of them; 0 and NULL at
     * the end of the data), for a reader that takes them in place and then
     * calls advance with the count it took. */
    const unsigned char *buffered(size_t *n)
    {
        if (at_ == length_ && !refill()) {
            *n = 0;
            return nullptr;
        }
        *n = length_ - at_;
        return buffer_ + at_;
    }
    void advance(size_t n) { at_ += n; }
    bool inMemory() const { return fd_ < 0; }

private:
    bool refill();

    int fd_;
    const unsigned char *buffer_;
    size_t length_ = 0;  // valid bytes at buffer_
    size_t at_ = 0;      // next byte in buffer_
    int64_t base_ = 0;   // offset of buffer_[0] in the data
    int64_t size_ = 0;   // of a memory block
    unsigned char window_[65536];
};

/* The screen descriptor and each image descriptor, as read. */
struct GifFrame {
    int32_t left = 0, top = 0;     /* position of an image on the screen */
    int32_t width = 0, height = 0; /* 0 .. 65535 */
    int32_t colours = 0;           /* entries of the colour table read, 0 without one */
    int32_t bits = 0;              /* bits of a colour-table index, 0 without a local table */
    int32_t interlaced = 0;        /* rows stored in the four interlace passes */
    int32_t sorted = 0;
    int32_t codeSize = 0;         /* LZW minimum code size */
    int32_t background = 0;       /* background colour index (screen) */
    int32_t resolution = 0;       /* colour resolution, 1 .. 8 (screen) */
    int32_t aspect = 0;           /* pixel aspect byte (screen) */
    uint8_t palette[256][3] = {}; /* red, green, blue */
};

/* "GIF87a" gives IMG_GIF87A, "GIF89a" IMG_GIF89A, anything else 0. */
int gifSignature(GifSource &src);
/* Reads the logical screen descriptor and a global colour table. 1, or 0
 * (with "Error in getGifLSD: ..." on standard error when report is set)
 * for short data. */
int getGifLSD(GifSource &src, GifFrame *frame, bool report);
/* Reads an image descriptor, a local colour table and the LZW minimum
 * code size: 2 with a local table, 1 without (colours and bits 0, the
 * palette bytes left alone), 0 for short data. */
int getGIFImgDes(GifSource &src, GifFrame *frame);
/* Reads sub-blocks up to the block terminator; with text, appends their
 * bytes to it (at most limit bytes kept). False when the data ends first. */
bool gifSkipBlocks(GifSource &src, std::string *text = nullptr, size_t limit = 0);

/* True when size bytes of GIF data can fill pixels pixels (an LZW byte
 * gives at most 2731), or when they are few enough for any screen to
 * declare (16 M): the rule a declared screen or image is held to. */
bool gifDataCanFill(int64_t pixels, int64_t size);
/* The pixels (width x height) the first image descriptor of the GIF in
 * data declares; -1 when the data is no GIF or ends before it. */
int64_t gifFirstImagePixels(const unsigned char *data, int64_t size);

/* GIF's variable-length LZW decoding of one image's data sub-blocks. */
class GifLzwDecoder {
public:
    /* Starts on the data that follows the minimum code size byte. False
     * for a code size outside 1 .. 8. */
    bool begin(GifSource *src, int minCodeSize);
    /* Decodes up to n pixels into out; answers how many. Fewer than n
     * means the data ended (end code, block terminator, end of the data,
     * or a code that cannot start a string). */
    int64_t decode(unsigned char *out, int64_t n);
    /* Decodes the whole image, n pixels, into out in one call (faster:
     * strings are copied from where they were written before); answers
     * how many. No further decode follows. */
    int64_t decodeAll(unsigned char *out, int64_t n);
    /* Passes over what is left of the image's sub-blocks, the terminator
     * included. */
    void drain();

private:
    void reset();
    template <bool Flat>
    int64_t run(unsigned char *out, int64_t n);

    GifSource *src_ = nullptr;
    uint64_t acc_ = 0;  // bits not yet taken, least significant first
    int accBits_ = 0;
    int blockLeft_ = 0;        // data bytes left in the current sub-block
    bool terminated_ = false;  // the block terminator (or the end of the data) was met
    bool finished_ = false;    // no more pixels
    int min_ = 0, size_ = 0, clear_ = 0, end_ = 0, nextFree_ = 0, limit_ = 0;
    int prev_ = -1;  // the previous code, -1 right after a clear
    uint16_t prefix_[4096];
    uint16_t length_[4096];  // pixels of each code's string
    uint8_t suffix_[4096];
    uint8_t first_[4096];    // first pixel of each code's string
    uint8_t pending_[4096];  // the part of a string that did not fit
    int64_t where_[4096];    // where each code's string was written (decodeAll)
    int pendingAt_ = 0, pendingEnd_ = 0;
};

/* Bytes written to a file from offset 0 through writeAt, buffered, or
 * collected in a string (fd negative). The first failure is kept and later
 * writes are skipped. */
class GifWriter {
public:
    explicit GifWriter(int fd) : fd_(fd) {}
    explicit GifWriter(std::string *out) : fd_(-1), out_(out) {}
    GifWriter(const GifWriter &) = delete;
    GifWriter &operator=(const GifWriter &) = delete;

    void put(const void *data, size_t n);
    void byte(int value)
    {
        if (fill_ == sizeof buffer_) {
            drain();
        }
        buffer_[fill_++] = static_cast<unsigned char>(value);
    }
    void le16(int value)
    {
        byte(value & 0xFF);
        byte((value >> 8) & 0xFF);
    }
    /* Writes what is buffered; false once any write failed. */
    bool flush();
    int64_t position() const { return written_ + static_cast<int64_t>(fill_); }
    bool ok() const { return ok_; }
    /* errno of the write that failed, 0 for a short one. */
    int error() const { return error_; }

private:
    void drain();

    int fd_;
    std::string *out_ = nullptr;
    unsigned char buffer_[65536];
    size_t fill_ = 0;
    int64_t written_ = 0;
    bool ok_ = true;
    int error_ = 0;
};

/* The LZW encoder: codes packed least significant bit first into 255-byte
 * sub-blocks, an open-addressing table of 5,021 slots, a clear code when
 * the 4,096 codes are used up. */
class GifLzwEncoder {
public:
    /* Starts a code stream with minimum code size min (2 .. 8); with a
     * first pixel (not negative) the clear code is emitted and the pixel
     * begins the first string. */
    void begin(GifWriter *out, int min, int firstPixel);
    void add(int pixel)
    {
        if (prefix_ < 0) {
            reset();
            prefix_ = pixel;
            return;
        }
        int slot = (pixel << 4) ^ prefix_;
        const int32_t key = (prefix_ << 8) | pixel;
        if (codes_[slot] >= 0 && keys_[slot] != key) {
            const int step = slot == 0 ? 1 : kSlots - slot;
            do {
                slot -= step;
                if (slot < 0) {
                    slot += kSlots;
                }
            } while (codes_[slot] >= 0 && keys_[slot] != key);
        }
        if (codes_[slot] >= 0) {
            prefix_ = codes_[slot];
            return;
        }
        miss(slot, key, pixel);
    }
    void addRun(const unsigned char *pixels, int64_t n)
    {
        for (int64_t i = 0; i < n; i++) {
            add(pixels[i]);
        }
    }
    /* Emits the last string and the end code, and writes the last
     * sub-block and the block terminator. */
    void finish();

    static constexpr int kSlots = 5021;

private:
    void miss(int slot, int32_t key, int pixel);
    void reset();
    void emit(int code);

    GifWriter *out_ = nullptr;
    int min_ = 0, size_ = 0, maxCode_ = 0, clear_ = 0, end_ = 0, nextFree_ = 0;
    int prefix_ = -1;
    uint64_t acc_ = 0;
    int accBits_ = 0;
    unsigned char block_[256];  // size byte, then up to 255 data bytes
    int blockLength_ = 0;
    int32_t codes_[kSlots];
    int32_t keys_[kSlots];  // prefix code << 8 | suffix byte
};

/* The block writers; each answers the writer's state. */
bool gifWriteSignature(GifWriter &w, int imgid);
/* The logical screen descriptor; palette (2^bits entries) may be NULL. */
bool gifWriteLSD(GifWriter &w, int width, int height, int bits, const uint8_t (*palette)[3], int background);
bool gifWriteComment(GifWriter &w, const char *text, size_t length);
/* Delay in milliseconds, stored in hundredths of a second. */
bool gifWriteGraphicControl(GifWriter &w, int transparent, int delayMs, int disposal, int userInput);
bool gifWriteImageDescriptor(GifWriter &w, int top, int left, int width, int height, int minCodeSize, int bits,
                             const uint8_t (*palette)[3]);
bool gifWriteTrailer(GifWriter &w);

/* The smallest n from 1 with 2^n >= count (8 for more than 128). */
int gifBitsFor(int count);

#endif /* TESK_IMAGESTORE_FORMATS_GIF_H */
