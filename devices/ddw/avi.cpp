/*
 * avi.cpp --
 *
 *	RIFF AVI reader of the ddw widget's video (avi.h): the header list
 *	(avih, and strh/strf of the first video stream), the frame list from
 *	idx1 or a walk of movi, and the decoding of uncompressed and
 *	Motion-JPEG frames into pixels of blue, green, red and a spare byte.
 */
#include "devices/ddw/avi.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <new>
#include "imagestore/formats/jpegerror.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr int kMaxSide = 16384;
constexpr uint32_t kMaxHeaderList = 1 << 20; /* bytes of hdrl read */
constexpr int64_t kMaxFrames = 1 << 22;
constexpr double kMaxFrameTime = 60.0;        /* seconds a frame may last */
constexpr int kPicturesHeld = 3;              /* the picture, the spare and the window's image */

constexpr uint32_t fourcc(const char (&s)[5])
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

bool fail(std::string *why, const char *text)
{
    *why = text;
    return false;
}

/* The header list's fields of the first video stream. */
struct Headers {
    bool haveMain = false;
    int stream = -1; /* number of the first vids stream */
    uint32_t scale = 0, rate = 0;
    bool haveFormat = false;
};

/* Reads strf's BITMAPINFOHEADER and palette (n bytes at p). */
bool readFormat(const unsigned char *p, uint32_t n, AviFile *file, std::string *why)
{
    if (n < 40) {
        return fail(why, "short stream format");
    }
    uint32_t headerSize = getU32(p);
    int32_t width = getI32(p + 4);
    int32_t height = getI32(p + 8);
    int bits = getU16(p + 14);
    uint32_t compression = getU32(p + 16);
    uint32_t used = getU32(p + 32);
    if (width < 1 || width > kMaxSide || height == 0 || height < -kMaxSide || height > kMaxSide) {
        return fail(why, "bad picture size");
    }
    file->width = width;
    file->height = height < 0 ? -height : height;
    file->bottomUp = height > 0;
    if (compression == fourcc("MJPG")) {
        file->mjpeg = true;
        file->bits = 24;
        file->bottomUp = false;
    } else if (compression == 0 && (bits == 8 || bits == 24 || bits == 32)) {
        file->bits = bits;
    } else {
        return fail(why, "unsupported compression or bit count");
    }
    if (bits == 8 && !file->mjpeg) {
        uint32_t count = used == 0 ? 256 : std::min<uint32_t>(used, 256);
        if (headerSize < 40 || headerSize > n) {
            return fail(why, "bad stream format size");
        }
        count = std::min<uint32_t>(count, (n - headerSize) / 4);
        for (uint32_t i = 0; i < count; i++) {
            const unsigned char *q = p + headerSize + 4 * i;
            file->palette[i][0] = q[2];
            file->palette[i][1] = q[1];
            file->palette[i][2] = q[0];
        }
        file->paletteCount = static_cast<int>(count);
    }
    return true;
}

/* Walks the chunks of list data (n bytes at p): avih, the strl lists. */
bool readHeaderList(const unsigned char *p, uint32_t n, AviFile *file, Headers *h, std::string *why)
{
    int streamNumber = 0;
    for (uint32_t at = 0; at + 8 <= n;) {
        uint32_t id = getU32(p + at);
        uint32_t size = getU32(p + at + 4);
        if (size > n - at - 8) {
            return fail(why, "chunk beyond its list");
        }
        const unsigned char *data = p + at + 8;
        if (id == fourcc("avih") && size >= 40) {
            h->haveMain = true;
        } else if (id == fourcc("LIST") && size >= 4 && getU32(data) == fourcc("strl")) {
            bool video = false;
            for (uint32_t s = 4; s + 8 <= size;) {
                uint32_t sid = getU32(data + s);
                uint32_t ssize = getU32(data + s + 4);
                if (ssize > size - s - 8) {
                    return fail(why, "chunk beyond its list");
                }
                const unsigned char *sdata = data + s + 8;
                if (sid == fourcc("strh") && ssize >= 48) {
                    video = getU32(sdata) == fourcc("vids") && h->stream < 0;
                    if (video) {
                        h->stream = streamNumber;
                        h->scale = getU32(sdata + 20);
                        h->rate = getU32(sdata + 24);
                    }
                } else if (sid == fourcc("strf") && video) {
                    if (!readFormat(sdata, ssize, file, why)) {
                        return false;
                    }
                    h->haveFormat = true;
                }
                s += 8 + ssize + (ssize & 1);
            }
            streamNumber++;
        }
        at += 8 + size + (size & 1);
    }
    return true;
}

/* Whether id names a video frame chunk of stream ("NNdb" or "NNdc"). */
bool isFrameChunk(uint32_t id, int stream)
{
    char digits[3] = {static_cast<char>('0' + stream / 10 % 10), static_cast<char>('0' + stream % 10), 0};
    if ((id & 0xFF) != static_cast<unsigned char>(digits[0]) || ((id >> 8) & 0xFF) != static_cast<unsigned char>(digits[1])) {
        return false;
    }
    uint32_t kind = id >> 16;
    return kind == (fourcc("00db") >> 16) || kind == (fourcc("00dc") >> 16);
}

/* Frames from idx1 (offsets from the movi fourcc, or absolute). */
bool framesFromIndex(AviFile *file, int stream, int64_t indexAt, uint32_t indexSize, int64_t moviAt)
{
    std::vector<unsigned char> index(indexSize);
    if (!readAllAt(file->fd, index.data(), indexSize, indexAt)) {
        return false;
    }
    int64_t base = -1;
    std::vector<AviFrameRef> frames;
    for (uint32_t at = 0; at + 16 <= indexSize; at += 16) {
        uint32_t id = getU32(index.data() + at);
        if (!isFrameChunk(id, stream)) {
            continue;
        }
        int64_t offset = getU32(index.data() + at + 8);
        uint32_t size = getU32(index.data() + at + 12);
        if (base < 0) {
            unsigned char head[4];
            base = readAllAt(file->fd, head, 4, moviAt + offset) && getU32(head) == id ? moviAt : 0;
        }
        int64_t data = base + offset + 8;
        if (data < 0 || data + size > file->fileSize || static_cast<int64_t>(frames.size()) >= kMaxFrames) {
            return false;
        }
        frames.push_back({data, size});
    }
    file->frames.swap(frames);
    return !file->frames.empty();
}

/* Frames by walking the chunks of movi (and its rec lists). */
void framesByWalk(AviFile *file, int stream, int64_t from, int64_t end)
{
    unsigned char head[12];
    for (int64_t at = from; at + 8 <= end && static_cast<int64_t>(file->frames.size()) < kMaxFrames;) {
        if (!readAllAt(file->fd, head, 12, at)) {
            return;
        }
        uint32_t id = getU32(head);
        uint32_t size = getU32(head + 4);
        if (id == fourcc("LIST")) {
            at += 12; /* into the rec list */
            continue;
        }
        if (at + 8 + static_cast<int64_t>(size) > end) {
            return;
        }
        if (isFrameChunk(id, stream)) {
            file->frames.push_back({at + 8, size});
        }
        at += 8 + static_cast<int64_t>(size) + (size & 1);
    }
}

/* ---- decoding ---- */

void ensurePixels(AviPicture *picture, int width, int height, bool indexed)
{
    std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    picture->width = width;
    picture->height = height;
    picture->pixels.resize(4 * n);
    picture->index.resize(indexed ? n : 0);
}

/* Decodes the uncompressed picture data into out, whose pixels (and
 * indices for 8 bits) are of the file's picture already. */
bool decodeRaw(const AviFile &file, const std::vector<unsigned char> &data, AviPicture *out)
{
    std::size_t stride = (static_cast<std::size_t>(file.width) * static_cast<std::size_t>(file.bits) + 31) / 32 * 4;
    if (data.size() < stride * static_cast<std::size_t>(file.height)) {
        return false;
    }
    int step = file.bits / 8;
    unsigned char colours[256][4] = {};
    for (int i = 0; i < 256; i++) {
        colours[i][0] = file.palette[i][2];
        colours[i][1] = file.palette[i][1];
        colours[i][2] = file.palette[i][0];
    }
    for (int y = 0; y < file.height; y++) {
        const unsigned char *in = data.data() + stride * static_cast<std::size_t>(file.bottomUp ? file.height - 1 - y : y);
        std::size_t o = static_cast<std::size_t>(y) * static_cast<std::size_t>(file.width);
        unsigned char *pixel = &out->pixels[4 * o];
        if (step == 1) {
            std::memcpy(&out->index[o], in, static_cast<std::size_t>(file.width));
        }
        for (int x = 0; x < file.width; x++, pixel += 4, in += step) {
            if (step == 1) {
                std::memcpy(pixel, colours[*in], 4);
            } else {
                pixel[0] = in[0];
                pixel[1] = in[1];
                pixel[2] = in[2];
                pixel[3] = 0;
            }
        }
    }
    return true;
}

/* Decodes the JPEG picture of frame n, data, into out, whose pixels are
 * of the file's picture already (a plain function: setjmp); *ended, kept
 * by the caller across the jump, says why the scan watch ended it. A picture of
 * another size is refused before the decoder allocates for it; the scans
 * are bounded as the JPEG reader's are, in libjpeg's memory of the
 * budget. */
bool decodeJpeg(const AviFile &file, int n, const std::vector<unsigned char> &data, AviPicture *out, int *ended)
{
    jpeg_decompress_struct cinfo{}; /* zeroed: destroying it is safe before it is made */
    JpegError err;
    JpegScanWatch watch;
    cinfo.err = jpegInitError(&err, nullptr);
    /* The jump is set before libjpeg can fail: making the decompressor
     * allocates, and its failure jumps here. */
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (*ended != JPEG_SCANS_OK) {
            tesk_fprintf(stderr, "Error in video frame %d: %s\n", n, jpegScanLimitText(*ended));
        }
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = static_cast<long>(imageMemoryBudget());
    jpegWatchScans(&cinfo, &watch, static_cast<int64_t>(data.size()), ended);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<int64_t>(cinfo.image_width) != file.width || static_cast<int64_t>(cinfo.image_height) != file.height) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGRX;
    cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    if (static_cast<int>(cinfo.output_width) != file.width || static_cast<int>(cinfo.output_height) != file.height ||
        cinfo.output_components != 4) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    std::size_t pitch = 4 * static_cast<std::size_t>(file.width);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[16];
        JDIMENSION first = cinfo.output_scanline;
        JDIMENSION count = std::min<JDIMENSION>(16, cinfo.output_height - first);
        for (JDIMENSION i = 0; i < count; i++) {
            rows[i] = &out->pixels[pitch * (first + i)];
        }
        jpeg_read_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

bool aviOpen(const char *fileName, AviFile *file, std::string *why)
{
    *file = AviFile();
    file->fd = openRegularFile(fileName);
    struct stat st;
    if (file->fd < 0 || fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        aviClose(file);
        return fail(why, "cannot open the file");
    }
    file->fileSize = st.st_size;
    unsigned char head[12];
    if (!readAllAt(file->fd, head, 12, 0) || getU32(head) != fourcc("RIFF") || getU32(head + 8) != fourcc("AVI ")) {
        aviClose(file);
        return fail(why, "not a RIFF AVI file");
    }
    int64_t end = std::min<int64_t>(8 + static_cast<int64_t>(getU32(head + 4)), file->fileSize);
    Headers h;
    int64_t moviAt = -1, moviEnd = -1, indexAt = -1;
    uint32_t indexSize = 0;
    bool ok = true;
    for (int64_t at = 12; ok && at + 8 <= end;) {
        if (!readAllAt(file->fd, head, 12, at)) {
            break;
        }
        uint32_t id = getU32(head);
        uint32_t size = getU32(head + 4);
        int64_t next = at + 8 + static_cast<int64_t>(size) + (size & 1);
        uint32_t listType = getU32(head + 8);
        if (id == fourcc("LIST") && listType == fourcc("hdrl")) {
            if (size < 4 || size > kMaxHeaderList || at + 8 + size > end) {
                ok = fail(why, "bad header list");
                break;
            }
            std::vector<unsigned char> list(size - 4);
            ok = readAllAt(file->fd, list.data(), list.size(), at + 12) &&
                 readHeaderList(list.data(), static_cast<uint32_t>(list.size()), file, &h, why);
        } else if (id == fourcc("LIST") && listType == fourcc("movi")) {
            moviAt = at + 8;
            moviEnd = std::min(next, end);
        } else if (id == fourcc("idx1") && at + 8 + size <= end) {
            indexAt = at + 8;
            indexSize = size;
        }
        at = next;
    }
    if (ok && (!h.haveMain || h.stream < 0 || !h.haveFormat)) {
        ok = fail(why, "no video stream");
    }
    if (ok && (h.scale == 0 || h.rate == 0 || static_cast<double>(h.scale) / h.rate > kMaxFrameTime)) {
        ok = fail(why, "bad frame rate");
    }
    if (ok && !imageBudgetAllows(int64_t{kPicturesHeld} * 4 * file->width * file->height, "open video stream")) {
        ok = fail(why, "picture beyond the memory budget");
    }
    if (ok && moviAt < 0) {
        ok = fail(why, "no movi list");
    }
    if (ok) {
        file->frameTime = static_cast<double>(h.scale) / h.rate;
        if (indexAt < 0 || !framesFromIndex(file, h.stream, indexAt, indexSize, moviAt)) {
            file->frames.clear();
            framesByWalk(file, h.stream, moviAt + 4, moviEnd);
        }
        if (file->frames.empty()) {
            ok = fail(why, "no frames");
        }
    }
    if (!ok) {
        aviClose(file);
    }
    return ok;
}

void aviClose(AviFile *file)
{
    if (file->fd >= 0) {
        close(file->fd);
        file->fd = -1;
    }
}

bool aviDecode(AviFile &file, int n, AviPicture *picture)
{
    if (n < 0 || n >= static_cast<int>(file.frames.size()) || file.frames[n].size == 0 ||
        !imageBudgetAllows(file.frames[n].size, "video frame")) {
        return false;
    }
    std::vector<unsigned char> &data = file.buffer;
    try {
        data.resize(file.frames[n].size);
        ensurePixels(&file.spare, file.width, file.height, !file.mjpeg && file.bits == 8);
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error of malloc in video frame %d.\n", n);
        return false;
    }
    if (!readAllAt(file.fd, data.data(), data.size(), file.frames[n].offset)) {
        return false;
    }
    int ended = JPEG_SCANS_OK;
    if (!(file.mjpeg ? decodeJpeg(file, n, data, &file.spare, &ended) : decodeRaw(file, data, &file.spare))) {
        return false;
    }
    std::swap(*picture, file.spare);
    return true;
}
