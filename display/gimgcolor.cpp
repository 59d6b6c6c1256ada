/*
 * gimgcolor.cpp --
 *
 *	The colour-table words of a gimg image: getLookup and setLookup (the
 *	user and the internal lookup tables), getIndices and setIndices (the
 *	gimg's own palette, which the renderer and the colour cells follow;
 *	the RAM image's palette is never changed), setRange (the display
 *	ranges) and setPixel (one pixel of the shown RAM image).
 */
#include "display/gimg.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <strings.h>
#include "imagestore/pixels.h"
#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

/* One index range of a list, low..high inclusive. */
struct IndexRange {
    int low, high;
};

/* The words of text split at blanks (and commas when commas is set). */
std::vector<std::string> splitWords(const char *text, bool commas)
{
    std::vector<std::string> words;
    std::string word;
    for (const char *c = text;; c++) {
        bool separator = *c == '\0' || *c == ' ' || *c == '\t' || *c == '\n' || *c == '\r' || (commas && *c == ',');
        if (!separator) {
            word.push_back(*c);
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
        if (*c == '\0') {
            break;
        }
    }
    return words;
}

/* Reads one integer at *at (optional sign); false when there is none or it
 * does not fit an int. *at moves past it. */
bool readInt(const char **at, int *value)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(*at, &end, 10);
    if (end == *at || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        return false;
    }
    *value = static_cast<int>(v);
    *at = end;
    return true;
}

/* The ranges of every word of text (split at blanks and commas), each
 * inside 0..255 with low <= high; false at the first that is not. */
bool parseRangeList(const char *text, std::vector<IndexRange> *ranges)
{
    for (const std::string &word : splitWords(text, true)) {
        IndexRange r;
        if (!parseIndexRange(word.c_str(), &r.low, &r.high) || r.low < 0 || r.low > r.high || r.high > 255) {
            return false;
        }
        ranges->push_back(r);
    }
    return true;
}

/* Entries in the gimg's own palette: its size, or 256 without one. */
int lookupEntries(const GimgMaster *master)
{
    int n = master->desc.nindices;
    return n > 0 ? std::min(n, 256) : 256;
}

/* Appends entry i of the three tables as "{i t1 t2 t3} ". */
void appendLookupEntry(std::string *out, const unsigned char (*tables)[256], int i)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "{%d %d %d %d} ", i, tables[0][i], tables[1][i], tables[2][i]);
    out->append(buffer);
}

/* The lookup tables again after a change of ranges or tables. */
void reenhance(GimgMaster *master)
{
    if (master->image != nullptr) {
        gimgEnhance(master, master->opt.func, static_cast<float>(master->opt.std));
    }
    master->viewReady = 0;
}

/* The palette forms of setIndices. */
enum PaletteForm { FORM_X, FORM_XRGB, FORM_RGB, FORM_PSEUDO, FORM_BW, FORM_NONE, FORM_RESTORE };

/* RESTORE with an index list: the listed entries (and any between the
 * palette's end and a range) from the RAM image's palette. */
int restoreEntries(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    RamImage *image = master->image;
    if (image == nullptr || (image->desc.nindices <= 0 && master->opt.layer <= 0)) {
        return TCL_OK;
    }
    std::vector<IndexRange> ranges;
    for (int i = 3; i < argc; i++) {
        if (!parseRangeList(argv[i], &ranges)) {
            Tcl_SetResult(interp, const_cast<char *>("index out of range.\n"), TCL_STATIC);
            return TCL_ERROR;
        }
    }
    ImageDesc &desc = master->desc;
    for (const IndexRange &r : ranges) {
        int from = std::min(r.low, std::max(desc.nindices, 0));
        for (int i = from; i <= r.high; i++) {
            std::memcpy(desc.palette[i], image->desc.palette[i], 3);
        }
        desc.nindices = std::max(desc.nindices, r.high + 1);
    }
    return TCL_OK;
}

/* PSEUDO and BW: 256 entries of an 8 x 8 x 4 colour cube or a grey ramp,
 * spread over the indices low..high. */
int rampPalette(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv, bool cube)
{
    int low = 0, high = 255;
    if ((argc > 3 && Tcl_GetInt(interp, argv[3], &low) != TCL_OK) ||
        (argc > 4 && Tcl_GetInt(interp, argv[4], &high) != TCL_OK)) {
        return TCL_ERROR;
    }
    low = std::clamp(low, 0, 254);
    high = std::min(high, 255);
    if (high < low) {
        high = low + 1;
    }
    unsigned char ramp[256 * 3];
    int n = cube ? buildColorCube(ramp, 0, 8, 8, 4) : buildColorCube(ramp, 256, 0, 0, 0);  // 256 entries
    ImageDesc &desc = master->desc;
    for (int i = 0; i < 256; i++) {
        int k;
        if (i < low) {
            k = 0;
        } else if (i > high) {
            k = n - 1;
        } else {
            k = high > low ? std::clamp(roundToInt((i - low) * 255.0 / (high - low)), 0, n - 1) : 0;
        }
        std::memcpy(desc.palette[i], ramp + 3 * k, 3);
    }
    desc.nindices = 256;
    return TCL_OK;
}

/* One colour of an X, XRGB or RGB element; false when it cannot be read. */
bool parseColour(GimgMaster *master, PaletteForm form, int count, const char **words, unsigned char rgb[3])
{
    if (form == FORM_X) {
        XColor color;
        if (count != 2 || XParseColor(master->display, master->colormap, words[1], &color) == 0) {
            return false;
        }
        rgb[0] = static_cast<unsigned char>(color.red >> 8);
        rgb[1] = static_cast<unsigned char>(color.green >> 8);
        rgb[2] = static_cast<unsigned char>(color.blue >> 8);
        return true;
    }
    if (count != 4) {
        return false;
    }
    int top = form == FORM_XRGB ? 65535 : 255;
    for (int c = 0; c < 3; c++) {
        int v;
        const char *at = words[c + 1];
        if (!readInt(&at, &v) || *at != '\0' || v < 0 || v > top) {
            return false;
        }
        rgb[c] = static_cast<unsigned char>(form == FORM_XRGB ? v >> 8 : v);
    }
    return true;
}

/* X, XRGB, RGB: colours given for index ranges. Nothing changes unless
 * every element is good. */
int colourPalette(GimgMaster *master, Tcl_Interp *interp, const char *list, PaletteForm form)
{
    static const char *const kParseError[] = {
        "X Color parse error: ", "XRGB Color parse error: ", "RGB Color parse error: "};
    ImageDesc fresh = master->desc;
    if (fresh.nindices <= 0) {
        fresh.nindices = 256;
        for (int i = 0; i < 256; i++) {
            fresh.palette[i][0] = fresh.palette[i][1] = fresh.palette[i][2] = static_cast<uint8_t>(i);
        }
    }
    int count = 0;
    const char **elements = nullptr;
    if (Tcl_SplitList(nullptr, list, &count, &elements) != TCL_OK) {
        Tcl_AppendResult(interp, kParseError[form], list, nullptr);
        return TCL_ERROR;
    }
    int code = TCL_OK;
    for (int e = 0; e < count && code == TCL_OK; e++) {
        int nWords = 0;
        const char **words = nullptr;
        unsigned char rgb[3];
        if (Tcl_SplitList(nullptr, elements[e], &nWords, &words) != TCL_OK) {
            Tcl_AppendResult(interp, kParseError[form], elements[e], nullptr);
            code = TCL_ERROR;
            continue;
        }
        std::vector<IndexRange> ranges;
        if (!parseColour(master, form, nWords, words, rgb)) {
            Tcl_AppendResult(interp, kParseError[form], elements[e], nullptr);
            code = TCL_ERROR;
        } else if (!parseRangeList(words[0], &ranges) || ranges.empty()) {
            Tcl_SetResult(interp, const_cast<char *>("Invalid color indices.\n"), TCL_STATIC);
            code = TCL_ERROR;
        }
        Tcl_Free(reinterpret_cast<char *>(words));
        if (code != TCL_OK) {
            break;
        }
        for (const IndexRange &r : ranges) {
            for (int i = r.low; i <= r.high; i++) {
                std::memcpy(fresh.palette[i], rgb, 3);
            }
            fresh.nindices = std::max(fresh.nindices, r.high + 1);
        }
    }
    Tcl_Free(reinterpret_cast<char *>(elements));
    if (code != TCL_OK) {
        return code;
    }

    /* A 1-bit image draws with -foreground and -background: entries 0, 1,
     * taken before the palette so that a colour Tk refuses changes nothing. */
    if (master->image != nullptr && master->image->desc.pixel == PIX_1BIT) {
        Tk_Uid oldForeground = master->opt.foreground;
        for (int i = 0; i < 2; i++) {
            char text[16];
            const uint8_t *entry = fresh.palette[i];
            std::snprintf(text, sizeof text, "#%02x%02x%02x", entry[0], entry[1], entry[2]);
            if (!gimgSetColour(master, Tk_GetUid(text), i == 0)) {
                if (i == 1) {
                    gimgSetColour(master, oldForeground, true);
                }
                return TCL_ERROR;
            }
        }
    }
    master->desc.nindices = fresh.nindices;
    std::memcpy(master->desc.palette, fresh.palette, sizeof fresh.palette);
    return TCL_OK;
}

}  // namespace

/*
 * gimgGetLookupCmd --
 *	getLookup ?internal? ?indices ...?: entries of the user lookup tables
 *	(or with "internal" the tables the renderer uses), each as
 *	"{index t1 t2 t3} ", all entries of the palette (256 without one) or
 *	the listed ones. A bad index word ends the list with "Invalid index".
 */
int gimgGetLookupCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 3 && std::strcmp(argv[2], "?") == 0) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " getLookup [?indices?|internal ?indices?]", nullptr);
        return TCL_ERROR;
    }
    int first = 2;
    const unsigned char(*tables)[256] = master->colours.identity;
    if (argc > 2 && std::strcmp(argv[2], "internal") == 0) {
        tables = master->colours.channelTable;
        first = 3;
    }
    int n = lookupEntries(master);
    std::string out;
    if (first >= argc) {
        for (int i = 0; i < n; i++) {
            appendLookupEntry(&out, tables, i);
        }
    }
    for (int a = first; a < argc; a++) {
        for (const std::string &word : splitWords(argv[a], false)) {
            IndexRange r;
            if (!parseIndexRange(word.c_str(), &r.low, &r.high) || r.low >= n || r.high < 0 || r.high < r.low) {
                Tcl_AppendResult(interp, out.c_str(), "Invalid index", nullptr);
                return TCL_ERROR;
            }
            for (int i = std::max(r.low, 0); i <= std::min(r.high, n - 1); i++) {
                appendLookupEntry(&out, tables, i);
            }
        }
    }
    Tcl_AppendResult(interp, out.c_str(), nullptr);
    return TCL_OK;
}

/*
 * gimgSetLookupCmd --
 *	setLookup ?lutList? | internal lutList: without a list the user tables
 *	become the identity; each element "index v1 ?v2? ?v3?" (index 1..255,
 *	others skipped) stores the low byte of each value's nearest integer in
 *	tables 1, 2, 3. The tables are rebuilt unless the internal ones were
 *	set; with -update the view is redrawn.
 */
int gimgSetLookupCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    bool internal = argc == 4 && std::strcmp(argv[2], "internal") == 0;
    if (argc > 4 || (argc == 4 && !internal)) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " setLookup [?lutList?|[?internal lutlist?]]", nullptr);
        return TCL_ERROR;
    }
    unsigned char(*tables)[256] = internal ? master->colours.channelTable : master->colours.identity;
    if (argc == 2) {
        for (int c = 0; c < 3; c++) {
            for (int i = 0; i < 256; i++) {
                tables[c][i] = static_cast<unsigned char>(i);
            }
        }
    } else {
        int count = 0;
        const char **elements = nullptr;
        if (Tcl_SplitList(nullptr, argv[argc - 1], &count, &elements) != TCL_OK) {
            Tcl_SetResult(interp, const_cast<char *>("Error in Tcl_SplitList.\n"), TCL_STATIC);
            return TCL_ERROR;
        }
        for (int e = 0; e < count; e++) {
            /* "index v1 v2 v3", as many finite values as can be read */
            const char *at = elements[e];
            int index;
            if (!readInt(&at, &index) || index < 1 || index > 255) {
                continue;
            }
            for (int c = 0; c < 3; c++) {
                double v = 0;
                if (!cReadNumber(at, &v, &at)) {
                    break;
                }
                tables[c][index] = static_cast<unsigned char>(roundToInt(v) & 0xFF);
            }
        }
        Tcl_Free(reinterpret_cast<char *>(elements));
    }
    if (!internal) {
        reenhance(master);
    }
    master->viewReady = 0;
    if (master->opt.update) {
        gimgUpdateCmd(master, interp, 0, nullptr);
    }
    return TCL_OK;
}

/*
 * gimgGetIndicesCmd --
 *	getIndices ?format? ?indices?: palette entries of the gimg as X colours
 *	("{i #rrggbb} "), 16-bit components ("{i r g b} ", XRGB) or bytes (RGB,
 *	the default): every entry of the palette, or the listed ranges of the
 *	256 entries.
 */
int gimgGetIndicesCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " getIndice format [indices]", nullptr);
        return TCL_ERROR;
    }
    const char *format = argc > 2 ? argv[2] : "RGB";
    int kind;
    if (strcasecmp(format, "X") == 0) {
        kind = 0;
    } else if (strcasecmp(format, "XRGB") == 0) {
        kind = 1;
    } else if (strcasecmp(format, "RGB") == 0) {
        kind = 2;
    } else {
        Tcl_SetResult(interp, const_cast<char *>("Undefined color format.  Must be X, XRGB, or RGB."), TCL_STATIC);
        return TCL_ERROR;
    }
    std::vector<IndexRange> ranges;
    if (argc > 3) {
        if (!parseRangeList(argv[3], &ranges)) {
            Tcl_ResetResult(interp);
            Tcl_SetResult(interp, const_cast<char *>("invalid index specification\n"), TCL_STATIC);
            return TCL_ERROR;
        }
    } else if (master->desc.nindices > 0) {
        ranges.push_back({0, std::min(master->desc.nindices, 256) - 1});
    }
    std::string out;
    for (const IndexRange &r : ranges) {
        for (int i = r.low; i <= r.high; i++) {
            const uint8_t *e = master->desc.palette[i];
            char buffer[80];
            if (kind == 0) {
                std::snprintf(buffer, sizeof buffer, "{%d #%02x%02x%02x} ", i, e[0], e[1], e[2]);
            } else if (kind == 1) {
                std::snprintf(buffer, sizeof buffer, "{%d %ld %ld %ld} ", i, e[0] * 256L, e[1] * 256L, e[2] * 256L);
            } else {
                std::snprintf(buffer, sizeof buffer, "{%d %d %d %d} ", i, e[0], e[1], e[2]);
            }
            out.append(buffer);
        }
    }
    Tcl_AppendResult(interp, out.c_str(), nullptr);
    return TCL_OK;
}

/*
 * gimgSetIndicesCmd --
 *	setIndices ?X|XRGB|RGB|PSEUDO|BW|NONE|RESTORE ...?: edits the gimg's
 *	own palette (never the RAM image's) and rebuilds its colours. An
 *	unknown form answers the usage as a normal result.
 */
int gimgSetIndicesCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    static const struct {
        const char *name;
        PaletteForm form;
    } kForms[] = {{"X", FORM_X},   {"XRGB", FORM_XRGB}, {"RGB", FORM_RGB},        {"PSEUDO", FORM_PSEUDO},
                  {"BW", FORM_BW}, {"NONE", FORM_NONE}, {"RESTORE", FORM_RESTORE}};
    int code = TCL_OK;
    bool edited = true;  // the own palette is no longer the image's
    if (argc == 2) {
        gimgDerivePalette(master, 1);
        edited = false;
    } else {
        int form = -1;
        for (const auto &row : kForms) {
            if (strcasecmp(argv[2], row.name) == 0) {
                form = row.form;
            }
        }
        if (form < 0) {
            Tcl_AppendResult(interp, "Usage: ", argv[0],
                             " setIndices X|XRGB|RGB|PSEUDO|BW|NONE|RESTORE palList|indiceList\n", nullptr);
            return TCL_OK;
        }
        bool colours = form == FORM_X || form == FORM_XRGB || form == FORM_RGB;
        bool ramp = form == FORM_PSEUDO || form == FORM_BW;
        if ((colours && argc != 4) || (ramp && argc > 5)) {
            Tcl_AppendResult(interp, "Usage: ", argv[0], " setIndices ", argv[2], " colorIndices", nullptr);
            return TCL_ERROR;
        }
        if (colours) {
            code = colourPalette(master, interp, argv[3], static_cast<PaletteForm>(form));
        } else if (ramp) {
            code = rampPalette(master, interp, argc, argv, form == FORM_PSEUDO);
        } else if (form == FORM_NONE) {
            master->desc.nindices = 0;
            edited = false;
        } else if (argc == 3) {
            gimgDerivePalette(master, 1);
            edited = false;
        } else {
            code = restoreEntries(master, interp, argc, argv);
        }
    }
    if (code == TCL_OK) {
        master->colours.paletteEdited = edited ? 1 : 0;
        gimgRefreshColors(master);
    }
    return code;
}

/*
 * gimgSetRangeCmd --
 *	setRange ?{low0 high0 ?low1 high1? ?low2 high2?}?: the display ranges
 *	(all back to 0..255 without an argument), then the tables again; with
 *	-update the view is redrawn.
 */
int gimgSetRangeCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    GimgOptions &opt = master->opt;
    double v[6];
    int count = 0;
    if (argc == 3) {
        const char *at = argv[2];
        for (const char *start = at; count < 6; start = at, count++) {
            if (!cReadNumber(start, &v[count], &at)) {
                if (at == start) {
                    break;
                }
                /* A range that is not finite, refused as configure refuses it. */
                std::string option = (count % 2 == 0 ? "-low" : "-high") + std::to_string(count / 2);
                Tcl_AppendResult(interp, "Invalid value: ", option.c_str(), " must be finite", nullptr);
                return TCL_ERROR;
            }
        }
    }
    if (argc > 3 || (argc == 3 && count != 2 && count != 4 && count != 6)) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], "setRange {low0 hihg0 low1 high1 low2 high2}", nullptr);
        return TCL_ERROR;
    }
    if (argc == 2) {
        for (int k = 0; k < 3; k++) {
            master->colours.low[k] = 0.0;
            master->colours.high[k] = 255.0;
        }
    } else {
        for (int k = 0; k < count / 2; k++) {
            master->colours.low[k] = v[2 * k];
            master->colours.high[k] = v[2 * k + 1];
        }
    }
    reenhance(master);
    if (opt.update > 0) {
        gimgUpdateCmd(master, interp, 0, nullptr);
    }
    return TCL_OK;
}

/*
 * gimgSetPixelCmd --
 *	setPixel x y ?v1 v2 ... vn?: the pixel under view point (x, y) takes
 *	one value per band (0 for all without values; the last value repeats
 *	for the bands beyond those given; a palette image's values are kept
 *	inside 0..palette size - 1). A failed write answers "Error in write
 *	ramimg" as a normal result.
 */
int gimgSetPixelCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " setPixel x y v1 v2 ... vn", nullptr);
        return TCL_OK;
    }
    RamImage *image = master->image;
    if (image == nullptr) {
        return TCL_OK;
    }
    int p, q;
    if (!gimgViewPointToRaw(master, interp, argv[2], argv[3], &p, &q)) {
        return TCL_ERROR;
    }
    const ZoomTable &columns = master->zoomX, &rows = master->zoomY;
    if (columns.index == nullptr || rows.index == nullptr || p < 0 || p >= columns.count || q < 0 || q >= rows.count) {
        Tcl_SetResult(interp, const_cast<char *>("pixel is out of image\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    int nbands = std::max(image->desc.nbands, 1);
    int given = std::min(argc - 4, nbands);
    std::vector<float> values(static_cast<size_t>(nbands), 0.0f);
    for (int b = 0; b < given; b++) {
        double v;
        if (cGetDouble(interp, argv[4 + b], &v) != TCL_OK) {
            return TCL_ERROR;
        }
        values[b] = static_cast<float>(v);
    }
    for (int b = given; b < nbands && given > 0; b++) {
        values[b] = values[given - 1];
    }
    int entries = image->desc.nindices;
    if (entries > 0) {
        for (float &v : values) {
            v = std::clamp(v, 0.0f, static_cast<float>(entries - 1));
        }
    }
    int stored = 0;
    for (int b = 0; b < nbands; b++) {
        stored += ramImagePutFloat(image, rows.index[q], columns.index[p], 1, b, &values[b]);
    }
    if (stored != nbands) {
        Tcl_SetResult(interp, const_cast<char *>("Error in write ramimg\n"), TCL_STATIC);
    }
    if (master->opt.update) {
        gimgOnConfigUpdate(master);
    }
    return TCL_OK;
}
