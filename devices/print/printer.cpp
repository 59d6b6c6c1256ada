/*
 * printer.cpp --
 *
 *	The printer command: the printers by level and kind, a printer's
 *	capabilities, the interactive flag and the tile size of canvas
 *	printing; the settings kept per interpreter; registration with
 *	gmetafile.
 */
#include "devices/print/printer.h"

#include <cmath>
#include <string>
#include <vector>
#include "devices/print/metafile.h"
#include "devices/print/printdest.h"
#include "devices/print/printsettings.h"
#include "runtime/subcmd.h"
#include "tesk.h"

int printTileWidth = 2048;
int printTileHeight = 1536;

namespace {

const char *const kUsage = "enum capability canvas interactive pagesetup setup tilewidth tileheight";

/* Enumeration flags and the options that name them. */
enum : unsigned { ENUM_DEFAULT = 0x1, ENUM_LOCAL = 0x2, ENUM_CONNECTED = 0x4, ENUM_NAME = 0x8, ENUM_REMOTE = 0x10,
                  ENUM_SHARED = 0x20 };
struct EnumOption {
    const char *name;
    unsigned flag;
};
constexpr EnumOption kEnumOptions[] = {{"default", ENUM_DEFAULT}, {"remote", ENUM_REMOTE},
                                       {"shared", ENUM_SHARED},   {"favorite", ENUM_CONNECTED},
                                       {"local", ENUM_LOCAL},     {"name", ENUM_NAME}};

/* A named bit of an attribute or capability word. */
struct BitName {
    unsigned bit;
    const char *name;
};
constexpr BitName kLevel4Attributes[] = {{0x40, "PRINTER_ATTRIBUTE_LOCAL"}, {0x10, "PRINTER_ATTRIBUTE_NETWORK"}};
constexpr BitName kLevel5Attributes[] = {{0x1, "PRINTER_ATTRIBUTE_QUEUED"},
                                         {0x2, "PRINTER_ATTRIBUTE_DIRECT"},
                                         {0x4, "PRINTER_ATTRIBUTE_DEFAULT"},
                                         {0x8, "PRINTER_ATTRIBUTE_SHARED"},
                                         {0x400, "PRINTER_ATTRIBUTE_WORK_OFFLINE"}};
constexpr BitName kRasterCaps[] = {
    {0x1, "RC_BITBLT"},          {0x2, "RC_BANDING"},      {0x4, "RC_SCALING"},       {0x8, "RC_BITMAP64"},
    {0x10, "RC_GDI20_OUTPUT"},   {0x20, "RC_GDI20_STATE"}, {0x40, "RC_SAVEBITMAP"},   {0x80, "RC_DI_BITMAP"},
    {0x100, "RC_PALETTE"},       {0x200, "RC_DIBTODEV"},   {0x400, "RC_BIGFONT"},     {0x800, "RC_STRETCHBLT"},
    {0x1000, "RC_FLOODFILL"},    {0x2000, "RC_STRETCHDIB"}, {0x4000, "RC_OP_DX_OUTPUT"}, {0x8000, "RC_DEVBITS"}};
constexpr BitName kClipCaps[] = {{0x1, "CP_RECTANGLE"}, {0x2, "CP_REGION"}};

/* The names of the set bits of value: several in braces as one word, one
 * bare, none an empty word. */
template <std::size_t N>
std::string bitNames(const BitName (&table)[N], unsigned value)
{
    std::vector<std::string> names;
    for (const BitName &b : table) {
        if ((value & b.bit) != 0) {
            names.emplace_back(b.name);
        }
    }
    if (names.size() == 1) {
        return names[0];
    }
    std::string word;
    for (const std::string &n : names) {
        word += (word.empty() ? "" : " ") + n;
    }
    return "{" + word + "}";
}

/* A word of an enum line: in braces when it holds a blank. */
std::string enumWord(const std::string &s)
{
    return s.find(' ') != std::string::npos ? "{" + s + "}" : s;
}

bool destListed(const PrintDest &p, unsigned flags)
{
    return (flags & (ENUM_CONNECTED | ENUM_NAME)) != 0 || ((flags & ENUM_DEFAULT) && p.isDefault) ||
           ((flags & ENUM_LOCAL) && !p.remote) || ((flags & ENUM_REMOTE) && p.remote) ||
           ((flags & ENUM_SHARED) && p.shared);
}

int enumCmd(PrinterSettings *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        Tcl_AppendResult(interp, argv[0], " ", argv[1], " level ?options?", nullptr);
        return TCL_ERROR;
    }
    unsigned flags = argc == 3 ? ENUM_DEFAULT | ENUM_LOCAL | ENUM_CONNECTED : 0;
    for (int i = 3; i < argc; i++) {
        unsigned flag = 0;
        for (const EnumOption &o : kEnumOptions) {
            if (std::string(argv[i]) == o.name) {
                flag = o.flag;
            }
        }
        if (flag == 0) {
            Tcl_AppendResult(interp, argv[0], " ", argv[1], " level ?options?", nullptr);
            return TCL_ERROR;
        }
        flags |= flag;
    }
    int level = 0;
    if (Tcl_GetInt(interp, argv[2], &level) != TCL_OK) {
        return TCL_ERROR;
    }
    if (level != 1 && level != 2 && level != 4 && level != 5) {
        Tcl_AppendResult(interp, "valid level is 1, 2, 4, 5\n", nullptr);
        return TCL_ERROR;
    }
    for (const PrintDest &p : printDestinations(interp)) {
        if (!destListed(p, flags)) {
            continue;
        }
        std::string line;
        if (level == 1) {
            line = p.name;
        } else if (level == 2) {
            line = enumWord(p.name) + " " + enumWord(p.makeModel) + " " + enumWord(p.uri);
        } else if (level == 4) {
            line = enumWord(p.name) + " " + enumWord(p.server) + " " +
                   bitNames(kLevel4Attributes, p.remote ? 0x10 : 0x40);
        } else {
            const unsigned attributes = (p.filePrinter ? 0x2 : 0x1) | (p.isDefault ? 0x4 : 0) | (p.shared ? 0x8 : 0) |
                                        (p.offline ? 0x400 : 0);
            line = enumWord(p.name) + " " + enumWord(p.uri) + " " + bitNames(kLevel5Attributes, attributes);
        }
        Tcl_AppendElement(interp, line.c_str());
    }
    return TCL_OK;
}

int capabilityCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 2 && argc != 5) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " printerDriver printerName port", nullptr);
        return TCL_ERROR;
    }
    PrintDest p;
    if (!findPrintDest(s, interp, argc == 5 ? argv[3] : nullptr, &p)) {
        Tcl_AppendResult(interp, "The printer name is invalid.", nullptr);
        return TCL_ERROR;
    }
    const double printW = p.pageWidthMm - p.marginMm[0] - p.marginMm[2];
    const double printH = p.pageHeightMm - p.marginMm[1] - p.marginMm[3];
    int horzRes = 0, vertRes = 0;
    printableSize(p, &horzRes, &vertRes);
    const int aspectXY = roundToInt(std::hypot(p.dpiX, p.dpiY));
    const unsigned raster = 0x1 | 0x8 | 0x80 | 0x200 | 0x800 | 0x2000;
    const std::string elements[] = {
        "DRIVERVERSION 1024",
        "TECHNOLOGY DT_RASPRINTER",
        "HORZSIZE " + std::to_string(roundToInt(printW)),
        "VERTSIZE " + std::to_string(roundToInt(printH)),
        "HORZRES " + std::to_string(horzRes),
        "VERTRES " + std::to_string(vertRes),
        "LOGPIXELSX " + std::to_string(p.dpiX),
        "LOGPIXELSY " + std::to_string(p.dpiY),
        "BITSPIXEL 24",
        "PLANES 1",
        "NUMBRUSHES -1",
        "NUMPENS -1",
        "NUMFONTS 0",
        "NUMCOLORS -1",
        "ASPECTX " + std::to_string(p.dpiX),
        "ASPECTY " + std::to_string(p.dpiY),
        "ASPECTXY " + std::to_string(aspectXY),
        "CLIPCAPS 1",
        "SIZEPALETTE 0",
        "COLORRES 24",
        "PHYSICALWIDTH " + std::to_string(roundToInt(p.pageWidthMm * p.dpiX / 25.4)),
        "PHYSICALHEIGHT " + std::to_string(roundToInt(p.pageHeightMm * p.dpiY / 25.4)),
        "SCALINGFACTORX 0",
        "SCALINGFACTORY 0",
        "BLTALIGNMENT 0",
        "RASTERCAPS " + bitNames(kRasterCaps, raster),
        "CURVECAPS {}",
        "LINECAPS {}",
        "POLYGONCAPS {}",
        "TEXTCAPS {}",
        "CLIPCAPS " + bitNames(kClipCaps, 0x1),
    };
    for (const std::string &e : elements) {
        Tcl_AppendElement(interp, e.c_str());
    }
    return TCL_OK;
}

int interactiveCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " interactive [option]", nullptr);
        return TCL_ERROR;
    }
    if (argc == 3) {
        return Tcl_GetInt(interp, argv[2], &s->interactive);
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(s->interactive));
    return TCL_OK;
}

/* tilewidth and tileheight: the value, or a new one of 128 .. kMaxPrintTile. */
int tileSizeCmd(Tcl_Interp *interp, int argc, const char **argv, int *size, const char *invalid)
{
    if (argc >= 3) {
        int v = 0;
        if (Tcl_GetInt(interp, argv[2], &v) != TCL_OK) {
            return TCL_ERROR;
        }
        if (v < kMinPrintTile || v > kMaxPrintTile) {
            Tcl_AppendResult(interp, invalid, nullptr);
            return TCL_ERROR;
        }
        *size = v;
        return TCL_OK;
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(*size));
    return TCL_OK;
}

int tileWidthCmd(PrinterSettings *, Tcl_Interp *interp, int argc, const char **argv)
{
    return tileSizeCmd(interp, argc, argv, &printTileWidth, "Invalid tile width.");
}

int tileHeightCmd(PrinterSettings *, Tcl_Interp *interp, int argc, const char **argv)
{
    return tileSizeCmd(interp, argc, argv, &printTileHeight, "Invalid tile height.");
}

struct PrinterSubcommand {
    const char *name;
    int minLength;
    int (*proc)(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv);
};
constexpr PrinterSubcommand kSubcommands[] = {
    {"enum", 3, enumCmd},           {"canvas", 4, printCanvasCmd},   {"capability", 4, capabilityCmd}, {"interactive", 5, interactiveCmd},
    {"pagesetup", 4, pageSetupCmd}, {"setup", 5, setupCmd},
    {"tilewidth", 5, tileWidthCmd}, {"tileheight", 5, tileHeightCmd},
};

int printerCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    const int i = argc >= 2 ? findSubcommand(kSubcommands, argv[1]) : -1;
    if (i < 0) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", kUsage, nullptr);
        return TCL_ERROR;
    }
    /* Dialogs and canvas printing serve events, and a script run then may
     * rename or delete the command: the settings stay until it returns. */
    Tcl_Preserve(clientData);
    const int code = kSubcommands[i].proc(static_cast<PrinterSettings *>(clientData), interp, argc, argv);
    Tcl_Release(clientData);
    return code;
}

void freeSettings(char *block)
{
    delete reinterpret_cast<PrinterSettings *>(block);
}

void printerDelete(ClientData clientData)
{
    Tcl_EventuallyFree(clientData, freeSettings);
}

void printerExit(ClientData) {}

bool exitHandlerSet = false;

}  // namespace

bool findPrintDest(PrinterSettings *s, Tcl_Interp *interp, const char *name, PrintDest *out)
{
    std::vector<PrintDest> all = printDestinations(interp);
    const std::string wanted = name != nullptr ? name : s->printerName;
    for (const PrintDest &p : all) {
        if (wanted.empty() ? p.isDefault : p.name == wanted) {
            *out = p;
            printDestCapabilities(out);
            return true;
        }
    }
    if (name == nullptr) {
        *out = all.back(); /* the kept printer went away: not replaced silently */
    }
    return false;
}

int printerInit(Tcl_Interp *interp)
{
    if (Tcl_PkgProvide(interp, "TK_PRINTER", "1.0") != TCL_OK) {
        return TCL_ERROR;
    }
    auto *s = new PrinterSettings{interp, {25.4, 25.4, 25.4, 25.4}, 1, 1, 1, 1, 1, ""};
    if (Tcl_CreateCommand(interp, "printer", printerCmd, s, printerDelete) == nullptr) {
        delete s;
        return 1;
    }
    if (Tcl_CreateCommand(interp, "gmetafile", gmetafileCmd, nullptr, nullptr) == nullptr) {
        return 1;
    }
    if (!exitHandlerSet) {
        Tcl_CreateExitHandler(printerExit, nullptr);
        exitHandlerSet = true;
    }
    return 0;
}
