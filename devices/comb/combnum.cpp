/*
 * combnum.cpp --
 *
 *	The kit's number field: num.create builds a numeric entry with an up
 *	and a down arrow button, num.update is the stepping loop a press on an
 *	arrow starts. The value is read and shown through the application's
 *	num.get and num.set, the arrows come from its _image.get. Registered
 *	by combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "runtime/cnumber.h"
#include "runtime/startup.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

/* What a -fmt format takes: refused, an int, an unsigned or a double. */
enum class NumArg { Bad, Int, Unsigned, Double };

/* Widths and precisions longer than this many digits are refused: a field
 * never shows megabytes of padding. */
constexpr int kMaxFormatDigits = 4;

bool inSet(char c, const char *set)
{
    return c != '\0' && std::strchr(set, c) != nullptr;
}

/* Skips a run of digits; false when it is longer than kMaxFormatDigits. */
bool skipDigits(const char *&p)
{
    int n = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        ++p;
        ++n;
    }
    return n <= kMaxFormatDigits;
}

/* Classifies a -fmt format: exactly one conversion of d i o u x X e E f F
 * g G, with flags, width and precision, among any other text and "%%". */
NumArg numFormatArg(const char *format)
{
    NumArg arg = NumArg::Bad;
    int conversions = 0;
    for (const char *p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            continue;
        }
        ++p;
        if (*p == '%') {
            continue;
        }
        while (inSet(*p, "-+ #0")) {
            ++p;
        }
        if (!skipDigits(p)) {
            return NumArg::Bad;
        }
        if (*p == '.') {
            ++p;
            if (!skipDigits(p)) {
                return NumArg::Bad;
            }
        }
        if (inSet(*p, "di")) {
            arg = NumArg::Int;
        } else if (inSet(*p, "ouxX")) {
            arg = NumArg::Unsigned;
        } else if (inSet(*p, "eEfFgG")) {
            arg = NumArg::Double;
        } else {
            return NumArg::Bad;
        }
        ++conversions;
    }
    return conversions == 1 ? arg : NumArg::Bad;
}

/* Sets the result for a format that numFormatArg refuses. */
void badFormat(Tcl_Interp *interp, const char *format)
{
    Tcl_SetObjResult(interp,
                     Tcl_ObjPrintf("bad format \"%s\": must hold one conversion of d i o u x X e E f F g G", format));
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
/* printf of one value through a format numFormatArg accepted. */
int formatOne(char *buffer, size_t size, const char *format, NumArg arg, double value)
{
    switch (arg) {
    case NumArg::Double: return std::snprintf(buffer, size, format, value);
    case NumArg::Unsigned: return std::snprintf(buffer, size, format, static_cast<unsigned>(roundToInt(value)));
    default: return std::snprintf(buffer, size, format, static_cast<int>(roundToInt(value)));
    }
}
#pragma GCC diagnostic pop

/* The value's text under an accepted format; false when printf fails. */
bool formatValue(const char *format, NumArg arg, double value, std::string &text)
{
    char small[64];
    int n = formatOne(small, sizeof small, format, arg, value);
    if (n < 0) {
        return false;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        text.assign(small, static_cast<size_t>(n));
        return true;
    }
    text.assign(static_cast<size_t>(n) + 1, '\0');
    formatOne(text.data(), text.size(), format, arg, value);
    text.resize(static_cast<size_t>(n));
    return true;
}

/* Options and their defaults, written before the given ones are parsed. */
constexpr const char *kDefaults[][2] = {
    {"cf-max", "10"}, {"cf-min", "0"}, {"cf-init", "5"}, {"cf-inc", "1"}, {"cf-dec", "1"},    {"cf-ent", ""},
    {"cf-up", ""},    {"cf-down", ""}, {"cf-label", ""}, {"cf-chck", ""}, {"cf-fmt", "%.0f"},
};

/* The arrow buttons: name, image and option of extra options. */
struct Arrow {
    const char *name;
    const char *image;
    const char *option;
};
constexpr Arrow kArrows[] = {{"up", "up.bmp", "cf-up"}, {"down", "down.bmp", "cf-down"}};

/* Builds the field's windows (the steps after its keys are stored). */
void buildNum(Tcl_Interp *interp, const std::string &w)
{
    combStep(interp, {"_image.get", "up.bmp", "up.bmp", "bitmap"});
    combStep(interp, {"_image.get", "down.bmp", "down.bmp", "bitmap"});
    combStep(interp, {"frame", w, "-bd", "1", "-relief", "sunken", "-highlightthickness", "0"});
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});

    std::string box = w + ".b";
    combStep(interp, {"frame", box, "-bd", "0"});
    combStep(interp, {"pack", box, "-side", "right", "-padx", "1", "-pady", "1", "-ipady", "0"});

    if (*combOption(interp, w, "cf-chck") != '\0') {
        combStepWith(interp, {"checkbutton", w + ".chck"}, w, "cf-chck");
        combStep(interp, {"pack", w + ".chck", "-side", "left", "-pady", "1", "-padx", "1"});
    }
    if (*combOption(interp, w, "cf-label") != '\0') {
        combStepWith(interp, {"label", w + ".label"}, w, "cf-label");
        combStep(interp, {"pack", w + ".label", "-side", "left", "-padx", "1", "-pady", "1"});
    }

    std::string entry = w + ".entry";
    combStepWith(interp, {"entry", entry, "-bd", "1", "-width", "5", "-highlightthickness", "1"}, w, "cf-ent");

    std::string stop = combMerge({"comb.set", w, "done", "1"});
    for (const Arrow &arrow : kArrows) {
        std::string button = box + "." + arrow.name;
        combStep(interp, {"button", button, "-bd", "1", "-image", CombWord::fixed(arrow.image), "-width", "12",
                          "-height", "5", "-highlightthickness", "0", "-command", stop});
        if (*combOption(interp, w, arrow.option) != '\0') {
            combStepWith(interp, {button, "config"}, w, arrow.option);
        }
    }
    combStep(interp, {"pack", entry, "-side", "left", "-fill", "x", "-expand", "1", "-padx", "1", "-pady", "1"});
    combStep(interp, {"pack", box + ".up", "-side", "top", "-pady", "0"});
    combStep(interp, {"pack", box + ".down", "-side", "bottom", "-pady", "0"});

    /* A press marks the loop running before it is scheduled, so a release
     * handled before the loop starts still ends it after one step. */
    std::string stopText = combBindText(stop);
    for (const Arrow &arrow : kArrows) {
        std::string button = box + "." + arrow.name;
        combStep(interp, {"bind", button, "<ButtonRelease-1>", stopText});
        combStep(interp, {"bind", button, "<Leave>", stopText});
        std::string press = combMerge({"comb.set", w, "done", "0"}) + "\n" +
                            combMerge({"after", "idle", combMerge({"num.update", w, arrow.name})});
        combStep(interp, {"bind", button, "<ButtonPress-1>", combBindText(press)});
    }
    combStep(interp, {"num.set", w, CombWord(combGetVarObj(interp, w, "cf-init"))});
}

/* True while the field's window and keys are there and it is not
 * disabled (comb.dis leaves the restore scripts in w,STATES). Disabling
 * leaves the arrows' own bindings, so the press that starts the loop still
 * comes. */
bool mayStep(Tcl_Interp *interp, const std::string &w)
{
    Tk_Window main = teskMainWindowOf(interp);
    if (main == nullptr || combGetVar(interp, w, "class") == nullptr || combGetVar(interp, w, "STATES") != nullptr) {
        return false;
    }
    bool exists = Tk_NameToWindow(interp, w.c_str(), main) != nullptr;
    Tcl_ResetResult(interp);
    return exists;
}

/* True while the stepping loop is to go on. */
bool stillHeld(Tcl_Interp *interp, const std::string &w)
{
    if (!mayStep(interp, w)) {
        return false;
    }
    const char *done = combGetVar(interp, w, "done");
    return done != nullptr && done[0] == '0';
}

}  // namespace

/*
 * num.create w ?option value ...?: builds the number field w and answers
 * w. A bad path, option or format leaves no keys; a failing step destroys
 * what was built and removes the keys.
 */
int combNumCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 2) {
        tesk_printf("usage: %s w\n", argv[0]);
        return TCL_ERROR;
    }
    tclUpdate(interp, TCL_WINDOW_EVENTS | TCL_FILE_EVENTS | TCL_TIMER_EVENTS);
    std::string w = argv[1];
    if (!combCheckPath(mainWindow, interp, w.c_str(), true)) {
        tesk_printf("invalid path: %s\n", w.c_str());
        return TCL_ERROR;
    }
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "num", {{"wb", ".b"}}, kDefaults, argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        const char *format = combOption(interp, w, "cf-fmt");
        if (numFormatArg(format) == NumArg::Bad) {
            badFormat(interp, format);
            combFree(interp, w);
            return TCL_ERROR;
        }
        if (*combOption(interp, w, "cf-chck") != '\0') {
            combSetVar(interp, w + ".chck", w, "-chck");
        }
        if (*combOption(interp, w, "cf-label") != '\0') {
            combSetVar(interp, w + ".label", w, "-label");
        }
        combSetVar(interp, w + ".entry", w, "-ent");
        combSetVar(interp, w + ".b.up", w, "-up");
        combSetVar(interp, w + ".b.down", w, "-down");

        return combBuildField(interp, mainWindow, w, [&] { buildNum(interp, w); });
    });
}

/*
 * num.update w ?flag?: steps the field w by -inc (flag absent or "up") or
 * by minus -dec, clamped to -min..-max and shown through -fmt, once, then
 * every 120 ms or so while w,done begins with "0". Between steps it
 * handles events; it ends when w or its keys are gone or w is disabled
 * (a disabled field steps not at all), and answers the
 * error when num.get or num.set fails or the format is refused (the entry
 * then unchanged).
 */
int combNumUpdateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2 || argc > 3) {
        tesk_printf("usage: %s w flag\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    bool up = argc == 2 || std::strcmp(argv[2], "up") == 0;
    return combGuard(interp, [&]() -> int {
        if (!mayStep(interp, w)) {
            return TCL_OK;
        }
        double max = cStrtod(combOption(interp, w, "cf-max"));
        double min = cStrtod(combOption(interp, w, "cf-min"));
        double by = up ? cStrtod(combOption(interp, w, "cf-inc")) : -cStrtod(combOption(interp, w, "cf-dec"));
        std::string format = combOption(interp, w, "cf-fmt");
        NumArg arg = numFormatArg(format.c_str());
        if (arg == NumArg::Bad) {
            badFormat(interp, format.c_str());
            return TCL_ERROR;
        }
        std::string text;
        for (;;) {
            if (combEvalWords(CombOnError::Return, interp, {"num.get", w}) != TCL_OK) {
                return TCL_ERROR;
            }
            double value = cStrtod(Tcl_GetStringResult(interp)) + by;
            if (value > max) {
                value = max;
            } else if (!(value >= min)) {
                value = min;
            }
            if (!formatValue(format.c_str(), arg, value, text)) {
                badFormat(interp, format.c_str());
                return TCL_ERROR;
            }
            if (combEvalWords(CombOnError::Return, interp, {"num.set", w, text}) != TCL_OK) {
                return TCL_ERROR;
            }
            for (int i = 0; i < 6; ++i) {
                if (!stillHeld(interp, w)) {
                    Tcl_ResetResult(interp);
                    return TCL_OK;
                }
                tclUpdate(interp, TCL_ALL_EVENTS);
                Tcl_Sleep(20);
            }
            if (!stillHeld(interp, w)) {
                Tcl_ResetResult(interp);
                return TCL_OK;
            }
        }
    });
}
