/*
 * maskcmd.cpp --
 *
 *	The mask word of gimg images and the shapes it reads: frame shapes
 *	(drawn over the viewport), clip shapes (drawn over the image), the data
 *	table (values of the shown image), the mask-class table (values of the
 *	-maskfile image) and the operation that combines them. Also the shape
 *	syntax ("rc", "pl", "ov"), regions of interest as span lists for the
 *	statistics words, and gimgMaskClear.
 */
#include "display/gimg.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>
#include "imagestore/ramimage.h"
#include "runtime/cnumber.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* ---- shapes ---- */

/* Nearest integer of v when it fits a 16-bit coordinate; false otherwise
 * (also for NaN and infinities). */
bool coordinate(double v, int *out)
{
    if (!std::isfinite(v) || v < INT16_MIN - 0.5 || v >= INT16_MAX + 0.5) {
        return false;
    }
    *out = roundToInt(v);
    return *out >= INT16_MIN && *out <= INT16_MAX;
}

/* Appends the nearest point of (x, y); false when it does not fit or the
 * list cannot grow. */
bool addPoint(SpanList *list, double x, double y)
{
    int ix, iy;
    return coordinate(x, &ix) && coordinate(y, &iy) && polyAddPt(list, ix, iy) == SPAN_ADDED;
}

/* Four numbers of a shape's corner word, blank-separated floats. */
bool readCorners(const char *text, float v[4])
{
    if (cScanNumbers(text, v, 4) != 4) {
        return false;
    }
    for (int i = 0; i < 4; i++) {
        if (!std::isfinite(v[i])) {
            return false;
        }
    }
    return true;
}

/* The rectangle (x0, y0), (x0, y1), (x1, y1), (x1, y0); NULL when a corner
 * does not fit 16 bits or memory runs out. */
SpanList *makeRect(double x0, double y0, double x1, double y1)
{
    SpanList *list = polyCreate(0);
    if (list != nullptr &&
        !(addPoint(list, x0, y0) && addPoint(list, x0, y1) && addPoint(list, x1, y1) && addPoint(list, x1, y0))) {
        polyFreeList(list);
        list = nullptr;
    }
    return list;
}

SpanList *parseRectangle(Tcl_Interp *interp, const char *text)
{
    float v[4];
    SpanList *list = readCorners(text, v) ? makeRect(v[0], v[1], v[2], v[3]) : nullptr;
    if (list == nullptr) {
        Tcl_AppendResult(interp, "Error in parsing rectangle.\n", nullptr);
    }
    return list;
}

/*
 * The oval inside the corners (x0, y0) and (x1, y1), worked in single
 * precision: one point per column along the top and bottom halves when
 * the oval is wider than high, else one per row along the left and right
 * halves. An oval whose corners lie less than three pixels apart both ways
 * is its bounding rectangle.
 */
SpanList *makeOval(float x0, float y0, float x1, float y1)
{
    if (x0 > x1) {
        std::swap(x0, x1);
    }
    if (y0 > y1) {
        std::swap(y0, y1);
    }
    int X0, Y0, X1, Y1;
    if (!coordinate(x0, &X0) || !coordinate(y0, &Y0) || !coordinate(x1, &X1) || !coordinate(y1, &Y1)) {
        return nullptr;
    }
    X1--;
    Y1--;
    int nx = 2 * (X1 - X0), ny = 2 * (Y1 - Y0);
    if (nx < 4 && ny < 4) {
        return makeRect(x0, y0, x1, y1);
    }
    float a = static_cast<float>(X1 - X0) / 2, b = static_cast<float>(Y1 - Y0) / 2;
    float cx = static_cast<float>(X1 + X0) / 2, cy = static_cast<float>(Y1 + Y0) / 2;
    /* The half chord at offset d from the centre along an axis of half length r. */
    auto chord = [](float d, float r) {
        float t = d / r;
        float s = 1.0f - t * t;
        return s < 0 ? 0.0f : std::sqrt(s);
    };
    SpanList *list = polyCreate(0);
    bool ok = list != nullptr;
    if (nx > ny) {
        for (int x = X0; ok && x < X1; x++) {
            ok = addPoint(list, x, cy - b * chord(static_cast<float>(x) - cx, a));
        }
        for (int x = X1; ok && x > X0; x--) {
            ok = addPoint(list, x, cy + b * chord(static_cast<float>(x) - cx, a));
        }
    } else {
        for (int y = Y0; ok && y < Y1; y++) {
            ok = addPoint(list, cx - a * chord(static_cast<float>(y) - cy, b), y);
        }
        for (int y = Y1; ok && y > Y0; y--) {
            ok = addPoint(list, cx + a * chord(static_cast<float>(y) - cy, b), y);
        }
    }
    if (!ok) {
        polyFreeList(list);
        list = nullptr;
    }
    return list;
}

SpanList *parseOval(Tcl_Interp *interp, const char *text)
{
    float v[4];
    SpanList *list = readCorners(text, v) ? makeOval(v[0], v[1], v[2], v[3]) : nullptr;
    if (list == nullptr) {
        Tcl_AppendResult(interp, "Error in parsing oval.\n", nullptr);
    }
    return list;
}

/* One shape from a type word and its text (words[0], words[1]);
 * NULL with a message. */
SpanList *parseShape(Tcl_Interp *interp, int count, const char **words)
{
    if (count < 2) {
        Tcl_AppendResult(interp, "error in parsing obj.\n", nullptr);
        return nullptr;
    }
    if (std::strcmp(words[0], "rc") == 0) {
        return parseRectangle(interp, words[1]);
    }
    if (std::strcmp(words[0], "pl") == 0) {
        return parsePolygonList(interp, words[1], 6);
    }
    if (std::strcmp(words[0], "ov") == 0) {
        return parseOval(interp, words[1]);
    }
    Tcl_AppendResult(interp, "Unknown obj type: ", words[0], nullptr);
    return nullptr;
}

/* ---- the master's masks ---- */

/* Frame shapes changed: drawn anew into the polygon bitmap (view size), and
 * again at every render while there are any. */
void redrawFrame(GimgMaster *master)
{
    if (master->maskPoly == nullptr) {
        return;
    }
    master->polySwitch = 1;
    drawPolygonMask(master, &master->masks[MASK_POLY], master->polyMode, master->maskPoly, master->maskSwitch);
}

/* Clip shapes changed: with an image shown, the region bitmap at the
 * image's size (the display clips through the mask pixmap). */
void redrawClip(GimgMaster *master)
{
    if (master->image == nullptr || master->clipShapes == nullptr) {
        return;
    }
    MaskBitmap *bitmap = &master->masks[MASK_REGION];
    if (maskBitmapAlloc(bitmap, master->image->desc.columns, master->image->desc.rows)) {
        maskDrawChain(bitmap, master->clipShapes, master->clipXor);
    }
}

/* After a change of the masks: the exported mask combined again (unless
 * the caller has just built it) and the view drawn again through it.
 * Nothing happens without a shown image. */
int remask(GimgMaster *master, bool build = true)
{
    if (gimgShownMaster(master) == nullptr) {
        return TCL_OK;
    }
    if (build && master->image != nullptr) {
        gimgBuildMask(master);
    }
    master->viewReady = 0;  // the mask pixmaps are made with the view
    gimgImageChanged(master);
    return TCL_OK;
}

/* Appends chain to the end of *head. */
void appendChain(SpanList **head, SpanList *chain)
{
    while (*head != nullptr) {
        head = &(*head)->next;
    }
    *head = chain;
}

/* ---- the words of mask ---- */

typedef int(MaskWordProc)(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);

/* The kind number of a clear or delete word: 1 frame, 2 clip, 3 data, 4 all;
 * 0 for any other word. */
int maskKind(const char *word)
{
    static const char *const kinds[] = {"frame", "clip", "data", "all"};
    for (int i = 0; i < 4; i++) {
        if (std::strcmp(word, kinds[i]) == 0) {
            return i + 1;
        }
    }
    return 0;
}

int clearOrDelete(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv, bool freeShapes)
{
    if (argc > 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1],
                         freeShapes ? " [frame|clip|data|all]\n" : " [frame|class|clip|data|all]\n", nullptr);
        return TCL_ERROR;
    }
    int kind = argc == 4 ? maskKind(argv[3]) : 4;
    if (kind == 0) {
        Tcl_AppendResult(interp, "unknown mask\n", nullptr);
        return TCL_ERROR;
    }
    gimgMaskClear(master, kind, freeShapes);
    return remask(master);
}

int wordClear(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return clearOrDelete(master, interp, argc, argv, false);
}

int wordDelete(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return clearOrDelete(master, interp, argc, argv, true);
}

int wordFrame(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 3) {
        Tcl_AppendResult(interp, master->maskPoly != nullptr ? "1" : "0", master->maskSwitch ? " dynamic" : " static",
                         master->polyMode ? " xor" : " or", nullptr);
        return TCL_OK;
    }
    if (argc == 4) {
        const char *word = argv[3];
        if (std::strcmp(word, "dynamic") == 0 || std::strcmp(word, "static") == 0) {
            master->maskSwitch = word[0] == 'd';
            return TCL_OK;
        }
        if (std::strcmp(word, "xor") == 0 || std::strcmp(word, "or") == 0) {
            master->polyMode = word[0] == 'x';
            return TCL_OK;
        }
        if (std::strcmp(word, "current") != 0) {
            Tcl_AppendResult(interp, "Unknown frame option.\n", nullptr);
            return TCL_ERROR;
        }
    } else {
        SpanList *shapes = parseShapeList(interp, argc - 3, argv + 3);
        if (shapes == nullptr) {
            return TCL_ERROR;
        }
        appendChain(&master->maskPoly, shapes);
    }
    redrawFrame(master);
    return remask(master);
}

int wordClip(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 3) {
        Tcl_AppendResult(interp, master->clipShapes != nullptr ? "1" : "0", master->clipXor ? " xor" : " or", nullptr);
        return TCL_OK;
    }
    if (argc == 4) {
        const char *word = argv[3];
        if (std::strcmp(word, "xor") == 0 || std::strcmp(word, "or") == 0) {
            master->clipXor = word[0] == 'x';
            return TCL_OK;
        }
        if (std::strcmp(word, "current") != 0) {
            Tcl_AppendResult(interp, "Unknown clip option.\n", nullptr);
            return TCL_ERROR;
        }
        if (master->clipShapes == nullptr) {
            return TCL_OK;
        }
    } else {
        SpanList *shapes = parseShapeList(interp, argc - 3, argv + 3);
        if (shapes == nullptr) {
            return TCL_ERROR;
        }
        appendChain(&master->clipShapes, shapes);
    }
    redrawClip(master);
    return remask(master);
}

/* One value "%d" or range "%d-%d" of a data directive, 0 <= low <= high <=
 * 255, with nothing left over. */
bool readRange(std::string_view piece, int *low, int *high)
{
    std::string text(piece);
    return parseIndexRange(text.c_str(), low, high) && *low >= 0 && *low <= *high && *high <= 255;
}

/* Applies one directive ("on 3 5-9", "off 0,255") to the data table;
 * entries set before a bad piece stay set. */
int applyDirective(GimgMaster *master, Tcl_Interp *interp, const char *directive)
{
    std::string_view text(directive);
    int value = -1;  // 1 on, 0 off, -1 not yet read
    size_t i = 0;
    while (true) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '\t' || text[i] == '\n')) {
            i++;
        }
        if (i >= text.size()) {
            break;
        }
        size_t end = text.find_first_of(" ,\t\n", i);
        std::string_view piece = text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i);
        i += piece.size();
        if (value < 0) {
            if (piece != "on" && piece != "off") {
                break;
            }
            value = piece == "on";
            continue;
        }
        int low, high;
        if (!readRange(piece, &low, &high)) {
            Tcl_AppendResult(interp, "Syntax error.\n", nullptr);
            return TCL_ERROR;
        }
        std::memset(master->classTable[0] + low, value, static_cast<size_t>(high - low + 1));
    }
    if (value < 0) {
        Tcl_AppendResult(interp, "invalid mask directive.\n", nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int wordData(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    const unsigned char *table = master->classTable[0];
    if (argc == 4 && std::strcmp(argv[3], "values") == 0) {
        std::string out;
        char piece[32];
        for (int v = 0; v < 256; v++) {
            if (!table[v]) {
                continue;
            }
            int last = v;
            while (last < 255 && table[last + 1]) {
                last++;
            }
            if (last > v) {
                std::snprintf(piece, sizeof piece, "%d-%d ", v, last);
            } else {
                std::snprintf(piece, sizeof piece, "%d ", v);
            }
            out += piece;
            v = last;
        }
        Tcl_SetObjResult(interp, Tcl_NewStringObj(out.data(), static_cast<int>(out.size())));
        return TCL_OK;
    }
    if (argc == 3) {
        Tcl_AppendResult(interp, "invalid mask directive.\n", nullptr);
        return TCL_ERROR;
    }
    int code = TCL_OK;
    for (int i = 3; code == TCL_OK && i < argc; i++) {
        code = applyDirective(master, interp, argv[i]);
    }
    /* Entries a failed command set before its error stay set: the mask
     * follows them. */
    if (master->image != nullptr) {
        gimgClassMask(master, master->classTable[0]);
    }
    int after = remask(master);
    return code != TCL_OK ? code : after;
}

int wordClass(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 4 && std::strcmp(argv[3], "?") == 0) {
        char value[8];
        for (int v = 0; v < 256; v++) {
            if (master->classTable[1][v]) {
                std::snprintf(value, sizeof value, "%d", v);
                Tcl_AppendElement(interp, value);
            }
        }
        return TCL_OK;
    }
    if (argc < 4 || argc > 5) {
        Tcl_AppendResult(interp, argv[0], " ", argv[1], " ", argv[2], " classDef|? [xor|or|set]", nullptr);
        return TCL_ERROR;
    }
    int mode = 0;
    if (argc == 5) {
        static const char *const modes[] = {"set", "or", "xor"};
        mode = -1;
        for (int i = 0; i < 3; i++) {
            if (strcasecmp(argv[4], modes[i]) == 0) {
                mode = i;
            }
        }
        if (mode < 0) {
            Tcl_AppendResult(interp, "Invalid mask class specification.\n", nullptr);
            return TCL_ERROR;
        }
    }
    int changed = parseClassList(master->classTable[1], mode, argv[3]);
    if (changed < 0) {
        Tcl_AppendResult(interp, "Error in parsing mask class.", nullptr);
        return TCL_ERROR;
    }
    if (changed == 0) {
        return remask(master);
    }
    gimgOnAuxUpdate(master);  // builds the mask from the mask-file image
    if (!master->maskBuilt) {
        return TCL_ERROR;
    }
    return remask(master, false);
}

int wordOn(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    int mode = master->maskOp < 0 ? -master->maskOp : master->maskOp == 0 ? 1 : master->maskOp;
    if (argc >= 4 && (Tcl_GetInt(nullptr, argv[3], &mode) != TCL_OK || mode < 1 || mode > 4)) {
        Tcl_AppendResult(interp, "Invalid mask operation flag.\n", nullptr);
        return TCL_ERROR;
    }
    bool resumed = master->maskOp < 0 && mode == -master->maskOp;
    master->maskOp = mode;
    master->opt.maskOn = mode;
    if (resumed) {
        gimgImageChanged(master);
        return TCL_OK;
    }
    return remask(master);
}

int wordOff(GimgMaster *master, Tcl_Interp *, int, const char **)
{
    if (master->maskOp > 0) {
        master->maskOp = -master->maskOp;
    } else if (master->maskOp == 0) {
        master->maskOp = -1;
    }
    master->opt.maskOn = 0;
    gimgImageChanged(master);
    return TCL_OK;
}

struct MaskWord {
    const char *name; /* compared whole */
    MaskWordProc *proc;
};

constexpr MaskWord kMaskWords[] = {
    {"clear", wordClear}, {"delete", wordDelete}, {"frame", wordFrame}, {"clip", wordClip},
    {"data", wordData},   {"class", wordClass},   {"on", wordOn},       {"off", wordOff},
};

}  // namespace

SpanList *parsePolygonList(Tcl_Interp *interp, const char *text, int minNumbers)
{
    int count = 0;
    const char **words = nullptr;
    SpanList *list = nullptr;
    if (Tcl_SplitList(nullptr, text, &count, &words) == TCL_OK && count >= minNumbers && count % 2 == 0) {
        list = polyCreate(0);
        for (int i = 0; list != nullptr && i < count; i += 2) {
            double x, y;
            if (cGetDouble(nullptr, words[i], &x) != TCL_OK || cGetDouble(nullptr, words[i + 1], &y) != TCL_OK ||
                !addPoint(list, x, y)) {
                polyFreeList(list);
                list = nullptr;
            }
        }
    }
    if (words != nullptr) {
        Tcl_Free(reinterpret_cast<char *>(words));
    }
    if (list == nullptr) {
        Tcl_AppendResult(interp, "Error in parsing polygon.\n", nullptr);
    }
    return list;
}

/*
 * gimgMaskClear --
 *	Clears the frame (kind 1), clip (2) or data (3) mask, or all three (4):
 *	their bitmaps go; with freeShapes the frame or clip shapes go too, and
 *	the data table shows every value again. The exported mask image is
 *	given back when nothing it could hold is left.
 */
void gimgMaskClear(GimgMaster *master, int kind, int freeShapes)
{
    if (kind == 1 || kind == 4) {
        master->polySwitch = 0;
        maskBitmapFree(&master->masks[MASK_POLY]);
        if (freeShapes) {
            polyFreeList(master->maskPoly);
            master->maskPoly = nullptr;
        }
    }
    if (kind == 2 || kind == 4) {
        maskBitmapFree(&master->masks[MASK_REGION]);
        if (freeShapes) {
            polyFreeList(master->clipShapes);
            master->clipShapes = nullptr;
        }
    }
    if (kind == 3 || kind == 4) {
        maskBitmapFree(&master->masks[MASK_CLASS]);
        if (freeShapes) {
            std::memset(master->classTable[0], 1, 256);
        }
    }
    /* The exported image holds the combination of the clip, mask-file and
     * data bitmaps: it goes when none of those is left, and when no frame,
     * clip or data bitmap is (mask-file classes make it anew when the mask
     * is built again). */
    const MaskBitmap *masks = master->masks;
    bool noFrameClipData = !maskBitmapValid(&masks[MASK_POLY]) && !maskBitmapValid(&masks[MASK_REGION]) &&
                           !maskBitmapValid(&masks[MASK_CLASS]);
    bool nothingHeld = !maskBitmapValid(&masks[MASK_REGION]) && !maskBitmapValid(&masks[MASK_SOURCE]) &&
                       !maskBitmapValid(&masks[MASK_CLASS]);
    if ((noFrameClipData || nothingHeld) && master->maskExport != nullptr) {
        maskBitmapFree(&master->masks[MASK_EXPORT]);
        ramImageRelease(master->maskExport, &master->clients[1]);
        master->maskExport = nullptr;
        master->maskBuilt = 0;
    }
}

/*
 * gimgMaskCmd --
 *	The mask word of the instance command: "mask clear|delete ?kind?",
 *	"mask frame|clip ?option | type shape ...?", "mask data values|directive
 *	...", "mask class ?|classDef ?mode?", "mask on ?flag?", "mask off".
 */
int gimgMaskCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " ?options?\n", nullptr);
        return TCL_OK;
    }
    for (const MaskWord &word : kMaskWords) {
        if (std::strcmp(argv[2], word.name) == 0) {
            return word.proc(master, interp, argc, argv);
        }
    }
    Tcl_AppendResult(interp, "Unknown mask option.\n", nullptr);
    return TCL_ERROR;
}

/*
 * parseShapeList --
 *	Shapes from pairs of type word and shape text, chained newest
 *	first. On an error the shapes read so far are freed and NULL is
 *	answered with the message in interp's result.
 */
SpanList *parseShapeList(Tcl_Interp *interp, int argc, const char **argv)
{
    SpanList *chain = nullptr;
    for (int i = 0; i < argc; i += 2) {
        SpanList *shape = parseShape(interp, argc - i, argv + i);
        if (shape == nullptr) {
            polyFreeList(chain);
            return nullptr;
        }
        shape->next = chain;
        chain = shape;
    }
    return chain;
}

/*
 * parseRoi --
 *	A region of interest as a sorted span list: a copy of given (or an
 *	empty list), kept as it is for the word "current", else combined with
 *	each shape in turn by the combine word in force ("set", the first,
 *	replaces; "or" unites; "and" intersects; "xor" keeps what exactly one
 *	covers). On an error *error is 1, the message is in interp's result
 *	and NULL is answered.
 */
SpanList *parseRoi(Tcl_Interp *interp, const SpanList *given, int argc, const char **argv, int *error)
{
    enum { SET, OR, AND, XOR };
    *error = 0;
    SpanList *region = given != nullptr ? polyCopy(given) : polyCreate(SPAN_GROWTH);
    if (region == nullptr) {
        tesk_fprintf(stderr, "Error in parseRoi: out of memory\n");
        *error = 1;
        return nullptr;
    }
    if (given == nullptr) {
        region->count = 0;
    }
    if (argc > 0 && std::strcmp(argv[0], "current") == 0) {
        if (argc > 1) {
            Tcl_AppendResult(interp, "Syntax error.\n", nullptr);
            polyFreeList(region);
            *error = 1;
            return nullptr;
        }
        return region;
    }
    static const char *const combineWords[] = {"set", "or", "and", "xor"};
    int combine = SET;
    int i = 0;
    while (i < argc) {
        for (int c = 0; c < 4; c++) {
            if (std::strcmp(argv[i], combineWords[c]) == 0) {
                combine = c;
                i++;
                break;
            }
        }
        SpanList *shape = parseShape(interp, argc - i, argv + i);
        SpanList *spans = shape != nullptr && combine != OR ? polyToSpans(shape) : nullptr;
        SpanList *next = nullptr;
        if (shape != nullptr && combine == OR) {
            next = shapeChainUnion(region, shape, INT16_MIN, INT16_MAX);
        } else if (spans != nullptr) {
            switch (combine) {
            case SET:
                next = spans;
                spans = nullptr;
                break;
            case AND: next = spanIntersect(region, spans); break;
            default: next = spanXor(region, spans); break;
            }
        }
        if (shape != nullptr && next == nullptr) {
            tesk_fprintf(stderr, "Error in parseRoi: out of memory\n");
        }
        polyFreeList(shape);
        polyFreeList(spans);
        polyFreeList(region);
        region = next;
        if (region == nullptr) {
            *error = 1;
            return nullptr;
        }
        i += 2;
    }
    return region;
}
