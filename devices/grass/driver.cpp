/*
 * driver.cpp --
 *
 *	The driver state of the open virtual display: loaded from _comb when a
 *	display is opened, saved back when it is closed; the module's start
 *	and end; and the grass command.
 */
#include "devices/grass/grass.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "devices/comb/comb.h"
#include "imagestore/ramimage.h"
#include "runtime/cnumber.h"
#include "tesk.h"
#include "tesk_display.h"
#include "tesk_stdio.h"

namespace {

constexpr double kDegree = 0.017453292519943295;

GrassDriverState theState;
GrassDriverState *current = nullptr;
Tcl_Interp *driverInterp = nullptr;
bool exitHandlerSet = false;

/* Gives back the image use of the open display and closes it. */
void dropState()
{
    if (current != nullptr && current->image != nullptr) {
        ramImageRelease(current->image, nullptr);
    }
    current = nullptr;
}

/* The interpreter is going: the display closes unsaved, calls do nothing. */
void forgetInterp(ClientData, Tcl_Interp *interp)
{
    if (interp == driverInterp) {
        dropState();
        vaskForget();
        driverInterp = nullptr;
    }
}

void remember(Tcl_Interp *interp)
{
    if (interp != driverInterp) {
        if (driverInterp != nullptr) {
            Tcl_DontCallWhenDeleted(driverInterp, forgetInterp, nullptr);
        }
        driverInterp = interp;
        Tcl_CallWhenDeleted(interp, forgetInterp, nullptr);
    }
}

void loadRGB(Tcl_Interp *interp, GrassDriverState *s, const char *list)
{
    for (int i = 0; i < 256; i++) {
        s->rgb[i][0] = s->rgb[i][1] = s->rgb[i][2] = static_cast<unsigned char>(i);
    }
    s->colorCount = 256;
    int n = 0;
    const char **items = nullptr;
    if (list == nullptr || Tcl_SplitList(interp, list, &n, &items) != TCL_OK) {
        Tcl_ResetResult(interp);
        return;
    }
    if (n > 256) {
        n = 256;
    }
    for (int i = 0; i < n; i++) {
        int c[3] = {0, 0, 0};
        std::sscanf(items[i], "%d %d %d", &c[0], &c[1], &c[2]);
        for (int k = 0; k < 3; k++) {
            s->rgb[i][k] = static_cast<unsigned char>(c[k]);
        }
    }
    s->colorCount = n;
    Tcl_Free(reinterpret_cast<char *>(items));
}

/* Reads _comb(path,name) with a scanf format into the given places;
 * places the text leaves out keep their defaults. */
template <class... T>
void scanKey(Tcl_Interp *interp, const char *path, const char *name, const char *format, T *...places)
{
    const char *text = combGetVar(interp, path, name);
    if (text != nullptr) {
        std::sscanf(text, format, places...);
    }
}

void saveKey(Tcl_Interp *interp, const char *path, const char *name, const std::string &value)
{
    combSetVar(interp, value, path, name);
}

int usage(Tcl_Interp *interp, const char *text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    return TCL_ERROR;
}

bool getInts(Tcl_Obj *const objv[], int n, int *out)
{
    for (int i = 0; i < n; i++) {
        out[i] = std::atoi(Tcl_GetString(objv[i]));
    }
    return true;
}

/* The driver group: grass driver OPTION ?ARGS? */
int driverCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_AppendResult(interp, "Usage: ", Tcl_GetString(objv[0]),
                         " driver ?options? (open_driver close_driver erase get_location_with_pointer"
                         " get_location_with_line get_location_with_box move_abs move_rel text textsize"
                         " textrotation)",
                         nullptr);
        return TCL_ERROR;
    }
    const std::string option = Tcl_GetString(objv[2]);
    const int nArgs = objc - 3;
    Tcl_Obj *const *args = objv + 3;
    if (option == "open_driver") {
        grassOpenDriver();
        return TCL_OK;
    }
    if (option == "close_driver") {
        R_close_driver();
        return TCL_OK;
    }
    if (current == nullptr) {
        return usage(interp, "driver not open.\n");
    }
    int v[4];
    if (option == "get_location_with_pointer") {
        if (nArgs != 2) {
            return usage(interp, "Usage: get_location_with_pointer x y\n");
        }
        getInts(args, 2, v);
        int button = 1;
        R_get_location_with_pointer(&v[0], &v[1], &button);
        tesk_printf("x:%d y:%d bt:%d\n", v[0], v[1], button);
        return TCL_OK;
    }
    if (option == "get_location_with_line" || option == "get_location_with_box") {
        const bool line = option == "get_location_with_line";
        if (nArgs != 4) {
            return usage(interp, line ? "Usage: get_location_with_line x0 y0 x1 y1\n"
                                      : "Usage: get_location_with_box x0 y0 x1 y1\n");
        }
        getInts(args, 4, v);
        int button = 1;
        if (line) {
            R_get_location_with_line(v[0], v[1], &v[2], &v[3], &button);
        } else {
            R_get_location_with_box(v[0], v[1], &v[2], &v[3], &button);
        }
        tesk_printf("x0:%d y0:%d x1:%d y1:%d bt:%d\n", v[0], v[1], v[2], v[3], button);
        return TCL_OK;
    }
    if (option == "erase") {
        R_erase();
    } else if (option == "move_abs" || option == "move_rel") {
        if (nArgs != 2) {
            return usage(interp, option == "move_abs" ? "Usage: move_abs x y" : "Usage: move_rel x y");
        }
        getInts(args, 2, v);
        if (option == "move_abs") {
            R_move_abs(v[0], v[1]);
        } else {
            R_move_rel(v[0], v[1]);
        }
    } else if (option == "text") {
        if (nArgs != 1) {
            return usage(interp, "Usage: text textString");
        }
        R_text(Tcl_GetString(args[0]));
    } else if (option == "textsize") {
        if (nArgs != 2) {
            return usage(interp, "Usage: textsize width height");
        }
        getInts(args, 2, v);
        R_text_size(v[0], v[1]);
    } else if (option == "textrotation") {
        if (nArgs != 1) {
            return usage(interp, "Usage: textrotation angle");
        }
        /* NaN and the infinities have no sine: refused as no angle. */
        const char *word = Tcl_GetString(args[0]), *end = nullptr;
        double degrees = 0;  // a word that is no number: 0
        if (!cReadNumber(word, &degrees, &end) && end != word) {
            return usage(interp, "Usage: textrotation angle");
        }
        R_text_rotation(degrees * (1.0 / 180.0) * M_PI);
    } else {
        return usage(interp, "unknown option");
    }
    R_stabilize();
    return TCL_OK;
}

/* word is a prefix of name, at least minimum characters long. */
bool prefixOf(const char *word, const char *name, size_t minimum)
{
    size_t n = std::strlen(word);
    return n >= minimum && n <= std::strlen(name) && std::strncmp(word, name, n) == 0;
}

int grassCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    remember(interp);
    if (objc < 2) {
        Tcl_AppendResult(interp, "Usage: ", Tcl_GetString(objv[0]),
                         " driver fontCoord fontDef fontGet fontIndices fontSymbol fontList fontLoad fontSet",
                         nullptr);
        return TCL_OK;
    }
    const char *word = Tcl_GetString(objv[1]);
    if (std::strcmp(word, "driver") == 0) { /* "drive" is refused */
        return driverCmd(interp, objc, objv);
    }
    if (word[0] == 'f' && std::strlen(word) > 5) {
        return grassFontCmd(interp, objc, objv);
    }
    if (word[0] == 'v' && prefixOf(word, "vaskTest", 3)) {
        return vaskTestCmd(interp);
    }
    return usage(interp, "Unknown grass command.\n");
}

void grassCmdDeleted(ClientData clientData)
{
    forgetInterp(nullptr, static_cast<Tcl_Interp *>(clientData));
}

}  // namespace

GrassDriverState *grassState()
{
    return driverInterp != nullptr ? current : nullptr;
}

Tcl_Interp *grassInterp()
{
    return driverInterp;
}

int grassEvalWords(int objc, Tcl_Obj *const objv[])
{
    for (int i = 0; i < objc; i++) {
        Tcl_IncrRefCount(objv[i]);
    }
    int code = TCL_ERROR;
    if (driverInterp != nullptr) {
        Tcl_Interp *interp = driverInterp;
        Tcl_Preserve(interp);
        code = Tcl_EvalObjv(interp, objc, objv, TCL_EVAL_GLOBAL);
        Tcl_Release(interp);
    }
    for (int i = 0; i < objc; i++) {
        Tcl_DecrRefCount(objv[i]);
    }
    return code;
}

int grassOpenDriver()
{
    dropState();
    Tcl_Interp *interp = driverInterp;
    if (interp == nullptr) {
        return 0;
    }
    const char *path = Tcl_GetVar(interp, "virtural_display", TCL_GLOBAL_ONLY);
    if (path == nullptr) {
        tesk_fprintf(stderr, "can't find virtural display.\n");
        return 0;
    }
    const char *cls = combGetVar(interp, path, "class");
    const char *tag = combGetVar(interp, path, "rimage");
    RamImage *image = tag != nullptr ? ramImageFindByTag(tag) : nullptr;
    if (cls == nullptr || std::strcmp(cls, "vdisp") != 0 || std::strlen(path) >= sizeof theState.name ||
        image == nullptr) {
        tesk_fprintf(stderr, "invalid path for a virtural display.\n");
        return 0;
    }
    GrassDriverState *s = &theState;
    std::strcpy(s->name, path);
    s->image = image;
    const char *gimgName = combGetVar(interp, path, "-image");
    s->master = gimgName != nullptr ? gimgFind(interp, gimgName) : nullptr;
    s->color = 255;
    s->colorOffset = 0;
    s->curX = s->curY = 0;
    s->clipLeft = 0;
    s->clipTop = 0;
    s->clipRight = image->desc.columns;
    s->clipBottom = image->desc.rows;
    double size[3] = {0.75, 0.75, 0.0}; /* x scale, y scale, angle in degrees */
    scanKey(interp, path, "cf-color", "%d", &s->color);
    scanKey(interp, path, "cf-colorOffset", "%d", &s->colorOffset);
    scanKey(interp, path, "cf-cur_x", "%d", &s->curX);
    scanKey(interp, path, "cf-cur_y", "%d", &s->curY);
    scanKey(interp, path, "cf-clip", "%d %d %d %d", &s->clipLeft, &s->clipTop, &s->clipRight, &s->clipBottom);
    if (const char *text = combGetVar(interp, path, "cf-textSize")) {
        cScanNumbers(text, size, 3);
    }
    s->textScaleX = size[0];
    s->textScaleY = size[1];
    grassSetTextAngle(s, size[2] * kDegree);
    loadRGB(interp, s, combGetVar(interp, path, "RGB"));
    ramImageHold(image);
    current = s;
    return 1;
}

void grassSetTextAngle(GrassDriverState *s, double angle)
{
    s->textAngle = angle;
    s->sine = std::sin(angle);
    s->cosine = std::cos(angle);
}

extern "C" int R_close_driver(void)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    Tcl_Interp *interp = driverInterp;
    ramImageNotifyClients(s->image, 0, RAMIMG_CONFIG);
    const char *path = s->name;
    saveKey(interp, path, "cf-color", cFormat("%d", s->color));
    saveKey(interp, path, "cf-colorOffset", cFormat("%d", s->colorOffset));
    saveKey(interp, path, "cf-cur_x", cFormat("%d", s->curX));
    saveKey(interp, path, "cf-cur_y", cFormat("%d", s->curY));
    saveKey(interp, path, "cf-clip", cFormat("%d %d %d %d", s->clipLeft, s->clipTop, s->clipRight, s->clipBottom));
    saveKey(interp, path, "cf-textSize",
            cFormat("%f %f %f", s->textScaleX, s->textScaleY, s->textAngle / kDegree));
    std::string rgb;
    for (int i = 0; i < 256; i++) {
        rgb += cFormat(i == 0 ? "{%d %d %d}" : " {%d %d %d}", s->rgb[i][0], s->rgb[i][1], s->rgb[i][2]);
    }
    saveKey(interp, path, "RGB", rgb);
    dropState();
    return 1;
}

int grassInit(Tcl_Interp *interp)
{
    if (!strokeFontsInit()) {
        return 1;
    }
    if (Tcl_CreateObjCommand(interp, "grass", grassCmd, interp, grassCmdDeleted) == nullptr ||
        Tcl_CreateObjCommand(interp, "_vask.parseInput", vaskParseInputCmd, nullptr, nullptr) == nullptr) {
        return 1;
    }
    if (!exitHandlerSet) {
        Tcl_CreateExitHandler(grassExit, nullptr);
        exitHandlerSet = true;
    }
    remember(interp);
    return 0;
}

void grassExit(ClientData)
{
    strokeFontsFree();
    if (driverInterp != nullptr) {
        forgetInterp(nullptr, driverInterp);
    }
}
