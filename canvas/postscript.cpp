/*
 * postscript.cpp --
 *
 *	The canvas as Encapsulated PostScript: the `postscript` word (its
 *	options, the page set-up, the fixed prolog of PostScript procedures,
 *	the prepass in which items name their fonts, and the items' own
 *	output), and the calls through which item types write colours, fonts,
 *	bitmaps, stipples, paths and captured pixels.
 */
#include "canvas/postscript.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>
#include <X11/Xutil.h>
#include "platform/x11pixels.h"
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/replace.h"

namespace {

/* ---- the prolog ---- */

/*
 * The procedures every page uses, in five pieces: the variables, the
 * ISO Latin-1 encoding (for interpreters that lack it), font re-encoding,
 * stroke clipping and pixel-even sizes, stipple fills and colour
 * adjustment, and the drawing of text lines.
 */
const char *const kProlog[] = {
    "%%BeginProlog\n"
    "50 dict begin\n"
    "\n"
    "% Variables of the procedures below.\n"
    "/baseline 0 def\n"
    "/stipimage 0 def\n"
    "/height 0 def\n"
    "/justify 0 def\n"
    "/lineLength 0 def\n"
    "/spacing 0 def\n"
    "/stipple 0 def\n"
    "/strings 0 def\n"
    "/xoffset 0 def\n"
    "/yoffset 0 def\n"
    "/tmpstip null def\n"
    "\n",

    "% The glyph names of ISO 8859-1, for interpreters without them.\n"
    "systemdict /ISOLatin1Encoding known not {\n"
    "    /ISOLatin1Encoding [\n"
    "        32 {/.notdef} repeat\n"
    "        /space /exclam /quotedbl /numbersign /dollar /percent /ampersand\n"
    "        /quotesingle /parenleft /parenright /asterisk /plus /comma /hyphen\n"
    "        /period /slash /zero /one /two /three /four /five /six /seven /eight\n"
    "        /nine /colon /semicolon /less /equal /greater /question /at\n"
    "        /A /B /C /D /E /F /G /H /I /J /K /L /M /N /O /P /Q /R /S /T /U /V /W\n"
    "        /X /Y /Z /bracketleft /backslash /bracketright /asciicircum\n"
    "        /underscore /grave\n"
    "        /a /b /c /d /e /f /g /h /i /j /k /l /m /n /o /p /q /r /s /t /u /v /w\n"
    "        /x /y /z /braceleft /bar /braceright /asciitilde /.notdef\n"
    "        32 {/.notdef} repeat\n"
    "        /space /exclamdown /cent /sterling /currency /yen /brokenbar\n"
    "        /section /dieresis /copyright /ordfeminine /guillemotleft\n"
    "        /logicalnot /hyphen /registered /macron /degree /plusminus\n"
    "        /twosuperior /threesuperior /acute /mu /paragraph /periodcentered\n"
    "        /cedilla /onesuperior /ordmasculine /guillemotright /onequarter\n"
    "        /onehalf /threequarters /questiondown\n"
    "        /Agrave /Aacute /Acircumflex /Atilde /Adieresis /Aring /AE /Ccedilla\n"
    "        /Egrave /Eacute /Ecircumflex /Edieresis /Igrave /Iacute /Icircumflex\n"
    "        /Idieresis /Eth /Ntilde /Ograve /Oacute /Ocircumflex /Otilde\n"
    "        /Odieresis /multiply /Oslash /Ugrave /Uacute /Ucircumflex\n"
    "        /Udieresis /Yacute /Thorn /germandbls\n"
    "        /agrave /aacute /acircumflex /atilde /adieresis /aring /ae /ccedilla\n"
    "        /egrave /eacute /ecircumflex /edieresis /igrave /iacute /icircumflex\n"
    "        /idieresis /eth /ntilde /ograve /oacute /ocircumflex /otilde\n"
    "        /odieresis /divide /oslash /ugrave /uacute /ucircumflex\n"
    "        /udieresis /yacute /thorn /ydieresis\n"
    "    ] def\n"
    "} if\n"
    "\n",

    "% font ISOEncode font: the font recoded in ISO Latin-1, under the\n"
    "% name /Temporary. Every entry but the font's FID is copied into a\n"
    "% new dictionary, whose Encoding is then replaced.\n"
    "/ISOEncode {\n"
    "    dup length 1 add dict exch              % copy font\n"
    "    {                                       % copy key value\n"
    "        exch dup /FID eq\n"
    "        {pop pop}\n"
    "        {exch 2 index 3 1 roll put}\n"
    "        ifelse\n"
    "    } forall\n"
    "    dup /Encoding ISOLatin1Encoding put\n"
    "    /Temporary exch definefont\n"
    "} bind def\n"
    "\n"
    "% StrokeClip: clips to the area the current path's stroke would paint.\n"
    "% When the stroke cannot be turned into a path (a dash pattern the\n"
    "% interpreter refuses), whatever the failure left on the stack is\n"
    "% dropped and the path is stroked solid instead.\n"
    "/StrokeClip {\n"
    "    mark {strokepath} stopped\n"
    "    {cleartomark [] 0 setdash strokepath}\n"
    "    {pop}\n"
    "    ifelse\n"
    "    clip\n"
    "} bind def\n"
    "\n"
    "% desiredSize EvenPixels closestSize: desiredSize rounded to a whole\n"
    "% number of device pixels (at least one), measured along the user x\n"
    "% axis, and given back in user units.\n"
    "/EvenPixels {\n"
    "    1 0 dtransform                          % size ux uy\n"
    "    dup mul exch dup mul add sqrt           % size pixelsPerUnit\n"
    "    exch 1 index mul round                  % pixelsPerUnit pixels\n"
    "    dup 1 lt {pop 1} if\n"
    "    exch div\n"
    "} bind def\n"
    "\n",

    "% width height string StippleFill: fills the clip area with the\n"
    "% stipple whose width x height dots (bottom row first, 8 a byte) the\n"
    "% string holds, a dot about a user unit, tiled from the lower-left\n"
    "% corner of the clip area rounded down to a whole number of tiles (so\n"
    "% that neighbouring fills continue one pattern).\n"
    "/StippleFill {\n"
    "    10 dict begin\n"
    "    /bits exch def\n"
    "    /rows exch def\n"
    "    /cols exch def\n"
    "    /dot 1 EvenPixels def\n"
    "    /tileW cols dot mul def\n"
    "    /tileH rows dot mul def\n"
    "    gsave\n"
    "    clippath pathbbox newpath\n"
    "    /top exch def\n"
    "    /right exch def\n"
    "    tileH div floor tileH mul /y0 exch def\n"
    "    tileW div floor tileW mul /x0 exch def\n"
    "    y0 tileH top {\n"
    "        x0 tileW right {\n"
    "            1 index gsave translate tileW tileH scale\n"
    "            cols rows true [cols 0 0 rows 0 0] {bits} imagemask\n"
    "            grestore\n"
    "        } for\n"
    "        pop\n"
    "    } for\n"
    "    grestore\n"
    "    end\n"
    "} bind def\n"
    "\n"
    "% AdjustColor: leaves the current colour as it is in colour (CL 2);\n"
    "% in gray (CL 1) replaces it by its own gray level, in monochrome\n"
    "% (CL 0) by white from a gray of one half up, else by black.\n"
    "/AdjustColor {\n"
    "    CL 1 eq {currentgray setgray} if\n"
    "    CL 0 eq {currentgray 0.5 ge {1} {0} ifelse setgray} if\n"
    "} bind def\n"
    "\n",

    "% x y strings spacing xoffset yoffset justify stipple DrawText:\n"
    "% draws the array of text lines in the current font and colour, one\n"
    "% line every spacing units downwards. (x, y) is where the block's\n"
    "% top-left corner would be; the block then moves by xoffset times its\n"
    "% width (its widest line) and yoffset times its height (the lines'\n"
    "% spacing plus the font's ascent and descent). justify places each\n"
    "% line within the block (0 left, 0.5 centre, 1 right). The font's\n"
    "% ascent and descent are its bounding box taken through its matrix. A\n"
    "% stippled text is drawn glyph by glyph, each outline a clip that\n"
    "% StippleText fills.\n"
    "/DrawText {\n"
    "    /stipple exch def\n"
    "    /justify exch def\n"
    "    /yoffset exch def\n"
    "    /xoffset exch def\n"
    "    /spacing exch def\n"
    "    /strings exch def\n"
    "    currentfont dup /FontBBox get exch /FontMatrix get  % x y box matrix\n"
    "    0 2 index 3 get 2 index dtransform exch pop\n"
    "    /baseline exch def\n"
    "    0 2 index 1 get 2 index dtransform exch pop\n"
    "    baseline exch sub /height exch def\n"
    "    height 0 le {\n"
    "        % No usable box: four fifths of the em above the baseline,\n"
    "        % one fifth below.\n"
    "        0 1 2 index dtransform exch pop\n"
    "        dup /height exch def 0.8 mul /baseline exch def\n"
    "    } if\n"
    "    pop pop                                              % x y\n"
    "    /lineLength 0 strings {\n"
    "        stringwidth pop 2 copy lt {exch} if pop\n"
    "    } forall def\n"
    "    exch lineLength xoffset mul add exch\n"
    "    strings length 1 sub spacing mul height add yoffset mul add\n"
    "    baseline sub                                         % left base\n"
    "    gsave\n"
    "    newpath\n"
    "    strings {                                            % left base line\n"
    "        lineLength 1 index stringwidth pop sub justify mul\n"
    "        3 index add 2 index moveto\n"
    "        stipple {\n"
    "            0 1 2 index length 1 sub {\n"
    "                1 index exch 1 getinterval\n"
    "                gsave dup false charpath clip StippleText grestore\n"
    "                stringwidth rmoveto\n"
    "            } for\n"
    "            pop\n"
    "        } {\n"
    "            show\n"
    "        } ifelse\n"
    "        spacing sub\n"
    "    } forall\n"
    "    pop pop\n"
    "    grestore\n"
    "} bind def\n"
    "%%EndProlog\n",

    nullptr,
};

/* ---- appending to the result ---- */

void append(Tcl_Interp *interp, const char *text)
{
    Tcl_AppendResult(interp, text, static_cast<char *>(nullptr));
}

void appendf(Tcl_Interp *interp, const char *format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n >= static_cast<int>(sizeof buffer)) {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        va_start(args, format);
        std::vsnprintf(big.data(), big.size(), format, args);
        va_end(args);
        append(interp, big.data());
        return;
    }
    append(interp, buffer);
}

/* What a failed write names: the file as given to -file, else the
 * channel given to -channel. */
const char *targetName(const GcanvasPsInfo *ps)
{
    return ps->fileName != nullptr ? ps->fileName : Tcl_GetChannelName(ps->chan);
}

/* Writes the result to the run's channel (when there is one) and clears
 * it. TCL_ERROR with the system's reason when the channel refuses it.
 * A reflected or stacked channel runs scripts in here: the text is held
 * while they run, and the caller looks at the canvas and its items again
 * afterwards. */
int flushToChannel(Tcl_Interp *interp, GcanvasPsInfo *ps)
{
    if (ps->chan == nullptr) {
        return TCL_OK;
    }
    Tcl_Obj *text = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(text);
    Tcl_ResetResult(interp);
    int written = Tcl_WriteObj(ps->chan, text);
    Tcl_DecrRefCount(text);
    Tcl_ResetResult(interp);
    if (written < 0) {
        Tcl_AppendResult(interp, "error writing \"", targetName(ps), "\": ", Tcl_PosixError(interp),
                         static_cast<char *>(nullptr));
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* The value under key in a map the run copied, or NULL (no map, or no
 * such element). */
Tcl_Obj *mapEntry(Tcl_Obj *map, const char *key)
{
    if (map == nullptr) {
        return nullptr;
    }
    Tcl_Obj *keyObj = Tcl_NewStringObj(key, -1);
    Tcl_IncrRefCount(keyObj);
    Tcl_Obj *value = nullptr;
    if (Tcl_DictObjGet(nullptr, map, keyObj, &value) != TCL_OK) {
        value = nullptr;
    }
    Tcl_DecrRefCount(keyObj);
    return value;
}

/*
 * Copies the elements of the array variable name (resolved where the
 * command runs) into a new dict held in *map. Read traces on the array
 * run here, once, before any item is visited, so nothing a trace does
 * can pull an item or the canvas from under the item loops. TCL_OK;
 * TCL_ERROR with the interpreter's message when reading fails.
 */
int copyArray(Tcl_Interp *interp, const char *name, Tcl_Obj **map)
{
    Tcl_Obj *words[3] = {Tcl_NewStringObj("::array", -1), Tcl_NewStringObj("get", -1), Tcl_NewStringObj(name, -1)};
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    int code = Tcl_EvalObjv(interp, 3, words, 0);
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    if (code != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_Obj *pairs = Tcl_GetObjResult(interp);
    int count;
    Tcl_Obj **elements;
    if (Tcl_ListObjGetElements(interp, pairs, &count, &elements) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_Obj *dict = Tcl_NewDictObj();
    Tcl_IncrRefCount(dict);
    for (int i = 0; i + 1 < count; i += 2) {
        Tcl_DictObjPut(nullptr, dict, elements[i], elements[i + 1]);
    }
    *map = dict;
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* ---- options ---- */

#define PS_OPT(field) Tk_Offset(GcanvasPsInfo, field)

Tk_ConfigSpec configSpecs[] = {
    {TK_CONFIG_STRING, "-colormap", nullptr, nullptr, "", PS_OPT(colorVar), 0, nullptr},
    {TK_CONFIG_STRING, "-colormode", nullptr, nullptr, "", PS_OPT(colorMode), 0, nullptr},
    {TK_CONFIG_STRING, "-file", nullptr, nullptr, "", PS_OPT(fileName), 0, nullptr},
    {TK_CONFIG_STRING, "-channel", nullptr, nullptr, "", PS_OPT(channelName), 0, nullptr},
    {TK_CONFIG_STRING, "-fontmap", nullptr, nullptr, "", PS_OPT(fontVar), 0, nullptr},
    {TK_CONFIG_PIXELS, "-height", nullptr, nullptr, "", PS_OPT(height), 0, nullptr},
    {TK_CONFIG_ANCHOR, "-pageanchor", nullptr, nullptr, "", PS_OPT(pageAnchor), 0, nullptr},
    {TK_CONFIG_STRING, "-pageheight", nullptr, nullptr, "", PS_OPT(pageHeightString), 0, nullptr},
    {TK_CONFIG_STRING, "-pagewidth", nullptr, nullptr, "", PS_OPT(pageWidthString), 0, nullptr},
    {TK_CONFIG_STRING, "-pagex", nullptr, nullptr, "", PS_OPT(pageXString), 0, nullptr},
    {TK_CONFIG_STRING, "-pagey", nullptr, nullptr, "", PS_OPT(pageYString), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-prolog", nullptr, nullptr, "", PS_OPT(prolog), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-rotate", nullptr, nullptr, "", PS_OPT(rotate), 0, nullptr},
    {TK_CONFIG_PIXELS, "-width", nullptr, nullptr, "", PS_OPT(width), 0, nullptr},
    {TK_CONFIG_PIXELS, "-x", nullptr, nullptr, "", PS_OPT(x), 0, nullptr},
    {TK_CONFIG_PIXELS, "-y", nullptr, nullptr, "", PS_OPT(y), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef PS_OPT

/*
 * A page distance in points: a number, then optionally blanks and one
 * unit letter (c, i, m or p; none: points), then optionally blanks.
 * TCL_ERROR with "bad distance" for anything else.
 */
int psGetPoints(Tcl_Interp *interp, const char *string, double *out)
{
    const char *end = string;
    double d = 0;
    bool ok = cReadNumber(string, &d, &end);
    if (ok) {
        while (std::isspace(static_cast<unsigned char>(*end))) {
            end++;
        }
        switch (*end) {
        case 'c':
            d *= 28.346456692913385;
            end++;
            break;
        case 'i':
            d *= 72.0;
            end++;
            break;
        case 'm':
            d *= 2.834645669291339;
            end++;
            break;
        case 'p': end++; break;
        default: break;
        }
        while (std::isspace(static_cast<unsigned char>(*end))) {
            end++;
        }
        ok = *end == '\0';
    }
    if (!ok) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "bad distance \"", string, "\"", static_cast<char *>(nullptr));
        return TCL_ERROR;
    }
    *out = d;
    return TCL_OK;
}

/* Whether an item's box overlaps the region (its box doubles against the
 * region's ints). */
bool inRegion(const GcanvasItem *item, const GcanvasPsInfo *ps)
{
    return item->x1 < ps->x2 && item->x2 >= ps->x && item->y1 < ps->y2 && item->y2 >= ps->y;
}

/* The id of the item after item in the list, 0 at the end (ids start
 * at 1). */
int nextId(const GcanvasItem *item)
{
    return item->next != nullptr ? item->next->id : 0;
}

/* The item a loop noted by id before it called out, as it is now: NULL
 * when it was deleted meanwhile, at the end of the list, or when the
 * canvas is being destroyed. */
GcanvasItem *itemAfterCall(GcanvasWidget *canvas, int id)
{
    if (id == 0 || canvas->tkwin == nullptr) {
        return nullptr;
    }
    return gcanvasItemById(canvas, id);
}

/* TCL_ERROR when the canvas was destroyed by a script the run called. */
int checkCanvasAlive(Tcl_Interp *interp, const GcanvasWidget *canvas)
{
    if (canvas->tkwin != nullptr) {
        return TCL_OK;
    }
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "canvas destroyed while writing Postscript", static_cast<char *>(nullptr));
    return TCL_ERROR;
}

/* Runs the page once the state is set up and its output opened: the
 * prepass, the header and prolog, the set-up, the items, the trailer. */
int writePage(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasPsInfo *ps, int deltaX, int deltaY)
{
    ps->prepass = 1;
    for (GcanvasItem *item = canvas->firstItem; item != nullptr;) {
        int following = nextId(item);
        if (inRegion(item, ps) && item->type->postscriptProc != nullptr) {
            int code = item->type->postscriptProc(interp, canvas, item, 1);
            Tcl_ResetResult(interp);
            if (code != TCL_OK) {
                break;
            }
        }
        item = itemAfterCall(canvas, following);
    }
    ps->prepass = 0;
    if (checkCanvasAlive(interp, canvas) != TCL_OK) {
        return TCL_ERROR;
    }

    if (ps->prolog) {
        append(interp, "%!PS-Adobe-3.0 EPSF-3.0\n%%Creator: Tk Canvas Widget\n");
        Tcl_AppendResult(interp, "%%Title: Window ", Tk_PathName(canvas->tkwin), "\n", static_cast<char *>(nullptr));
        time_t now = std::time(nullptr);
        char when[64];
        if (ctime_r(&now, when) == nullptr) {
            std::snprintf(when, sizeof when, "\n");
        }
        Tcl_AppendResult(interp, "%%CreationDate: ", when, static_cast<char *>(nullptr));
        double s = ps->scale;
        int box[4];
        if (!ps->rotate) {
            box[0] = gcanvasTruncToInt(ps->pageX + s * deltaX);
            box[1] = gcanvasTruncToInt(ps->pageY + s * deltaY);
            box[2] = gcanvasTruncToInt(ps->pageX + s * (deltaX + ps->width) + 1.0);
            box[3] = gcanvasTruncToInt(ps->pageY + s * (deltaY + ps->height) + 1.0);
        } else {
            box[0] = gcanvasTruncToInt(ps->pageX - s * (deltaY + ps->height));
            box[1] = gcanvasTruncToInt(ps->pageY + s * deltaX);
            box[2] = gcanvasTruncToInt(ps->pageX - s * deltaY + 1.0);
            box[3] = gcanvasTruncToInt(ps->pageY + s * (deltaX + ps->width) + 1.0);
        }
        appendf(interp, "%%%%BoundingBox: %d %d %d %d\n", box[0], box[1], box[2], box[3]);
        append(interp, "%%Pages: 1\n%%DocumentData: Clean7Bit\n");
        append(interp, ps->rotate ? "%%Orientation: Landscape\n" : "%%Orientation: Portrait\n");
        const char *lead = "%%DocumentNeededResources: font ";
        Tcl_HashSearch search;
        for (Tcl_HashEntry *e = Tcl_FirstHashEntry(&ps->fontTable, &search); e != nullptr;
             e = Tcl_NextHashEntry(&search)) {
            Tcl_AppendResult(interp, lead, static_cast<const char *>(Tcl_GetHashKey(&ps->fontTable, e)), "\n",
                             static_cast<char *>(nullptr));
            lead = "%%+ font ";
        }
        append(interp, "%%EndComments\n\n");
        for (int i = 0; kProlog[i] != nullptr; i++) {
            append(interp, kProlog[i]);
        }
        if (flushToChannel(interp, ps) != TCL_OK) {
            return TCL_ERROR;
        }

        appendf(interp, "%%%%BeginSetup\n/CL %d def\n", ps->colorLevel);
        for (Tcl_HashEntry *e = Tcl_FirstHashEntry(&ps->fontTable, &search); e != nullptr;
             e = Tcl_NextHashEntry(&search)) {
            Tcl_AppendResult(interp, "%%IncludeResource: font ",
                             static_cast<const char *>(Tcl_GetHashKey(&ps->fontTable, e)), "\n",
                             static_cast<char *>(nullptr));
        }
        append(interp, "%%EndSetup\n\n");
        append(interp, "%%Page: 1 1\nsave\n");
        appendf(interp, "%.1f %.1f translate\n", ps->pageX, ps->pageY);
        if (ps->rotate) {
            append(interp, "90 rotate\n");
        }
        appendf(interp, "%.4g %.4g scale\n", ps->scale, ps->scale);
        appendf(interp, "%lld %d translate\n", static_cast<long long>(deltaX) - ps->x, deltaY);
        appendf(interp, "%d %.15g moveto %d %.15g lineto %d %.15g lineto %d %.15g", ps->x, gcanvasPsY(canvas, ps->y),
                ps->x2, gcanvasPsY(canvas, ps->y), ps->x2, gcanvasPsY(canvas, ps->y2), ps->x,
                gcanvasPsY(canvas, ps->y2));
        append(interp, " lineto closepath clip newpath\n");
    }
    if (flushToChannel(interp, ps) != TCL_OK) {
        return TCL_ERROR;
    }

    GcanvasItem *item = canvas->tkwin != nullptr ? canvas->firstItem : nullptr;
    while (item != nullptr) {
        int following = nextId(item);
        if (inRegion(item, ps) && item->type->postscriptProc != nullptr && !gcanvasItemHidden(canvas, item)) {
            append(interp, "gsave\n");
            if (item->type->postscriptProc(interp, canvas, item, 0) != TCL_OK) {
                char info[80];
                std::snprintf(info, sizeof info, "\n    (generating Postscript for item %d)", item->id);
                Tcl_AddErrorInfo(interp, info);
                return TCL_ERROR;
            }
            append(interp, "grestore\n");
            if (flushToChannel(interp, ps) != TCL_OK) {
                return TCL_ERROR;
            }
        }
        item = itemAfterCall(canvas, following);
    }
    if (checkCanvasAlive(interp, canvas) != TCL_OK) {
        return TCL_ERROR;
    }

    if (ps->prolog) {
        append(interp, "restore showpage\n\n%%Trailer\nend\n%%EOF\n");
    }
    return flushToChannel(interp, ps);
}

/* The PostScript of a run whose options are applied: checks and opens
 * what they name, then writes the page. */
int runPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasPsInfo *ps)
{
    Tk_Window tkwin = canvas->tkwin;
    if (ps->width == -1) {
        ps->width = Tk_Width(tkwin);
    }
    if (ps->height == -1) {
        ps->height = Tk_Height(tkwin);
    }
    /* Held to the int range: a huge region must not overflow. */
    auto sum = [](int a, int b) {
        long long v = static_cast<long long>(a) + b;
        return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    };
    ps->x2 = sum(ps->x, ps->width);
    ps->y2 = sum(ps->y, ps->height);

    if (ps->pageXString != nullptr && psGetPoints(interp, ps->pageXString, &ps->pageX) != TCL_OK) {
        return TCL_ERROR;
    }
    if (ps->pageYString != nullptr && psGetPoints(interp, ps->pageYString, &ps->pageY) != TCL_OK) {
        return TCL_ERROR;
    }
    /* The printed width (or height) over the region's; a region of no
     * extent there has no such scale and is printed at the screen's. */
    double printed = 0;
    int extent = 0;
    if (ps->pageWidthString != nullptr) {
        if (psGetPoints(interp, ps->pageWidthString, &printed) != TCL_OK) {
            return TCL_ERROR;
        }
        extent = ps->width;
    } else if (ps->pageHeightString != nullptr) {
        if (psGetPoints(interp, ps->pageHeightString, &printed) != TCL_OK) {
            return TCL_ERROR;
        }
        extent = ps->height;
    }
    if (extent != 0) {
        ps->scale = printed / extent;
    } else {
        Screen *screen = Tk_Screen(tkwin);
        ps->scale = (72.0 / 25.4) * WidthMMOfScreen(screen) / WidthOfScreen(screen);
    }

    int deltaX = 0, deltaY = 0;
    switch (ps->pageAnchor) {
    case TK_ANCHOR_N:
    case TK_ANCHOR_CENTER:
    case TK_ANCHOR_S: deltaX = -(ps->width / 2); break;
    case TK_ANCHOR_NE:
    case TK_ANCHOR_E:
    case TK_ANCHOR_SE: deltaX = -ps->width; break;
    default: break;
    }
    switch (ps->pageAnchor) {
    case TK_ANCHOR_N:
    case TK_ANCHOR_NE:
    case TK_ANCHOR_NW: deltaY = -ps->height; break;
    case TK_ANCHOR_E:
    case TK_ANCHOR_W:
    case TK_ANCHOR_CENTER: deltaY = -(ps->height / 2); break;
    default: break;
    }

    if (ps->colorMode == nullptr) {
        ps->colorLevel = 2;
    } else {
        size_t length = std::strlen(ps->colorMode);
        if (std::strncmp(ps->colorMode, "monochrome", length) == 0) {
            ps->colorLevel = 0;
        } else if (std::strncmp(ps->colorMode, "gray", length) == 0) {
            ps->colorLevel = 1;
        } else if (std::strncmp(ps->colorMode, "color", length) == 0) {
            ps->colorLevel = 2;
        } else {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "bad color mode \"", ps->colorMode, "\": must be monochrome, ", "gray, or color",
                             static_cast<char *>(nullptr));
            return TCL_ERROR;
        }
    }

    /* The maps are read here, once: their traces may run scripts. */
    if (ps->colorVar != nullptr && copyArray(interp, ps->colorVar, &ps->colorMap) != TCL_OK) {
        return TCL_ERROR;
    }
    if (ps->fontVar != nullptr && copyArray(interp, ps->fontVar, &ps->fontMap) != TCL_OK) {
        return TCL_ERROR;
    }
    if (checkCanvasAlive(interp, canvas) != TCL_OK) {
        return TCL_ERROR;
    }

    if (ps->fileName != nullptr) {
        if (ps->channelName != nullptr) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "can't specify both -file", " and -channel", static_cast<char *>(nullptr));
            return TCL_ERROR;
        }
        if (Tcl_IsSafe(interp)) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "can't specify -file in a", " safe interpreter", static_cast<char *>(nullptr));
            return TCL_ERROR;
        }
        Tcl_DString buffer;
        const char *name = Tcl_TranslateFileName(interp, ps->fileName, &buffer);
        if (name == nullptr) {
            return TCL_ERROR;
        }
        /* The text goes into a new file beside the old one, which stays
         * whole until all of it is written. A device or FIFO has no
         * contents to keep: it takes the text as it comes. */
        struct stat st {};
        bool exists = stat(name, &st) == 0;
        if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            ps->chan = Tcl_OpenFileChannel(interp, name, "w", 0666);  // a device or FIFO: a stream
            Tcl_DStringFree(&buffer);
            if (ps->chan == nullptr) {
                return TCL_ERROR;
            }
            Tcl_ResetResult(interp);
            return writePage(interp, canvas, ps, deltaX, deltaY);
        }
        ps->file = new FileReplacement();
        int copy = -1;
        if (!replaceBegin(ps->file, name) || (copy = fcntl(ps->file->fd, F_DUPFD_CLOEXEC, 0)) < 0) {
            if (errno == EINVAL && exists && S_ISDIR(st.st_mode)) {
                errno = EISDIR;  // a folder is never replaced
            }
            std::string step = errno == EISDIR ? std::string() : replaceFailure();
            Tcl_ResetResult(interp);
            if (!step.empty()) {
                Tcl_PosixError(interp);
                Tcl_AppendResult(interp, step.c_str(), static_cast<char *>(nullptr));  // the folder, not the file
            } else {
                Tcl_AppendResult(interp, "couldn't open \"", name, "\": ", Tcl_PosixError(interp),
                                 static_cast<char *>(nullptr));
            }
            replaceAbandon(ps->file);
            Tcl_DStringFree(&buffer);
            return TCL_ERROR;
        }
        Tcl_DStringFree(&buffer);
        ps->chan = Tcl_MakeFileChannel(reinterpret_cast<ClientData>(static_cast<intptr_t>(copy)), TCL_WRITABLE);
        if (ps->chan == nullptr) {
            close(copy);
            replaceAbandon(ps->file);
            Tcl_SetResult(interp, const_cast<char *>("couldn't open a channel"), TCL_STATIC);
            return TCL_ERROR;
        }
    }
    if (ps->channelName != nullptr) {
        int mode;
        ps->chan = Tcl_GetChannel(interp, ps->channelName, &mode);
        if (ps->chan == nullptr) {
            return TCL_ERROR;
        }
        if ((mode & TCL_WRITABLE) == 0) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "channel \"", ps->channelName, "\" wasn't opened for writing",
                             static_cast<char *>(nullptr));
            ps->chan = nullptr;
            return TCL_ERROR;
        }
        /* Held for the run: a script the channel runs may close it. */
        Tcl_RegisterChannel(nullptr, ps->chan);
    }
    Tcl_ResetResult(interp);
    return writePage(interp, canvas, ps, deltaX, deltaY);
}

/* The colour table of a visual and colormap: entries queried from the
 * colormap, or, for TrueColor and DirectColor, the channels' masks. */
struct PixelColours {
    bool split = false;
    unsigned long mask[3] = {0, 0, 0};
    int shift[3] = {0, 0, 0};
    double scale[3] = {0, 0, 0}; /* 1 / the channel's largest value */
    std::vector<XColor> table;   /* indexed by pixel value */

    void rgb(unsigned long pixel, double *out) const
    {
        if (split) {
            for (int c = 0; c < 3; c++) {
                out[c] = static_cast<double>((pixel & mask[c]) >> shift[c]) * scale[c];
            }
            return;
        }
        if (pixel >= table.size()) {
            out[0] = out[1] = out[2] = 0;
            return;
        }
        const XColor &colour = table[pixel];
        out[0] = colour.red / 65535.0;
        out[1] = colour.green / 65535.0;
        out[2] = colour.blue / 65535.0;
    }
};

void readColours(Tk_Window tkwin, PixelColours *colours)
{
    Visual *visual = Tk_Visual(tkwin);
    if (visual->c_class == TrueColor || visual->c_class == DirectColor) {
        colours->split = true;
        const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
        for (int c = 0; c < 3; c++) {
            int shift = pixelChannelOf(masks[c]).shift;
            unsigned long m = masks[c] >> shift;
            colours->mask[c] = masks[c];
            colours->shift[c] = shift;
            colours->scale[c] = m != 0 ? 1.0 / static_cast<double>(m) : 0.0;
        }
        return;
    }
    int n = visual->map_entries;
    if (n <= 0 || n > 65536) {
        return;
    }
    colours->table.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) {
        colours->table[i].pixel = static_cast<unsigned long>(i);
        colours->table[i].red = colours->table[i].green = colours->table[i].blue = 0;
    }
    XQueryColors(Tk_Display(tkwin), Tk_Colormap(tkwin), colours->table.data(), n);
}

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

void putHex(std::string &out, unsigned value, const char *digits)
{
    out.push_back(digits[(value >> 4) & 0xf]);
    out.push_back(digits[value & 0xf]);
}

unsigned byteOf(double v)
{
    double b = std::floor(0.5 + 255.0 * v);
    return b < 0 ? 0 : b > 255 ? 255 : static_cast<unsigned>(b);
}

}  // namespace

/* ---- the word ---- */

int gcanvasPostscriptCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    GcanvasPsInfo ps;
    std::memset(&ps, 0, sizeof ps);
    ps.x = canvas->xOrigin;
    ps.y = canvas->yOrigin;
    ps.width = -1;
    ps.height = -1;
    ps.pageX = 72 * 4.25;
    ps.pageY = 72 * 5.5;
    ps.pageAnchor = TK_ANCHOR_CENTER;
    ps.colorLevel = 2;
    ps.prolog = 1;
    Tcl_InitHashTable(&ps.fontTable, TCL_STRING_KEYS);
    Tcl_Preserve(canvas);
    void *saved = canvas->psInfo;
    canvas->psInfo = &ps;

    std::vector<const char *> argv;
    for (int i = 2; i < objc; i++) {
        argv.push_back(Tcl_GetString(objv[i]));
    }
    argv.push_back(nullptr);
    int code = teskConfigureWidget(interp, canvas->tkwin, configSpecs, objc - 2, argv.data(),
                                  reinterpret_cast<char *>(&ps), TK_CONFIG_ARGV_ONLY);
    if (code == TCL_OK) {
        code = runPostscript(interp, canvas, &ps);
    }

    if (ps.chan != nullptr && ps.channelName == nullptr) {
        /* A file of our own: a failure to close it (the last of its text
         * not written) or to put it in the old one's place fails the
         * command, and leaves the old file as it was. */
        Tcl_Obj *result = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(result);
        if (Tcl_Close(interp, ps.chan) != TCL_OK && code == TCL_OK) {
            code = TCL_ERROR;
            Tcl_SetObjResult(interp,
                             Tcl_ObjPrintf("error writing \"%s\": %s", ps.fileName, Tcl_GetStringResult(interp)));
        } else if (code == TCL_OK && ps.file != nullptr && !replaceCommit(ps.file)) {
            code = TCL_ERROR;
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("error writing \"%s\": %s", ps.fileName, Tcl_PosixError(interp)));
        } else {
            Tcl_SetObjResult(interp, result);
        }
        Tcl_DecrRefCount(result);
        if (ps.file != nullptr && code == TCL_OK) {
            close(ps.file->fd);
        } else if (ps.file != nullptr) {
            replaceAbandon(ps.file);
        }
    } else if (ps.chan != nullptr) {
        /* Letting go may close a channel a script closed meanwhile, and
         * closing may run its scripts: the command's result is kept. */
        Tcl_InterpState state = Tcl_SaveInterpState(interp, code);
        Tcl_UnregisterChannel(nullptr, ps.chan);
        code = Tcl_RestoreInterpState(interp, state);
    }
    for (Tcl_Obj *map : {ps.colorMap, ps.fontMap}) {
        if (map != nullptr) {
            Tcl_DecrRefCount(map);
        }
    }
    delete ps.file;
    Tk_FreeOptions(configSpecs, reinterpret_cast<char *>(&ps), canvas->display, 0);
    Tcl_DeleteHashTable(&ps.fontTable);
    canvas->psInfo = saved;
    Tcl_Release(canvas);
    return code;
}

/* ---- calls of the item types ---- */

GcanvasPsInfo *gcanvasPsState(const GcanvasWidget *canvas)
{
    return static_cast<GcanvasPsInfo *>(canvas->psInfo);
}

int gcanvasPsColor(Tcl_Interp *interp, GcanvasWidget *canvas, XColor *colour)
{
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (ps == nullptr || ps->prepass || colour == nullptr) {
        return TCL_OK;
    }
    if (Tcl_Obj *mapped = mapEntry(ps->colorMap, Tk_NameOfColor(colour))) {
        Tcl_AppendResult(interp, Tcl_GetString(mapped), "\n", static_cast<char *>(nullptr));
        return TCL_OK;
    }
    appendf(interp, "%.3f %.3f %.3f setrgbcolor AdjustColor\n", ((colour->red >> 8) & 0xff) / 255.0,
            ((colour->green >> 8) & 0xff) / 255.0, ((colour->blue >> 8) & 0xff) / 255.0);
    return TCL_OK;
}

int gcanvasPsFont(Tcl_Interp *interp, GcanvasWidget *canvas, Tk_Font tkfont)
{
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (ps == nullptr) {
        return TCL_OK;
    }
    Tcl_DString name;
    Tcl_DStringInit(&name);
    int points = 0;
    bool mapped = false;
    {
        const char *fontName = Tk_NameOfFont(tkfont);
        Tcl_Obj *entry = mapEntry(ps->fontMap, fontName);
        if (entry != nullptr) {
            int count;
            Tcl_Obj **words;
            double size;
            const char *sizeText = nullptr;
            const char *end = nullptr;
            bool good = Tcl_ListObjGetElements(nullptr, entry, &count, &words) == TCL_OK && count == 2;
            if (good) {
                sizeText = Tcl_GetString(words[1]);
                good = cReadNumber(sizeText, &size, &end) && *end == '\0' && size > 0 && size < 1e9;
            }
            if (!good) {
                Tcl_ResetResult(interp);
                Tcl_AppendResult(interp, "bad font map entry for \"", fontName, "\": \"", Tcl_GetString(entry), "\"",
                                 static_cast<char *>(nullptr));
                return TCL_ERROR;
            }
            Tcl_DStringAppend(&name, Tcl_GetString(words[0]), -1);
            points = static_cast<int>(size);
            mapped = true;
        }
    }
    if (!mapped) {
        points = Tk_PostscriptFontName(tkfont, &name);
    }
    const char *psName = Tcl_DStringValue(&name);
    appendf(interp, "/%s findfont %d scalefont%s setfont\n", psName, points,
            std::strcmp(psName, "Symbol") == 0 ? "" : " ISOEncode");
    int isNew;
    Tcl_CreateHashEntry(&ps->fontTable, psName, &isNew);
    Tcl_DStringFree(&name);
    return TCL_OK;
}

int gcanvasPsBitmap(Tcl_Interp *interp, GcanvasWidget *canvas, Pixmap bitmap, int startX, int startY, int width,
                    int height)
{
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (ps == nullptr || ps->prepass) {
        return TCL_OK;
    }
    Window root;
    int bx, by;
    unsigned bw = 0, bh = 0, border, depth;
    XGetGeometry(canvas->display, bitmap, &root, &bx, &by, &bw, &bh, &border, &depth);
    XImage *image = bw > 0 && bh > 0 ? XGetImage(canvas->display, bitmap, 0, 0, bw, bh, 1, XYPixmap) : nullptr;
    if (image == nullptr) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "can't read the bitmap for Postscript", static_cast<char *>(nullptr));
        return TCL_ERROR;
    }
    /* Only the part of the rectangle inside the bitmap has pixels. */
    auto pixelAt = [&](int px, int py) {
        return px >= 0 && py >= 0 && px < static_cast<int>(bw) && py < static_cast<int>(bh) &&
               XGetPixel(image, px, py) != 0;
    };
    std::string text = "<";
    int charsInLine = 0;
    for (int row = startY + height - 1; row >= startY; row--) {
        unsigned mask = 0x80, value = 0;
        for (int j = 0; j < width; j++) {
            if (pixelAt(startX + j, row)) {
                value |= mask;
            }
            mask >>= 1;
            if (mask == 0) {
                putHex(text, value, kHexLower);
                mask = 0x80;
                value = 0;
                charsInLine += 2;
                if (charsInLine >= 60) {
                    text.push_back('\n');
                    charsInLine = 0;
                }
            }
        }
        if (mask != 0x80) {
            putHex(text, value, kHexLower);
            charsInLine += 2;
        }
    }
    text.push_back('>');
    XDestroyImage(image);
    append(interp, text.c_str());
    return TCL_OK;
}

int gcanvasPsStipple(Tcl_Interp *interp, GcanvasWidget *canvas, Pixmap bitmap)
{
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (ps == nullptr || ps->prepass) {
        return TCL_OK;
    }
    Window root;
    int bx, by;
    unsigned bw = 0, bh = 0, border, depth;
    XGetGeometry(canvas->display, bitmap, &root, &bx, &by, &bw, &bh, &border, &depth);
    appendf(interp, "%d %d ", static_cast<int>(bw), static_cast<int>(bh));
    if (gcanvasPsBitmap(interp, canvas, bitmap, 0, 0, static_cast<int>(bw), static_cast<int>(bh)) != TCL_OK) {
        return TCL_ERROR;
    }
    append(interp, " StippleFill\n");
    return TCL_OK;
}

double gcanvasPsY(const GcanvasWidget *canvas, double y)
{
    const GcanvasPsInfo *ps = gcanvasPsState(canvas);
    return ps != nullptr ? ps->y2 - y : -y;
}

int gcanvasPsPath(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, int n)
{
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (ps == nullptr || ps->prepass || n <= 0) {
        return TCL_OK;
    }
    std::vector<double> converted;
    if (!(canvas->mx == 1 && canvas->my == 1 && canvas->xOffset == 0 && canvas->yOffset == 0)) {
        converted.resize(2 * static_cast<size_t>(n));
        worldToCanvasPoints(canvas, points, converted.data(), n);
        points = converted.data();
    }
    return gcanvasPsCanvasPath(interp, canvas, points, n);
}

int gcanvasPsCanvasPath(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, int n)
{
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (ps == nullptr || ps->prepass || n <= 0) {
        return TCL_OK;
    }
    Tcl_Obj *text = Tcl_NewObj();
    char line[96];
    for (int i = 0; i < n; i++) {
        int length = std::snprintf(line, sizeof line, i == 0 ? "%.15g %.15g moveto\n" : "%.15g %.15g lineto\n",
                                   points[2 * i], gcanvasPsY(canvas, points[2 * i + 1]));
        Tcl_AppendToObj(text, line, length);
    }
    Tcl_IncrRefCount(text);
    append(interp, Tcl_GetString(text));
    Tcl_DecrRefCount(text);
    return TCL_OK;
}

namespace {

/* The bytes of one row of a width-pixel image at the run's colour level. */
long psImageRowBytes(const GcanvasPsInfo *psInfo, int width)
{
    long w = width;
    return psInfo->colorLevel == 0 ? (w + 7) / 8 : psInfo->colorLevel == 1 ? w : 3 * w;
}

/* TCL_ERROR with the message when a row would exceed 60000 bytes. */
int psImageRowCheck(Tcl_Interp *interp, const GcanvasPsInfo *psInfo, int width)
{
    if (psImageRowBytes(psInfo, width) > 60000) {
        int largest = psInfo->colorLevel == 0 ? 240000 : psInfo->colorLevel == 1 ? 60000 : 20000;
        Tcl_ResetResult(interp);
        appendf(interp, "Can't generate Postscript for images more than %d pixels wide", largest);
        return TCL_ERROR;
    }
    return TCL_OK;
}

}  // namespace

int gcanvasPsImageCheck(Tcl_Interp *interp, const GcanvasPsInfo *psInfo, int width, int height)
{
    if (psImageRowCheck(interp, psInfo, width) != TCL_OK) {
        return TCL_ERROR;
    }
    if (width > 32767 || height > 32767) {
        Tcl_ResetResult(interp);
        appendf(interp, "Can't generate Postscript for images more than 32767 pixels %s",
                width > 32767 ? "wide" : "high");
        return TCL_ERROR;
    }
    return TCL_OK;
}

int gcanvasPsImage(Tcl_Interp *interp, Tk_Window tkwin, GcanvasPsInfo *psInfo, XImage *image, int x, int, int width,
                   int height)
{
    if (psInfo->prepass || width <= 0 || height <= 0) {
        return TCL_OK;
    }
    long bytesPerRow = psImageRowBytes(psInfo, width);
    if (psImageRowCheck(interp, psInfo, width) != TCL_OK) {
        return TCL_ERROR;
    }
    int level = psInfo->colorLevel;
    if (x < 0 || x > image->width - width || height > image->height) {
        /* A caller's mistake: never read outside the image. */
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Error in gcanvasPsImage: area outside the image", static_cast<char *>(nullptr));
        return TCL_ERROR;
    }
    PixelColours colours;
    readColours(tkwin, &colours);

    int rowsPerBand = static_cast<int>(60000 / bytesPerRow);
    std::vector<unsigned long> pixels(static_cast<size_t>(width));
    std::string text;
    for (int bandStart = height - 1; bandStart >= 0; bandStart -= rowsPerBand) {
        int rows = std::min(rowsPerBand, bandStart + 1);
        char head[64];
        std::snprintf(head, sizeof head, "%d %d %d matrix {\n<", width, rows, level == 0 ? 1 : 8);
        text.assign(head);
        int count = 0;
        auto counted = [&](int chars) {
            count += chars;
            if (count > 60) {
                text.push_back('\n');
                count = 0;
            }
        };
        for (int row = bandStart; row > bandStart - rows; row--) {
            ximageRowPixels(image, x, row, width, pixels.data());
            unsigned mask = 0x80, value = 0;
            for (int i = 0; i < width; i++) {
                double rgb[3];
                colours.rgb(pixels[i], rgb);
                double gray = 0.30 * rgb[0] + 0.59 * rgb[1] + 0.11 * rgb[2];
                if (level == 0) {
                    if (gray > 0.5) {
                        value |= mask;
                    }
                    mask >>= 1;
                    if (mask == 0) {
                        putHex(text, value, kHexUpper);
                        counted(2);
                        mask = 0x80;
                        value = 0;
                    }
                } else if (level == 1) {
                    putHex(text, byteOf(gray), kHexUpper);
                    counted(2);
                } else {
                    putHex(text, byteOf(rgb[0]), kHexUpper);
                    putHex(text, byteOf(rgb[1]), kHexUpper);
                    putHex(text, byteOf(rgb[2]), kHexUpper);
                    counted(6);
                }
            }
            if (level == 0 && mask != 0x80) {
                putHex(text, value, kHexUpper);
                counted(2);
            }
        }
        text.append(level == 2 ? ">\n} false 3 colorimage\n" : ">\n} image\n");
        std::snprintf(head, sizeof head, "0 %d translate\n", rows);
        text.append(head);
        append(interp, text.c_str());
    }
    return TCL_OK;
}
