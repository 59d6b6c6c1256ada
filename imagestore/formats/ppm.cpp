/*
 * ppm.cpp --
 *
 *	Binary portable pixmaps ("P6", 3 bands) and graymaps ("P5", 1 band)
 *	with 8-bit samples: detection of the text header and the header of a
 *	new file. The rows are pixel-interleaved lines right after the header,
 *	which the row cache reads and writes; the PPM row of the image-type
 *	table with its descriptor rules.
 */
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "tesk_stdio.h"

namespace {

constexpr size_t kMaxHeaderText = 32;     // the four tokens and their separating blanks
constexpr off_t kMaxHeaderBytes = 65536;  // comments included
constexpr int kMapGrid = 1;

/* Hands out the bytes of a file from byte 0, one at a time, through a small
 * buffer filled with readAt (the file position is left alone). */
class ByteSource {
public:
    explicit ByteSource(int fd) : fd_(fd) {}

    /* The next byte, or -1 at the end of the file (or of what we read). */
    int next()
    {
        if (at_ == length_) {
            if (offset_ >= kMaxHeaderBytes) {
                return -1;
            }
            size_t got = readAt(fd_, buffer_, sizeof buffer_, offset_);
            if (got == 0) {
                return -1;
            }
            offset_ += static_cast<off_t>(got);
            length_ = got;
            at_ = 0;
        }
        consumed_++;
        return buffer_[at_++];
    }

    /* Bytes handed out so far. */
    off_t consumed() const { return consumed_; }

private:
    int fd_;
    unsigned char buffer_[512];
    size_t length_ = 0, at_ = 0;
    off_t offset_ = 0, consumed_ = 0;
};

/* The decimal value of a token of digits only, or -1. */
int64_t tokenNumber(std::string_view token)
{
    if (token.empty() || token.size() > 10) {
        return -1;
    }
    int64_t value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

int refuse(const char *reason)
{
    tesk_fprintf(stderr, "Error in PPM header: %s\n", reason);
    return -1;
}

}  // namespace

/*
 * ppmDetect --
 *	Reads the header's four tokens (magic, width, height, maximum value):
 *	blanks and line feeds separate them, a '#' at the start of a line
 *	starts a comment that runs to the end of the line, and the tokens with
 *	one blank between them take at most 32 characters. The pixel data
 *	begins right after the separator that ends the maximum value. Answers
 *	IMG_PPM with desc filled; 0 when the header does not have that form;
 *	-1 (reported) for a maximum value above 255, an empty image or pixel
 *	data beyond the end of the file. The file position is left alone.
 */
int ppmDetect(int fd, const char *, ImageDesc *desc, void **)
{
    ByteSource source(fd);
    std::string text;                 // the tokens, one blank between them
    size_t starts[4] = {0, 0, 0, 0};  // where each token begins in text
    int tokens = 0;
    bool lineStart = true;  // nothing but the line feed before us on this line
    while (tokens < 4) {
        int c = source.next();
        if (c < 0) {
            break;
        }
        if (c == ' ') {
            lineStart = false;
            continue;
        }
        if (c == '\n') {
            lineStart = true;
            continue;
        }
        if (c == '#' && lineStart) {
            while (c >= 0 && c != '\n') {
                c = source.next();
            }
            continue;
        }
        if (tokens > 0) {
            text.push_back(' ');
        }
        starts[tokens] = text.size();
        lineStart = false;
        while (c >= 0 && c != ' ' && c != '\n') {
            text.push_back(static_cast<char>(c));
            if (text.size() > kMaxHeaderText) {
                return 0;
            }
            c = source.next();
        }
        lineStart = c == '\n';
        tokens++;
    }
    if (tokens != 4) {
        return 0;
    }
    std::string_view view(text);
    std::string_view magic = view.substr(0, starts[1] - 1);
    int64_t width = tokenNumber(view.substr(starts[1], starts[2] - 1 - starts[1]));
    int64_t height = tokenNumber(view.substr(starts[2], starts[3] - 1 - starts[2]));
    int64_t maxValue = tokenNumber(view.substr(starts[3]));
    int bands = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    if (bands == 0 || width < 0 || height < 0 || maxValue < 0) {
        return 0;
    }
    if (maxValue > 255) {
        tesk_fprintf(stderr, "Error in PPM header: maximum value %d is above 255\n",
                     static_cast<int>(maxValue > INT32_MAX ? INT32_MAX : maxValue));
        return -1;
    }
    if (width < 1 || height < 1) {
        return refuse("width and height must be at least 1");
    }
    if (width > INT32_MAX / 2 / bands || height > INT32_MAX) {
        return refuse("image too large");
    }
    struct stat st;
    int64_t offset = source.consumed();
    int64_t block = width * bands;
    if (fstat(fd, &st) != 0 || (st.st_size - offset) / block < height) {
        return refuse("pixel data beyond the end of the file");
    }

    ImageDesc found = *desc;
    found.pixel = PIX_BYTE;
    found.mapid = kMapGrid;
    found.imgid = IMG_PPM;
    found.bits = 8;
    found.rows = static_cast<int32_t>(height);
    found.columns = static_cast<int32_t>(width);
    found.nbands = bands;
    found.offset = static_cast<int32_t>(offset);
    found.block = static_cast<int32_t>(block);
    found.nindices = 0;
    found.transparent = -1;
    found.msbf = 0;
    found.top = found.left = 0;
    found.x0 = found.y0 = 0;
    found.dx = found.dy = 1;
    std::string why;
    if (!imgDescCheck(&found, &why)) {
        return refuse(why.c_str());
    }
    *desc = found;
    return IMG_PPM;
}

/*
 * ppmWriteHeader --
 *	Writes the header of a new PPM (2 bands or more, made 3) or PGM (one
 *	band) file at byte 0 and sets desc to the file's layout: bands, header
 *	offset, block, pixel BYTE. The pixel data that follows takes exactly
 *	rows * block bytes. Answers the header's length, or -1 (reported) for
 *	an empty image or a failed write. The file position is left alone.
 */
int ppmWriteHeader(int fd, ImageDesc *desc)
{
    int bands = desc->nbands < 2 ? 1 : 3;
    if (desc->rows < 1 || desc->columns < 1 || desc->columns > INT32_MAX / 2 / bands) {
        tesk_fprintf(stderr, "Error in PPM header: invalid image size\n");
        return -1;
    }
    char text[64];
    int length = std::snprintf(text, sizeof text, bands == 3 ? "P6\n%d %d\n255\n" : "P5\n%d %d\n255\n", desc->columns,
                               desc->rows);
    if (!writeAt(fd, text, static_cast<size_t>(length), 0)) {
        tesk_fprintf(stderr, "Error in PPM header: cannot write the file\n");
        return -1;
    }
    desc->nbands = bands;
    desc->offset = length;
    desc->pixel = PIX_BYTE;
    desc->bits = 8;
    desc->imgid = IMG_PPM;
    desc->block = desc->columns * bands;
    desc->nindices = 0;
    desc->msbf = 0;
    return length;
}

namespace {

int ppmHeader(int fd, int, ImageDesc *desc)
{
    return ppmWriteHeader(fd, desc);
}

const char *ppmRules(ImageDesc *desc)
{
    return imageRulesByteBands(desc, "Illegal bands for a PPM image.");
}

}  // namespace

/* PPM stores its bands pixel-interleaved in one line per row, so a new
 * file's area is block x rows like BIP's. */
constexpr ImageType ppmTypes[1] = {
    {.imgid = IMG_PPM,
     .name = "PPM",
     .format = "PPM",
     .layout = Layout::Pixels,
     .line = LineRule::Pixels,
     .fileLine = LineRule::Pixels,
     .rules = ppmRules,
     .detect = ppmDetect,
     .header = ppmHeader,
     .area = NewArea::Rows,
     .swapsSamples = false,
     .holdsGeoreference = false},
};
