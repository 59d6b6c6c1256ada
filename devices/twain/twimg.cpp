/*
 * twimg.cpp --
 *
 *	The twimg command: TWAIN acquisition through the built-in data source
 *	manager (twain.h) by its operation triplets. One session record for
 *	the process; while a source is enabled a 10 ms timer polls it with the
 *	event triplet and each transfer becomes the RAM image "twain.img".
 */
#include "devices/twain/twimg.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <tk.h>
#include "devices/twain/twain.h"
#include "display/picture.h"
#include "imagestore/ramimage.h"
#include "runtime/startup.h"
#include "runtime/subcmd.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

constexpr const char *kBuiltInManager = "twain_32.dll";
constexpr const char *kImageName = "twain.img";

struct TwainSession {
    bool filled = false;
    Tcl_Interp *interp = nullptr; /* of the first registration still alive */
    TeskTwainParent parent = {};
    std::string managerName = kBuiltInManager;
    bool loaded = false; /* the manager is loaded and open */
    RamImage *held = nullptr;
    TW_IDENTITY app = {};
    TW_IDENTITY source = {};
    TW_STATUS status = {};
    TW_UINT16 rc = TWRC_SUCCESS;
    bool sourceOpen = false, enabled = false;
    TW_PENDINGXFERS pending = {};
    int interactive = 1;
    int mode = 1; /* 1 native, 2 memory */
    int debug = 0;
    std::string afterScript;
    TeskDib *transfer = nullptr;
    Tcl_TimerToken pump = nullptr;
} tw;

void copyText(TW_STR32 out, const char *text)
{
    std::memset(out, 0, sizeof(TW_STR32));
    std::strncpy(out, text, sizeof(TW_STR32) - 1);
}

void fillSession()
{
    tw.app = TW_IDENTITY();
    tw.app.Version.MajorNum = 1;
    tw.app.Version.MinorNum = 0;
    tw.app.Version.Language = 13;
    tw.app.Version.Country = 1;
    copyText(tw.app.Version.Info, "TeskTW V1.0 12/26/1999");
    tw.app.ProtocolMajor = 1;
    tw.app.ProtocolMinor = 8;
    tw.app.SupportedGroups = DG_CONTROL | DG_IMAGE;
    copyText(tw.app.Manufacturer, "TESK");
    copyText(tw.app.ProductFamily, "Tesk TWAIN");
    copyText(tw.app.ProductName, "TeskTW");
    tw.filled = true;
}

/* ---- the triplets ---- */

TW_UINT16 call(TW_IDENTITY *dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    tw.rc = teskDsmEntry(&tw.app, dest, dg, dat, msg, data);
    if (tw.rc != TWRC_SUCCESS && dat != DAT_EVENT) {
        TW_UINT16 rc = tw.rc;
        teskDsmEntry(&tw.app, dest, DG_CONTROL, DAT_STATUS, MSG_GET, &tw.status);
        if (dest == nullptr) {
            tesk_fprintf(stderr, "Error in callDSM - twRC: %d code: %d\n", rc, tw.status.ConditionCode);
        } else if (rc != TWRC_XFERDONE) {
            tesk_fprintf(stderr, "Error in callDS - twRC: %d code %d.\n", rc, tw.status.ConditionCode);
        }
        tw.rc = rc;
    }
    return tw.rc;
}

TW_UINT16 callDSM(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    int mode = Tcl_SetServiceMode(TCL_SERVICE_ALL);
    TW_UINT16 rc = call(nullptr, dg, dat, msg, data);
    Tcl_SetServiceMode(mode);
    return rc;
}

TW_UINT16 callDS(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    return call(&tw.source, dg, dat, msg, data);
}

/* ---- manager and source ---- */

void setParent()
{
    tw.parent.interp = tw.interp;
    tw.parent.tkwin = tw.interp != nullptr && teskHasTk(tw.interp) ? Tk_MainWindow(tw.interp) : nullptr;
}

/* Loads and opens the manager and takes its default source; 0, or the
 * step that failed (1 load, 2 open, 3 default source). */
int loadManager()
{
    if (tw.loaded) {
        return 0;
    }
    if (tw.managerName != kBuiltInManager) {
        tesk_fprintf(stderr, "Fail to load TWAIN DLL: %s\n", tw.managerName.c_str());
        return 1;
    }
    setParent();
    if (callDSM(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &tw.parent) != TWRC_SUCCESS) {
        tesk_fprintf(stderr, "Fail to open DSM.");
        return 2;
    }
    if (callDSM(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &tw.source) != TWRC_SUCCESS) {
        tesk_fprintf(stderr, "Fail to get default DS.");
        callDSM(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &tw.parent);
        return 3;
    }
    tw.loaded = true;
    return 0;
}

bool openSource(int mode)
{
    if (loadManager() != 0) {
        return false;
    }
    if (tw.sourceOpen || tw.enabled) {
        return true;
    }
    if (callDSM(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &tw.source) != TWRC_SUCCESS) {
        return false;
    }
    tw.sourceOpen = true;
    TW_ONEVALUE one = {TWTY_UINT32, mode == 2 ? TWSX_MEMORY : TWSX_NATIVE};
    TW_CAPABILITY cap = {ICAP_XFERMECH, TWON_ONEVALUE, &one};
    if (callDS(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap) != TWRC_SUCCESS) {
        tesk_fprintf(stderr, "Fail to setup data mode.\n");
    }
    tw.mode = mode;
    return true;
}

bool disableSource()
{
    if (!tw.enabled) {
        return true;
    }
    TW_USERINTERFACE ui = {255, 0, &tw.parent};
    if (callDS(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) != TWRC_SUCCESS) {
        return false;
    }
    tw.enabled = false;
    return true;
}

void stopPump()
{
    if (tw.pump != nullptr) {
        Tcl_DeleteTimerHandler(tw.pump);
        tw.pump = nullptr;
    }
}

bool closeSource()
{
    if (!tw.sourceOpen) {
        return true;
    }
    if (!disableSource()) {
        tesk_fprintf(stderr, "Error in twCloseDS: fail to disable.\n");
    }
    bool ok = callDSM(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &tw.source) == TWRC_SUCCESS;
    if (!ok) {
        tesk_fprintf(stderr, "Error in twCloseDS: fail to close.\n");
    }
    tw.source.Id = 0;
    tw.source.ProductName[0] = '\0';
    tw.sourceOpen = tw.enabled = false;
    stopPump();
    return ok;
}

void releaseHeld()
{
    if (tw.held != nullptr) {
        ramImageRelease(tw.held, nullptr);
        tw.held = nullptr;
    }
}

/* Closes the source and the manager; false when the manager refused. */
bool closeManager()
{
    bool ok = true;
    if (tw.loaded) {
        closeSource();
        ok = callDSM(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &tw.parent) == TWRC_SUCCESS;
        tw.loaded = false;
        tw.source = TW_IDENTITY();
    }
    releaseHeld();
    return ok;
}

/* ---- transfers ---- */

void freeTransfer()
{
    if (tw.transfer != nullptr) {
        gmemFree(tw.transfer->data);
        gmemFree(tw.transfer);
        tw.transfer = nullptr;
    }
}

/* The size, bands and pixel type of image. */
std::vector<int32_t> shapeOf(const RamImage *image)
{
    return {image->desc.columns, image->desc.rows, image->desc.nbands, image->desc.pixel};
}

/* Makes "twain.img" of the transfer, holds it and tells its clients (of
 * a new configuration too when its shape changed) or the application's
 * view. */
void takeTransfer(Tcl_Interp *interp)
{
    std::vector<int32_t> before = tw.held != nullptr ? shapeOf(tw.held) : std::vector<int32_t>();
    RamImage *image = ramImageFromDIB(nullptr, tw.transfer->data, tw.transfer->size, kImageName);
    freeTransfer();
    if (image == nullptr) {
        return;
    }
    int flags = image == tw.held && shapeOf(image) == before ? RAMIMG_DISPLAY : RAMIMG_DISPLAY | RAMIMG_CONFIG;
    if (image == tw.held) {
        ramImageRelease(image, nullptr);
    } else {
        releaseHeld();
        tw.held = image;
    }
    if (tw.held->clients != nullptr || !tw.afterScript.empty()) {
        ramImageNotifyClients(tw.held, -1, flags);
    } else if (Tcl_EvalEx(interp, "after idle {view {-file twain.img}}", -1, TCL_EVAL_GLOBAL) != TCL_OK) {
        Tcl_BackgroundError(interp);
    } else {
        Tcl_ResetResult(interp); /* the after's id is no answer of get */
    }
    if (!tw.afterScript.empty()) {
        std::string script = tw.afterScript;
        Tcl_EvalEx(interp, script.c_str(), -1, TCL_EVAL_GLOBAL);
        Tcl_ResetResult(interp);
    }
}

/* The transfer loop: true when every pending image was taken. */
bool getImages(Tcl_Interp *interp)
{
    if (!tw.enabled) {
        tesk_fprintf(stderr, "DS not enabled.\n");
        return false;
    }
    TW_IMAGEINFO info = {};
    if (callDS(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) {
        return false;
    }
    Tcl_Preserve(interp);
    bool ok = true;
    do {
        if (tw.mode == 2) {
            TW_SETUPMEMXFER setup = {};
            TW_UINT16 rc = callDSM(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
            tesk_printf("max:%d min:%d pref:%d\n", static_cast<int>(setup.MaxBufSize),
                        static_cast<int>(setup.MinBufSize), static_cast<int>(setup.Preferred));
            tesk_printf("status:%d\n", rc);
            ok = false;
            break;
        }
        TW_HANDLE handle = nullptr;
        TW_UINT16 rc = callDS(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
        if (rc == TWRC_XFERDONE) {
            freeTransfer();
            tw.transfer = static_cast<TeskDib *>(handle);
        } else if (tw.debug) {
            tesk_fprintf(stderr, rc == TWRC_FAILURE ? "TW Failure...\n" : rc == TWRC_CANCEL ? "TW Cancel...\n"
                                                                                             : "TW Abort...\n");
        }
        callDS(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &tw.pending);
        if (rc != TWRC_XFERDONE) {
            ok = false;
            break;
        }
        takeTransfer(interp);
    } while (tw.pending.Count != 0);
    Tcl_Release(interp);
    return ok;
}

/* ---- the pump ---- */

void pumpProc(ClientData)
{
    tw.pump = nullptr;
    Tcl_Interp *interp = tw.interp;
    if (!tw.enabled || interp == nullptr) {
        return;
    }
    Tcl_Preserve(interp);
    TW_EVENT event = {nullptr, MSG_NULL};
    callDS(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    if (event.TWMessage == MSG_XFERREADY) {
        getImages(interp);
        if (!tw.interactive) {
            closeSource();
        }
    } else if (event.TWMessage == MSG_CLOSEDSREQ || event.TWMessage == MSG_CLOSEDSOK) {
        closeSource();
    }
    if (tw.enabled && tw.interp == interp && tw.pump == nullptr) {
        tw.pump = Tcl_CreateTimerHandler(10, pumpProc, nullptr);
    }
    Tcl_Release(interp);
}

/* Enables the open source with its interface under parent; false (the
 * source closed) when it refuses. */
bool enableSource(int mode, Tk_Window parent)
{
    Tcl_DoOneEvent(TCL_DONT_WAIT);
    if (!openSource(mode)) {
        tesk_fprintf(stderr, "Error in twEnableDS: fail to open DS.\n");
        return false;
    }
    if (!tw.enabled) {
        TW_USERINTERFACE ui = {1, 0, parent != nullptr ? static_cast<TW_HANDLE>(parent) : &tw.parent};
        if (callDS(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS) {
            closeSource();
            tesk_fprintf(stderr, "Error in twEnableDS: fail to enable DS.");
            return false;
        }
        tw.enabled = true;
        if (tw.pump == nullptr) {
            tw.pump = Tcl_CreateTimerHandler(10, pumpProc, nullptr);
        }
    }
    return true;
}

/* ---- the command ---- */

int modeOf(int argc, const char **argv, int at)
{
    return argc > at && std::strcmp(argv[at], "memory") == 0 ? 2 : 1;
}

int answer(Tcl_Interp *interp, const std::string &text, int code = TCL_OK)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
    return code;
}

Tcl_Obj *identityList(const TW_IDENTITY &id)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const char *text : {id.Manufacturer, id.ProductFamily, id.ProductName, id.Version.Info}) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text, -1));
    }
    return list;
}

int flagWord(Tcl_Interp *interp, int argc, const char **argv, int *flag)
{
    if (argc > 2) {
        int value = 0;
        if (Tcl_GetInt(interp, argv[2], &value) != TCL_OK) {
            return TCL_ERROR;
        }
        *flag = value;
    }
    return answer(interp, std::to_string(*flag));
}

enum {
    CMD_ACQUIRE, CMD_APPINFO, CMD_CAPABILITY, CMD_CLOSE, CMD_DEBUG, CMD_DISABLE, CMD_DOAFTER, CMD_DSINFO, CMD_DSOPEN,
    CMD_DSCLOSE, CMD_ENABLE, CMD_GET, CMD_INFO, CMD_INTERACTIVE, CMD_OPEN, CMD_PENDING, CMD_SELECT, CMD_SETUP, CMD_STATUS
};
struct Subcommand {
    const char *name;
    int minLength;
};
constexpr Subcommand kSubcommands[] = {
    {"acquire", 4}, {"appinfo", 4},  {"capability", 3},     {"close", 3},  {"debug", 4},    {"disable", 4},
    {"doaftercapture", 4}, {"dsinfo", 4}, {"dsopen", 4},    {"dsclose", 4}, {"enable", 4},  {"get", 3},
    {"info", 3},    {"interactive", 4}, {"open", 3},        {"pending", 3}, {"select", 3},  {"setup", 3},
    {"status", 3},
};

int openCmd(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 3) {
        Tcl_AppendResult(interp, "Usage : ", argv[0], " ", argv[1], " [SourceManageDLLName]\n", nullptr);
        return TCL_ERROR;
    }
    std::string name = argc == 3 ? argv[2] : kBuiltInManager;
    if (tw.loaded) {
        tw.managerName = name;
        return TCL_OK;
    }
    std::string old = tw.managerName;
    tw.managerName = name;
    switch (loadManager()) {
    case 0: return TCL_OK;
    case 1: tw.managerName = old; return answer(interp, "Fail to open: " + name, TCL_ERROR);
    case 2: return answer(interp, "Error in initializing DSM.", TCL_ERROR);
    default: return answer(interp, "Error in get default DS.", TCL_ERROR);
    }
}

int dispatch(Tcl_Interp *interp, int argc, const char **argv)
{
    switch (findSubcommand(kSubcommands, argv[1])) {
    case CMD_ACQUIRE: {
        if (tw.enabled) {
            return answer(interp, "Error in acquire.", TCL_ERROR);
        }
        int saved = tw.interactive;
        tw.interactive = 0;
        bool ok = enableSource(modeOf(argc, argv, 2), nullptr);
        tw.interactive = saved;
        return ok ? TCL_OK : answer(interp, "Error in acquire.", TCL_ERROR);
    }
    case CMD_APPINFO: Tcl_SetObjResult(interp, identityList(tw.app)); return TCL_OK;
    case CMD_CAPABILITY: {
        int capId = 0;
        if (argc != 3 || !tw.sourceOpen || Tcl_GetInt(nullptr, argv[2], &capId) != TCL_OK) {
            return argc != 3 ? TCL_OK : answer(interp, "0");
        }
        TW_CAPABILITY cap = {static_cast<TW_UINT16>(capId), TWON_DONTCARE16, nullptr};
        bool one = false;
        if (callDS(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap) == TWRC_SUCCESS && cap.hContainer != nullptr) {
            auto *value = static_cast<TW_ONEVALUE *>(cap.hContainer);
            one = cap.ConType == TWON_ONEVALUE && value->Item == 1;
            gmemFree(cap.hContainer);
        }
        return answer(interp, one ? "1" : "0");
    }
    case CMD_CLOSE:
        if (!closeManager()) {
            return answer(interp, "Error in closing DSM.", TCL_ERROR);
        }
        return TCL_OK;
    case CMD_DEBUG: return flagWord(interp, argc, argv, &tw.debug);
    case CMD_DISABLE: return disableSource() ? TCL_OK : answer(interp, "Error in disable.", TCL_ERROR);
    case CMD_DOAFTER:
        if (argc > 3) {
            return answer(interp, "syntax error", TCL_ERROR);
        }
        if (argc == 3) {
            tw.afterScript = argv[2];
            return TCL_OK;
        }
        return answer(interp, tw.afterScript);
    case CMD_DSINFO:
        if (!tw.sourceOpen) {
            return answer(interp, "Error in dsinfo.", TCL_ERROR);
        }
        Tcl_SetObjResult(interp, identityList(tw.source));
        return TCL_OK;
    case CMD_DSOPEN: return openSource(modeOf(argc, argv, 2)) ? TCL_OK : answer(interp, "Error in dsopen.", TCL_ERROR);
    case CMD_DSCLOSE: return closeSource() ? TCL_OK : answer(interp, "Error in dsclose.", TCL_ERROR);
    case CMD_ENABLE: {
        if (tw.enabled) {
            return answer(interp, "Twain data source already enabled", TCL_ERROR);
        }
        Tk_Window parent = nullptr;
        if (argc > 3) {
            parent = teskHasTk(interp) ? Tk_NameToWindow(interp, argv[3], Tk_MainWindow(interp)) : nullptr;
            if (parent == nullptr) {
                Tcl_ResetResult(interp);
                return answer(interp, std::string("Can't retrieve Tk window from ") + argv[3], TCL_ERROR);
            }
        }
        return enableSource(modeOf(argc, argv, 2), parent) ? TCL_OK : answer(interp, "Error in enable.", TCL_ERROR);
    }
    case CMD_GET: return getImages(interp) ? TCL_OK : answer(interp, "Error in get.", TCL_ERROR);
    case CMD_INFO: {
        if (!tw.enabled) {
            tesk_fprintf(stderr, "DS not enabled.\n");
            return TCL_ERROR;
        }
        TW_IMAGEINFO info = {};
        if (callDS(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) {
            return TCL_ERROR;
        }
        return answer(interp, std::to_string(info.ImageWidth) + " " + std::to_string(info.ImageLength) + " " +
                                  std::to_string(info.BitsPerPixel));
    }
    case CMD_INTERACTIVE: return flagWord(interp, argc, argv, &tw.interactive);
    case CMD_OPEN: return openCmd(interp, argc, argv);
    case CMD_PENDING: {
        TW_PENDINGXFERS pending = {};
        bool ok = tw.sourceOpen && callDS(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending) == TWRC_SUCCESS;
        return answer(interp, std::to_string(ok ? pending.Count : -1));
    }
    case CMD_SELECT: {
        if (loadManager() != 0) {
            return answer(interp, "Fail to open DSM.", TCL_ERROR);
        }
        if (tw.sourceOpen || tw.enabled) {
            return answer(interp, "Error in DS select: DS already opened.", TCL_ERROR);
        }
        TW_IDENTITY choice = tw.source;
        TW_UINT16 rc = callDSM(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &choice);
        if (rc == TWRC_SUCCESS) {
            tw.source = choice;
        } else if (rc == TWRC_FAILURE) {
            return answer(interp, "Error in get default DS.", TCL_ERROR);
        }
        return TCL_OK;
    }
    case CMD_SETUP: {
        if (!openSource(tw.mode)) {
            return answer(interp, "Error in twEnableDSUIOnly.", TCL_ERROR);
        }
        TW_USERINTERFACE ui = {1, 0, &tw.parent};
        if (!tw.enabled && callDS(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui) != TWRC_SUCCESS) {
            closeSource();
            return answer(interp, "Error in twEnableDSUIOnly.", TCL_ERROR);
        }
        tw.enabled = true;
        return TCL_OK;
    }
    case CMD_STATUS:
        return answer(interp, tw.enabled ? "DSEnabled" : tw.sourceOpen ? "DSOpened" : tw.loaded ? "DSMOpened"
                                                                                              : "DSMClosed");
    default: return answer(interp, "Unknown twimg commands.", TCL_ERROR);
    }
}

int twimgCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    Tcl_ResetResult(interp);
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage : ", argv[0],
                         " command {a command should be: acquire capability close debug disable doaftercapture "
                         "dsopen dsclose dsinfo enable get info interactive open pending select status setup}",
                         nullptr);
        return TCL_OK;
    }
    return dispatch(interp, argc, argv);
}

/* The interpreters that registered twimg and are alive, in order. */
std::vector<Tcl_Interp *> registrations;

/* An interpreter that registered twimg is deleted. When it was the one
 * the session serves, the source and the manager (opened with its window
 * as parent, its dialogs in it) close without running anything in it, and
 * the next registration still alive takes over; the held image stays. */
void forgetInterp(ClientData, Tcl_Interp *interp)
{
    registrations.erase(std::remove(registrations.begin(), registrations.end(), interp), registrations.end());
    if (tw.interp != interp) {
        return;
    }
    stopPump();
    if (tw.loaded) {
        closeSource();
        callDSM(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &tw.parent);
        tw.loaded = false;
        tw.source = TW_IDENTITY();
    }
    tw.interp = registrations.empty() ? nullptr : registrations.front();
    setParent();
}

void twimgExit(ClientData)
{
    stopPump();
    closeManager();
    freeTransfer();
    tw.afterScript.clear();
    tw.filled = false;
}

}  // namespace

int twimgInit(Tcl_Interp *interp)
{
    if (!tw.filled) {
        fillSession();
        Tcl_CreateExitHandler(twimgExit, nullptr);
    }
    if (std::find(registrations.begin(), registrations.end(), interp) == registrations.end()) {
        registrations.push_back(interp);
        Tcl_CallWhenDeleted(interp, forgetInterp, nullptr);
    }
    if (tw.interp == nullptr) {
        tw.interp = interp;
        setParent();
    }
    Tcl_CreateCommand(interp, "twimg", twimgCmd, nullptr, nullptr);
    return 0;
}
