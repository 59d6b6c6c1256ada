/*
 * jpegycc.h --
 *
 *	The colour side of a JPEG decode spread over threads: one decoder
 *	hands libjpeg's raw YCbCr rows (entropy decoding and inverse DCT only)
 *	over in batches, and workers upsample the chroma and convert to RGB
 *	band rows exactly as libjpeg's own output stage does (its smooth
 *	"fancy" upsampling and fixed-point YCbCr conversion), bit for bit.
 *	Serves the JPEG format's reader.
 */
#ifndef TESK_IMAGESTORE_FORMATS_JPEGYCC_H
#define TESK_IMAGESTORE_FORMATS_JPEGYCC_H

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include <jpeglib.h>

/* A YCbCr file as the workers see it: luma sampled 1x1, 2x1 or 2x2 per
 * chroma sample, both chroma components alike. */
struct YccShape {
    int32_t columns, rows;             /* of the image, at least 1 */
    int h, v;                          /* luma samples per chroma sample across and down: 1 or 2 */
    int32_t chromaColumns, chromaRows; /* chroma samples of a row, rows of chroma */
    int32_t lumaStride, chromaStride;  /* bytes of a raw row libjpeg writes, per component kind */
};

/* Whether libjpeg, its header read and nothing started, would make RGB of
 * cinfo's data with a sampling the workers reproduce: a single-scan
 * YCbCr file of three components at full scale, smooth upsampling, chroma
 * 1x1 and luma 1x1, 2x1 or 2x2 (more than two chroma samples a row where
 * they are upsampled). Fills shape when it answers true. */
bool yccShapeOf(j_decompress_ptr cinfo, YccShape *shape);

/*
 * YccPipe --
 *	Batches of raw rows from the decoder (the caller's thread) to worker
 *	threads that write image row r band b to targets[r * 3 + b] (skipped
 *	where that is NULL). Memory stays a few batches whatever the image's
 *	size. Use: start, next for every iMCU row the decoder reads, finish.
 */
class YccPipe {
public:
    YccPipe(unsigned char *const *targets, int workers);
    ~YccPipe();
    YccPipe(const YccPipe &) = delete;
    YccPipe &operator=(const YccPipe &) = delete;

    /* Sizes the batches for shape and starts the workers. Answers false,
     * with nothing running, when memory or every thread is refused. */
    bool start(const YccShape &shape);
    /* The planes for jpeg_read_raw_data's next iMCU row; waits while
     * every batch is taken. Hands a full batch to the workers once the
     * row after it is decoded (its lower neighbour). */
    JSAMPIMAGE next();
    /* Ends the decode: with whole set every batch goes to the workers,
     * otherwise only those whose rows and neighbours were all decoded.
     * Waits for the workers; answers the image rows converted, rows
     * 0 .. answer - 1. */
    int32_t finish(bool whole);

private:
    struct Slot {
        std::vector<unsigned char> samples; /* luma, then Cb, then Cr rows */
        std::vector<JSAMPROW> rows[3];      /* chroma: a neighbour row above and below the batch's */
        JSAMPARRAY planes[3];               /* where next() points libjpeg */
        int32_t batch;                      /* 0, 1, ... from the image's top */
    };

    void handOver(Slot *slot);
    /* A worker's lines: widened Cb and Cr, a row for the bands not wanted. */
    struct Scratch {
        std::vector<unsigned char> bytes;
        std::vector<int16_t> sums; /* chroma rows mixed down, an end repeated on each side */
    };

    void work(Scratch *scratch);
    void convert(const Slot &slot, Scratch *scratch) const;

    unsigned char *const *targets_;
    int wanted_; /* worker threads asked for */
    YccShape shape_{};
    int mcuRows_ = 0;         /* iMCU rows in a batch */
    int32_t batchRows_ = 0;   /* image rows of a full batch */
    int32_t batchChroma_ = 0; /* chroma rows of a full batch */
    std::vector<Slot> slots_;
    std::vector<Scratch> scratch_;
    std::vector<std::thread> threads_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Slot *> free_, ready_;
    Slot *filling_ = nullptr; /* the batch libjpeg writes into */
    Slot *waiting_ = nullptr; /* full, waiting for its lower neighbour row */
    int32_t mcu_ = 0;         /* iMCU rows handed out by next() */
    int32_t handed_ = 0;      /* batches given to the workers, a prefix */
    bool stopping_ = false;
};

#endif /* TESK_IMAGESTORE_FORMATS_JPEGYCC_H */
