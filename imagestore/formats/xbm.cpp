/*
 * xbm.cpp --
 *
 *	X bitmap text files (1 bit per pixel, first pixel of a byte in its
 *	least significant bit): detection of the "_width" and "_height"
 *	defines, the whole text of a new file, the loader that decodes the
 *	byte array into the row cache at first use, and the write-back that
 *	writes the text again from the cache through a temporary file; the
 *	XBM row of the image-type table.
 */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "tesk_stdio.h"

namespace {

constexpr size_t kDetectBytes = 4095;  // of the text that detection examines
constexpr int kMapGrid = 1;
constexpr int64_t kMaxBitmapBytes = INT32_MAX;

int32_t rowBytesOf(int32_t columns)
{
    return static_cast<int32_t>((static_cast<int64_t>(columns) + 7) / 8);
}

/* The byte with its bits in the other order (cache rows whose descriptor
 * says most significant bit first). */
unsigned char reversedBits(unsigned char b)
{
    b = static_cast<unsigned char>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<unsigned char>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<unsigned char>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

/* The number that follows name in text, as "%d" reads it; false when there
 * is no such name or no number after it. */
bool numberAfter(const char *text, const char *name, long *value)
{
    const char *at = std::strstr(text, name);
    if (at == nullptr) {
        return false;
    }
    at += std::strlen(name);
    char *end = nullptr;
    errno = 0;
    *value = std::strtol(at, &end, 10);
    return end != at && errno == 0;
}

/* Writes text to a file from a given offset, collecting it in a buffer;
 * the first failure is remembered and later writes are skipped. */
class TextSink {
public:
    TextSink(int fd, off_t offset) : fd_(fd), offset_(offset) {}

    void put(const char *text, size_t n)
    {
        buffer_.append(text, n);
        if (buffer_.size() >= 65536) {
            drain();
        }
    }

    /* Writes what is buffered; false once any write failed. */
    bool drain()
    {
        errno = 0;
        if (ok_ && writeAt(fd_, buffer_.data(), buffer_.size(), offset_)) {
            offset_ += static_cast<off_t>(buffer_.size());
        } else if (ok_) {
            ok_ = false;
            error_ = errno;
        }
        buffer_.clear();
        return ok_;
    }

    off_t end() const { return offset_; }
    /* errno of the write that failed, 0 for a short one. */
    int error() const { return error_; }

private:
    int fd_;
    off_t offset_;
    std::string buffer_;
    bool ok_ = true;
    int error_ = 0;
};

/*
 * writeBitmapText --
 *	Writes the whole X bitmap text of a rows x columns bitmap from byte 0:
 *	the defines, then every byte as " 0x%02x," (a line feed after every
 *	12th of them) and the last one as " 0x%02x};". rowAt(r) gives row r's
 *	bytes in file order, or NULL to fail. Truncates the file after the
 *	text. Answers true when everything was written, else false with
 *	errno telling why (EIO for a row that could not be read).
 */
template <typename RowSource>
bool writeBitmapText(int fd, int32_t rows, int32_t columns, RowSource rowAt)
{
    TextSink sink(fd, 0);
    char text[128];
    int n =
        std::snprintf(text, sizeof text, "#define xbmp_width %d\n#define xbmp_height %d\nstatic char xbmp_bits[] = {\n",
                      columns, rows);
    sink.put(text, static_cast<size_t>(n));
    int32_t block = rowBytesOf(columns);
    int64_t total = static_cast<int64_t>(rows) * block;
    int64_t index = 0;
    for (int32_t r = 0; r < rows; r++) {
        const unsigned char *row = rowAt(r);
        if (row == nullptr) {
            errno = EIO;
            return false;
        }
        for (int32_t i = 0; i < block; i++, index++) {
            if (index == total - 1) {
                n = std::snprintf(text, sizeof text, " 0x%02x};", row[i]);
            } else {
                n = std::snprintf(text, sizeof text, (index + 1) % 12 == 0 ? " 0x%02x,\n" : " 0x%02x,", row[i]);
            }
            sink.put(text, static_cast<size_t>(n));
        }
    }
    if (!sink.drain()) {
        errno = sink.error();
        return false;
    }
    int rc;
    do {
        rc = ftruncate(fd, sink.end());
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

/* Reads a file from byte 0 in chunks through readAt (the file position is
 * left alone). */
class ChunkReader {
public:
    explicit ChunkReader(int fd) : fd_(fd) {}

    int next()
    {
        if (at_ == length_) {
            size_t got = readAt(fd_, buffer_, sizeof buffer_, offset_);
            if (got == 0) {
                return -1;
            }
            offset_ += static_cast<off_t>(got);
            length_ = got;
            at_ = 0;
        }
        return buffer_[at_++];
    }

private:
    int fd_;
    unsigned char buffer_[65536];
    size_t length_ = 0, at_ = 0;
    off_t offset_ = 0;
};

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

/* The byte a number of the array stands for: a C integer literal from
 * -128 to 255. */
bool byteOfNumber(const std::string &token, unsigned char *out)
{
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(token.c_str(), &end, 0);
    if (end == token.c_str() || *end != '\0' || errno != 0 || value < -128 || value > 255) {
        return false;
    }
    *out = static_cast<unsigned char>(value);
    return true;
}

bool isBitmapImage(const RamImage *image)
{
    const ImageDesc &desc = image->desc;
    return desc.pixel == PIX_1BIT && desc.nbands == 1 && desc.rows >= 1 && desc.columns >= 1 &&
           image->rowBytes == rowBytesOf(desc.columns);
}

/* Set while a write-back runs: reading rows must not start another. */
bool rewriting = false;

}  // namespace

/*
 * xbmDetect --
 *	Looks for "_width" and "_height" followed by numbers in the first
 *	4,095 bytes of the file (up to a zero byte). Answers IMG_XBMP with desc
 *	filled (one band, white for 0 and black for 1), or 0 when the defines
 *	are missing. Defines that give no usable size, a bitmap the file is
 *	too short to hold or that exceeds the store's bounds or the memory
 *	budget answer kDetectRefused (reported): a bitmap is read as one or
 *	not at all. The file position is left alone.
 */
int xbmDetect(int fd, const char *fileName, ImageDesc *desc, void **)
{
    char text[kDetectBytes + 1];
    size_t got = readAt(fd, text, kDetectBytes, 0);
    if (got == 0) {
        return 0;
    }
    text[got] = '\0';
    long width = 0, height = 0;
    if (!numberAfter(text, "_width", &width) || !numberAfter(text, "_height", &height)) {
        return 0;
    }
    auto refuse = [&](const char *why) {
        tesk_fprintf(stderr, "Error in readXBMP: %s: a bitmap of %ld x %ld %s\n", fileName != nullptr ? fileName : "",
                     width, height, why);
        return kDetectRefused;
    };
    struct stat st;
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
        return refuse("has no usable size");
    }
    if (fstat(fd, &st) != 0) {
        return refuse("cannot be measured against its file");
    }
    /* Every byte of the array takes at least one character of the text;
     * the cache holds them all. */
    int64_t bytes = static_cast<int64_t>(height) * rowBytesOf(static_cast<int32_t>(width));
    if (bytes > kMaxBitmapBytes) {
        return refuse("is more than the store holds");
    }
    if (bytes > st.st_size) {
        return refuse("is more than its file can hold");
    }
    if (!imageBudgetAllows(bytes, "readXBMP")) {
        return kDetectRefused;
    }
    ImageDesc found = *desc;
    found.imgid = IMG_XBMP;
    found.mapid = kMapGrid;
    found.pixel = PIX_1BIT;
    found.bits = 1;
    found.top = found.left = 0;
    found.rows = static_cast<int32_t>(height);
    found.columns = static_cast<int32_t>(width);
    found.nbands = 1;
    found.msbf = 0;
    found.block = rowBytesOf(found.columns);
    found.offset = 0;
    found.x0 = found.y0 = 0;
    found.dx = found.dy = 1;
    found.nindices = 2;
    found.palette[0][0] = found.palette[0][1] = found.palette[0][2] = 255;
    found.palette[1][0] = found.palette[1][1] = found.palette[1][2] = 0;
    found.transparent = -1;
    if (!imgDescCheck(&found, nullptr)) {
        return refuse("is refused");
    }
    *desc = found;
    return IMG_XBMP;
}

/*
 * xbmWriteWhole --
 *	Writes the text of a new X bitmap with every pixel 0 and makes desc
 *	describe it (one band of 1-bit pixels, no header). Answers 0, or -1
 *	(reported) for an unusable size or a failed write.
 */
int xbmWriteWhole(int fd, ImageDesc *desc)
{
    if (desc->rows < 1 || desc->columns < 1 ||
        static_cast<int64_t>(desc->rows) * rowBytesOf(desc->columns) > kMaxBitmapBytes) {
        tesk_fprintf(stderr, "Error in writeXBMP: invalid image size\n");
        return -1;
    }
    desc->nbands = 1;
    desc->pixel = PIX_1BIT;
    desc->bits = 1;
    desc->block = rowBytesOf(desc->columns);
    desc->offset = 0;
    std::string zeros(static_cast<size_t>(desc->block), '\0');
    const auto *row = reinterpret_cast<const unsigned char *>(zeros.data());
    if (!writeBitmapText(fd, desc->rows, desc->columns, [row](int32_t) { return row; })) {
        tesk_fprintf(stderr, "Error in writeXBMP: cannot write the file\n");
        return -1;
    }
    return 0;
}

/*
 * readXBMP --
 *	Decodes the byte array of the image's X bitmap text into its cache:
 *	sizes the cache to every row and fills each row with zeros, then reads
 *	the numbers after the first '{' (decimal, hexadecimal with 0x),
 *	separated by commas and ended by '}', (columns + 7) / 8 of them per row,
 *	in the bit order of desc.msbf. Answers 1 when every row was filled;
 *	0 (reported) when the array ends first or holds something that is not
 *	a byte value, the rows read so far being kept.
 */
int readXBMP(RamImage *image)
{
    if (!isBitmapImage(image) || image->fd < 0) {
        tesk_fprintf(stderr, "Error in readXBMP: not an X bitmap image\n");
        return 0;
    }
    const ImageDesc &desc = image->desc;
    if (setRAMImageBuf(image, desc.rows) != desc.rows) {
        tesk_fprintf(stderr, "Error in readXBMP: not enough memory for the bitmap\n");
        return 0;
    }
    const int32_t rowBytes = image->rowBytes;
    for (int32_t r = 0; r < desc.rows; r++) {
        std::memset(ramImageFillRow(image, r, 0), 0, static_cast<size_t>(rowBytes));
    }
    int64_t total = static_cast<int64_t>(desc.rows) * rowBytes;
    int32_t row = 0, at = 0;
    unsigned char *line = ramImageFillRow(image, 0, 0);

    ChunkReader reader(image->fd);
    int c = reader.next();
    while (c >= 0 && c != '{') {
        c = reader.next();
    }
    bool reverse = desc.msbf != 0;
    int64_t filled = 0;
    std::string token;
    bool bad = false;
    while (filled < total && c >= 0) {
        c = reader.next();
        if (c >= 0 && isSpace(c)) {
            continue;
        }
        if (c >= 0 && c != ',' && c != '}') {
            token.push_back(static_cast<char>(c));
            if (token.size() > 32) {
                bad = true;
                break;
            }
            continue;
        }
        /* A comma, the closing brace or the end of the text ends a number;
         * only a comma may not follow an empty one. */
        if (token.empty()) {
            if (c == ',') {
                bad = true;
                break;
            }
            break;
        }
        unsigned char value;
        if (!byteOfNumber(token, &value)) {
            bad = true;
            break;
        }
        line[at++] = reverse ? reversedBits(value) : value;
        if (++filled < total && at == rowBytes) {
            line = ramImageFillRow(image, ++row, 0);
            at = 0;
        }
        token.clear();
        if (c == '}') {
            break;
        }
    }
    if (filled == total) {
        return 1;
    }
    if (bad) {
        tesk_fprintf(stderr, "Error in readXBMP: invalid number in the bitmap data\n");
    } else {
        tesk_fprintf(stderr, "Error in readXBMP: the bitmap data ends after %lld of %lld bytes\n",
                     static_cast<long long>(filled), static_cast<long long>(total));
    }
    return 0;
}

/*
 * xbmRewrite --
 *	Writes the image's X bitmap text again from its cached rows into a new
 *	file beside it (the old file's permission bits), which then replaces
 *	the old file by rename; the image's descriptor moves to the new file
 *	and its dirty bits are cleared. An image opened read-only is not
 *	rewritten. Answers 1, or 0 (reported) with the old file untouched.
 */
int xbmRewrite(RamImage *image)
{
    if (rewriting) {
        return 0;
    }
    if (!isBitmapImage(image) || image->fd < 0) {
        ramImageWriteFailed(image, "Error in writeXBMP: not an X bitmap image");
        return 0;
    }
    int mode = fcntl(image->fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) {
        ramImageWriteFailed(image, std::string("Error in writeXBMP: ") + image->desc.file + " is open read-only");
        return 0;
    }
    FileReplacement file;
    if (!replaceBegin(&file, image->desc.file)) {
        ramImageWriteFailed(image, withReplaceReason("Error in writeXBMP: ", image->desc.file, errno));
        return 0;
    }

    rewriting = true;
    bool reverse = image->desc.msbf != 0;
    std::string flipped;
    bool ok = writeBitmapText(file.fd, image->desc.rows, image->desc.columns, [&](int32_t r) -> const unsigned char * {
        const unsigned char *row = image->loadRow(image, r, 0, 1);
        if (row == nullptr || !reverse) {
            return row;
        }
        flipped.assign(reinterpret_cast<const char *>(row), static_cast<size_t>(image->rowBytes));
        for (char &b : flipped) {
            b = static_cast<char>(reversedBits(static_cast<unsigned char>(b)));
        }
        return reinterpret_cast<const unsigned char *>(flipped.data());
    });
    rewriting = false;
    int error = errno;
    if (ok) {
        errno = 0;
        ok = replaceCommit(&file);
        error = errno;
    } else {
        replaceAbandon(&file);
    }
    if (!ok) {
        ramImageWriteFailed(image, withReplaceReason("Error in writeXBMP: ", image->desc.file, error));
        return 0;
    }
    int fd = file.fd;
    close(image->fd);
    image->fd = fd;
    ramImageMarkClean(image);
    return 1;
}

constexpr ImageType xbmTypes[1] = {
    {.imgid = IMG_XBMP,
     .name = "XBMP",
     .format = "XBM",
     .layout = Layout::Whole,
     .detect = xbmDetect,
     .area = NewArea::Whole,
     .whole = xbmWriteWhole,
     .decode = readXBMP,
     .rewrite = xbmRewrite,
     .rewriteReplaces = true,
     .dumpDepths = DUMP_1BIT,
     .dumpRecode = DumpRecode::XBitmap,
     .dumpDepthError = "Illegal bits for XBMP file.\n",
     .holdsGeoreference = false},
};
