/*
 * strokefont.cpp --
 *
 *	Stroke fonts of the display driver: one glyph store filled from glyph
 *	files (character-pair coordinates, 'R' the origin, " R" lifting the
 *	pen), named index lists from font-definition files mapping character
 *	codes from 32 upward to glyph numbers, the text functions R_font,
 *	R_text_size, R_text_rotation, R_text and R_get_text_box, grassFont,
 *	and the font subcommands of the grass command.
 */
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>
#include "devices/grass/grass.h"
#include "runtime/util.h"
#include "tesk.h"
#include "tesk_display.h"
#include "tesk_stdio.h"

namespace {

constexpr int kMaxPairs = 512;
constexpr int kMaxIndices = 1024;
constexpr int kSlotStep = 512;
constexpr int kByteStep = 4096;
constexpr int64_t kMaxDefinitionFile = 1 << 20; /* bytes of a font definition list read */
constexpr unsigned char kOrigin = 'R';

struct StrokeGlyph {
    int byteCount; /* twice the pairs; 0 for an empty slot */
    unsigned char width, height, left, top;
    int offset; /* of its bytes in the coordinate block */
    const unsigned char *bytes;
};

struct StrokeFontStore {
    int slotCount;
    int room;
    int used;
    int fontHeight;
    StrokeGlyph *glyphs;
    unsigned char *coords;
};

struct FontIndexList {
    char name[16];
    std::vector<int> glyphs; /* entry i: the glyph of character 32 + i */
};

StrokeFontStore *store = nullptr;
std::vector<FontIndexList> lists; /* in order of definition */
int currentList = -1;             /* index into lists, -1 for none */

bool growSlots(int number)
{
    int add = std::max(number - store->slotCount + 1, kSlotStep);
    size_t size = sizeof(StrokeGlyph) * (static_cast<size_t>(store->slotCount) + static_cast<size_t>(add));
    auto *grown = static_cast<StrokeGlyph *>(gmemRealloc(store->glyphs, size));
    if (grown == nullptr) {
        tesk_fprintf(stderr, "Error in fontAddISlots: realloc size: %d\n", static_cast<int>(size));
        return false;
    }
    std::memset(grown + store->slotCount, 0, sizeof(StrokeGlyph) * static_cast<size_t>(add));
    store->glyphs = grown;
    store->slotCount += add;
    return true;
}

bool growBytes(int need)
{
    int add = std::max(need - (store->room - store->used), kByteStep);
    int size = store->room + add;
    auto *grown = static_cast<unsigned char *>(gmemRealloc(store->coords, static_cast<size_t>(size)));
    if (grown == nullptr) {
        tesk_fprintf(stderr, "Error in fontAddCSlots: realloc size: %d\n", size);
        return false;
    }
    store->coords = grown;
    store->room = size;
    return true;
}

void measure(StrokeGlyph *g, const unsigned char *b)
{
    g->left = b[0];
    g->width = static_cast<unsigned char>(b[1] - b[0] + 1);
    if (g->byteCount < 3) {
        g->top = kOrigin;
        g->height = 20;
        return;
    }
    unsigned char low = b[3], high = b[3];
    for (int i = 2; i + 1 < g->byteCount; i += 2) {
        if (b[i] != ' ') {
            low = std::min(low, b[i + 1]);
            high = std::max(high, b[i + 1]);
        }
    }
    g->top = low;
    g->height = static_cast<unsigned char>(high - low + 1);
}

bool addGlyph(int number, const std::string &bytes)
{
    if (number >= store->slotCount && !growSlots(number)) {
        return false;
    }
    int n = static_cast<int>(bytes.size());
    if (store->room - store->used < n && !growBytes(n)) {
        return false;
    }
    std::memcpy(store->coords + store->used, bytes.data(), bytes.size());
    StrokeGlyph *g = &store->glyphs[number];
    g->byteCount = n;
    g->offset = store->used;
    store->used += n;
    measure(g, store->coords + g->offset);
    return true;
}

/* A regular file opened for reading, its bytes taken one by one up to the
 * size it had when opened: a file that grows, or one of the system's that
 * never ends, is read no further. */
struct BoundedFile {
    FILE *file = nullptr;
    int64_t left = 0; /* bytes still to read */

    /* Opens name (openRegularFile: never a folder, FIFO or device); false
     * when it cannot be opened. */
    bool open(const char *name)
    {
        int fd = openRegularFile(name);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || (file = fdopen(fd, "rb")) == nullptr) {
            if (fd >= 0) {
                close(fd);
            }
            return false;
        }
        left = st.st_size;
        return true;
    }
    int next()
    {
        if (left <= 0) {
            return EOF;
        }
        left--;
        return std::getc(file);
    }
    ~BoundedFile()
    {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
};

/* The next n characters of the file, line ends skipped; fewer at its end. */
std::string take(BoundedFile &file, int n)
{
    std::string out;
    int c;
    while (static_cast<int>(out.size()) < n && (c = file.next()) != EOF) {
        if (c != '\n' && c != '\r') {
            out += static_cast<char>(c);
        }
    }
    return out;
}

/* A header field: a decimal number, blanks around it; -1 when it is not. */
int field(const std::string &text)
{
    const char *p = text.c_str();
    char *end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p) {
        return -1;
    }
    while (*end == ' ') {
        end++;
    }
    return *end == '\0' && v >= 0 && v <= 99999 ? static_cast<int>(v) : -1;
}

int loadFile(const char *name)
{
    BoundedFile file;
    if (!file.open(name)) {
        tesk_fprintf(stderr, "Error in load font file: %s\n", name);
        return 0;
    }
    int ok = 1;
    for (;;) {
        std::string header = take(file, 8);
        if (header.size() < 8 && header.find_first_not_of(' ') == std::string::npos) {
            break; /* end of file, at most blanks after the last glyph */
        }
        int number = header.size() == 8 ? field(header.substr(0, 5)) : -1;
        int pairs = header.size() == 8 ? field(header.substr(5)) : -1;
        if (number < 0 || pairs < 1 || pairs > kMaxPairs) {
            ok = 0;
            break;
        }
        std::string body = take(file, 2 * pairs);
        if (static_cast<int>(body.size()) != 2 * pairs || !addGlyph(number, body)) {
            ok = 0;
            break;
        }
    }
    return ok;
}

const StrokeGlyph *glyphAt(int number)
{
    if (store == nullptr || store->glyphs == nullptr || number < 0 || number >= store->slotCount ||
        store->glyphs[number].byteCount == 0) {
        return nullptr;
    }
    StrokeGlyph *g = &store->glyphs[number];
    g->bytes = store->coords + g->offset;
    return g;
}

FontIndexList *findList(const char *name)
{
    for (FontIndexList &list : lists) {
        if (std::strcmp(list.name, name) == 0) {
            return &list;
        }
    }
    return nullptr;
}

/* The glyph of a character in the current list, or NULL. */
const StrokeGlyph *glyphOf(unsigned char c)
{
    if (currentList < 0 || c < 32) {
        return nullptr;
    }
    const std::vector<int> &g = lists[static_cast<size_t>(currentList)].glyphs;
    return static_cast<size_t>(c - 32) < g.size() ? glyphAt(g[c - 32]) : nullptr;
}

bool defineList(const char *name, const char *fileName)
{
    if (std::strlen(name) > 15) {
        return false;
    }
    std::string text;
    if (readRegularFile(fileName, kMaxDefinitionFile, &text) != 0) {
        tesk_fprintf(stderr, "Error in open: %s\n", fileName);
        return false;
    }
    FontIndexList list{};
    std::strcpy(list.name, name);
    size_t at = 0;
    while (static_cast<int>(list.glyphs.size()) < kMaxIndices) {
        at = text.find_first_not_of(" \t\r\n", at);
        if (at == std::string::npos) {
            break;
        }
        size_t end = text.find_first_of(" \t\r\n", at);
        std::string word = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end;
        int a = 0, b = 0;
        int got = std::sscanf(word.c_str(), "%d-%d", &a, &b);
        if (got == 1) {
            list.glyphs.push_back(a);
        }
        for (long v = a; got == 2 && v <= b && static_cast<int>(list.glyphs.size()) < kMaxIndices; v++) {
            list.glyphs.push_back(static_cast<int>(v));
        }
        if (at == std::string::npos) {
            break;
        }
    }
    if (list.glyphs.empty()) {
        return false;
    }
    lists.push_back(list);
    if (currentList < 0) {
        currentList = 0;
    }
    return true;
}

int fontHeight(const FontIndexList &list)
{
    unsigned char low = kOrigin, high = kOrigin;
    for (int number : list.glyphs) {
        const StrokeGlyph *g = glyphAt(number);
        if (g == nullptr || g->byteCount <= 2) {
            continue;
        }
        for (int i = 3; i < g->byteCount; i += 2) {
            low = std::min(low, g->bytes[i]);
            high = std::max(high, g->bytes[i]);
        }
    }
    return high - low + 1;
}

void selectList(int index)
{
    currentList = index;
    store->fontHeight = fontHeight(lists[static_cast<size_t>(index)]);
}

/* "%d %d %d" offset, left - o, right - o, then each stroke as a braced list
 * of its codes minus o. */
void coordsToResult(Tcl_Interp *interp, const StrokeGlyph *g, int o)
{
    const unsigned char *b = g->bytes;
    std::string out = std::to_string(g->offset) + " " + std::to_string(b[0] - o) + " " + std::to_string(b[1] - o);
    bool open = false, penUp = false;
    for (int i = 2; i + 1 < g->byteCount; i += 2) {
        if (b[i] == ' ') {
            penUp = open;
            continue;
        }
        out += !open ? " {" : penUp ? "} {" : " ";
        out += std::to_string(b[i] - o) + " " + std::to_string(b[i + 1] - o);
        open = true;
        penUp = false;
    }
    if (open) {
        out += "}";
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(out.c_str(), -1));
}

int error(Tcl_Interp *interp, const char *text, const char *more = "")
{
    Tcl_AppendResult(interp, text, more, nullptr);
    return TCL_ERROR;
}

int usage(Tcl_Interp *interp, Tcl_Obj *command, const char *text)
{
    return error(interp, "Usage: ", (std::string(Tcl_GetString(command)) + text).c_str());
}

int symbolCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], bool coords)
{
    if (objc < 3 || objc > (coords ? 4 : 3)) {
        return usage(interp, objv[0], coords ? " fontCoord Id offset\n" : " fontSymbol Id\n");
    }
    const char *id = Tcl_GetString(objv[2]);
    const StrokeGlyph *g = glyphAt(std::atoi(id));
    if (g == nullptr) {
        return error(interp, "Can't find symbol: ", id);
    }
    if (coords) {
        coordsToResult(interp, g, objc == 4 ? std::atoi(Tcl_GetString(objv[3])) : 0);
    } else {
        std::string out = std::to_string(g->offset) + " ";
        out.append(reinterpret_cast<const char *>(g->bytes), static_cast<size_t>(g->byteCount));
        Tcl_SetObjResult(interp, Tcl_NewStringObj(out.c_str(), static_cast<int>(out.size())));
    }
    return TCL_OK;
}

int getCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 4 || objc > 5) {
        return usage(interp, objv[0], " fontGet index offset fontName\n");
    }
    if (lists.empty()) {
        return error(interp, "Font has not been defined\n");
    }
    const FontIndexList *list = &lists[static_cast<size_t>(std::max(currentList, 0))];
    if (objc == 5 && (list = findList(Tcl_GetString(objv[4]))) == nullptr) {
        return error(interp, "Can't found font: ", Tcl_GetString(objv[4]));
    }
    int index = std::atoi(Tcl_GetString(objv[2]));
    if (index < 0 || index >= static_cast<int>(list->glyphs.size())) {
        return error(interp, "Index is out of range\n");
    }
    const StrokeGlyph *g = glyphAt(list->glyphs[static_cast<size_t>(index)]);
    if (g == nullptr) {
        return error(interp, "Can't find symbol: ", Tcl_GetString(objv[2]));
    }
    coordsToResult(interp, g, std::atoi(Tcl_GetString(objv[3])));
    return TCL_OK;
}

int setCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc > 3) {
        return usage(interp, objv[0], " fontSet fontName");
    }
    if (lists.empty()) {
        return error(interp, "Font has not been defined.\n");
    }
    if (objc == 2) {
        if (currentList < 0) {
            selectList(0);
        }
        Tcl_SetObjResult(interp, Tcl_NewStringObj(lists[static_cast<size_t>(currentList)].name, -1));
        return TCL_OK;
    }
    const FontIndexList *list = findList(Tcl_GetString(objv[2]));
    if (list == nullptr) {
        return error(interp, "Can't found font: ", Tcl_GetString(objv[2]));
    }
    selectList(static_cast<int>(list - lists.data()));
    return TCL_OK;
}

}  // namespace

bool strokeFontsInit()
{
    if (store == nullptr) {
        store = static_cast<StrokeFontStore *>(gmemAlloc(sizeof(StrokeFontStore)));
        if (store == nullptr) {
            return false;
        }
        *store = StrokeFontStore{0, 0, 0, 30, nullptr, nullptr};
    }
    return true;
}

void strokeFontsFree()
{
    if (store != nullptr) {
        gmemFree(store->glyphs);
        gmemFree(store->coords);
        gmemFree(store);
        store = nullptr;
    }
    lists.clear();
    lists.shrink_to_fit();
    currentList = -1;
}

int grassFontCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    const char *word = Tcl_GetString(objv[1]);
    auto is = [word](const char *name) { return std::strncmp(word, name, std::strlen(word)) == 0; };
    if (store == nullptr && !strokeFontsInit()) {
        return error(interp, "Error in fontLoad...\n");
    }
    if (is("fontDef")) {
        if (objc != 4) {
            return usage(interp, objv[0], " fontDef fontName fontFile.\n");
        }
        return defineList(Tcl_GetString(objv[2]), Tcl_GetString(objv[3])) ? TCL_OK
                                                                             : error(interp, "Error in fontDefIndex.\n");
    }
    if (is("fontIndices")) {
        if (objc != 3) {
            return usage(interp, objv[0], " fontIndices fontName.\n");
        }
        const FontIndexList *list = findList(Tcl_GetString(objv[2]));
        if (list == nullptr) {
            return error(interp, "Can't found the named indices.\n");
        }
        std::string out;
        for (int g : list->glyphs) {
            out += std::to_string(g) + " ";
        }
        Tcl_SetObjResult(interp, Tcl_NewStringObj(out.c_str(), -1));
        return TCL_OK;
    }
    if (is("fontList")) {
        Tcl_Obj *out = Tcl_NewObj();
        for (const FontIndexList &list : lists) {
            Tcl_AppendPrintfToObj(out, "{%s %d} ", list.name, static_cast<int>(list.glyphs.size()));
        }
        Tcl_SetObjResult(interp, out);
        return TCL_OK;
    }
    if (is("fontLoad")) {
        if (objc != 3) {
            return error(interp, "Usage: ", (std::string(Tcl_GetString(objv[0])) + " fontLoad fontFile").c_str());
        }
        return loadFile(Tcl_GetString(objv[2])) ? TCL_OK : error(interp, "Error in fontLoad...\n");
    }
    if (is("fontGet")) {
        return getCmd(interp, objc, objv);
    }
    if (is("fontSymbol")) {
        return symbolCmd(interp, objc, objv, false);
    }
    if (is("fontCoord")) {
        return symbolCmd(interp, objc, objv, true);
    }
    if (is("fontSet")) {
        return setCmd(interp, objc, objv);
    }
    return error(interp, "Unknown grass command.\n");
}

extern "C" {

int R_font(const char *name)
{
    const FontIndexList *list = store != nullptr ? findList(name) : nullptr;
    if (list == nullptr) {
        tesk_fprintf(stderr, "Can't found font: %s\n", name);
        return 0;
    }
    selectList(static_cast<int>(list - lists.data()));
    return 1;
}

int R_text_size(int width, int height)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || store == nullptr) {
        return 0;
    }
    s->textScaleX = static_cast<double>(width) / store->fontHeight;
    s->textScaleY = static_cast<double>(height) / store->fontHeight;
    return 0;
}

int R_text_rotation(double angle)
{
    GrassDriverState *s = grassState();
    if (s != nullptr) {
        grassSetTextAngle(s, angle);
    }
    return 0;
}

int R_text(const char *text)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || currentList < 0) {
        return 0;
    }
    const double x0 = s->curX, y0 = s->curY;
    const double c = s->cosine, sn = s->sine;
    const double h = store->fontHeight * s->textScaleY;
    double px = x0, py = y0;
    int line = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; p++) {
        if (*p == '\n') {
            line++;
            px = x0 - line * h * sn;
            py = y0 + line * h * c;
            continue;
        }
        const StrokeGlyph *g = glyphOf(*p);
        if (g == nullptr) {
            continue;
        }
        bool penDown = false;
        for (int i = 2; i + 1 < g->byteCount; i += 2) {
            if (g->bytes[i] == ' ') {
                penDown = false;
                continue;
            }
            double dx = (g->bytes[i] - g->left) * s->textScaleX;
            double dy = (g->bytes[i + 1] - 82) * s->textScaleY + h;
            int x = roundToInt(px + dx * c - dy * sn);
            int y = roundToInt(py + dx * sn + dy * c);
            if (penDown) {
                R_cont_abs(x, y);
            } else {
                R_move_abs(x, y);
            }
            penDown = true;
        }
        double advance = g->width * s->textScaleX;
        px += advance * c;
        py += advance * sn;
    }
    s->curX = roundToInt(px);
    s->curY = roundToInt(py);
    return 0;
}

int R_get_text_box(const char *text, int *top, int *bottom, int *left, int *right)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    long widest = 0, lineWidth = 0, heights = 0, lineHeight = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text);; p++) {
        if (*p == '\n' || *p == '\0') {
            widest = std::max(widest, lineWidth);
            heights += lineHeight;
            lineWidth = lineHeight = 0;
            if (*p == '\0') {
                break;
            }
            continue;
        }
        const StrokeGlyph *g = glyphOf(*p);
        if (g != nullptr) {
            lineWidth += g->width;
            lineHeight = std::max<long>(lineHeight, g->height);
        }
    }
    /* Sums in 64 bits, clamped: a huge size never wraps. */
    auto clamped = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); };
    *top = clamped(int64_t{s->curY} + roundToInt(static_cast<double>(heights) * s->textScaleY));
    *bottom = s->curY;
    *left = s->curX;
    *right = clamped(int64_t{s->curX} + roundToInt(static_cast<double>(widest) * s->textScaleX));
    return 1;
}

char *grassFont(char *buffer, int size)
{
    if (buffer == nullptr || size <= 0) {
        return buffer;
    }
    int used = 0;
    buffer[0] = '\0';
    for (const FontIndexList &list : lists) {
        int n = static_cast<int>(std::strlen(list.name));
        int sep = used > 0 ? 1 : 0;
        if (used + sep + n + 1 > size) {
            break;
        }
        if (sep) {
            buffer[used++] = ',';
        }
        std::memcpy(buffer + used, list.name, static_cast<size_t>(n) + 1);
        used += n;
    }
    return buffer;
}

}  // extern "C"
