/*
 * dsm.cpp --
 *
 *	The built-in TWAIN data source manager (twain.h): the triplets, the
 *	states of the open source, and its sources: the SANE devices that
 *	libsane finds (sane.cpp) and, while the interpreter's
 *	env(TESK_TWAIN_SIM) exists, "Tesk Simulated Source", then the default:
 *	a scanner of a test pattern whose size, bits per pixel (1, 8 or 24) and
 *	pages the variable presets ("w=64 h=32 bpp=24 pages=1 auto=0") and
 *	the dialog .teskScan shows. With auto=1 enabling makes a transfer
 *	ready without the dialog. Transfers are packed bitmaps.
 */
#include "devices/twain/twain.h"

#include <cstring>
#include <string>
#include <vector>
#include <tcl.h>
#include "devices/twain/sane.h"
#include "devices/twain/source.h"
#include "tesk.h"

namespace {

constexpr const char *kSimName = "Tesk Simulated Source";
constexpr int kMaxSide = 16384;

/* ---- the simulated source ---- */

struct SimSettings {
    int width = 64, height = 32, bits = 24, pages = 1, automatic = 0;
};

struct Simulated {
    SimSettings settings;
    int page = 0; /* pages made in this batch */
} sim;

/* Reads "key=value ..." words into settings; unknown keys and bad values
 * are left out. */
void parseSettings(const char *text, SimSettings *settings)
{
    int count = 0;
    const char **words = nullptr;
    if (text == nullptr || Tcl_SplitList(nullptr, text, &count, &words) != TCL_OK) {
        return;
    }
    for (int i = 0; i < count; i++) {
        const char *eq = std::strchr(words[i], '=');
        int value = 0;
        if (eq == nullptr || Tcl_GetInt(nullptr, eq + 1, &value) != TCL_OK) {
            continue;
        }
        std::string key(words[i], static_cast<std::size_t>(eq - words[i]));
        if ((key == "w" || key == "h") && value >= 1 && value <= kMaxSide) {
            (key == "w" ? settings->width : settings->height) = value;
        } else if (key == "bpp" && (value == 1 || value == 8 || value == 24)) {
            settings->bits = value;
        } else if (key == "pages" && value >= 1 && value <= 1000) {
            settings->pages = value;
        } else if (key == "auto") {
            settings->automatic = value != 0;
        }
    }
    Tcl_Free(reinterpret_cast<char *>(words));
}

std::vector<std::pair<std::string, std::string>> simFields()
{
    const SimSettings &s = sim.settings;
    return {{"w", std::to_string(s.width)},
            {"h", std::to_string(s.height)},
            {"bpp", std::to_string(s.bits)},
            {"pages", std::to_string(s.pages)}};
}

bool simApply(Tcl_Interp *interp)
{
    std::string words;
    for (const char *key : {"w", "h", "bpp", "pages"}) {
        words += std::string(key) + "=" + scanDialogField(interp, key) + " ";
    }
    parseSettings(words.c_str(), &sim.settings);
    return true;
}

bool simAutomatic()
{
    return sim.settings.automatic != 0;
}

int simStart()
{
    sim.page = 0;
    return sim.settings.pages;
}

bool simInfo(TW_IMAGEINFO *info)
{
    const SimSettings &s = sim.settings;
    info->XResolution = info->YResolution = 75;
    info->ImageWidth = s.width;
    info->ImageLength = s.height;
    info->SamplesPerPixel = static_cast<TW_INT16>(s.bits == 24 ? 3 : 1);
    info->BitsPerPixel = static_cast<TW_INT16>(s.bits);
    return true;
}

/* Page of the pattern: 24 bits red x, green y, blue 64 a page; 8 bits grey
 * x + y (+ 64 a page); 1 bit squares of 8, the first one white. */
TW_UINT16 simTransfer(TeskDib **out)
{
    const SimSettings &s = sim.settings;
    unsigned char *rows = nullptr;
    std::size_t stride = 0;
    TeskDib *dib = dibNew(s.width, s.height, s.bits, false, &rows, &stride);
    if (dib == nullptr) {
        return TWRC_FAILURE;
    }
    for (int y = 0; y < s.height; y++) {
        unsigned char *row = rows + stride * static_cast<std::size_t>(s.height - 1 - y);
        for (int x = 0; x < s.width; x++) {
            if (s.bits == 24) {
                row[3 * x] = static_cast<unsigned char>(64 * sim.page);
                row[3 * x + 1] = static_cast<unsigned char>(y);
                row[3 * x + 2] = static_cast<unsigned char>(x);
            } else if (s.bits == 8) {
                row[x] = static_cast<unsigned char>(x + y + 64 * sim.page);
            } else if (((x / 8) + (y / 8)) & 1) {
                row[x >> 3] = static_cast<unsigned char>(row[x >> 3] | (0x80 >> (x & 7)));
            }
        }
    }
    sim.page++;
    *out = dib;
    return TWRC_XFERDONE;
}

int simNext()
{
    return sim.settings.pages - sim.page;
}

bool simCapability(TW_UINT16 cap, TW_UINT32 *value)
{
    if (cap != 1 /* CAP_XFERCOUNT */) {
        return false;
    }
    *value = static_cast<TW_UINT32>(sim.settings.pages);
    return true;
}

void simClose() {}

constexpr SourceOps kSimOps = {simFields, simApply,      simAutomatic, simStart, simInfo,
                               simTransfer, simNext, simCapability, simClose};

/* ---- the manager ---- */

struct Manager {
    bool open = false;
    Tcl_Interp *interp = nullptr; /* of the parent */
    TW_UINT16 condition = TWCC_SUCCESS;
    const SourceOps *ops = nullptr; /* of the open source, or NULL */
    bool enabled = false, dialog = false;
    bool ready = false, announced = false, closeAsked = false;
    int pending = 0; /* transfers left of the batch; 0xFFFF: not known */
    TW_UINT16 mechanism = TWSX_NATIVE;
} dsm;

TW_UINT16 failWith(TW_UINT16 condition)
{
    dsm.condition = condition;
    return TWRC_FAILURE;
}

void copyName(TW_STR32 out, const char *text)
{
    std::memset(out, 0, sizeof(TW_STR32));
    std::strncpy(out, text, sizeof(TW_STR32) - 1);
}

const char *simVariable()
{
    return dsm.interp == nullptr ? nullptr : Tcl_GetVar2(dsm.interp, "env", "TESK_TWAIN_SIM", TCL_GLOBAL_ONLY);
}

/* The sources in order: the simulated one while its variable exists, then
 * the SANE devices. */
std::vector<std::string> sourceNames()
{
    std::vector<std::string> names;
    if (simVariable() != nullptr) {
        names.emplace_back(kSimName);
    }
    for (const std::string &name : saneDeviceNames()) {
        names.push_back(name);
    }
    return names;
}

void identityOf(const std::string &name, TW_IDENTITY *id)
{
    bool simulated = name == kSimName;
    std::memset(id, 0, sizeof *id);
    id->Id = 1;
    id->Version.MajorNum = 1;
    id->Version.Language = 13;
    id->Version.Country = 1;
    copyName(id->Version.Info, "1.0");
    id->ProtocolMajor = 1;
    id->ProtocolMinor = 8;
    id->SupportedGroups = DG_CONTROL | DG_IMAGE;
    copyName(id->Manufacturer, simulated ? "TESK" : "SANE");
    copyName(id->ProductFamily, simulated ? "Simulated" : "Scanner");
    copyName(id->ProductName, name.c_str());
}

/* The user's choice among the sources, in a Tk list; "" when cancelled,
 * also by the window manager's close or by the window's destruction. */
constexpr const char *kSelect = R"({names} {
    toplevel .teskSelect
    wm title .teskSelect {Select source}
    listbox .teskSelect.list -height [llength $names] -width 32
    foreach name $names {.teskSelect.list insert end $name}
    .teskSelect.list selection set 0
    button .teskSelect.ok -text OK -command {set teskSelect [list ok [.teskSelect.list get [lindex [.teskSelect.list curselection] 0]]]}
    button .teskSelect.cancel -text Cancel -command {set teskSelect cancel}
    pack .teskSelect.list
    pack .teskSelect.ok .teskSelect.cancel -side left
    wm protocol .teskSelect WM_DELETE_WINDOW {set teskSelect cancel}
    bind .teskSelect <Destroy> {if {"%W" eq ".teskSelect"} {set teskSelect cancel}}
    set ::teskSelect {}
    vwait ::teskSelect
    set choice $::teskSelect
    destroy .teskSelect
    return [lindex $choice 1]
})";

std::string userSelect(const std::vector<std::string> &names)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const std::string &name : names) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(name.c_str(), -1));
    }
    Tcl_Obj *words[] = {Tcl_NewStringObj("apply", -1), Tcl_NewStringObj(kSelect, -1), list};
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    std::string choice;
    if (Tcl_EvalObjv(dsm.interp, 3, words, TCL_EVAL_GLOBAL) == TCL_OK) {
        choice = Tcl_GetStringResult(dsm.interp);
    }
    Tcl_ResetResult(dsm.interp);
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    return choice;
}

void startBatch()
{
    dsm.pending = dsm.ops->start();
    dsm.ready = dsm.pending != 0;
    dsm.announced = false;
}

TW_UINT16 identityTriplet(TW_UINT16 msg, TW_IDENTITY *id)
{
    switch (msg) {
    case MSG_GETDEFAULT: {
        std::vector<std::string> names = sourceNames();
        if (names.empty()) {
            return failWith(TWCC_NODS);
        }
        identityOf(names[0], id);
        return TWRC_SUCCESS;
    }
    case MSG_USERSELECT: {
        std::vector<std::string> names = sourceNames();
        if (names.empty()) {
            return failWith(TWCC_NODS);
        }
        std::string choice = userSelect(names);
        if (choice.empty()) {
            return TWRC_CANCEL;
        }
        identityOf(choice, id);
        return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
        if (dsm.ops != nullptr) {
            return failWith(TWCC_SEQERROR);
        }
        /* As TWAIN has it, no name opens the default source. */
        std::string name(id->ProductName, strnlen(id->ProductName, sizeof id->ProductName));
        if (name.empty()) {
            std::vector<std::string> names = sourceNames();
            if (names.empty()) {
                return failWith(TWCC_NODS);
            }
            name = names[0];
        }
        if (name == kSimName && simVariable() != nullptr) {
            sim.settings = SimSettings();
            parseSettings(simVariable(), &sim.settings);
            dsm.ops = &kSimOps;
        } else {
            dsm.ops = saneSourceOpen(name.c_str());
        }
        if (dsm.ops == nullptr) {
            return failWith(TWCC_NODS);
        }
        dsm.enabled = dsm.ready = dsm.closeAsked = false;
        identityOf(name, id);
        return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS:
        if (dsm.ops == nullptr || dsm.enabled) {
            return failWith(TWCC_SEQERROR);
        }
        dsm.ops->close();
        dsm.ops = nullptr;
        return TWRC_SUCCESS;
    default: return failWith(TWCC_BADPROTOCOL);
    }
}

TW_UINT16 toManager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    if (dat == DAT_PARENT && msg == MSG_OPENDSM) {
        auto *parent = static_cast<TeskTwainParent *>(data);
        dsm.interp = parent != nullptr ? static_cast<Tcl_Interp *>(parent->interp) : nullptr;
        dsm.open = dsm.interp != nullptr;
        return dsm.open ? TW_UINT16(TWRC_SUCCESS) : failWith(TWCC_BUMMER);
    }
    if (!dsm.open) {
        return failWith(TWCC_SEQERROR);
    }
    if (dat == DAT_PARENT && msg == MSG_CLOSEDSM) {
        if (dsm.ops != nullptr) {
            return failWith(TWCC_SEQERROR);
        }
        dsm.open = false;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_IDENTITY) {
        return identityTriplet(msg, static_cast<TW_IDENTITY *>(data));
    }
    if (dat == DAT_SETUPMEMXFER && msg == MSG_GET) {
        auto *setup = static_cast<TW_SETUPMEMXFER *>(data);
        setup->MinBufSize = 1024;
        setup->MaxBufSize = 65536;
        setup->Preferred = 16384;
        return TWRC_SUCCESS;
    }
    return failWith(TWCC_BADPROTOCOL);
}

TW_UINT16 capability(TW_UINT16 msg, TW_CAPABILITY *cap)
{
    if (msg == MSG_SET) {
        auto *one = static_cast<TW_ONEVALUE *>(cap->hContainer);
        if (cap->Cap != ICAP_XFERMECH || one == nullptr || (one->Item != TWSX_NATIVE && one->Item != TWSX_MEMORY)) {
            return failWith(TWCC_BADCAP);
        }
        dsm.mechanism = static_cast<TW_UINT16>(one->Item);
        return TWRC_SUCCESS;
    }
    TW_UINT32 value = dsm.mechanism;
    if (cap->Cap != ICAP_XFERMECH && !dsm.ops->capability(cap->Cap, &value)) {
        return failWith(TWCC_BADCAP);
    }
    auto *one = static_cast<TW_ONEVALUE *>(gmemAlloc(sizeof(TW_ONEVALUE)));
    if (one == nullptr) {
        return failWith(TWCC_LOWMEMORY);
    }
    one->ItemType = TWTY_UINT32;
    one->Item = value;
    cap->ConType = TWON_ONEVALUE;
    cap->hContainer = one;
    return TWRC_SUCCESS;
}

/* A poll of the enabled source: its dialog's buttons, a close asked for,
 * a transfer ready. */
TW_UINT16 processEvent(TW_EVENT *event)
{
    event->TWMessage = MSG_NULL;
    if (!dsm.enabled) {
        return TWRC_NOTDSEVENT;
    }
    if (dsm.dialog) {
        bool scan = false, close = false;
        scanDialogPoll(dsm.interp, &scan, &close);
        dsm.closeAsked = dsm.closeAsked || close;
        if (scan && !dsm.ready) {
            /* A refused value is the user's to mend: no scan. */
            if (dsm.ops->apply(dsm.interp)) {
                startBatch();
            } else {
                Tcl_BackgroundException(dsm.interp, TCL_ERROR);
                Tcl_ResetResult(dsm.interp);
            }
        }
    }
    if (dsm.closeAsked) {
        dsm.closeAsked = false;
        event->TWMessage = MSG_CLOSEDSREQ;
        return TWRC_DSEVENT;
    }
    if (dsm.ready && !dsm.announced) {
        dsm.announced = true;
        event->TWMessage = MSG_XFERREADY;
        return TWRC_DSEVENT;
    }
    return TWRC_NOTDSEVENT;
}

TW_UINT16 userInterface(TW_UINT16 msg, TW_USERINTERFACE *ui)
{
    if (msg == MSG_DISABLEDS) {
        if (dsm.dialog) {
            scanDialogHide(dsm.interp);
            dsm.dialog = false;
        }
        dsm.enabled = dsm.ready = false;
        return TWRC_SUCCESS;
    }
    if (dsm.enabled) {
        return failWith(TWCC_SEQERROR);
    }
    dsm.enabled = true;
    if (msg == MSG_ENABLEDS && (dsm.ops->automatic() || !ui->ShowUI)) {
        startBatch();
    } else {
        dsm.dialog = scanDialogShow(dsm.interp, dsm.ops->fields());
    }
    return TWRC_SUCCESS;
}

TW_UINT16 toSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    if (dsm.ops == nullptr) {
        return failWith(TWCC_SEQERROR);
    }
    if (dg == DG_CONTROL && dat == DAT_EVENT) {
        return processEvent(static_cast<TW_EVENT *>(data));
    }
    if (dg == DG_CONTROL && dat == DAT_USERINTERFACE) {
        return userInterface(msg, static_cast<TW_USERINTERFACE *>(data));
    }
    if (dg == DG_CONTROL && dat == DAT_CAPABILITY && (msg == MSG_GET || msg == MSG_SET)) {
        return capability(msg, static_cast<TW_CAPABILITY *>(data));
    }
    if (dg == DG_CONTROL && dat == DAT_PENDINGXFERS) {
        auto *pending = static_cast<TW_PENDINGXFERS *>(data);
        if (msg == MSG_ENDXFER && dsm.ready) {
            dsm.pending = dsm.ops->next();
            dsm.ready = dsm.pending != 0;
        }
        pending->Count = static_cast<TW_UINT16>(dsm.ready ? dsm.pending : 0);
        return TWRC_SUCCESS;
    }
    if (!dsm.enabled || !dsm.ready) {
        return failWith(TWCC_SEQERROR);
    }
    if (dg == DG_IMAGE && dat == DAT_IMAGEINFO) {
        return dsm.ops->info(static_cast<TW_IMAGEINFO *>(data)) ? TW_UINT16(TWRC_SUCCESS) : failWith(TWCC_BUMMER);
    }
    if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER) {
        TeskDib *dib = nullptr;
        TW_UINT16 rc = dsm.ops->transfer(&dib);
        if (rc != TWRC_XFERDONE) {
            dsm.condition = TWCC_BUMMER;
            return rc;
        }
        *static_cast<TW_HANDLE *>(data) = dib;
        return TWRC_XFERDONE;
    }
    return failWith(TWCC_BADPROTOCOL);
}

}  // namespace

TW_UINT16 teskDsmEntry(TW_IDENTITY *, TW_IDENTITY *dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    if (dg == DG_CONTROL && dat == DAT_STATUS) {
        static_cast<TW_STATUS *>(data)->ConditionCode = dsm.condition;
        dsm.condition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    dsm.condition = TWCC_SUCCESS;
    if (dest == nullptr) {
        return dg == DG_CONTROL ? toManager(dat, msg, data) : failWith(TWCC_BADPROTOCOL);
    }
    return toSource(dg, dat, msg, data);
}
