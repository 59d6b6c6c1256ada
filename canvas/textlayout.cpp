/*
 * textlayout.cpp --
 *
 *	Rotated text layouts (textlayout.h): line breaking and measuring as
 *	Tk's text layout does it, drawing chunk by chunk through the font,
 *	hit tests, character boxes and the PostScript strings of the lines.
 */
#include "canvas/textlayout.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include "display/rotfont.h"
#include "tesk.h"

namespace {

int measureRotated(void *font, const char *text, int numBytes, int maxLength, int flags, int *length)
{
    return measureRotatedChars(static_cast<RotatedFont *>(font), text, numBytes, maxLength, flags, length);
}

void drawRotated(Display *display, Drawable drawable, GC gc, void *font, const char *text, int numBytes, int x, int y,
                 double c, double s)
{
    drawStippledChars(display, drawable, gc, static_cast<RotatedFont *>(font), text, numBytes, x, y, c, s);
}

/* Width of numBytes bytes of text, unlimited. */
int widthOf(const LayoutFont &font, const char *text, int numBytes)
{
    int width = 0;
    if (numBytes > 0) {
        font.measure(font.font, text, numBytes, -1, 0, &width);
    }
    return width;
}

/* Byte offset of character index within text of numBytes bytes. */
int byteOfChar(const char *text, int numBytes, int index)
{
    int at = 0;
    for (; index > 0 && at < numBytes; index--) {
        at += static_cast<int>(Tcl_UtfNext(text + at) - (text + at));
    }
    return std::min(at, numBytes);
}

bool sameFont(const LayoutFont &a, const LayoutFont &b)
{
    return a.font == b.font && a.measure == b.measure && a.draw == b.draw && a.ascent == b.ascent &&
           a.descent == b.descent && a.tabWidth == b.tabWidth;
}

/* Whether the chunk is a newline's. */
bool isNewline(const RotatedTextLayout *layout, const LayoutChunk &chunk)
{
    return chunk.numBytes > 0 && layout->text[static_cast<size_t>(chunk.start)] == '\n';
}

/* Whether the chunk is never hit nor intersected: a newline, or white
 * space alone. */
bool isBlank(const RotatedTextLayout *layout, const LayoutChunk &chunk)
{
    return chunk.numDisplayChars == 0 || isNewline(layout, chunk);
}

LayoutChunk &newChunk(RotatedTextLayout *layout, int start, int numBytes, int curX, int newX, int baseline)
{
    int chars = Tcl_NumUtfChars(layout->text.data() + start, numBytes);
    layout->chunks.push_back(LayoutChunk{start, numBytes, chars, chars, curX, baseline, newX - curX, newX - curX});
    return layout->chunks.back();
}

/* Breaks layout->text into chunks (Tk's rules). */
void breakLines(RotatedTextLayout *layout)
{
    const LayoutFont &font = layout->font;
    const char *text = layout->text.data();
    const int end = static_cast<int>(layout->text.size());
    const int lineHeight = font.ascent + font.descent;
    const int tabWidth = std::max(1, font.tabWidth);
    const int wrap = layout->wrapLength > 0 ? layout->wrapLength : -1;
    int flags = (layout->flags & (TK_IGNORE_TABS | TK_IGNORE_NEWLINES)) | TK_WHOLE_WORDS | TK_AT_LEAST_ONE;
    const bool newlines = (flags & TK_IGNORE_NEWLINES) == 0;
    const bool tabs = (flags & TK_IGNORE_TABS) == 0;

    std::vector<int> lineWidths;
    int curX = 0, baseline = font.ascent, maxWidth = 0;
    int special = 0;
    for (int start = 0; start < end;) {
        if (start >= special) {
            for (special = start; special < end; special++) {
                char ch = text[special];
                if ((newlines && (ch == '\n' || ch == '\r')) || (tabs && ch == '\t')) {
                    break;
                }
            }
        }
        int last = -1; /* the text chunk made on this pass */
        if (start < special) {
            int newX;
            int bytes = font.measure(font.font, text + start, special - start, wrap < 0 ? -1 : std::max(0, wrap - curX),
                                     flags, &newX);
            newX += curX;
            flags &= ~TK_AT_LEAST_ONE;
            if (bytes > 0) {
                newChunk(layout, start, bytes, curX, newX, baseline);
                last = static_cast<int>(layout->chunks.size()) - 1;
                start += bytes;
                curX = newX;
            }
        }
        bool wrapLine = false;
        if (start == special && special < end) {
            last = -1;
            if (text[special] == '\t') {
                int newX = curX + tabWidth;
                newX -= newX % tabWidth;
                newChunk(layout, start, 1, curX, newX, baseline).numDisplayChars = -1;
                start++;
                curX = newX;
                flags &= ~TK_AT_LEAST_ONE;
                if (start < end && (wrap < 0 || newX <= wrap)) {
                    continue;
                }
            } else {
                newChunk(layout, start, 1, curX, curX, baseline).numDisplayChars = -1;
                start++;
                wrapLine = true;
            }
        }
        if (!wrapLine) {
            /* The line is full or the text ends: its trailing white space
             * joins the text chunk just made or, after a tab that ends or
             * fills the line, makes a chunk of its own that draws nothing,
             * so that every character keeps its place on a line. */
            int from = start;
            while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) {
                char ch = text[start];
                if ((newlines && (ch == '\n' || ch == '\r')) || (tabs && ch == '\t')) {
                    break;
                }
                start++;
            }
            if (start > from) {
                int spaces = widthOf(font, text + from, start - from);
                if (last >= 0) {
                    /* As Tk's layout: the spaces' width plus the line's x
                     * after the chunk. */
                    LayoutChunk &chunk = layout->chunks[static_cast<size_t>(last)];
                    chunk.totalWidth = spaces + curX;
                    chunk.numBytes += start - from;
                    chunk.numChars += Tcl_NumUtfChars(text + from, start - from);
                } else {
                    LayoutChunk &chunk = newChunk(layout, from, start - from, curX, curX + spaces, baseline);
                    chunk.numDisplayChars = 0;
                    chunk.displayWidth = 0;
                }
            }
        }
        flags |= TK_AT_LEAST_ONE;
        maxWidth = std::max(maxWidth, curX);
        lineWidths.push_back(curX);
        curX = 0;
        baseline += lineHeight;
    }

    /* A text ending in a newline is a line taller. */
    if (!layout->chunks.empty() && newlines && isNewline(layout, layout->chunks.back())) {
        newChunk(layout, end, 0, 0, 0, baseline).numDisplayChars = -1;
        lineWidths.push_back(0);
        baseline += lineHeight;
    }
    layout->width = maxWidth;
    if (layout->chunks.empty()) {
        layout->chunks.push_back(LayoutChunk{0, 0, 0, -1, 0, font.ascent, 0, 0});
        layout->height = lineHeight;
        return;
    }
    layout->height = baseline - font.ascent;
    size_t line = 0;
    int y = layout->chunks.front().y;
    for (LayoutChunk &chunk : layout->chunks) {
        if (chunk.y != y) {
            line++;
            y = chunk.y;
        }
        int extra = maxWidth - lineWidths[line];
        if (layout->justify == TK_JUSTIFY_CENTER) {
            chunk.x += extra / 2;
        } else if (layout->justify == TK_JUSTIFY_RIGHT) {
            chunk.x += extra;
        }
    }
}

/* Bytes of the first numChars characters of string (-1: all). */
int bytesOfChars(const char *string, int numChars)
{
    int all = static_cast<int>(std::strlen(string));
    return numChars < 0 ? all : byteOfChar(string, all, numChars);
}

}  // namespace

LayoutFont layoutFontOf(RotatedFont *font)
{
    LayoutFont f{font, measureRotated, drawRotated, 0, 0, 1};
    if (font != nullptr) {
        rotatedFontMetrics(font, &f.ascent, &f.descent, &f.tabWidth);
    }
    return f;
}

RotatedTextLayout *computeRotatedTextLayout(const LayoutFont &font, const char *string, int numChars, int wrapLength,
                                            int justify, int flags, int *width, int *height)
{
    RotatedTextLayout *layout = nullptr;
    updateRotatedTextLayout(&layout, font, string, numChars, wrapLength, justify, flags, width, height);
    return layout;
}

int updateRotatedTextLayout(RotatedTextLayout **layoutPtr, const LayoutFont &font, const char *string, int numChars,
                            int wrapLength, int justify, int flags, int *width, int *height)
{
    RotatedTextLayout *layout = *layoutPtr;
    int made = 0;
    if (font.font == nullptr || font.measure == nullptr || string == nullptr) {
        freeRotatedTextLayout(layout);
        layout = nullptr;
    } else {
        int bytes = bytesOfChars(string, numChars);
        wrapLength = std::max(wrapLength, 0);
        if (layout == nullptr || !sameFont(layout->font, font) || layout->wrapLength != wrapLength ||
            layout->justify != justify || layout->flags != flags ||
            layout->text.compare(0, std::string::npos, string, static_cast<size_t>(bytes)) != 0) {
            freeRotatedTextLayout(layout);
            layout = new (std::nothrow) RotatedTextLayout();
            if (layout != nullptr) {
                layout->font = font;
                layout->text.assign(string, static_cast<size_t>(bytes));
                layout->numChars = Tcl_NumUtfChars(string, bytes);
                layout->wrapLength = wrapLength;
                layout->justify = justify;
                layout->flags = flags;
                layout->cos = 1;
                layout->sin = 0;
                breakLines(layout);
                made = 1;
            }
        }
    }
    *layoutPtr = layout;
    if (width != nullptr) {
        *width = layout != nullptr ? layout->width : 0;
    }
    if (height != nullptr) {
        *height = layout != nullptr ? layout->height : 0;
    }
    return made;
}

void freeRotatedTextLayout(RotatedTextLayout *layout)
{
    delete layout;
}

void setTextLayoutRotation(RotatedTextLayout *layout, double sinA, double cosA)
{
    layout->sin = sinA;
    layout->cos = cosA;
}

void rotateLayoutPoint(const RotatedTextLayout *layout, double *x, double *y)
{
    const double c = layout->cos, s = layout->sin;
    double lx = *x * c - *y * s;
    double ly = *x * s + *y * c;
    *x = lx;
    *y = ly;
}

void layoutToScreenOffset(const RotatedTextLayout *layout, double x, double y, double *outX, double *outY)
{
    *outX = x * layout->cos + y * layout->sin;
    *outY = -x * layout->sin + y * layout->cos;
}

void drawRotatedTextLayout(Display *display, Drawable drawable, GC gc, const RotatedTextLayout *layout, int x, int y,
                           int firstChar, int lastChar)
{
    if (layout == nullptr || layout->font.draw == nullptr) {
        return;
    }
    if (lastChar < 0) {
        lastChar = 100000000;
    }
    const char *text = layout->text.data();
    for (const LayoutChunk &chunk : layout->chunks) {
        int shown = chunk.numDisplayChars;
        if (shown > 0 && firstChar < shown) {
            const char *from = text + chunk.start;
            int skip = 0;
            if (firstChar > 0) {
                int firstByte = byteOfChar(from, chunk.numBytes, firstChar);
                skip = widthOf(layout->font, from, firstByte);
                from += firstByte;
            }
            const char *to =
                text + chunk.start + byteOfChar(text + chunk.start, chunk.numBytes, std::min(lastChar, shown));
            /* The chunk's start, and the skipped characters' width along
             * the line. */
            double dx, dy;
            layoutToScreenOffset(layout, chunk.x + skip, chunk.y, &dx, &dy);
            if (to > from) {
                layout->font.draw(display, drawable, gc, layout->font.font, from, static_cast<int>(to - from),
                                  x + static_cast<int>(std::trunc(dx)), y + static_cast<int>(std::trunc(dy)),
                                  layout->cos, layout->sin);
            }
        }
        firstChar -= chunk.numChars;
        lastChar -= chunk.numChars;
        if (lastChar <= 0) {
            break;
        }
    }
}

int rotatedLayoutPointToChar(const RotatedTextLayout *layout, int x, int y)
{
    if (y < 0) {
        return 0;
    }
    const auto &chunks = layout->chunks;
    const size_t n = chunks.size();
    int chars = 0;
    for (size_t i = 0; i < n; i++) {
        int baseline = chunks[i].y;
        if (y < baseline + layout->font.descent) {
            if (x < chunks[i].x) {
                return chars;
            }
            if (x >= layout->width) {
                x = INT_MAX;
            }
            for (; i < n && chunks[i].y == baseline; i++) {
                const LayoutChunk &c = chunks[i];
                if (x < c.x + c.totalWidth) {
                    if (c.numDisplayChars < 0) {
                        return chars;
                    }
                    int dummy;
                    const char *start = layout->text.data() + c.start;
                    int bytes = layout->font.measure(layout->font.font, start, c.numBytes, x - c.x, 0, &dummy);
                    return chars + Tcl_NumUtfChars(start, bytes);
                }
                chars += c.numChars;
            }
            /* Right of the line: its last character (the newline or the
             * space where it wrapped) unless it is the text's last line. */
            return i < n ? chars - 1 : chars;
        }
        chars += chunks[i].numChars;
    }
    return chars;
}

int rotatedLayoutCharBbox(const RotatedTextLayout *layout, int index, int *x, int *y, int *width, int *height)
{
    if (index < 0) {
        return 0;
    }
    const LayoutChunk *found = nullptr;
    int cx = 0, cw = 0;
    for (const LayoutChunk &c : layout->chunks) {
        if (c.numDisplayChars < 0) {
            if (index == 0) {
                found = &c;
                cx = c.x;
                cw = c.totalWidth;
                break;
            }
        } else if (index < c.numChars) {
            const char *start = layout->text.data() + c.start;
            int before = byteOfChar(start, c.numBytes, index);
            int after = byteOfChar(start, c.numBytes, index + 1);
            found = &c;
            cx = c.x + widthOf(layout->font, start, before);
            cw = widthOf(layout->font, start + before, after - before);
            break;
        }
        index -= c.numChars;
    }
    if (found == nullptr) {
        if (index != 0) {
            return 0;
        }
        found = &layout->chunks.back();
        cx = found->x + found->totalWidth;
        cw = 0;
    }
    cx = std::min(cx, layout->width);
    cw = std::min(cw, layout->width - cx);
    *x = cx;
    *y = found->y - layout->font.ascent;
    *width = cw;
    *height = layout->font.ascent + layout->font.descent;
    return 1;
}

int rotatedLayoutDistance(const RotatedTextLayout *layout, int x, int y)
{
    double lx = x, ly = y;
    rotateLayoutPoint(layout, &lx, &ly);
    const int px = roundToInt(lx), py = roundToInt(ly);
    int best = INT_MAX;
    for (const LayoutChunk &c : layout->chunks) {
        if (isBlank(layout, c)) {
            continue;
        }
        int x1 = c.x, x2 = c.x + c.displayWidth;
        int y1 = c.y - layout->font.ascent, y2 = c.y + layout->font.descent;
        int dx = px < x1 ? x1 - px : px >= x2 ? px - x2 + 1 : 0;
        int dy = py < y1 ? y1 - py : py >= y2 ? py - y2 + 1 : 0;
        if (dx == 0 && dy == 0) {
            return 0;
        }
        best = std::min(best, static_cast<int>(std::hypot(double(dx), double(dy))));
    }
    return best == INT_MAX ? 0 : best;
}

int rotatedLayoutIntersect(const RotatedTextLayout *layout, int x, int y, int width, int height)
{
    const int right = x + width, bottom = y + height;
    int result = 0;
    for (const LayoutChunk &c : layout->chunks) {
        if (isBlank(layout, c)) {
            continue;
        }
        int x1 = c.x, x2 = c.x + c.displayWidth;
        int y1 = c.y - layout->font.ascent, y2 = c.y + layout->font.descent;
        if (right < x1 || x >= x2 || bottom < y1 || y >= y2) {
            if (result == 1) {
                return 0;
            }
            result = -1;
        } else if (x1 < x || x2 >= right || y1 < y || y2 >= bottom) {
            return 0;
        } else if (result == -1) {
            return 0;
        } else {
            result = 1;
        }
    }
    return result;
}

namespace {

/* Appends the drawn characters of chunk c to buf, escaped for a
 * PostScript string, flushing buf to interp's result as it grows. */
void appendPsChars(Tcl_Interp *interp, std::string &buf, const RotatedTextLayout *layout, const LayoutChunk &c)
{
    const char *p = layout->text.data() + c.start;
    for (int j = 0; j < c.numDisplayChars; j++) {
        Tcl_UniChar ch = 0;
        p += Tcl_UtfToUniChar(p, &ch);
        unsigned char b = static_cast<unsigned char>(ch & 0xff);
        if (ch == '(' || ch == ')' || ch == '\\' || ch < 0x20 || ch > 0x7e) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\%03o", b);
            buf += esc;
        } else {
            buf += static_cast<char>(b);
        }
        if (buf.size() >= 128) {
            Tcl_AppendResult(interp, buf.c_str(), nullptr);
            buf.clear();
        }
    }
}

}  // namespace

void rotatedLayoutToPostscript(Tcl_Interp *interp, const RotatedTextLayout *layout)
{
    std::string buf = "(";
    const char *text = layout->text.data();
    int baseline = layout->chunks.front().y;
    for (const LayoutChunk &c : layout->chunks) {
        if (c.y != baseline) {
            buf += ")\n(";
            baseline = c.y;
        }
        if (c.numDisplayChars <= 0) {
            if (c.numBytes > 0 && text[c.start] == '\t') {
                buf += "\\t";
            }
        } else {
            appendPsChars(interp, buf, layout, c);
        }
    }
    buf += ")\n";
    Tcl_AppendResult(interp, buf.c_str(), nullptr);
}

void rotatedChunksToPostscript(Tcl_Interp *interp, const RotatedTextLayout *layout, double left, double top,
                               bool stippled)
{
    for (const LayoutChunk &c : layout->chunks) {
        if (c.numDisplayChars <= 0) {
            continue;
        }
        char head[200];
        std::snprintf(head, sizeof head, "gsave\n%.15g %.15g translate\n%d (", left + c.x, top - c.y, c.displayWidth);
        std::string buf = head;
        appendPsChars(interp, buf, layout, c);
        buf += ") stringwidth pop dup 0 gt {div} {pop pop 1} ifelse 1 scale\n0 0 moveto (";
        Tcl_AppendResult(interp, buf.c_str(), nullptr);
        buf.clear();
        appendPsChars(interp, buf, layout, c);
        /* A stippled run as the prolog's DrawText draws one: glyph by
         * glyph, each outline a clip that StippleText fills. */
        buf += stippled ? ")\n0 1 2 index length 1 sub {\n"
                          "    1 index exch 1 getinterval\n"
                          "    gsave dup false charpath clip StippleText grestore\n"
                          "    stringwidth rmoveto\n"
                          "} for\npop\ngrestore\n"
                        : ") show\ngrestore\n";
        Tcl_AppendResult(interp, buf.c_str(), nullptr);
    }
}
