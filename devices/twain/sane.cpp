/*
 * sane.cpp --
 *
 *	SANE devices as sources of the built-in TWAIN manager (sane.h):
 *	libsane.so.1 is loaded with dlopen on first use and called through our
 *	own declarations of the SANE 1 interface. The dialog shows a field per
 *	settable option; a page is read frame by frame (grey, RGB, or the
 *	red, green and blue frames of a three-pass scanner merged), 16-bit
 *	samples reduced to their high byte, 1-bit lines kept as bits, and an
 *	unknown number of lines read to the end; a feeder ends the batch when
 *	it is empty.
 */
#include "devices/twain/sane.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include "devices/twain/source.h"
#include "runtime/budget.h"
#include "runtime/cnumber.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* ---- the SANE 1 interface ---- */

typedef int SANE_Int;
typedef int SANE_Status;
typedef void *SANE_Handle;

enum { SANE_STATUS_GOOD = 0, SANE_STATUS_EOF = 5, SANE_STATUS_NO_DOCS = 7 };
enum { SANE_TYPE_BOOL = 0, SANE_TYPE_INT = 1, SANE_TYPE_FIXED = 2, SANE_TYPE_STRING = 3 };
enum { SANE_ACTION_GET_VALUE = 0, SANE_ACTION_SET_VALUE = 1 };
enum { SANE_CAP_SOFT_SELECT = 1, SANE_CAP_INACTIVE = 32 };
enum { SANE_CONSTRAINT_RANGE = 1, SANE_CONSTRAINT_WORD_LIST = 2 };
enum { SANE_FRAME_GRAY = 0, SANE_FRAME_RGB = 1, SANE_FRAME_RED = 2, SANE_FRAME_GREEN = 3, SANE_FRAME_BLUE = 4 };

struct SaneDevice {
    const char *name, *vendor, *model, *type;
};

struct SaneOptionDescriptor {
    const char *name, *title, *desc;
    int type, unit;
    SANE_Int size, cap;
    int constraintType;
    const void *constraint;
};

struct SaneParameters {
    int format;
    SANE_Int lastFrame, bytesPerLine, pixelsPerLine, lines, depth;
};

struct SaneLibrary {
    bool tried = false;
    void *module = nullptr;
    SANE_Status (*init)(SANE_Int *, void *);
    SANE_Status (*getDevices)(const SaneDevice ***, SANE_Int);
    SANE_Status (*open)(const char *, SANE_Handle *);
    void (*close)(SANE_Handle);
    const SaneOptionDescriptor *(*option)(SANE_Handle, SANE_Int);
    SANE_Status (*control)(SANE_Handle, SANE_Int, int, void *, SANE_Int *);
    SANE_Status (*parameters)(SANE_Handle, SaneParameters *);
    SANE_Status (*start)(SANE_Handle);
    SANE_Status (*read)(SANE_Handle, unsigned char *, SANE_Int, SANE_Int *);
    void (*cancel)(SANE_Handle);
} sane;

template <typename F>
bool bind(F *slot, const char *name)
{
    *slot = reinterpret_cast<F>(dlsym(sane.module, name));
    return *slot != nullptr;
}

bool loadSane()
{
    if (sane.tried) {
        return sane.module != nullptr;
    }
    sane.tried = true;
    sane.module = dlopen("libsane.so.1", RTLD_NOW | RTLD_LOCAL);
    if (sane.module == nullptr) {
        return false;
    }
    SANE_Int version = 0;
    if (!bind(&sane.init, "sane_init") || !bind(&sane.getDevices, "sane_get_devices") ||
        !bind(&sane.open, "sane_open") || !bind(&sane.close, "sane_close") ||
        !bind(&sane.option, "sane_get_option_descriptor") || !bind(&sane.control, "sane_control_option") ||
        !bind(&sane.parameters, "sane_get_parameters") || !bind(&sane.start, "sane_start") ||
        !bind(&sane.read, "sane_read") || !bind(&sane.cancel, "sane_cancel") ||
        sane.init(&version, nullptr) != SANE_STATUS_GOOD) {
        dlclose(sane.module);
        sane.module = nullptr;
        return false;
    }
    return true;
}

/* ---- the open device ---- */

struct Page {
    int width = 0, height = 0, bits = 0; /* bits 1, 8 or 24 */
    TeskDib *dib = nullptr;              /* the transfer, made at the first frame */
    unsigned char *rows = nullptr;       /* its bottom row */
    std::size_t stride = 0;              /* bytes of a row */
};

/* Options read of a device at most, option 0 (their count) included. */
constexpr int kMaxOptions = 1024;
/* Bytes of an option's value at most: a text a dialog field can show. */
constexpr SANE_Int kMaxOptionBytes = 4096;

struct Device {
    SANE_Handle handle = nullptr;
    bool started = false; /* sane_start answered for the pending page */
    int optionCount = 0;  /* options 1 .. optionCount - 1 are read: option 0's value, at most kMaxOptions */
    SaneParameters params = {};
} dev;

/* The number of options of the open device: option 0's value, bounded by
 * kMaxOptions (the bound when option 0 cannot be read; reported when the
 * device announces more). */
int deviceOptionCount()
{
    SANE_Int count = 0;
    const SaneOptionDescriptor *d = sane.option(dev.handle, 0);
    if (d == nullptr || d->type != SANE_TYPE_INT || d->size != static_cast<SANE_Int>(sizeof count) ||
        sane.control(dev.handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) {
        return kMaxOptions;
    }
    if (count > kMaxOptions) {
        tesk_fprintf(stderr, "Error in SANE options: the device announces %d options; the first %d are read.\n",
                     count, kMaxOptions);
        return kMaxOptions;
    }
    return std::max(count, 1);
}

/* The settable, active options of one value (or a string of at most
 * kMaxOptionBytes): their numbers. With report, a settable option left out
 * for its size is told on standard error. */
std::vector<int> settableOptions(bool report = false)
{
    std::vector<int> numbers;
    for (int n = 1; n < dev.optionCount; n++) {
        const SaneOptionDescriptor *d = sane.option(dev.handle, n);
        if (d == nullptr) {
            break;
        }
        bool oneValue = d->type == SANE_TYPE_STRING || d->size == static_cast<SANE_Int>(sizeof(SANE_Int));
        if (d->name == nullptr || d->name[0] == '\0' || d->type > SANE_TYPE_STRING || d->size <= 0 || !oneValue ||
            !(d->cap & SANE_CAP_SOFT_SELECT) || (d->cap & SANE_CAP_INACTIVE)) {
            continue;
        }
        if (d->size > kMaxOptionBytes) {
            if (report) {
                tesk_fprintf(stderr, "Error in SANE option %s: a value of %d bytes, more than %d; left out.\n",
                             d->name, d->size, kMaxOptionBytes);
            }
            continue;
        }
        numbers.push_back(n);
    }
    return numbers;
}

/* A zeroed buffer for a value of option d (one byte more than its size, so
 * that a string ends), empty when d is gone or larger than
 * kMaxOptionBytes: the descriptor is the backend's and is asked afresh. */
std::vector<unsigned char> valueBuffer(const SaneOptionDescriptor *d)
{
    if (d == nullptr || d->size <= 0 || d->size > kMaxOptionBytes) {
        return {};
    }
    return std::vector<unsigned char>(static_cast<std::size_t>(d->size) + 1, 0);
}

/* The first value of option n as text. */
std::string optionText(int n)
{
    const SaneOptionDescriptor *d = sane.option(dev.handle, n);
    std::vector<unsigned char> value = valueBuffer(d);
    if (value.empty() ||
        sane.control(dev.handle, n, SANE_ACTION_GET_VALUE, value.data(), nullptr) != SANE_STATUS_GOOD) {
        return "";
    }
    if (d->type == SANE_TYPE_STRING) {
        return reinterpret_cast<const char *>(value.data());
    }
    SANE_Int word = 0;
    std::memcpy(&word, value.data(), sizeof word);
    if (d->type == SANE_TYPE_FIXED) {
        return cFormat("%g", word / 65536.0);
    }
    return std::to_string(word);
}

std::vector<std::pair<std::string, std::string>> saneFields()
{
    std::vector<std::pair<std::string, std::string>> fields;
    for (int n : settableOptions(true)) {
        fields.emplace_back(sane.option(dev.handle, n)->name, optionText(n));
    }
    return fields;
}

/* The word of text for option d (a bool, an integer or a fixed-point
 * number), rounded to the nearest; false, with why set, when text is no
 * number, not finite, or outside what the option and its type take. */
bool optionWord(const SaneOptionDescriptor *d, const std::string &text, SANE_Int *word, std::string *why)
{
    double number = 0.0;
    if (d->type == SANE_TYPE_BOOL && (text == "yes" || text == "true" || text == "no" || text == "false")) {
        number = text == "yes" || text == "true" ? 1.0 : 0.0;
    } else if (!cWholeNumber(text.c_str(), &number, cAllowNonFinite)) {
        *why = " is not a number";
        return false;
    }
    if (!std::isfinite(number)) {
        *why = " is not a finite number";
        return false;
    }
    double scaled = d->type == SANE_TYPE_FIXED ? number * 65536.0 : number;
    double low = INT32_MIN, high = INT32_MAX;
    if (d->type == SANE_TYPE_BOOL) {
        low = 0.0;
        high = 1.0;
    } else if (d->constraintType == SANE_CONSTRAINT_RANGE && d->constraint != nullptr) {
        const auto *range = static_cast<const SANE_Int *>(d->constraint);
        low = range[0];
        high = range[1];
    } else if (d->constraintType == SANE_CONSTRAINT_WORD_LIST && d->constraint != nullptr) {
        const auto *list = static_cast<const SANE_Int *>(d->constraint);
        for (int i = 1; i <= list[0]; i++) {
            low = i == 1 ? list[i] : std::min(low, static_cast<double>(list[i]));
            high = i == 1 ? list[i] : std::max(high, static_cast<double>(list[i]));
        }
    }
    double rounded = std::round(scaled);
    if (rounded < low || rounded > high) {
        *why = " is out of range";
        return false;
    }
    *word = static_cast<SANE_Int>(rounded);
    return true;
}

/* Sets each option whose field differs from its value, in option order.
 * A change may make other options active, earlier ones too: the list is
 * read again after each pass that changed something, and each option is
 * set once at most. False, with the interpreter's result naming the
 * option, at a value it refuses (the options before stay set). */
bool saneApply(Tcl_Interp *interp)
{
    std::vector<bool> set;
    for (bool changed = true; changed;) {
        changed = false;
        for (int n : settableOptions()) {
            set.resize(std::max(set.size(), static_cast<std::size_t>(n) + 1), false);
            /* An option that an earlier change of this pass made inactive
             * waits for a pass where it is active again. */
            const SaneOptionDescriptor *d = sane.option(dev.handle, n);
            if (d == nullptr || (d->cap & SANE_CAP_INACTIVE)) {
                continue;
            }
            std::string text = scanDialogField(interp, d->name);
            if (set[n] || text.empty() || text == optionText(n)) {
                continue;
            }
            std::vector<unsigned char> value = valueBuffer(sane.option(dev.handle, n));
            std::string why;
            if (value.empty()) {
                why = " is refused: the option's size is out of bounds";
            } else if (d->type == SANE_TYPE_STRING) {
                if (text.size() >= static_cast<std::size_t>(d->size)) {
                    why = " is longer than the option takes";
                }
                std::strncpy(reinterpret_cast<char *>(value.data()), text.c_str(), value.size() - 1);
            } else {
                SANE_Int word = 0;
                if (optionWord(d, text, &word, &why)) {
                    std::memcpy(value.data(), &word, sizeof word);
                }
            }
            /* The device has the last word: a value it refuses is refused
             * as the checks above refuse theirs. */
            if (why.empty() &&
                sane.control(dev.handle, n, SANE_ACTION_SET_VALUE, value.data(), nullptr) != SANE_STATUS_GOOD) {
                why = " is refused by the device";
            }
            if (!why.empty()) {
                Tcl_SetObjResult(interp, Tcl_ObjPrintf("Error in option %s: %s%s.", d->name, text.c_str(), why.c_str()));
                return false;
            }
            set[n] = true;
            changed = true;
        }
    }
    return true;
}

bool saneAutomatic()
{
    return false;
}

/* Starts the pending page unless started; false when the device has none. */
bool startPage()
{
    if (!dev.started) {
        if (sane.start(dev.handle) != SANE_STATUS_GOOD) {
            sane.cancel(dev.handle);
            return false;
        }
        dev.started = true;
    }
    return sane.parameters(dev.handle, &dev.params) == SANE_STATUS_GOOD;
}

/* Whether the device scans from a feeder (its source option names one). */
bool isFeeder()
{
    for (int n : settableOptions()) {
        if (std::strcmp(sane.option(dev.handle, n)->name, "source") == 0) {
            std::string source = optionText(n);
            return source.find("Feeder") != std::string::npos || source.find("ADF") != std::string::npos;
        }
    }
    return false;
}

int saneStart()
{
    return !startPage() ? 0 : isFeeder() ? 0xFFFF : 1;
}

bool saneInfo(TW_IMAGEINFO *info)
{
    if (!startPage()) {
        return false;
    }
    bool colour = dev.params.format != SANE_FRAME_GRAY;
    info->XResolution = info->YResolution = 0;
    info->ImageWidth = dev.params.pixelsPerLine;
    info->ImageLength = dev.params.lines;
    info->SamplesPerPixel = static_cast<TW_INT16>(colour ? 3 : 1);
    info->BitsPerPixel = static_cast<TW_INT16>(dev.params.depth == 1 ? 1 : colour ? 24 : 8);
    return true;
}

/* One read of the started frame into buffer (size bytes): true with *n the
 * bytes read and *end set at the frame's end; false when the backend fails
 * or answers a count it cannot have written. */
bool readChunk(unsigned char *buffer, int size, int *n, bool *end)
{
    SANE_Int got = 0;
    SANE_Status status = sane.read(dev.handle, buffer, size, &got);
    *n = 0;
    *end = status == SANE_STATUS_EOF;
    if (*end) {
        return true;
    }
    if (status != SANE_STATUS_GOOD) {
        return false;
    }
    if (got < 0 || got > size) {
        tesk_fprintf(stderr, "Error in SANE frame: the backend answered %d bytes of %d.\n", got, size);
        return false;
    }
    *n = got;
    return true;
}

/* Reads one frame of unknown length to its end into data, within the
 * image memory budget. */
bool readFrame(std::vector<unsigned char> *data)
{
    unsigned char buffer[65536];
    for (;;) {
        int n = 0;
        bool end = false;
        if (!readChunk(buffer, static_cast<int>(sizeof buffer), &n, &end)) {
            return false;
        }
        if (end) {
            return true;
        }
        if (!imageBudgetAllows(static_cast<int64_t>(data->size()) + n, "SANE frame")) {
            return false;
        }
        try {
            data->insert(data->end(), buffer, buffer + n);
        } catch (const std::bad_alloc &) {
            tesk_fprintf(stderr, "Error of malloc in SANE frame.\n");
            return false;
        }
    }
}

/* Where a 16-bit sample in host order keeps its high byte. */
constexpr int kHighByte = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 1 : 0;

/* Copies count samples of line, from sample first on every step samples
 * (depth 8 or 16: 16 reduced to its high byte), to every outStep-th byte
 * of out. */
void putSamples(const unsigned char *line, int first, int step, int depth, int count, unsigned char *out, int outStep)
{
    if (depth == 16) {
        line += 2 * first + kHighByte;
        for (int x = 0; x < count; x++) {
            out[x * outStep] = line[2 * step * x];
        }
        return;
    }
    line += first;
    for (int x = 0; x < count; x++) {
        out[x * outStep] = line[step * x];
    }
}

void freeDib(TeskDib *dib)
{
    if (dib != nullptr) {
        gmemFree(dib->data);
        gmemFree(dib);
    }
}

/* Writes line y of a frame into the page's rows: RGB samples, one colour
 * of a three-pass scan, or grey samples (bytes or bits). */
void putLine(const SaneParameters &p, const unsigned char *line, Page *page, int y)
{
    unsigned char *row = page->rows + page->stride * static_cast<std::size_t>(page->height - 1 - y);
    if (p.format == SANE_FRAME_RGB && p.depth == 8) {
        for (int x = 0; x < page->width; x++, row += 3, line += 3) {
            row[0] = line[2];
            row[1] = line[1];
            row[2] = line[0];
        }
    } else if (p.format == SANE_FRAME_RGB) {
        for (int c = 0; c < 3; c++) {
            putSamples(line, c, 3, p.depth, page->width, row + 2 - c, 3);
        }
    } else if (p.format != SANE_FRAME_GRAY) {
        putSamples(line, 0, 1, p.depth, page->width, row + 2 - (p.format - SANE_FRAME_RED), 3);
    } else if (p.depth == 1) {
        std::size_t bytes = (static_cast<std::size_t>(page->width) + 7) / 8;
        int last = (page->width - 1) % 8 + 1; /* bits of the last byte in the row */
        std::memcpy(row, line, bytes);
        row[bytes - 1] = static_cast<unsigned char>(row[bytes - 1] & (0xFF00 >> last));
    } else {
        putSamples(line, 0, 1, p.depth, page->width, row, 1);
    }
}

/* Reads a frame to its end, each line into the page's rows as it comes;
 * lines beyond the page's are dropped. False when the device fails or
 * sends fewer lines. */
bool streamFrame(const SaneParameters &p, Page *page)
{
    std::size_t size = static_cast<std::size_t>(p.bytesPerLine);
    std::vector<unsigned char> line(size);
    std::size_t filled = 0; /* bytes of line received */
    int y = 0;
    unsigned char buffer[65536];
    for (;;) {
        int n = 0;
        bool ended = false;
        if (!readChunk(buffer, static_cast<int>(sizeof buffer), &n, &ended)) {
            return false;
        }
        if (ended) {
            return y >= page->height;
        }
        for (const unsigned char *at = buffer, *end = buffer + n; at < end;) {
            const unsigned char *whole = nullptr;
            if (filled == 0 && static_cast<std::size_t>(end - at) >= size) {
                whole = at;
                at += size;
            } else {
                std::size_t take = std::min(size - filled, static_cast<std::size_t>(end - at));
                std::memcpy(line.data() + filled, at, take);
                at += take;
                filled += take;
                if (filled == size) {
                    whole = line.data();
                    filled = 0;
                }
            }
            if (whole != nullptr && y < page->height) {
                putLine(p, whole, page, y++);
            }
        }
    }
}

/* The bytes a line of the frame p describes needs: samples of 16 bits,
 * bits of a 1-bit grey frame, else bytes. */
int64_t lineBytes(const SaneParameters &p)
{
    int64_t samples = static_cast<int64_t>(p.pixelsPerLine) * (p.format == SANE_FRAME_RGB ? 3 : 1);
    if (p.depth == 16) {
        return 2 * samples;
    }
    return p.depth == 1 && p.format == SANE_FRAME_GRAY ? (samples + 7) / 8 : samples;
}

/* Makes the page's transfer for lines of the frame p describes, when it
 * and a line of the frame fit the image memory budget. */
bool makeDib(const SaneParameters &p, int lines, Page *page)
{
    page->width = p.pixelsPerLine;
    page->height = lines;
    page->bits = p.format == SANE_FRAME_GRAY ? (p.depth == 1 ? 1 : 8) : 24;
    const int64_t stride = (static_cast<int64_t>(page->width) * page->bits + 31) / 32 * 4;
    if (lines < 1 || !imageBudgetAllows(stride * lines + p.bytesPerLine, "SANE frame")) {
        return false;
    }
    page->dib = dibNew(page->width, page->height, page->bits, true, &page->rows, &page->stride);
    return page->dib != nullptr;
}

/* Whether a frame of p can be written into a page: a known format, a
 * depth of 1 (grey only), 8 or 16, and no more bytes a line needs than the
 * device sends. A refusal is told on standard error. */
bool frameReadable(const SaneParameters &p)
{
    const char *why = nullptr;
    if (p.format < SANE_FRAME_GRAY || p.format > SANE_FRAME_BLUE) {
        why = "unknown format";
    } else if (p.depth != 8 && p.depth != 16 && !(p.depth == 1 && p.format == SANE_FRAME_GRAY)) {
        why = "unsupported depth";
    } else if (p.pixelsPerLine < 1 || p.bytesPerLine < lineBytes(p)) {
        why = "bad line size";
    }
    if (why != nullptr) {
        tesk_fprintf(stderr, "Error in SANE frame: %s (format %d, depth %d, %d pixels, %d bytes a line).\n", why,
                     p.format, p.depth, p.pixelsPerLine, p.bytesPerLine);
    }
    return why == nullptr;
}

/* Whether frame p may follow first on the same page: only the colours of a
 * three-pass scan follow one another, each of the first's depth, width
 * and line bytes, since the page's rows were laid out for the first. */
bool frameFollows(const SaneParameters &first, const SaneParameters &p)
{
    bool ok = first.format >= SANE_FRAME_RED && p.format >= SANE_FRAME_RED && p.depth == first.depth &&
              p.pixelsPerLine == first.pixelsPerLine && p.bytesPerLine == first.bytesPerLine;
    if (!ok) {
        tesk_fprintf(stderr, "Error in SANE frame: format %d, depth %d, %d pixels, %d bytes a line after format %d, "
                             "depth %d, %d pixels, %d bytes a line.\n",
                     p.format, p.depth, p.pixelsPerLine, p.bytesPerLine, first.format, first.depth,
                     first.pixelsPerLine, first.bytesPerLine);
    }
    return ok;
}

/* Reads every frame of the started page into page's transfer: frames of
 * announced length line by line, the first of unknown length whole. */
bool readPage(Page *page)
{
    bool haveFrame[3] = {false, false, false};
    SaneParameters first = {};
    for (int frame = 0;; frame++) {
        if (sane.parameters(dev.handle, &dev.params) != SANE_STATUS_GOOD || !frameReadable(dev.params) ||
            (frame > 0 && !frameFollows(first, dev.params))) {
            return false;
        }
        const SaneParameters &p = dev.params;
        if (frame == 0) {
            first = p;
        }
        if (page->dib == nullptr && p.lines > 0 && !makeDib(p, p.lines, page)) {
            return false;
        }
        if (page->dib != nullptr) {
            if (!streamFrame(p, page)) {
                return false;
            }
        } else {
            std::vector<unsigned char> data;
            std::size_t size = static_cast<std::size_t>(p.bytesPerLine);
            if (!readFrame(&data) || !makeDib(p, static_cast<int>(data.size() / size), page)) {
                return false;
            }
            for (int y = 0; y < page->height; y++) {
                putLine(p, data.data() + static_cast<std::size_t>(y) * size, page, y);
            }
        }
        if (p.format == SANE_FRAME_RGB || p.format == SANE_FRAME_GRAY) {
            haveFrame[0] = haveFrame[1] = haveFrame[2] = true;
        } else {
            haveFrame[p.format - SANE_FRAME_RED] = true;
        }
        if (p.lastFrame) {
            break;
        }
        if (sane.start(dev.handle) != SANE_STATUS_GOOD) {
            return false;
        }
    }
    return haveFrame[0] && haveFrame[1] && haveFrame[2];
}

TW_UINT16 saneTransfer(TeskDib **out)
{
    if (!startPage()) {
        return TWRC_CANCEL;
    }
    Page page;
    bool ok = readPage(&page);
    dev.started = false;
    if (!ok) {
        freeDib(page.dib);
        sane.cancel(dev.handle);
        return TWRC_FAILURE;
    }
    *out = page.dib;
    return TWRC_XFERDONE;
}

/* The next page of a feeder, or the end of the batch. */
int saneNext()
{
    return isFeeder() && startPage() ? 0xFFFF : 0;
}

bool saneCapability(TW_UINT16, TW_UINT32 *)
{
    return false;
}

void saneClose()
{
    if (dev.handle != nullptr) {
        sane.cancel(dev.handle);
        sane.close(dev.handle);
    }
    dev = Device();
}

constexpr SourceOps kSaneOps = {saneFields, saneApply, saneAutomatic,  saneStart, saneInfo,
                                saneTransfer, saneNext, saneCapability, saneClose};

}  // namespace

std::vector<std::string> saneDeviceNames()
{
    std::vector<std::string> names;
    const SaneDevice **devices = nullptr;
    if (!loadSane() || sane.getDevices(&devices, 1) != SANE_STATUS_GOOD || devices == nullptr) {
        return names;
    }
    for (int i = 0; devices[i] != nullptr; i++) {
        /* An empty name would open the backend's first device. */
        if (devices[i]->name == nullptr || devices[i]->name[0] == '\0') {
            tesk_fprintf(stderr, "Error in SANE devices: device %d has no name; left out.\n", i + 1);
            continue;
        }
        names.emplace_back(devices[i]->name);
    }
    return names;
}

const SourceOps *saneSourceOpen(const char *name)
{
    if (name == nullptr || name[0] == '\0' || !loadSane() || dev.handle != nullptr) {
        return nullptr;
    }
    if (sane.open(name, &dev.handle) != SANE_STATUS_GOOD) {
        dev = Device();
        return nullptr;
    }
    dev.optionCount = deviceOptionCount();
    return &kSaneOps;
}

