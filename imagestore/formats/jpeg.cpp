/*
 * jpeg.cpp --
 *
 *	JPEG files through libjpeg: detection of the header (read at offsets,
 *	so any seekable file serves, memory files too), the whole-image decoder
 *	that fills the row cache at the first read (from the file, or from data
 *	attached in memory), the writer of a new file, and the write-back that
 *	encodes the cached rows into a file beside the old one and renames it
 *	over. The georeference and the description travel in comment segments;
 *	the descriptor's block holds the quality. libjpeg's messages, warnings
 *	included, go to the console's standard error; its errors come back
 *	through setjmp into plain functions that hold no C++ object. The JPEG
 *	row of the image-type table.
 */
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <utility>
#include <unistd.h>
#include <jpeglib.h>
#include <jerror.h>
#include "imagestore/codes.h"
#include "imagestore/formats/formats.h"
#include "imagestore/formats/jpegerror.h"
#include "imagestore/formats/jpegycc.h"
#include "imagestore/interleave.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/cpus.h"
#include "runtime/replace.h"
#include "tesk_stdio.h"

namespace {

constexpr int kQuality = 90;  // of new files, and of a block below 0
constexpr int kMapGrid = 1;
constexpr size_t kSourceBytes = 1 << 18;  // read from the file at a time
constexpr size_t kDestBytes = 1 << 18;    // written to the file at a time
constexpr int kBatch = 16;                // scanlines asked of the decoder at a time
constexpr int kCommentBytes = 1024;       // of a comment segment that is parsed
constexpr int64_t kDecoderWork = 1 << 20;  // libjpeg's memory besides whole-image buffers, counted once
constexpr int64_t kThreadedBytes = int64_t{1} << 22;  // of the cache, from which a decode takes threads

/* ---- sources: a file read at offsets, or memory ---- */

/* Where compressed data come from: a file from byte 0 (its position left
 * alone), or a block of memory when fd is -1. */
struct JpegInput {
    int fd;
    const unsigned char *data;
    size_t size;
};

/* Bytes of in's data: the file's size, or the block's. */
int64_t inputBytes(const JpegInput &in)
{
    struct stat st;
    if (in.fd < 0) {
        return static_cast<int64_t>(in.size);
    }
    return fstat(in.fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

struct FileSource {
    jpeg_source_mgr pub; /* libjpeg's record, first */
    int fd;
    off_t offset;   /* of the next byte to read */
    JOCTET *buffer; /* kSourceBytes, in the decompressor's pool */
};

void sourceInit(j_decompress_ptr) {}

void sourceTerm(j_decompress_ptr) {}

boolean sourceFill(j_decompress_ptr cinfo)
{
    auto *src = reinterpret_cast<FileSource *>(cinfo->src);
    size_t got = readAt(src->fd, src->buffer, kSourceBytes, src->offset);
    if (got == 0) {
        /* As libjpeg's own sources do: warn, and end the data with EOI. */
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
    } else {
        src->offset += static_cast<off_t>(got);
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = got;
    return TRUE;
}

void sourceSkip(j_decompress_ptr cinfo, long n)
{
    auto *src = reinterpret_cast<FileSource *>(cinfo->src);
    if (n <= 0) {
        return;
    }
    if (static_cast<size_t>(n) <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += n;
        src->pub.bytes_in_buffer -= static_cast<size_t>(n);
        return;
    }
    src->offset += static_cast<off_t>(static_cast<size_t>(n) - src->pub.bytes_in_buffer);
    src->pub.bytes_in_buffer = 0;
}

void attachSource(j_decompress_ptr cinfo, const JpegInput &in)
{
    if (in.fd < 0) {
        jpeg_mem_src(cinfo, in.data, static_cast<unsigned long>(in.size));
        return;
    }
    auto *src = static_cast<FileSource *>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(FileSource)));
    src->buffer = static_cast<JOCTET *>(
        (*cinfo->mem->alloc_large)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kSourceBytes));
    src->pub.init_source = sourceInit;
    src->pub.fill_input_buffer = sourceFill;
    src->pub.skip_input_data = sourceSkip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = sourceTerm;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->fd = in.fd;
    src->offset = 0;
    cinfo->src = &src->pub;
}

/* The first three bytes of a JPEG: SOI and the start of the next marker. */
bool hasSignature(const JpegInput &in)
{
    unsigned char head[3];
    if (in.fd >= 0) {
        if (readAt(in.fd, head, 3, 0) != 3) {
            return false;
        }
    } else {
        if (in.data == nullptr || in.size < 3) {
            return false;
        }
        std::memcpy(head, in.data, 3);
    }
    return head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

/* ---- destination: the file, through writeAt ---- */

struct FileDestination {
    jpeg_destination_mgr pub; /* libjpeg's record, first */
    int fd;
    off_t offset;   /* where the next buffer goes */
    JOCTET *buffer; /* kDestBytes, in the compressor's pool */
    bool failed;    /* a write failed: the rest is dropped */
    int error;      /* errno of that write, 0 for a short one */
};

void destWrite(FileDestination *dest, size_t n)
{
    if (!dest->failed && n > 0) {
        errno = 0;
        dest->failed = !writeAt(dest->fd, dest->buffer, n, dest->offset);
        dest->error = dest->failed ? errno : 0;
        dest->offset += static_cast<off_t>(n);
    }
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kDestBytes;
}

void destInit(j_compress_ptr cinfo)
{
    destWrite(reinterpret_cast<FileDestination *>(cinfo->dest), 0);
}

boolean destEmpty(j_compress_ptr cinfo)
{
    destWrite(reinterpret_cast<FileDestination *>(cinfo->dest), kDestBytes);
    return TRUE;
}

void destTerm(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<FileDestination *>(cinfo->dest);
    destWrite(dest, kDestBytes - dest->pub.free_in_buffer);
}

FileDestination *attachDestination(j_compress_ptr cinfo, int fd)
{
    auto *dest = static_cast<FileDestination *>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(FileDestination)));
    dest->buffer = static_cast<JOCTET *>(
        (*cinfo->mem->alloc_large)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kDestBytes));
    dest->pub.init_destination = destInit;
    dest->pub.empty_output_buffer = destEmpty;
    dest->pub.term_destination = destTerm;
    dest->fd = fd;
    dest->offset = 0;
    dest->failed = false;
    dest->error = 0;
    cinfo->dest = &dest->pub;
    return dest;
}

/* ---- the header ---- */

/* The text of a comment segment, cut to size - 1 bytes (and so at its
 * first zero byte). */
void commentText(const jpeg_saved_marker_ptr marker, char *text, size_t size)
{
    size_t n = std::min(static_cast<size_t>(marker->data_length), size - 1);
    std::memcpy(text, marker->data, n);
    text[n] = '\0';
}

/* The first comment that is a georeference comment sets the map id and
 * georeference; the comment after it, when there is one, is the
 * description. */
void readComments(j_decompress_ptr cinfo, ImageDesc *desc)
{
    char text[kCommentBytes];
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        if (m->marker != JPEG_COM) {
            continue;
        }
        commentText(m, text, sizeof text);
        if (!parseGeoComment(desc, text)) {
            continue;
        }
        for (jpeg_saved_marker_ptr next = m->next; next != nullptr; next = next->next) {
            if (next->marker == JPEG_COM) {
                commentText(next, desc->imgdes, sizeof desc->imgdes);
                break;
            }
        }
        return;
    }
}

/*
 * readHeader --
 *	Reads the header of in into desc: one band per component of bytes, the
 *	quality 90 as block, GRID with the unit georeference unless a comment
 *	gives one. *buffered gets the bytes of the decoder's whole-image
 *	coefficient buffers (a multi-scan file's), 0 for a file decoded row by
 *	row, and *blocks the coefficient blocks of all its components. Answers false, after libjpeg's message, when libjpeg cannot read
 *	the header. libjpeg's errors jump back here: no C++ object.
 */
bool readHeader(const JpegInput *in, ImageDesc *desc, int64_t *buffered, int64_t *blocks)
{
    jpeg_decompress_struct cinfo{};
    JpegError err;
    cinfo.err = jpegInitError(&err, nullptr);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    attachSource(&cinfo, *in);
    jpeg_read_header(&cinfo, TRUE);
    desc->pixel = PIX_BYTE;
    desc->imgid = IMG_JPEG;
    desc->mapid = kMapGrid;
    desc->offset = 0;
    desc->top = desc->left = 0;
    desc->bits = 8;
    desc->rows = static_cast<int32_t>(cinfo.image_height);
    desc->columns = static_cast<int32_t>(cinfo.image_width);
    desc->nbands = cinfo.num_components;
    desc->block = kQuality;
    desc->msbf = hostMsbFirst();
    desc->nindices = 0;
    desc->x0 = desc->y0 = 0;
    desc->dx = desc->dy = 1;
    desc->transparent = -1;
    desc->colourMode = 1;
    readComments(&cinfo, desc);
    *buffered = 0;
    *blocks = 0;
    for (int i = 0; i < cinfo.num_components; i++) {
        *blocks += static_cast<int64_t>(cinfo.comp_info[i].width_in_blocks) * cinfo.comp_info[i].height_in_blocks;
    }
    for (int i = 0; jpeg_has_multiple_scans(&cinfo) && i < cinfo.num_components; i++) {
        const jpeg_component_info &c = cinfo.comp_info[i];
        const int64_t across = (static_cast<int64_t>(c.width_in_blocks) + c.h_samp_factor - 1) / c.h_samp_factor;
        const int64_t down = (static_cast<int64_t>(c.height_in_blocks) + c.v_samp_factor - 1) / c.v_samp_factor;
        *buffered += across * c.h_samp_factor * down * c.v_samp_factor * DCTSIZE2 * static_cast<int64_t>(sizeof(JCOEF));
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

/* ---- decoding ---- */

/* One run of the decoder over the scanlines first .. last - 1 of the data
 * in (rows scanlines: the file, or a part of it made of restart segments):
 * scanline r band b goes to targets[r * nbands + b], or nowhere when that
 * is NULL. */
struct DecodeJob {
    JpegInput in;
    unsigned char *const *targets;
    int32_t rows, columns, nbands;
    int32_t first, last;
    int32_t base;               /* the image row of scanline 0 (a part's first) */
    unsigned char *scratch;     /* kBatch lines of columns * nbands bytes */
    bool holds;                 /* one of several threads: its message waits in held */
    char held[JMSG_LENGTH_MAX]; /* the first message held, "" for none */
    int32_t done;               /* scanlines delivered: first .. done - 1 */
    int64_t memory;             /* libjpeg's max_memory_to_use, at least 1 */
    bool mismatch;              /* the data are not of rows x columns x nbands */
    int scanLimit;              /* a JpegScanLimit: why the scan watch ended the decode */
    bool raw;                   /* decodeRaw took the job: workers converted the colours */
    bool ok;
};

/* The start of a job's run, before its setjmp: job's results cleared and
 * err made ready; answers the error record for cinfo.err. */
jpeg_error_mgr *beginJob(DecodeJob *job, JpegError *err)
{
    job->held[0] = '\0';
    job->ok = false;
    job->mismatch = false;
    job->scanLimit = JPEG_SCANS_OK;
    job->raw = false;
    job->done = job->first;
    return jpegInitError(err, job->holds ? job->held : nullptr);
}

/* After the setjmp: creates the decompressor and reads the header of job's
 * data; false, with job->mismatch, when its size or components are not the
 * job's. libjpeg's errors jump back to the caller's setjmp. */
bool readJobHeader(j_decompress_ptr cinfo, DecodeJob *job, JpegScanWatch *watch)
{
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = static_cast<long>(job->memory);
    jpegWatchScans(cinfo, watch, inputBytes(job->in), &job->scanLimit);
    attachSource(cinfo, job->in);
    jpeg_read_header(cinfo, TRUE);
    jpeg_calc_output_dimensions(cinfo);
    job->mismatch = static_cast<int64_t>(cinfo->output_width) != job->columns ||
                    static_cast<int64_t>(cinfo->output_height) != job->rows || cinfo->output_components != job->nbands;
    return !job->mismatch;
}

/*
 * decodeRows --
 *	Runs one decode job (see DecodeJob): reads the header, starts the
 *	decompressor, skips to the first scanline and delivers scanlines up to
 *	the last. Sets job->ok when all were delivered. libjpeg's errors jump
 *	back here: no C++ object.
 */
void decodeRows(DecodeJob *job)
{
    jpeg_decompress_struct cinfo{};
    JpegError err;
    JpegScanWatch watch;
    cinfo.err = beginJob(job, &err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    if (!readJobHeader(&cinfo, job, &watch)) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    jpeg_start_decompress(&cinfo);
    if (job->first > 0) {
        jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(job->first));
    }
    const int nbands = job->nbands;
    const int64_t lineBytes = static_cast<int64_t>(job->columns) * nbands;
    JSAMPROW lines[kBatch];
    while (static_cast<int32_t>(cinfo.output_scanline) < job->last) {
        const int32_t r = static_cast<int32_t>(cinfo.output_scanline);
        const int n = std::min(kBatch, job->last - r);
        for (int i = 0; i < n; i++) {
            unsigned char *target = nbands == 1 ? job->targets[r + i] : nullptr;
            lines[i] = target != nullptr ? target : job->scratch + i * lineBytes;
        }
        int got = static_cast<int>(jpeg_read_scanlines(&cinfo, lines, static_cast<JDIMENSION>(n)));
        if (got <= 0) {
            jpeg_destroy_decompress(&cinfo);  // no data source of ours suspends
            return;
        }
        if (nbands > 1) {
            for (int i = 0; i < got; i++) {
                splitPixelLine(lines[i], job->columns, nbands, 1, job->targets + static_cast<int64_t>(r + i) * nbands);
            }
        }
        job->done = r + got;
    }
    if (job->last == job->rows) {
        jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    job->ok = true;
}

/*
 * decodeRaw --
 *	Runs the decode job of a whole image (see DecodeJob) with the colour
 *	conversion and band split on pipe's workers: this thread only reads
 *	libjpeg's raw YCbCr rows and hands them over. Sets job->raw once the
 *	workers run or libjpeg fails, and job->ok when every row was converted
 *	(job->done counts those that were). Leaves job->raw false, having delivered
 *	nothing, when the file's colours are not of a kind the workers make
 *	(see yccShapeOf) or no worker starts. libjpeg's errors jump back here:
 *	no C++ object.
 */
void decodeRaw(DecodeJob *job, YccPipe *pipe)
{
    jpeg_decompress_struct cinfo{};
    JpegError err;
    JpegScanWatch watch;
    YccShape shape{};
    cinfo.err = beginJob(job, &err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        job->done = pipe->finish(false);
        job->raw = true;  // the error is said: the job is not run again
        return;
    }
    if (!readJobHeader(&cinfo, job, &watch) || !yccShapeOf(&cinfo, &shape) || !pipe->start(shape)) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    job->raw = true;
    cinfo.raw_data_out = TRUE;
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        if (jpeg_read_raw_data(&cinfo, pipe->next(), static_cast<JDIMENSION>(cinfo.max_v_samp_factor * DCTSIZE)) == 0) {
            jpeg_destroy_decompress(&cinfo);  // no data source of ours suspends
            job->done = pipe->finish(false);
            return;
        }
    }
    job->done = pipe->finish(true);  // every row decoded: what follows the scan cannot take them back
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    job->ok = job->done == job->rows;
}

/* ---- restart segments: parts of one scan decoded apart ---- */

/* Bytes of the cache of every row of every band (one byte a sample). */
int64_t cacheBytes(const ImageDesc &desc)
{
    return static_cast<int64_t>(desc.rows) * desc.columns * desc.nbands;
}


/* Where the restart segments of a baseline file lie: a file whose single
 * scan restarts at whole rows of MCUs can be decoded in parts, each a
 * small JPEG of its own (see partStream). */
struct ScanLayout {
    size_t heightAt = 0;  /* offset of the frame header's 16-bit height */
    size_t dataAt = 0;    /* first byte of entropy-coded data */
    std::vector<std::pair<size_t, size_t>> segments;  /* each segment's data: begin, end */
    int32_t segmentRows = 0;                          /* image rows of a segment */
};

uint32_t bigEndian16(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

/*
 * restartLayout --
 *	Reads the markers of data (a whole JPEG) up to its scan and finds the
 *	scan's restart segments. Answers true for a baseline or extended
 *	Huffman file of desc's size and bands with one scan of every
 *	component, whose restart interval is a whole number of MCU rows and
 *	whose segments are all there, ended by EOI; false for anything else
 *	(such files are decoded in one piece, which reports their faults).
 */
bool restartLayout(const unsigned char *data, size_t size, const ImageDesc &desc, ScanLayout *layout)
{
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return false;
    }
    uint32_t restart = 0, width = 0, height = 0, components = 0, hMax = 1, vMax = 1;
    size_t at = 2;
    while (layout->dataAt == 0) {
        while (at < size && data[at] == 0xFF) {
            at++;  // the marker's 0xFF and fill bytes
        }
        if (at + 3 > size || data[at - 1] != 0xFF) {
            return false;
        }
        const unsigned marker = data[at];
        const size_t begin = at + 1, length = bigEndian16(data + begin);
        if (length < 2 || begin + length > size) {
            return false;
        }
        const unsigned char *segment = data + begin;
        if (marker == 0xC0 || marker == 0xC1) {
            if (length < 8 || segment[2] != 8) {
                return false;
            }
            layout->heightAt = begin + 3;
            height = bigEndian16(segment + 3);
            width = bigEndian16(segment + 5);
            components = segment[7];
            if (length < 8 + 3 * components) {
                return false;
            }
            for (uint32_t i = 0; i < components; i++) {
                hMax = std::max<uint32_t>(hMax, segment[9 + 3 * i] >> 4);
                vMax = std::max<uint32_t>(vMax, segment[9 + 3 * i] & 15);
            }
        } else if ((marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) ||
                   marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) {
            return false;  // progressive, lossless, arithmetic coding, or no frame header yet
        } else if (marker == 0xDD && length >= 4) {
            restart = bigEndian16(segment + 2);
        } else if (marker == 0xDA) {
            if (layout->heightAt == 0 || segment[2] != components) {
                return false;
            }
            layout->dataAt = begin + length;
        }
        at = begin + length;
    }
    if (restart == 0 || height != static_cast<uint32_t>(desc.rows) || width != static_cast<uint32_t>(desc.columns) ||
        components != static_cast<uint32_t>(desc.nbands)) {
        return false;
    }
    /* A one-component scan has MCUs of one block, whatever its sampling. */
    const uint32_t mcuColumns = components == 1 ? 8 : 8 * hMax, mcuRows = components == 1 ? 8 : 8 * vMax;
    const uint32_t mcusPerRow = (width + mcuColumns - 1) / mcuColumns;
    if (restart % mcusPerRow != 0) {
        return false;
    }
    layout->segmentRows = static_cast<int32_t>(restart / mcusPerRow * mcuRows);
    const size_t expected = (height + layout->segmentRows - 1) / layout->segmentRows;
    size_t begin = layout->dataAt;
    for (at = begin; at + 1 < size;) {
        const auto *ff = static_cast<const unsigned char *>(std::memchr(data + at, 0xFF, size - at - 1));
        if (ff == nullptr) {
            return false;
        }
        at = static_cast<size_t>(ff - data);
        const unsigned next = data[at + 1];
        if (next == 0x00 || next == 0xFF) {
            at += next == 0x00 ? 2 : 1;  // a stuffed byte, or fill before a marker
            continue;
        }
        if (next == 0xD9 || (next >= 0xD0 && next <= 0xD7)) {
            layout->segments.emplace_back(begin, at);
            begin = at + 2;
            if (next == 0xD9) {
                return layout->segments.size() == expected;
            }
            if (layout->segments.size() >= expected) {
                return false;
            }
            at = begin;
            continue;
        }
        return false;  // another scan, or a marker a part could not carry
    }
    return false;
}

/* A JPEG of segments a .. b - 1 of data: the headers with the part's
 * height, the segments' data with their restart markers numbered from 0,
 * and EOI. */
std::vector<unsigned char> partStream(const unsigned char *data, const ScanLayout &layout, size_t a, size_t b,
                                      int32_t rows)
{
    size_t bytes = layout.dataAt + 2 * (b - a) + 2;
    for (size_t k = a; k < b; k++) {
        bytes += layout.segments[k].second - layout.segments[k].first;
    }
    std::vector<unsigned char> part;
    part.reserve(bytes);
    part.insert(part.end(), data, data + layout.dataAt);
    part[layout.heightAt] = static_cast<unsigned char>(rows >> 8);
    part[layout.heightAt + 1] = static_cast<unsigned char>(rows & 0xFF);
    for (size_t k = a; k < b; k++) {
        part.insert(part.end(), data + layout.segments[k].first, data + layout.segments[k].second);
        if (k + 1 < b) {
            part.push_back(0xFF);
            part.push_back(static_cast<unsigned char>(0xD0 + ((k - a) & 7)));
        }
    }
    part.push_back(0xFF);
    part.push_back(0xD9);
    return part;
}

/* The whole compressed data of in: a copy of the file, or the memory
 * itself (copy left empty); false when the file does not read whole. */
bool wholeInput(const JpegInput &in, std::vector<unsigned char> *copy, const unsigned char **data, size_t *size)
{
    if (in.fd < 0) {
        *data = in.data;
        *size = in.size;
        return true;
    }
    struct stat st;
    if (fstat(in.fd, &st) != 0 || st.st_size <= 0) {
        return false;
    }
    copy->resize(static_cast<size_t>(st.st_size));
    if (readAt(in.fd, copy->data(), copy->size(), 0) != copy->size()) {
        return false;
    }
    *data = copy->data();
    *size = copy->size();
    return true;
}

/* Large images: parts for the threads to decode when the file restarts at
 * whole MCU rows (each part's own segments, plus one on each side for the
 * rows that upsampling reads across its edges); otherwise none, and one
 * decoder reads the file in one pass. Each part is a job's input; the
 * caller fills in the rest. */
std::vector<std::vector<unsigned char>> planParts(const ImageDesc &desc, const JpegInput &in, int threads,
                                                  std::vector<DecodeJob> *jobs)
{
    std::vector<std::vector<unsigned char>> parts;
    if (threads < 2 || cacheBytes(desc) < kThreadedBytes) {
        return parts;
    }
    try {
        std::vector<unsigned char> copy;
        const unsigned char *data = nullptr;
        size_t size = 0;
        ScanLayout layout;
        if (!wholeInput(in, &copy, &data, &size) || !restartLayout(data, size, desc, &layout)) {
            return parts;
        }
        const size_t segments = layout.segments.size();
        const size_t count = std::min<size_t>(static_cast<size_t>(threads), segments / 4);
        if (count < 2) {
            return parts;
        }
        jobs->resize(count);
        for (size_t k = 0; k < count; k++) {
            const size_t s0 = segments * k / count, s1 = segments * (k + 1) / count;
            const size_t a = s0 == 0 ? 0 : s0 - 1, b = std::min(s1 + 1, segments);
            const int32_t base = static_cast<int32_t>(a) * layout.segmentRows;
            const int32_t end = std::min<int32_t>(static_cast<int32_t>(b) * layout.segmentRows, desc.rows);
            DecodeJob &job = (*jobs)[k];
            job.base = base;
            job.rows = end - base;
            job.first = static_cast<int32_t>(s0) * layout.segmentRows - base;
            job.last = std::min<int32_t>(static_cast<int32_t>(s1) * layout.segmentRows, desc.rows) - base;
            parts.push_back(partStream(data, layout, a, b, job.rows));
        }
    } catch (const std::bad_alloc &) {
        parts.clear();
    }
    if (parts.empty()) {
        jobs->clear();
    }
    return parts;
}

/* The data a decode reads: the attached copy, else the file. */
JpegInput inputOf(const RamImage *image)
{
    if (image->attachedData != nullptr) {
        return {-1, image->attachedData, static_cast<size_t>(image->attachedSize)};
    }
    return {image->fd, nullptr, 0};
}

/* Whether the cache keeps its copy of a row rather than decode it: a
 * changed row (dirty), or with held set any row it holds. */
bool keepsRow(const RamImage *image, int32_t row, int band, bool held)
{
    int32_t key = row * image->desc.nbands + band;
    int slot = key % image->slotCount;
    if (image->slotMap[slot] != key) {
        return false;
    }
    return held || ((image->dirtyBits[slot >> 3] >> (slot & 7)) & 1) != 0;
}

/* After a decode failed before it began: the rows the cache holds read as
 * zeros, but for the changed ones (with held set, for all it holds). */
void zeroRows(RamImage *image, bool held)
{
    for (int slot = 0; slot < image->slotCount && !held; slot++) {
        bool dirty = ((image->dirtyBits[slot >> 3] >> (slot & 7)) & 1) != 0;
        if (image->slotMap[slot] >= 0 && !dirty) {
            std::memset(image->buffers + static_cast<int64_t>(slot) * image->rowBytes, 0,
                        static_cast<size_t>(image->rowBytes));
        }
    }
}

bool isJpegImage(const RamImage *image)
{
    const ImageDesc &desc = image->desc;
    return desc.imgid == IMG_JPEG && desc.pixel == PIX_BYTE && desc.rows >= 1 && desc.columns >= 1 &&
           desc.nbands >= 1 && desc.nbands <= MAX_COMPONENTS && image->rowBytes == desc.columns;
}

/* ---- encoding ---- */

/* One run of the encoder: rows come from the image's cache (every row held)
 * or, without an image, are zero. */
struct EncodeJob {
    int fd;
    const ImageDesc *desc;
    RamImage *image; /* NULL: a new file of zero rows */
    int quality;     /* 1 .. 100 */
    int components;
    J_COLOR_SPACE space;
    unsigned char *line; /* columns * components bytes */
    bool writeFailed;
    int writeError; /* with writeFailed: errno of the failed write, 0 for a short one */
};

/* The colour space of a band count; false for more than libjpeg takes. */
bool spaceOf(int nbands, J_COLOR_SPACE *space)
{
    switch (nbands) {
    case 1: *space = JCS_GRAYSCALE; return true;
    case 3: *space = JCS_RGB; return true;
    case 4: *space = JCS_CMYK; return true;
    default: *space = JCS_UNKNOWN; return nbands >= 1 && nbands <= MAX_COMPONENTS;
    }
}

/*
 * encodeImage --
 *	Writes the whole JPEG of job from byte 0 of its file: the georeference
 *	comment and the description (each with its terminating zero), then
 *	every row, bands interleaved. Answers false, after libjpeg's message or
 *	with job->writeFailed, when the file was not written whole. libjpeg's
 *	errors jump back here: no C++ object.
 */
bool encodeImage(EncodeJob *job)
{
    jpeg_compress_struct cinfo{};
    JpegError err;
    cinfo.err = jpegInitError(&err, nullptr);
    job->writeFailed = false;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    FileDestination *dest = attachDestination(&cinfo, job->fd);
    const ImageDesc &desc = *job->desc;
    cinfo.image_width = static_cast<JDIMENSION>(desc.columns);
    cinfo.image_height = static_cast<JDIMENSION>(desc.rows);
    cinfo.input_components = job->components;
    cinfo.in_color_space = job->space;
    jpeg_set_defaults(&cinfo);
    if (job->space == JCS_CMYK || job->space == JCS_UNKNOWN) {
        jpeg_set_colorspace(&cinfo, job->space);  // stored as given, not converted
    }
    jpeg_set_quality(&cinfo, job->quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    char text[kCommentBytes];
    int n = formatGeoComment(&desc, text, sizeof text);
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(text),
                      static_cast<unsigned>(std::min(n, kCommentBytes)));
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(desc.imgdes),
                      static_cast<unsigned>(strnlen(desc.imgdes, sizeof desc.imgdes - 1) + 1));

    const int components = job->components;
    for (int32_t r = 0; r < desc.rows && !dest->failed; r++) {
        JSAMPROW row = job->line;
        if (job->image != nullptr && components == 1) {
            row = job->image->loadRow(job->image, r, 0, 1);
        } else if (job->image != nullptr) {
            const unsigned char *bands[MAX_COMPONENTS];
            for (int b = 0; b < components; b++) {
                bands[b] = job->image->loadRow(job->image, r, b, 1);
            }
            mergePixelLine(bands, desc.columns, components, 1, job->line);
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    if (dest->failed) {
        job->writeFailed = true;
        job->writeError = dest->error;
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_finish_compress(&cinfo);
    job->writeFailed = dest->failed;
    job->writeError = dest->error;
    jpeg_destroy_compress(&cinfo);
    return !job->writeFailed;
}

/* Set while a write-back runs: reading rows must not start another. */
bool rewriting = false;

const char *jpegRules(ImageDesc *desc)
{
    return imageRulesByteBands(desc, "Illegal bands for a JPEG image.");
}

}  // namespace

/*
 * jpegDetect --
 *	Takes a file that starts with 0xFF 0xD8 0xFF and whose header libjpeg
 *	reads (see readHeader). Answers IMG_JPEG with desc filled, or 0
 *	without the signature; kDetectRefused for a header that libjpeg (after
 *	its message) or the store refuses, so that the next format is asked
 *	but the file is never taken for an unknown one; -1 (reported) for a
 *	file too short for its picture or a picture beyond the memory budget.
 *	The file position is left alone.
 */
int jpegDetect(int fd, const char *fileName, ImageDesc *desc, void **)
{
    JpegInput in{fd, nullptr, 0};
    if (!hasSignature(in)) {
        return 0;
    }
    ImageDesc found = *desc;
    int64_t buffered = 0, blocks = 0;
    if (!readHeader(&in, &found, &buffered, &blocks)) {
        return kDetectRefused;  // libjpeg's message said why
    }
    std::string why;
    if (!imgDescCheck(&found, &why)) {
        tesk_fprintf(stderr, "Error in readJPEG: %s: %s\n", fileName, why.c_str());
        return kDetectRefused;
    }
    /* Every block of a component is coded in a bit at least (its DC
     * coefficient has no runs), so a file shorter than that holds a
     * fraction of its picture; its buffers are not made for it. */
    const int64_t bytes = inputBytes(in);
    if (bytes < (blocks + 7) / 8) {
        tesk_fprintf(stderr, "Error in readJPEG: %s has %lld bytes, too few for the %lld blocks of its picture\n",
                     fileName, static_cast<long long>(bytes), static_cast<long long>(blocks));
        return -1;
    }
    if (!imageBudgetAllows(cacheBytes(found) + buffered + kDecoderWork, "readJPEG")) {
        return -1;
    }
    *desc = found;
    return IMG_JPEG;
}

/*
 * jpegWriteWhole --
 *	Writes a new JPEG of desc's rows and columns, every pixel 0, at
 *	quality 90, with the georeference and description comments. Fewer than
 *	two bands give a grey file, more an RGB one; desc then describes the
 *	file (bands, bytes, no palette, block 90). Answers 0, or -1 (reported).
 */
int jpegWriteWhole(int fd, ImageDesc *desc)
{
    if (desc->rows < 1 || desc->columns < 1 || desc->rows > JPEG_MAX_DIMENSION || desc->columns > JPEG_MAX_DIMENSION) {
        tesk_fprintf(stderr, "Error in writeJPEG: invalid image size\n");
        return -1;
    }
    desc->nbands = desc->nbands < 2 ? 1 : 3;
    desc->pixel = PIX_BYTE;
    desc->bits = 8;
    desc->msbf = 0;
    desc->nindices = 0;
    desc->offset = 0;
    desc->block = kQuality;
    desc->colourMode = 1;
    std::vector<unsigned char> line(static_cast<size_t>(desc->columns) * desc->nbands);
    EncodeJob job{fd,          desc, nullptr, kQuality, desc->nbands, desc->nbands == 1 ? JCS_GRAYSCALE : JCS_RGB,
                  line.data(), false, 0};
    if (!encodeImage(&job)) {
        tesk_fprintf(stderr, "%s\n", withReason(std::string("Error in writeJPEG: ") + desc->file, job.writeError).c_str());
        return -1;
    }
    return 0;
}

/*
 * decodeImage --
 *	Decodes the image's file, or its attached data, into the cache: sizes
 *	the cache to every row, claims the slot of every row of every band
 *	that the cache does not keep (see keepsRow: a changed row is newer
 *	than the file) and fills it. A large file with restart markers at
 *	whole MCU rows is decoded by several threads, each over a part of its
 *	segments; any other file in one pass, a large YCbCr one (see
 *	yccShapeOf) with workers converting its colours. Answers 1 when every claimed row
 *	was filled; 0 (reported) when memory runs short, the data are no JPEG
 *	of the image's size and bands, or libjpeg fails (rows not reached are
 *	zero).
 */
static int decodeImage(RamImage *image, bool keepHeld)
{
    const ImageDesc &desc = image->desc;
    if (!isJpegImage(image) || (image->fd < 0 && image->attachedData == nullptr)) {
        tesk_fprintf(stderr, "Error in readJPEG: not a JPEG image\n");
        zeroRows(image, keepHeld);
        return 0;
    }
    const int64_t slots = static_cast<int64_t>(desc.rows) * desc.nbands;
    if (image->slotCount < slots && (rewriting || setRAMImageBuf(image, desc.rows) != desc.rows)) {
        tesk_fprintf(stderr, "Error of malloc in readJPEG.\n");
        zeroRows(image, keepHeld);
        return 0;
    }
    std::vector<unsigned char *> targets(static_cast<size_t>(slots));
    bool any = false;
    for (int32_t r = 0; r < desc.rows; r++) {
        for (int b = 0; b < desc.nbands; b++) {
            if (!keepsRow(image, r, b, keepHeld)) {
                targets[static_cast<size_t>(r) * desc.nbands + b] = ramImageFillRow(image, r, b);
                any = true;
            }
        }
    }
    if (!any) {
        return 1;
    }
    JpegInput in = inputOf(image);
    if (!hasSignature(in)) {
        tesk_fprintf(stderr, "not a jpeg file...\n");
        for (unsigned char *target : targets) {
            if (target != nullptr) {
                std::memset(target, 0, static_cast<size_t>(desc.columns));
            }
        }
        return 0;
    }

    /* Restart segments of a large file go to threads in parts; any other
     * file is read by one decoder in one pass, a large colour one with
     * workers converting its colours behind it where they can. */
    const int threads = workerThreads(4);
    std::vector<DecodeJob> jobs;
    std::vector<std::vector<unsigned char>> parts = planParts(desc, in, threads, &jobs);
    if (parts.empty()) {
        jobs.resize(1);
        jobs[0].base = 0;
        jobs[0].rows = desc.rows;
        jobs[0].first = 0;
        jobs[0].last = desc.rows;
    }
    const int count = static_cast<int>(jobs.size());
    std::vector<std::vector<unsigned char>> scratch(static_cast<size_t>(count));
    for (int k = 0; k < count; k++) {
        DecodeJob &job = jobs[static_cast<size_t>(k)];
        scratch[static_cast<size_t>(k)].resize(static_cast<size_t>(kBatch) * desc.columns * desc.nbands);
        job.in = parts.empty() ? in : JpegInput{-1, parts[static_cast<size_t>(k)].data(), parts[static_cast<size_t>(k)].size()};
        job.targets = targets.data() + static_cast<int64_t>(job.base) * desc.nbands;
        job.columns = desc.columns;
        job.nbands = desc.nbands;
        job.scratch = scratch[static_cast<size_t>(k)].data();
        job.holds = count > 1;  // only the Tcl thread prints
        job.memory = std::max<int64_t>(imageMemoryBudget() - cacheBytes(desc), 1);
    }
    if (count == 1 && threads > 1 && desc.nbands == 3 && cacheBytes(desc) >= kThreadedBytes) {
        YccPipe pipe(targets.data(), threads - 1);
        decodeRaw(&jobs[0], &pipe);
    }
    std::vector<std::thread> workers;
    int started = 1;
    try {
        for (; started < count; started++) {
            workers.emplace_back(decodeRows, &jobs[static_cast<size_t>(started)]);
        }
    } catch (...) {
        /* No thread to be had: the Tcl thread runs the rest itself. */
    }
    if (!jobs[0].raw) {
        decodeRows(&jobs[0]);
    }
    for (std::thread &worker : workers) {
        worker.join();
    }
    for (int k = started; k < count; k++) {
        decodeRows(&jobs[static_cast<size_t>(k)]);
    }

    bool ok = true;
    for (int k = 0; k < count; k++) {
        DecodeJob &job = jobs[static_cast<size_t>(k)];
        /* Threads that met the same trouble say it once. */
        bool said = false;
        for (int i = 0; i < k && !said; i++) {
            said = std::strcmp(job.held, jobs[static_cast<size_t>(i)].held) == 0;
        }
        if (job.held[0] != '\0' && !said) {
            tesk_fprintf(stderr, "%s\n", job.held);
        }
        if (job.ok) {
            continue;
        }
        ok = false;
        if (job.scanLimit != JPEG_SCANS_OK) {
            tesk_fprintf(stderr, "Error in readJPEG: %s has %s\n", desc.file, jpegScanLimitText(job.scanLimit));
        }
        if (job.mismatch && (k == 0 || !jobs[0].mismatch)) {
            tesk_fprintf(stderr, "Error in readJPEG: %s does not hold %d rows of %d columns of %d bands\n", desc.file,
                         desc.rows, desc.columns, desc.nbands);
        }
        for (int64_t i = static_cast<int64_t>(job.done) * desc.nbands; i < static_cast<int64_t>(job.last) * desc.nbands;
             i++) {
            if (job.targets[i] != nullptr) {
                std::memset(job.targets[i], 0, static_cast<size_t>(desc.columns));
            }
        }
    }
    return ok ? 1 : 0;
}

/*
 * readJPEG --
 *	The decoder of the row cache (see decodeImage): every row but those
 *	changed before the first read.
 */
int readJPEG(RamImage *image)
{
    return decodeImage(image, false);
}

/*
 * jpegRewrite --
 *	Encodes the image's cached rows (decoding those it does not hold
 *	first) at the quality in its block (90 below 0, 100 above 100) into a
 *	new file beside its file (the old file's permission bits), renamed over
 *	the old one once whole: one grey band, RGB for three, CMYK for four,
 *	other counts as they are. The image then reads the new file: its cache
 *	is emptied, so that the next read decodes what was written. An image
 *	opened read-only is not rewritten. Answers 1, or 0 (reported) with the
 *	old file untouched.
 */
int jpegRewrite(RamImage *image)
{
    if (rewriting || image->fd < 0) {
        return 0;
    }
    const ImageDesc &desc = image->desc;
    J_COLOR_SPACE space = JCS_UNKNOWN;
    if (!isJpegImage(image) || !spaceOf(desc.nbands, &space)) {
        ramImageWriteFailed(image, "Error in writeJPEG: not a JPEG image");
        return 0;
    }
    int mode = fcntl(image->fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) {
        ramImageWriteFailed(image, std::string("Error in writeJPEG: ") + desc.file + " is open read-only");
        return 0;
    }
    if (image->slotCount < static_cast<int64_t>(desc.rows) * desc.nbands) {
        ramImageWriteFailed(image, std::string("Error in writeJPEG: the cache of ") + desc.file + " does not hold every row");
        return 0;
    }
    rewriting = true;
    bool whole = decodeImage(image, true) != 0;  // the rows it holds are the newest
    rewriting = false;
    if (!whole) {
        ramImageWriteFailed(image, std::string("Error in writeJPEG: cannot read the rows of ") + desc.file);
        return 0;
    }
    FileReplacement file;
    if (!replaceBegin(&file, desc.file)) {
        ramImageWriteFailed(image, withReplaceReason("Error in writeJPEG: ", desc.file, errno));
        return 0;
    }
    int quality = desc.block < 0 ? kQuality : std::min(desc.block, 100);
    std::vector<unsigned char> line(static_cast<size_t>(desc.columns) * desc.nbands);
    EncodeJob job{file.fd, &desc, image, quality, desc.nbands, space, line.data(), false, 0};
    rewriting = true;
    bool ok = encodeImage(&job);
    rewriting = false;
    int error = job.writeError;
    if (ok) {
        errno = 0;
        ok = replaceCommit(&file);
        error = errno;
    }
    if (!ok) {
        replaceAbandon(&file);
        ramImageWriteFailed(image, withReplaceReason("Error in writeJPEG: ", desc.file, error));
        return 0;
    }
    close(image->fd);
    image->fd = file.fd;
    ramImageResetCache(image);
    return 1;
}

constexpr ImageType jpegTypes[1] = {
    {.imgid = IMG_JPEG,
     .name = "JPEG",
     .format = "JPEG",
     .layout = Layout::Whole,
     .blockIsLine = false,
     .cacheRows = -1,
     .rules = jpegRules,
     .detect = jpegDetect,
     .area = NewArea::Whole,
     .whole = jpegWriteWhole,
     .decode = readJPEG,
     .rewrite = jpegRewrite,
     .rewriteReplaces = true,
     .decodeFillsRows = true,
     .dumpDepths = DUMP_8BITS | DUMP_24BITS,
     .dumpDepthError = "Illegal bits for JPEG file.\n",
     .dumpsWithoutPalette = true,
     .readsFromMemory = true},
};
