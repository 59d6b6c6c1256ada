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

#include <cstring>
#include <dlfcn.h>
#include "devices/twain/source.h"
#include "runtime/cnumber.h"

namespace {

/* ---- the SANE 1 interface ---- */

typedef int SANE_Int;
typedef int SANE_Status;
typedef void *SANE_Handle;

enum { SANE_STATUS_GOOD = 0, SANE_STATUS_EOF = 5, SANE_STATUS_NO_DOCS = 7 };
enum { SANE_TYPE_BOOL = 0, SANE_TYPE_INT = 1, SANE_TYPE_FIXED = 2, SANE_TYPE_STRING = 3 };
enum { SANE_ACTION_GET_VALUE = 0, SANE_ACTION_SET_VALUE = 1 };
enum { SANE_CAP_SOFT_SELECT = 1, SANE_CAP_INACTIVE = 32 };
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
    std::vector<unsigned char> planes[3]; /* grey or red, green, blue: a byte (or a bit) per sample */
};

struct Device {
    SANE_Handle handle = nullptr;
    bool started = false; /* sane_start answered for the pending page */
    SaneParameters params = {};
} dev;

/* The settable, active options of one value (or a string): their numbers. */
std::vector<int> settableOptions()
{
    std::vector<int> numbers;
    for (int n = 1;; n++) {
        const SaneOptionDescriptor *d = sane.option(dev.handle, n);
        if (d == nullptr) {
            break;
        }
        bool oneValue = d->type == SANE_TYPE_STRING || d->size == static_cast<SANE_Int>(sizeof(SANE_Int));
        if (d->name != nullptr && d->name[0] != '\0' && d->type <= SANE_TYPE_STRING && d->size > 0 && oneValue &&
            (d->cap & SANE_CAP_SOFT_SELECT) && !(d->cap & SANE_CAP_INACTIVE)) {
            numbers.push_back(n);
        }
    }
    return numbers;
}

/* The first value of option n as text. */
std::string optionText(int n)
{
    const SaneOptionDescriptor *d = sane.option(dev.handle, n);
    std::vector<unsigned char> value(static_cast<std::size_t>(d->size) + 1, 0);
    if (sane.control(dev.handle, n, SANE_ACTION_GET_VALUE, value.data(), nullptr) != SANE_STATUS_GOOD) {
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
    for (int n : settableOptions()) {
        fields.emplace_back(sane.option(dev.handle, n)->name, optionText(n));
    }
    return fields;
}

/* Sets each option whose field differs from its value, in option order
 * (a change may make other options active). */
void saneApply(Tcl_Interp *interp)
{
    for (int n : settableOptions()) {
        const SaneOptionDescriptor *d = sane.option(dev.handle, n);
        std::string text = scanDialogField(interp, d->name);
        if (text.empty() || text == optionText(n)) {
            continue;
        }
        std::vector<unsigned char> value(static_cast<std::size_t>(d->size) + 1, 0);
        if (d->type == SANE_TYPE_STRING) {
            std::strncpy(reinterpret_cast<char *>(value.data()), text.c_str(), static_cast<std::size_t>(d->size) - 1);
        } else {
            double number = 0.0;
            bool yes = text == "yes" || text == "true";
            if (!yes && !cWholeNumber(text.c_str(), &number) && text != "no" && text != "false") {
                continue;
            }
            SANE_Int word = d->type == SANE_TYPE_FIXED ? static_cast<SANE_Int>(number * 65536.0)
                                                       : static_cast<SANE_Int>(yes ? 1 : number);
            std::memcpy(value.data(), &word, sizeof word);
        }
        sane.control(dev.handle, n, SANE_ACTION_SET_VALUE, value.data(), nullptr);
    }
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

/* Reads one frame to its end into data. */
bool readFrame(std::vector<unsigned char> *data)
{
    unsigned char buffer[65536];
    for (;;) {
        SANE_Int n = 0;
        SANE_Status status = sane.read(dev.handle, buffer, sizeof buffer, &n);
        if (status == SANE_STATUS_EOF) {
            return true;
        }
        if (status != SANE_STATUS_GOOD) {
            return false;
        }
        data->insert(data->end(), buffer, buffer + n);
    }
}

/* The sample of line data at index i (depth 8 or 16: 16 reduced to 8). */
inline unsigned char sample(const unsigned char *line, int i, int depth)
{
    if (depth == 16) {
        uint16_t v;
        std::memcpy(&v, line + 2 * i, 2);
        return static_cast<unsigned char>(v >> 8);
    }
    return line[i];
}

/* Reads every frame of the started page into page. */
bool readPage(Page *page)
{
    bool haveFrame[3] = {false, false, false};
    for (;;) {
        if (sane.parameters(dev.handle, &dev.params) != SANE_STATUS_GOOD || dev.params.pixelsPerLine < 1 ||
            dev.params.bytesPerLine < 1) {
            return false;
        }
        const SaneParameters &p = dev.params;
        std::vector<unsigned char> data;
        if (!readFrame(&data)) {
            return false;
        }
        int lines = static_cast<int>(data.size() / static_cast<std::size_t>(p.bytesPerLine));
        if (page->width == 0) {
            page->width = p.pixelsPerLine;
            page->height = lines;
            page->bits = p.format == SANE_FRAME_GRAY ? (p.depth == 1 ? 1 : 8) : 24;
        }
        if (p.pixelsPerLine != page->width || lines < page->height) {
            return false;
        }
        std::size_t plane = static_cast<std::size_t>(page->width) * static_cast<std::size_t>(page->height);
        for (int y = 0; y < page->height; y++) {
            const unsigned char *line = data.data() + static_cast<std::size_t>(y) * p.bytesPerLine;
            std::size_t o = static_cast<std::size_t>(y) * page->width;
            for (int x = 0; x < page->width; x++) {
                if (p.format == SANE_FRAME_RGB) {
                    for (int c = 0; c < 3; c++) {
                        page->planes[c].resize(plane);
                        page->planes[c][o + x] = sample(line, 3 * x + c, p.depth);
                        haveFrame[c] = true;
                    }
                    continue;
                }
                int c = p.format == SANE_FRAME_GRAY ? 0 : p.format - SANE_FRAME_RED;
                page->planes[c].resize(plane);
                page->planes[c][o + x] = p.depth == 1 ? (line[x >> 3] >> (7 - (x & 7))) & 1 : sample(line, x, p.depth);
                haveFrame[c] = true;
            }
        }
        if (p.lastFrame) {
            break;
        }
        if (sane.start(dev.handle) != SANE_STATUS_GOOD) {
            return false;
        }
    }
    return page->bits != 24 || (haveFrame[0] && haveFrame[1] && haveFrame[2]);
}

TW_UINT16 saneTransfer(TeskDib **out)
{
    if (!startPage()) {
        return TWRC_CANCEL;
    }
    Page page;
    bool ok = readPage(&page) && page.height > 0;
    dev.started = false;
    unsigned char *rows = nullptr;
    std::size_t stride = 0;
    TeskDib *dib = ok ? dibNew(page.width, page.height, page.bits, true, &rows, &stride) : nullptr;
    if (dib == nullptr) {
        sane.cancel(dev.handle);
        return TWRC_FAILURE;
    }
    for (int y = 0; y < page.height; y++) {
        unsigned char *row = rows + stride * static_cast<std::size_t>(page.height - 1 - y);
        std::size_t o = static_cast<std::size_t>(y) * page.width;
        for (int x = 0; x < page.width; x++) {
            if (page.bits == 24) {
                row[3 * x] = page.planes[2][o + x];
                row[3 * x + 1] = page.planes[1][o + x];
                row[3 * x + 2] = page.planes[0][o + x];
            } else if (page.bits == 8) {
                row[x] = page.planes[0][o + x];
            } else if (page.planes[0][o + x]) {
                row[x >> 3] = static_cast<unsigned char>(row[x >> 3] | (0x80 >> (x & 7)));
            }
        }
    }
    *out = dib;
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
        names.emplace_back(devices[i]->name);
    }
    return names;
}

const SourceOps *saneSourceOpen(const char *name)
{
    if (!loadSane() || dev.handle != nullptr) {
        return nullptr;
    }
    if (sane.open(name, &dev.handle) != SANE_STATUS_GOOD) {
        dev = Device();
        return nullptr;
    }
    return &kSaneOps;
}

