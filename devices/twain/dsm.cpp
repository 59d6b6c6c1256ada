/*
 * dsm.cpp --
 *
 *	The built-in TWAIN data source manager (twain.h) and the source it
 *	always serves while the interpreter's env(TESK_TWAIN_SIM) exists: "Tesk
 *	Simulated Source", a scanner of a test pattern whose size, bits per
 *	pixel (1, 8 or 24) and pages the variable presets ("w=64 h=32 bpp=24
 *	pages=1 auto=0") and its dialog .teskScan shows (values in the array
 *	teskScan). With auto=1 enabling makes a transfer ready without the
 *	dialog. Transfers are packed device-independent bitmaps.
 */
#include "devices/twain/twain.h"

#include <cstring>
#include <string>
#include <vector>
#include <tcl.h>
#include "tesk.h"

namespace {

constexpr const char *kSimName = "Tesk Simulated Source";
constexpr int kMaxSide = 16384;

/* What the simulated source scans. */
struct SimSettings {
    int width = 64, height = 32, bits = 24, pages = 1, automatic = 0;
};

struct Manager {
    bool open = false;
    Tcl_Interp *interp = nullptr; /* of the parent */
    TW_UINT16 condition = TWCC_SUCCESS;
    /* the simulated source */
    bool sourceOpen = false, enabled = false, dialog = false;
    bool ready = false, announced = false, closeAsked = false;
    int pagesLeft = 0, page = 0;
    TW_UINT16 mechanism = TWSX_NATIVE;
    SimSettings settings;
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

void simIdentity(TW_IDENTITY *id)
{
    std::memset(id, 0, sizeof *id);
    id->Id = 1;
    id->Version.MajorNum = 1;
    id->Version.Language = 13;
    id->Version.Country = 1;
    copyName(id->Version.Info, "1.0");
    id->ProtocolMajor = 1;
    id->ProtocolMinor = 8;
    id->SupportedGroups = DG_CONTROL | DG_IMAGE;
    copyName(id->Manufacturer, "TESK");
    copyName(id->ProductFamily, "Simulated");
    copyName(id->ProductName, kSimName);
}

const char *simVariable()
{
    return dsm.interp == nullptr ? nullptr : Tcl_GetVar2(dsm.interp, "env", "TESK_TWAIN_SIM", TCL_GLOBAL_ONLY);
}

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

/* ---- the dialog ---- */

constexpr const char *kDialog = R"(
toplevel .teskScan
wm title .teskScan {Tesk Simulated Source}
foreach key {w h bpp pages} {
    frame .teskScan.$key
    label .teskScan.$key.l -text $key -width 6 -anchor w
    entry .teskScan.$key.e -textvariable teskScan($key) -width 8
    pack .teskScan.$key.l .teskScan.$key.e -side left
    pack .teskScan.$key -fill x
}
button .teskScan.scan -text Scan -command {set teskScan(scan) 1}
button .teskScan.close -text Close -command {set teskScan(close) 1}
pack .teskScan.scan .teskScan.close -side left
)";

void setField(const char *key, int value)
{
    Tcl_SetVar2(dsm.interp, "teskScan", key, std::to_string(value).c_str(), TCL_GLOBAL_ONLY);
}

int getField(const char *key, int fallback)
{
    const char *text = Tcl_GetVar2(dsm.interp, "teskScan", key, TCL_GLOBAL_ONLY);
    int value = fallback;
    return text != nullptr && Tcl_GetInt(nullptr, text, &value) == TCL_OK ? value : fallback;
}

void showDialog()
{
    if (dsm.interp == nullptr || dsm.dialog) {
        return;
    }
    setField("w", dsm.settings.width);
    setField("h", dsm.settings.height);
    setField("bpp", dsm.settings.bits);
    setField("pages", dsm.settings.pages);
    setField("scan", 0);
    setField("close", 0);
    if (Tcl_EvalEx(dsm.interp, kDialog, -1, TCL_EVAL_GLOBAL) != TCL_OK) {
        Tcl_BackgroundError(dsm.interp);
        return;
    }
    dsm.dialog = true;
}

void hideDialog()
{
    if (dsm.dialog && dsm.interp != nullptr) {
        Tcl_EvalEx(dsm.interp, "destroy .teskScan", -1, TCL_EVAL_GLOBAL);
    }
    dsm.dialog = false;
}

/* The dialog's buttons, read when the source is polled. */
void readDialog()
{
    if (!dsm.dialog || dsm.interp == nullptr) {
        return;
    }
    if (getField("close", 0)) {
        setField("close", 0);
        dsm.closeAsked = true;
    }
    if (getField("scan", 0)) {
        setField("scan", 0);
        SimSettings s = dsm.settings;
        std::string words = "w=" + std::to_string(getField("w", s.width)) + " h=" +
                            std::to_string(getField("h", s.height)) + " bpp=" + std::to_string(getField("bpp", s.bits)) +
                            " pages=" + std::to_string(getField("pages", s.pages));
        parseSettings(words.c_str(), &dsm.settings);
        dsm.ready = true;
        dsm.announced = false;
        dsm.pagesLeft = dsm.settings.pages;
    }
}

/* ---- transfers ---- */

void putU32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

/* Page page of the pattern as a packed bitmap, bottom row first: 24 bits
 * red x, green y, blue 64 a page; 8 bits grey x + y (+ 64 a page); 1 bit
 * squares of 8. NULL when memory runs out. */
TeskDib *makeDib(const SimSettings &s, int page)
{
    int colours = s.bits == 24 ? 0 : 1 << s.bits;
    std::size_t stride = (static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.bits) + 31) / 32 * 4;
    std::size_t size = 40 + 4 * static_cast<std::size_t>(colours) + stride * static_cast<std::size_t>(s.height);
    auto *dib = static_cast<TeskDib *>(gmemAlloc(sizeof(TeskDib)));
    unsigned char *data = size < (std::size_t(1) << 31) ? static_cast<unsigned char *>(gmemAlloc(size)) : nullptr;
    if (dib == nullptr || data == nullptr) {
        gmemFree(dib);
        gmemFree(data);
        return nullptr;
    }
    std::memset(data, 0, size);
    putU32(data, 40);
    putU32(data + 4, static_cast<uint32_t>(s.width));
    putU32(data + 8, static_cast<uint32_t>(s.height));
    data[12] = 1;
    data[14] = static_cast<unsigned char>(s.bits);
    putU32(data + 32, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; i++) {
        int v = colours == 2 ? i * 255 : i;
        std::memset(data + 40 + 4 * i, v, 3);
    }
    unsigned char *rows = data + 40 + 4 * colours;
    for (int y = 0; y < s.height; y++) {
        unsigned char *row = rows + stride * static_cast<std::size_t>(s.height - 1 - y);
        for (int x = 0; x < s.width; x++) {
            if (s.bits == 24) {
                row[3 * x] = static_cast<unsigned char>(64 * page);
                row[3 * x + 1] = static_cast<unsigned char>(y);
                row[3 * x + 2] = static_cast<unsigned char>(x);
            } else if (s.bits == 8) {
                row[x] = static_cast<unsigned char>(x + y + 64 * page);
            } else if (((x / 8) + (y / 8)) & 1) {
                row[x >> 3] = static_cast<unsigned char>(row[x >> 3] | (0x80 >> (x & 7)));
            }
        }
    }
    dib->data = data;
    dib->size = size;
    return dib;
}

/* ---- the triplets ---- */

TW_UINT16 toManager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    if (dat == DAT_PARENT && msg == MSG_OPENDSM) {
        auto *parent = static_cast<TeskTwainParent *>(data);
        dsm.interp = parent != nullptr ? static_cast<Tcl_Interp *>(parent->interp) : nullptr;
        dsm.open = true;
        return TWRC_SUCCESS;
    }
    if (!dsm.open) {
        return failWith(TWCC_SEQERROR);
    }
    auto *id = static_cast<TW_IDENTITY *>(data);
    switch (dat == DAT_PARENT || dat == DAT_IDENTITY ? msg : 0) {
    case MSG_CLOSEDSM:
        if (dsm.sourceOpen) {
            return failWith(TWCC_SEQERROR);
        }
        dsm.open = false;
        return TWRC_SUCCESS;
    case MSG_GETDEFAULT:
    case MSG_USERSELECT:
        if (simVariable() == nullptr) {
            return failWith(TWCC_NODS);
        }
        simIdentity(id);
        return TWRC_SUCCESS;
    case MSG_OPENDS:
        if (simVariable() == nullptr || std::strcmp(id->ProductName, kSimName) != 0) {
            return failWith(TWCC_NODS);
        }
        if (dsm.sourceOpen) {
            return failWith(TWCC_SEQERROR);
        }
        dsm.settings = SimSettings();
        parseSettings(simVariable(), &dsm.settings);
        dsm.sourceOpen = true;
        dsm.enabled = dsm.ready = dsm.closeAsked = false;
        dsm.page = 0;
        simIdentity(id);
        return TWRC_SUCCESS;
    case MSG_CLOSEDS:
        if (!dsm.sourceOpen || dsm.enabled) {
            return failWith(TWCC_SEQERROR);
        }
        dsm.sourceOpen = false;
        return TWRC_SUCCESS;
    default: return failWith(TWCC_BADPROTOCOL);
    }
}

TW_UINT16 capability(TW_UINT16 msg, TW_CAPABILITY *cap)
{
    if (cap->Cap != ICAP_XFERMECH && cap->Cap != 1 /* CAP_XFERCOUNT */) {
        return failWith(TWCC_BADCAP);
    }
    if (msg == MSG_SET) {
        auto *one = static_cast<TW_ONEVALUE *>(cap->hContainer);
        if (cap->Cap != ICAP_XFERMECH || one == nullptr || (one->Item != TWSX_NATIVE && one->Item != TWSX_MEMORY)) {
            return failWith(TWCC_BADCAP);
        }
        dsm.mechanism = static_cast<TW_UINT16>(one->Item);
        return TWRC_SUCCESS;
    }
    auto *one = static_cast<TW_ONEVALUE *>(gmemAlloc(sizeof(TW_ONEVALUE)));
    if (one == nullptr) {
        return failWith(TWCC_LOWMEMORY);
    }
    one->ItemType = TWTY_UINT32;
    one->Item = cap->Cap == ICAP_XFERMECH ? dsm.mechanism : static_cast<TW_UINT32>(dsm.settings.pages);
    cap->ConType = TWON_ONEVALUE;
    cap->hContainer = one;
    return TWRC_SUCCESS;
}

TW_UINT16 toSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    if (!dsm.sourceOpen) {
        return failWith(TWCC_SEQERROR);
    }
    if (dg == DG_CONTROL && dat == DAT_EVENT) {
        auto *event = static_cast<TW_EVENT *>(data);
        event->TWMessage = MSG_NULL;
        if (!dsm.enabled) {
            return TWRC_NOTDSEVENT;
        }
        readDialog();
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
    if (dg == DG_CONTROL && dat == DAT_USERINTERFACE) {
        auto *ui = static_cast<TW_USERINTERFACE *>(data);
        if (msg == MSG_DISABLEDS) {
            hideDialog();
            dsm.enabled = dsm.ready = false;
            return TWRC_SUCCESS;
        }
        if (dsm.enabled) {
            return failWith(TWCC_SEQERROR);
        }
        dsm.enabled = true;
        if (msg == MSG_ENABLEDS && (dsm.settings.automatic || !ui->ShowUI)) {
            dsm.ready = true;
            dsm.announced = false;
            dsm.pagesLeft = dsm.settings.pages;
        } else {
            showDialog();
        }
        return TWRC_SUCCESS;
    }
    if (dg == DG_CONTROL && dat == DAT_CAPABILITY && (msg == MSG_GET || msg == MSG_SET)) {
        return capability(msg, static_cast<TW_CAPABILITY *>(data));
    }
    if (dg == DG_CONTROL && dat == DAT_PENDINGXFERS) {
        auto *pending = static_cast<TW_PENDINGXFERS *>(data);
        if (msg == MSG_ENDXFER && dsm.ready && dsm.pagesLeft > 0) {
            dsm.pagesLeft--;
            dsm.ready = dsm.pagesLeft > 0;
        }
        pending->Count = static_cast<TW_UINT16>(dsm.ready ? dsm.pagesLeft : 0);
        return TWRC_SUCCESS;
    }
    if (dg == DG_CONTROL && dat == DAT_SETUPMEMXFER) {
        auto *setup = static_cast<TW_SETUPMEMXFER *>(data);
        setup->MinBufSize = 1024;
        setup->MaxBufSize = 65536;
        setup->Preferred = 16384;
        return TWRC_SUCCESS;
    }
    if (!dsm.enabled || !dsm.ready) {
        return failWith(TWCC_SEQERROR);
    }
    const SimSettings &s = dsm.settings;
    if (dg == DG_IMAGE && dat == DAT_IMAGEINFO) {
        auto *info = static_cast<TW_IMAGEINFO *>(data);
        info->XResolution = info->YResolution = 75;
        info->ImageWidth = s.width;
        info->ImageLength = s.height;
        info->SamplesPerPixel = static_cast<TW_INT16>(s.bits == 24 ? 3 : 1);
        info->BitsPerPixel = static_cast<TW_INT16>(s.bits);
        return TWRC_SUCCESS;
    }
    if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER) {
        TeskDib *dib = makeDib(s, dsm.page);
        if (dib == nullptr) {
            return failWith(TWCC_LOWMEMORY);
        }
        dsm.page++;
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
