/*
 * rotfont.cpp --
 *
 *	The rotated fonts of the canvas's text (rotfont.h): the shared font
 *	records, Tk's fonts for characters that follow their lines at their
 *	natural width, Xft fonts with a matrix for stretched or separately
 *	turned characters, measuring, and drawing, stippled text through a
 *	scratch pixmap and a mask laid with the stipple.
 */
#include "display/rotfont.h"

#include <X11/Xft/Xft.h>
#include <X11/Xutil.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>
#include "runtime/cnumber.h"
#include "tesk.h"
#include "tkInt.h"
#include "tkFont.h"

namespace {

/* The widest em, pixels, that a stretch may give (a 10-point em stretched
 * some 70 times). */
constexpr double kWidestEm = 1024;

/* The letters whose mean advance is a font's average character width. */
constexpr char kAverageSample[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

/* What makes two fonts the same. */
struct FontKey {
    Display *display;
    int screen;
    Tk_Uid family;
    double size; /* Tk's font: the rounded size; Xft: points */
    int bold, italic, underline, overstrike;
    bool xft;        /* an Xft font with a matrix, else Tk's font */
    double stretch;  /* Xft: |aspect|, 0 for the natural width */
    int glyphTenths; /* Xft: turn of the characters, tenths of a degree, 0..3599 */

    bool operator==(const FontKey &o) const
    {
        return display == o.display && screen == o.screen && family == o.family && size == o.size && bold == o.bold &&
               italic == o.italic && underline == o.underline && overstrike == o.overstrike && xft == o.xft &&
               stretch == o.stretch && glyphTenths == o.glyphTenths;
    }
};

/* One font of a fontconfig sort, for the characters the first lacks. */
struct Face {
    FcPattern *source;  /* the set's pattern (owned by the set) */
    FcCharSet *charset; /* its characters (owned by source), or NULL */
};

/*
 * The fontconfig match of one family, size and style on a screen, which
 * every stretch and turn of it shares: the sorted set is the large part
 * of a font, and a map's labels ask for one family at many angles.
 */
struct FontMatch {
    Display *display;
    int screen;
    Tk_Uid family;
    double points;
    int bold, italic;
    int refCount;       /* fonts using it; freed at 0 */
    FcPattern *pattern; /* the substituted request */
    FcFontSet *set;     /* its fonts, best first */
    std::vector<Face> faces;
    double pixels;  /* pixel size of the first face */
    double average; /* its mean advance over kAverageSample at the natural width */
};

}  // namespace

struct RotatedFont {
    FontKey key;
    int refCount; /* users; freed at 0 */
    int ascent, descent, tabWidth;
    int underlinePos;    /* baseline to the underline's top, pixels */
    int underlineHeight; /* at least 1 */
    Tk_Font tkfont;      /* Tk's font, or NULL for an Xft font */
    /* Xft fonts only: */
    FontMatch *match;
    FcMatrix upright, turned;
    bool isTurned;     /* turned differs from upright */
    int advances[128]; /* ASCII advances, -1 until measured */
};

namespace {

std::vector<RotatedFont *> fonts; /* every font in use */
std::vector<FontMatch *> matches; /* every match in use */

/* Points of a Tk size (points when positive, pixels when negative) on
 * tkwin's screen, as Tk gives them to fontconfig; 0 is Tk's default of 12
 * points. */
double pointsOf(Tk_Window tkwin, double size)
{
    if (size > 0) {
        return size;
    }
    if (size == 0) {
        return 12;
    }
    Screen *screen = Tk_Screen(tkwin);
    return -size * 72.0 / 25.4 * WidthMMOfScreen(screen) / WidthOfScreen(screen);
}

/*
 * Open Xft fonts: a face of a match under a matrix, the most recently
 * used last. Fonts are opened when measuring or drawing needs them and closed
 * beyond kOpenFontLimit, so that labels at a thousand angles keep a few
 * dozen open. A font used since the current call began (useClock) stays
 * open until the call is over: the glyphs of one drawing may come from
 * several.
 */
struct OpenFont {
    FontMatch *match;
    int face;
    FcMatrix matrix;
    XftFont *font;
    unsigned long lastUse; /* useClock when last used */
};
constexpr size_t kOpenFontLimit = 32;
std::vector<OpenFont> openFonts; /* most recently used last */
unsigned long useClock = 0;

/* Starts a call that measures or draws: fonts it opens are kept to its end. */
void beginFontUse()
{
    useClock++;
}

bool sameMatrix(const FcMatrix &a, const FcMatrix &b)
{
    return a.xx == b.xx && a.xy == b.xy && a.yx == b.yx && a.yy == b.yy;
}

void closeOpenFont(const OpenFont &f)
{
    XftFontClose(f.match->display, f.font);
}

/* Face i of match under matrix m; NULL when it cannot be opened. */
XftFont *openFace(FontMatch *match, int i, const FcMatrix &m)
{
    for (size_t k = openFonts.size(); k-- > 0;) {
        OpenFont &f = openFonts[k];
        if (f.match == match && f.face == i && sameMatrix(f.matrix, m)) {
            OpenFont used = f;
            used.lastUse = useClock;
            openFonts.erase(openFonts.begin() + static_cast<long>(k));
            openFonts.push_back(used);
            return used.font;
        }
    }
    FcPattern *p = FcFontRenderPrepare(nullptr, match->pattern, match->faces[static_cast<size_t>(i)].source);
    if (p == nullptr) {
        return nullptr;
    }
    if (m.xx != 1 || m.xy != 0 || m.yx != 0 || m.yy != 1) {
        FcPatternDel(p, FC_MATRIX);
        FcPatternAddMatrix(p, FC_MATRIX, &m);
    }
    XftFont *font = XftFontOpenPattern(match->display, p);
    if (font == nullptr) {
        FcPatternDestroy(p);
        return nullptr;
    }
    openFonts.push_back(OpenFont{match, i, m, font, useClock});
    /* The least recently used beyond the limit are closed, never one this
     * call has used. */
    for (size_t k = 0; openFonts.size() > kOpenFontLimit && k < openFonts.size();) {
        if (openFonts[k].lastUse != useClock) {
            closeOpenFont(openFonts[k]);
            openFonts.erase(openFonts.begin() + static_cast<long>(k));
        } else {
            k++;
        }
    }
    return font;
}

/* An Xft font's face and the fonts a character is measured and drawn in. */
struct FaceFonts {
    XftFont *upright; /* stretched, unturned: measuring */
    XftFont *turned;  /* stretched and turned: drawing; may be upright */
};

/* The fonts of the face that shows c (the first when none does); both
 * NULL when even the first cannot be opened. */
FaceFonts faceFor(RotatedFont *font, FcChar32 c)
{
    FontMatch *match = font->match;
    size_t n = match->faces.size();
    size_t pick = 0;
    for (size_t i = 0; i < n; i++) {
        if (match->faces[i].charset != nullptr && FcCharSetHasChar(match->faces[i].charset, c)) {
            pick = i;
            break;
        }
    }
    for (;; pick = 0) {
        FaceFonts f{openFace(match, static_cast<int>(pick), font->upright), nullptr};
        if (f.upright != nullptr) {
            f.turned = font->isTurned ? openFace(match, static_cast<int>(pick), font->turned) : f.upright;
        }
        if (f.turned != nullptr) {
            return f;
        }
        if (pick == 0) {
            return FaceFonts{nullptr, nullptr};
        }
    }
}

/* Advance of c in the unturned font, pixels. */
int advanceOf(RotatedFont *font, FcChar32 c)
{
    if (c < 128 && font->advances[c] >= 0) {
        return font->advances[c];
    }
    int width = 0;
    FaceFonts f = faceFor(font, c);
    if (f.upright != nullptr) {
        FT_UInt glyph = XftCharIndex(font->key.display, f.upright, c);
        XGlyphInfo info;
        XftGlyphExtents(font->key.display, f.upright, &glyph, 1, &info);
        width = info.xOff;
    }
    if (c < 128) {
        font->advances[c] = width;
    }
    return width;
}

void releaseMatch(FontMatch *match)
{
    if (match == nullptr || --match->refCount > 0) {
        return;
    }
    for (size_t k = 0; k < openFonts.size();) {
        if (openFonts[k].match == match) {
            closeOpenFont(openFonts[k]);
            openFonts.erase(openFonts.begin() + static_cast<long>(k));
        } else {
            k++;
        }
    }
    matches.erase(std::remove(matches.begin(), matches.end(), match), matches.end());
    if (match->set != nullptr) {
        FcFontSetDestroy(match->set);
    }
    if (match->pattern != nullptr) {
        FcPatternDestroy(match->pattern);
    }
    delete match;
}

/*
 * The match of key's family, size and style, shared (one more use), with
 * its first face's pixel size and mean natural advance measured;
 * NULL when fontconfig finds no font.
 */
FontMatch *getMatch(const FontKey &k)
{
    for (FontMatch *m : matches) {
        if (m->display == k.display && m->screen == k.screen && m->family == k.family && m->points == k.size &&
            m->bold == k.bold && m->italic == k.italic) {
            m->refCount++;
            return m;
        }
    }
    auto *m = new (std::nothrow)
        FontMatch{k.display, k.screen, k.family, k.size, k.bold, k.italic, 1, nullptr, nullptr, {}, 0, 0};
    if (m == nullptr) {
        return nullptr;
    }
    matches.push_back(m);
    m->pattern = FcPatternCreate();
    if (m->pattern == nullptr) {
        releaseMatch(m);
        return nullptr;
    }
    if (k.family != nullptr && *k.family != '\0') {
        FcPatternAddString(m->pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(k.family));
    }
    FcPatternAddDouble(m->pattern, FC_SIZE, k.size);
    FcPatternAddInteger(m->pattern, FC_WEIGHT, k.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_MEDIUM);
    FcPatternAddInteger(m->pattern, FC_SLANT, k.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, m->pattern, FcMatchPattern);
    XftDefaultSubstitute(k.display, k.screen, m->pattern);
    FcResult result;
    m->set = FcFontSort(nullptr, m->pattern, FcTrue, nullptr, &result);
    if (m->set == nullptr || m->set->nfont == 0) {
        releaseMatch(m);
        return nullptr;
    }
    for (int i = 0; i < m->set->nfont; i++) {
        Face f{m->set->fonts[i], nullptr};
        if (FcPatternGetCharSet(f.source, FC_CHARSET, 0, &f.charset) != FcResultMatch) {
            f.charset = nullptr;
        }
        m->faces.push_back(f);
    }

    /* The first face that shows 'a', at its natural width. */
    RotatedFont natural{};
    natural.key = k;
    natural.match = m;
    FcMatrixInit(&natural.upright);
    FcMatrixInit(&natural.turned);
    std::fill(std::begin(natural.advances), std::end(natural.advances), -1);
    FaceFonts first = faceFor(&natural, 'a');
    if (first.upright == nullptr) {
        releaseMatch(m);
        return nullptr;
    }
    if (FcPatternGetDouble(first.upright->pattern, FC_PIXEL_SIZE, 0, &m->pixels) != FcResultMatch) {
        m->pixels = first.upright->ascent + first.upright->descent;
    }
    int total = 0;
    for (const char *p = kAverageSample; *p != '\0'; p++) {
        total += advanceOf(&natural, static_cast<unsigned char>(*p));
    }
    m->average = total / double(sizeof kAverageSample - 1);
    return m;
}

void destroyFont(RotatedFont *font)
{
    if (font->tkfont != nullptr) {
        Tk_FreeFont(font->tkfont);
    }
    releaseMatch(font->match);
    delete font;
}

/* Fills font with Tk's font for its key; false when Tk has none. */
bool openTkFont(RotatedFont *font, Tk_Window tkwin)
{
    const FontKey &k = font->key;
    Tcl_Obj *words[6];
    int n = 0;
    words[n++] = Tcl_NewStringObj(k.family != nullptr ? k.family : "", -1);
    words[n++] = Tcl_NewIntObj(static_cast<int>(k.size));
    words[n++] = Tcl_NewStringObj(k.bold ? "bold" : "normal", -1);
    words[n++] = Tcl_NewStringObj(k.italic ? "italic" : "roman", -1);
    if (k.underline) {
        words[n++] = Tcl_NewStringObj("underline", -1);
    }
    if (k.overstrike) {
        words[n++] = Tcl_NewStringObj("overstrike", -1);
    }
    Tcl_Obj *name = Tcl_NewListObj(n, words);
    Tcl_IncrRefCount(name);
    Tcl_Interp *interp = Tk_Interp(tkwin);
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    font->tkfont = Tk_GetFont(interp, tkwin, Tcl_GetString(name));
    Tcl_RestoreInterpState(interp, state);
    Tcl_DecrRefCount(name);
    if (font->tkfont == nullptr) {
        return false;
    }
    Tk_FontMetrics fm;
    Tk_GetFontMetrics(font->tkfont, &fm);
    font->ascent = fm.ascent;
    font->descent = fm.descent;
    const TkFont *tk = reinterpret_cast<const TkFont *>(font->tkfont);
    font->tabWidth = std::max(1, tk->tabWidth);
    font->underlinePos = tk->underlinePos;
    font->underlineHeight = std::max(1, tk->underlineHeight);
    return true;
}

/* Fills font with the Xft fonts for its key; false when fontconfig finds
 * none. */
bool openXftFont(RotatedFont *font)
{
    const FontKey &k = font->key;
    beginFontUse();
    font->match = getMatch(k);
    if (font->match == nullptr) {
        return false;
    }
    const FontMatch *m = font->match;
    /* The stretch that makes the average width pixels x |aspect|, held
     * to a stretched em of kWidestEm pixels: far wider, Xft's glyph
     * measures overflow and come back as nonsense. */
    double sx = 1;
    if (k.stretch > 0 && m->average > 0) {
        sx = std::min(m->pixels * k.stretch / m->average, kWidestEm / std::max(m->pixels, 1.0));
    }
    double c, s;
    rotatedTurn(k.glyphTenths / 10.0, &c, &s);
    FcMatrixInit(&font->upright);
    FcMatrixInit(&font->turned);
    font->upright.xx = sx;
    font->turned.xx = c * sx;
    font->turned.xy = -s;
    font->turned.yx = s * sx;
    font->turned.yy = c;
    font->isTurned = k.glyphTenths != 0;
    std::fill(std::begin(font->advances), std::end(font->advances), -1);
    FaceFonts first = faceFor(font, 'a');
    if (first.upright == nullptr) {
        return false;
    }
    font->ascent = first.upright->ascent;
    font->descent = first.upright->descent;
    font->tabWidth = std::max(1, 8 * advanceOf(font, '0'));
    font->underlinePos = font->descent / 2;
    font->underlineHeight = std::max(1, (font->ascent + font->descent) / 15);
    return true;
}

/* The colour an Xft drawing of pixel takes (read from the screen's
 * default colormap, as Tk's own text does). */
XftColor colorOf(Display *display, int screen, unsigned long pixel)
{
    XColor x;
    x.pixel = pixel;
    XQueryColor(display, DefaultColormap(display, screen), &x);
    XftColor color;
    color.pixel = pixel;
    color.color.red = x.red;
    color.color.green = x.green;
    color.color.blue = x.blue;
    color.color.alpha = 0xffff;
    return color;
}

/* The filled bar from pen offset 0 to length along the baseline, from
 * `top` to `top + height` below it, turned by (c, s). */
void fillTurnedBar(Display *display, Drawable drawable, GC gc, double x, double y, double c, double s, int length,
                   int top, int height)
{
    double pts[4][2] = {{0, double(top)},
                        {double(length), double(top)},
                        {double(length), double(top + height)},
                        {0, double(top + height)}};
    XPoint poly[4];
    for (int i = 0; i < 4; i++) {
        poly[i].x = static_cast<short>(std::clamp(roundToInt(x + pts[i][0] * c + pts[i][1] * s), -32768, 32767));
        poly[i].y = static_cast<short>(std::clamp(roundToInt(y - pts[i][0] * s + pts[i][1] * c), -32768, 32767));
    }
    XFillPolygon(display, drawable, gc, poly, 4, Convex, CoordModeOrigin);
}

/* Draws the characters with gc's foreground (pixel) on a transparent
 * background. */
void drawPlain(Display *display, Drawable drawable, GC gc, unsigned long pixel, RotatedFont *font, const char *text,
               int numBytes, int x, int y, double c, double s)
{
    if (font->tkfont != nullptr) {
        if (c == 1 && s == 0) {
            Tk_DrawChars(display, drawable, gc, font->tkfont, text, numBytes, x, y);
        } else {
            TkDrawAngledChars(display, drawable, gc, font->tkfont, text, numBytes, x, y,
                              std::atan2(s, c) * 180.0 / M_PI);
        }
        return;
    }
    const int screen = font->key.screen;
    std::vector<XftGlyphFontSpec> specs;
    specs.reserve(static_cast<size_t>(numBytes));
    int pen = 0;
    const char *end = text + numBytes;
    for (const char *p = text; p < end;) {
        Tcl_UniChar ch = 0;
        p += Tcl_UtfToUniChar(p, &ch);
        FaceFonts f = faceFor(font, ch);
        if (f.turned == nullptr) {
            return;
        }
        /* Glyphs beyond the 16-bit range lie off every drawable. */
        int gx = roundToInt(x + pen * c), gy = roundToInt(y - pen * s);
        pen += advanceOf(font, ch);
        if (gx < -32000 || gx > 32000 || gy < -32000 || gy > 32000) {
            continue;
        }
        XftGlyphFontSpec spec;
        spec.font = f.turned;
        spec.glyph = XftCharIndex(display, f.turned, ch);
        spec.x = static_cast<short>(gx);
        spec.y = static_cast<short>(gy);
        specs.push_back(spec);
    }
    XftDraw *draw = XftDrawCreate(display, drawable, DefaultVisual(display, screen), DefaultColormap(display, screen));
    if (draw == nullptr) {
        return;
    }
    XftColor color = colorOf(display, screen, pixel);
    XftDrawGlyphFontSpec(draw, &color, specs.data(), static_cast<int>(specs.size()));
    XftDrawDestroy(draw);
    if (font->key.underline) {
        fillTurnedBar(display, drawable, gc, x, y, c, s, pen, font->underlinePos, font->underlineHeight);
    }
    if (font->key.overstrike) {
        fillTurnedBar(display, drawable, gc, x, y, c, s, pen, -font->ascent * 3 / 10, font->underlineHeight);
    }
}

/* Whether a pixel read from the screen is at least half white. */
class InkTest {
public:
    InkTest(Display *display, int screen) : display_(display), screen_(screen)
    {
        Visual *v = DefaultVisual(display, screen);
        if ((v->c_class == TrueColor || v->c_class == DirectColor) && v->green_mask != 0) {
            mask_ = v->green_mask;
        }
    }
    bool operator()(unsigned long pixel)
    {
        if (mask_ != 0) {
            unsigned long g = pixel & mask_;
            return g * 2 >= mask_;
        }
        auto it = seen_.find(pixel);
        if (it != seen_.end()) {
            return it->second;
        }
        XColor x;
        x.pixel = pixel;
        XQueryColor(display_, DefaultColormap(display_, screen_), &x);
        bool ink = x.green >= 0x8000;
        seen_[pixel] = ink;
        return ink;
    }

private:
    Display *display_;
    int screen_;
    unsigned long mask_ = 0;
    std::unordered_map<unsigned long, bool> seen_;
};

/* Stippled text: the characters drawn white on black into a scratch
 * pixmap, read back as a mask, the mask laid with the stipple, and the
 * GC's foreground filled through it. */
void drawThroughStipple(Display *display, Drawable drawable, GC gc, const XGCValues &values, RotatedFont *font,
                        const char *text, int numBytes, int x, int y, double c, double s)
{
    int width = 0;
    measureRotatedChars(font, text, numBytes, -1, 0, &width);
    /* Glyphs may reach past their advances (slants, overhangs). */
    int margin = (font->ascent + font->descent) / 3 + 1;
    int bx, by, bw, bh;
    rotatedTextBox(c, s, width + 2 * margin, font->ascent + font->descent + 2 * margin, &bx, &by, &bw, &bh);
    /* The block's top-left corner: from the baseline start, back along
     * the line by the margin and up by ascent and margin. */
    double up = font->ascent + margin;
    int left = roundToInt(x - margin * c - up * s) + bx;
    int top = roundToInt(y + margin * s - up * c) + by;

    Window root;
    int gx, gy;
    unsigned int gw, gh, border, depth;
    if (!XGetGeometry(display, drawable, &root, &gx, &gy, &gw, &gh, &border, &depth)) {
        return;
    }
    /* Only the part on the drawable is needed: long texts stay small. */
    int right = static_cast<int>(std::min<long long>(static_cast<long long>(left) + bw, gw));
    int bottom = static_cast<int>(std::min<long long>(static_cast<long long>(top) + bh, gh));
    left = std::max(left, 0);
    top = std::max(top, 0);
    if (right <= left || bottom <= top) {
        return;
    }
    bw = right - left;
    bh = bottom - top;
    const int screen = font->key.screen;
    Pixmap scratch = XCreatePixmap(display, drawable, static_cast<unsigned>(bw), static_cast<unsigned>(bh), depth);
    GC sgc = XCreateGC(display, scratch, 0, nullptr);
    XSetForeground(display, sgc, BlackPixel(display, screen));
    XFillRectangle(display, scratch, sgc, 0, 0, static_cast<unsigned>(bw), static_cast<unsigned>(bh));
    XSetForeground(display, sgc, WhitePixel(display, screen));
    drawPlain(display, scratch, sgc, WhitePixel(display, screen), font, text, numBytes, x - left, y - top, c, s);
    XImage *ink =
        XGetImage(display, scratch, 0, 0, static_cast<unsigned>(bw), static_cast<unsigned>(bh), AllPlanes, ZPixmap);
    XFreeGC(display, sgc);
    XFreePixmap(display, scratch);
    if (ink == nullptr) {
        return;
    }

    int stride = (bw + 7) / 8;
    char *bits = static_cast<char *>(std::calloc(static_cast<size_t>(stride) * static_cast<size_t>(bh), 1));
    if (bits == nullptr) {
        XDestroyImage(ink);
        return;
    }
    XImage *mask = XCreateImage(display, DefaultVisual(display, screen), 1, XYBitmap, 0, bits,
                                static_cast<unsigned>(bw), static_cast<unsigned>(bh), 8, stride);
    if (mask == nullptr) {
        std::free(bits);
        XDestroyImage(ink);
        return;
    }
    InkTest isInk(display, screen);
    for (int row = 0; row < bh; row++) {
        for (int col = 0; col < bw; col++) {
            if (isInk(XGetPixel(ink, col, row))) {
                XPutPixel(mask, col, row, 1);
            }
        }
    }
    XDestroyImage(ink);
    Pixmap clip = XCreatePixmap(display, drawable, static_cast<unsigned>(bw), static_cast<unsigned>(bh), 1);
    XGCValues bit_values;
    bit_values.foreground = 1; /* a bitmap image's set bits */
    bit_values.background = 0;
    GC mgc = XCreateGC(display, clip, GCForeground | GCBackground, &bit_values);
    XPutImage(display, clip, mgc, mask, 0, 0, 0, 0, static_cast<unsigned>(bw), static_cast<unsigned>(bh));
    XDestroyImage(mask);
    /* Keep the text's pixels only where the stipple, laid from the GC's
     * origin on the drawable, is set. */
    XGCValues and_values;
    and_values.function = GXand;
    and_values.foreground = 1;
    and_values.background = 0;
    and_values.fill_style = FillOpaqueStippled;
    and_values.stipple = values.stipple;
    and_values.ts_x_origin = values.ts_x_origin - left;
    and_values.ts_y_origin = values.ts_y_origin - top;
    XChangeGC(display, mgc,
              GCFunction | GCForeground | GCBackground | GCFillStyle | GCStipple | GCTileStipXOrigin |
                  GCTileStipYOrigin,
              &and_values);
    XFillRectangle(display, clip, mgc, 0, 0, static_cast<unsigned>(bw), static_cast<unsigned>(bh));
    XFreeGC(display, mgc);

    GC fill = XCreateGC(display, drawable, 0, nullptr);
    XCopyGC(display, gc, GCFunction | GCPlaneMask | GCForeground | GCSubwindowMode, fill);
    XSetClipMask(display, fill, clip);
    XSetClipOrigin(display, fill, left, top);
    XFillRectangle(display, drawable, fill, left, top, static_cast<unsigned>(bw), static_cast<unsigned>(bh));
    XFreeGC(display, fill);
    XFreePixmap(display, clip);
}

/* Reads a Tk font size word; false when it is no number. */
bool sizeWord(Tcl_Obj *word, double *size)
{
    return cGetDoubleFromObj(nullptr, word, size) == TCL_OK;
}

/*
 * The pixel size an XLFD name asks for, read as Tk's parser reads it: its
 * pixel size field, where a number in the add-style field stands for it
 * (the common "-adobe-times-medium-r-*-12-*" form). 0 when it gives none.
 */
double xlfdPixels(const char *name)
{
    std::vector<std::string> fields;
    const char *p = *name == '-' ? name + 1 : name;
    while (true) {
        const char *dash = std::strchr(p, '-');
        fields.emplace_back(p, dash != nullptr ? static_cast<size_t>(dash - p) : std::strlen(p));
        if (dash == nullptr) {
            break;
        }
        p = dash + 1;
    }
    enum { kAddStyle = 5, kPixels = 6 };
    auto number = [&](size_t i) {
        if (i >= fields.size()) {
            return 0L;
        }
        char *end;
        long n = std::strtol(fields[i].c_str(), &end, 10);
        return end != fields[i].c_str() && *end == '\0' && n > 0 && n <= 100000 ? n : 0L;
    };
    long pixels = number(kAddStyle);
    return static_cast<double>(pixels != 0 ? pixels : number(kPixels));
}

/* Applies "-option value" pairs to attrs (unknown options ignored). */
void applyOptions(Tcl_Obj *const *words, int n, RotatedFontAttributes *attrs)
{
    for (int i = 0; i + 1 < n; i += 2) {
        const char *opt = Tcl_GetString(words[i]);
        const char *value = Tcl_GetString(words[i + 1]);
        int flag = 0;
        if (std::strcmp(opt, "-family") == 0) {
            attrs->family = *value != '\0' ? Tk_GetUid(value) : nullptr;
        } else if (std::strcmp(opt, "-size") == 0) {
            sizeWord(words[i + 1], &attrs->size);
        } else if (std::strcmp(opt, "-weight") == 0) {
            attrs->bold = std::strcmp(value, "bold") == 0;
        } else if (std::strcmp(opt, "-slant") == 0) {
            attrs->italic = std::strcmp(value, "roman") != 0;
        } else if (std::strcmp(opt, "-underline") == 0 &&
                   Tcl_GetBooleanFromObj(nullptr, words[i + 1], &flag) == TCL_OK) {
            attrs->underline = flag;
        } else if (std::strcmp(opt, "-overstrike") == 0 &&
                   Tcl_GetBooleanFromObj(nullptr, words[i + 1], &flag) == TCL_OK) {
            attrs->overstrike = flag;
        }
    }
}

/* A named font's attributes through "font configure"; false when name is
 * no named font. */
bool namedFontAttributes(Tcl_Interp *interp, Tcl_Obj *name, RotatedFontAttributes *attrs)
{
    if (interp == nullptr) {
        return false;
    }
    Tcl_Obj *words[3] = {Tcl_NewStringObj("font", -1), Tcl_NewStringObj("configure", -1), name};
    for (Tcl_Obj *w : words) {
        Tcl_IncrRefCount(w);
    }
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    bool ok = Tcl_EvalObjv(interp, 3, words, TCL_EVAL_GLOBAL) == TCL_OK;
    if (ok) {
        Tcl_Obj *result = Tcl_GetObjResult(interp);
        Tcl_Obj **opts;
        int n;
        if (Tcl_ListObjGetElements(nullptr, result, &n, &opts) == TCL_OK) {
            *attrs = RotatedFontAttributes{};
            applyOptions(opts, n, attrs);
        } else {
            ok = false;
        }
    }
    Tcl_RestoreInterpState(interp, state);
    for (Tcl_Obj *w : words) {
        Tcl_DecrRefCount(w);
    }
    return ok;
}

}  // namespace

extern "C" {

int rotatedFontSetup(void)
{
    static int done = 0;
    if (done == 0) {
        done = FcInit() ? 1 : -1;
    }
    return done > 0;
}

void rotatedFontAttributes(Tcl_Interp *interp, Tk_Font tkfont, RotatedFontAttributes *attrs)
{
    /* What Tk found: the answer for names of other forms. */
    const TkFont *tk = reinterpret_cast<const TkFont *>(tkfont);
    attrs->family = tk->fa.family;
    attrs->size = tk->fa.size;
    attrs->bold = tk->fa.weight == TK_FW_BOLD;
    attrs->italic = tk->fa.slant != TK_FS_ROMAN;
    attrs->underline = tk->fa.underline;
    attrs->overstrike = tk->fa.overstrike;
    attrs->pixels = 0;

    const char *name = Tk_NameOfFont(tkfont);
    Tcl_Obj *nameObj = Tcl_NewStringObj(name, -1);
    Tcl_IncrRefCount(nameObj);
    Tcl_Obj **words;
    int n;
    if (tk->namedHashPtr != nullptr) {
        namedFontAttributes(interp, nameObj, attrs);
    } else if (*name == '*') {
        /* An XLFD: what Tk found, drawn at the pixel size the name asks
         * for (Tk keeps a rounded point size). */
        attrs->pixels = xlfdPixels(name);
    } else if (Tcl_ListObjGetElements(nullptr, nameObj, &n, &words) != TCL_OK || n == 0) {
        /* A native name: what Tk found. */
    } else if (*name == '-') {
        const char *dash = std::strchr(name + 1, '-');
        if (dash == nullptr || std::isspace(static_cast<unsigned char>(dash[-1]))) {
            *attrs = RotatedFontAttributes{};
            applyOptions(words, n, attrs);
        } else {
            attrs->pixels = xlfdPixels(name);
        }
    } else {
        *attrs = RotatedFontAttributes{};
        const char *family = Tcl_GetString(words[0]);
        attrs->family = *family != '\0' ? Tk_GetUid(family) : nullptr;
        if (n > 1) {
            sizeWord(words[1], &attrs->size);
        }
        for (int i = 2; i < n; i++) {
            const char *style = Tcl_GetString(words[i]);
            if (std::strcmp(style, "bold") == 0) {
                attrs->bold = 1;
            } else if (std::strcmp(style, "normal") == 0) {
                attrs->bold = 0;
            } else if (std::strcmp(style, "italic") == 0 || std::strcmp(style, "oblique") == 0) {
                attrs->italic = 1;
            } else if (std::strcmp(style, "roman") == 0) {
                attrs->italic = 0;
            } else if (std::strcmp(style, "underline") == 0) {
                attrs->underline = 1;
            } else if (std::strcmp(style, "overstrike") == 0) {
                attrs->overstrike = 1;
            }
        }
    }
    Tcl_DecrRefCount(nameObj);
}

RotatedFont *getRotatedFont(Tk_Window tkwin, const RotatedFontAttributes *attrs, double aspect, double escapement,
                            double orientation, int graphicsMode)
{
    if (tkwin == nullptr || attrs == nullptr || !rotatedFontSetup()) {
        return nullptr;
    }
    double stretch = std::isfinite(aspect) ? std::fabs(aspect) : 0;
    double c, s;
    int lineTenths = rotatedTurn(escapement, &c, &s);
    int glyphTenths = graphicsMode != 0 ? rotatedTurn(orientation, &c, &s) : lineTenths;
    FontKey key{};
    key.display = Tk_Display(tkwin);
    key.screen = Tk_ScreenNumber(tkwin);
    key.family = attrs->family;
    key.bold = attrs->bold != 0;
    key.italic = attrs->italic != 0;
    key.underline = attrs->underline != 0;
    key.overstrike = attrs->overstrike != 0;
    key.xft = stretch > 0 || glyphTenths != lineTenths;
    double size = attrs->pixels > 0 && std::isfinite(attrs->pixels) ? -attrs->pixels : attrs->size;
    if (key.xft) {
        key.size = pointsOf(tkwin, std::isfinite(size) ? size : 0);
        key.stretch = stretch;
        key.glyphTenths = glyphTenths;
    } else {
        key.size = roundToInt(size);
    }
    for (RotatedFont *f : fonts) {
        if (f->key == key) {
            f->refCount++;
            return f;
        }
    }
    RotatedFont *font = new (std::nothrow) RotatedFont();
    if (font == nullptr) {
        return nullptr;
    }
    font->key = key;
    font->refCount = 1;
    bool ok = key.xft ? openXftFont(font) : openTkFont(font, tkwin);
    if (!ok) {
        destroyFont(font);
        return nullptr;
    }
    fonts.push_back(font);
    return font;
}

void freeRotatedFont(RotatedFont *font)
{
    if (font == nullptr || --font->refCount > 0) {
        return;
    }
    fonts.erase(std::remove(fonts.begin(), fonts.end(), font), fonts.end());
    destroyFont(font);
}

int rotatedFontCount(void)
{
    return static_cast<int>(fonts.size());
}

void rotatedFontMetrics(const RotatedFont *font, int *ascent, int *descent, int *tabWidth)
{
    *ascent = font->ascent;
    *descent = font->descent;
    *tabWidth = font->tabWidth;
}

int measureRotatedChars(RotatedFont *font, const char *text, int numBytes, int maxLength, int flags, int *lengthPtr)
{
    if (font->tkfont != nullptr) {
        return Tk_MeasureChars(font->tkfont, text, numBytes, maxLength, flags, lengthPtr);
    }
    /* Tk's rule over the unturned advances. */
    beginFontUse();
    int curX = 0, curByte = 0, termX = 0, termByte = 0;
    bool sawNonSpace = false;
    while (curByte < numBytes) {
        Tcl_UniChar ch = 0;
        int len = Tcl_UtfToUniChar(text + curByte, &ch);
        if (ch < 256 && std::isspace(static_cast<int>(ch))) {
            if (sawNonSpace) {
                termByte = curByte;
                termX = curX;
                sawNonSpace = false;
            }
        } else {
            sawNonSpace = true;
        }
        int newX = curX + advanceOf(font, ch);
        if (maxLength >= 0 && newX > maxLength) {
            if ((flags & ROTFONT_PARTIAL_OK) || ((flags & ROTFONT_AT_LEAST_ONE) && curByte == 0)) {
                curX = newX;
                curByte += len;
            } else if ((flags & ROTFONT_WHOLE_WORDS) && termX != 0) {
                curX = termX;
                curByte = termByte;
            }
            break;
        }
        curX = newX;
        curByte += len;
    }
    *lengthPtr = curX;
    return std::min(curByte, numBytes);
}

void drawStippledChars(Display *display, Drawable drawable, GC gc, RotatedFont *font, const char *text, int numBytes,
                       int x, int y, double cosA, double sinA)
{
    if (font == nullptr || drawable == None || gc == nullptr || numBytes <= 0) {
        return;
    }
    beginFontUse();
    XGCValues values;
    XGetGCValues(display, gc, GCForeground | GCFillStyle | GCStipple | GCTileStipXOrigin | GCTileStipYOrigin, &values);
    /* Xlib answers an all-ones id for a stipple never set. */
    bool stippled = (values.fill_style == FillStippled || values.fill_style == FillOpaqueStippled) &&
                    values.stipple != None && (values.stipple & 0xE0000000UL) == 0;
    if (stippled) {
        drawThroughStipple(display, drawable, gc, values, font, text, numBytes, x, y, cosA, sinA);
    } else {
        drawPlain(display, drawable, gc, values.foreground, font, text, numBytes, x, y, cosA, sinA);
    }
}

int rotatedTurn(double degrees, double *cosA, double *sinA)
{
    int tenths = 0;
    if (std::isfinite(degrees)) {
        tenths = roundToInt(std::fmod(degrees, 360.0) * 10.0) % 3600;
        tenths += tenths < 0 ? 3600 : 0;
    }
    switch (tenths) {
    case 0:
        *cosA = 1;
        *sinA = 0;
        break;
    case 900:
        *cosA = 0;
        *sinA = 1;
        break;
    case 1800:
        *cosA = -1;
        *sinA = 0;
        break;
    case 2700:
        *cosA = 0;
        *sinA = -1;
        break;
    default:
        *cosA = std::cos(tenths / 1800.0 * M_PI);
        *sinA = std::sin(tenths / 1800.0 * M_PI);
        break;
    }
    return tenths;
}

void rotatedTextBox(double cosA, double sinA, int width, int height, int *x, int *y, int *w, int *h)
{
    const double corners[4][2] = {{0, 0}, {double(width), 0}, {0, double(height)}, {double(width), double(height)}};
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (const auto &p : corners) {
        int px = roundToInt(p[0] * cosA + p[1] * sinA);
        int py = roundToInt(-p[0] * sinA + p[1] * cosA);
        minX = std::min(minX, px);
        maxX = std::max(maxX, px);
        minY = std::min(minY, py);
        maxY = std::max(maxY, py);
    }
    *x = minX;
    *y = minY;
    *w = maxX - minX + 1;
    *h = maxY - minY + 1;
}

}  // extern "C"
