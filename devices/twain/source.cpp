/*
 * source.cpp --
 *
 *	The scan dialog and the bitmaps the built-in TWAIN manager's sources
 *	share (source.h).
 */
#include "devices/twain/source.h"

#include <cstring>
#include "tesk.h"

namespace {

/* The dialog, applied to the list of field keys. Closed by the window
 * manager or destroyed by a script, it asks to close the source as its
 * Close button does. */
constexpr const char *kDialog = R"({keys} {
    toplevel .teskScan
    wm title .teskScan {Tesk scan}
    set i 0
    foreach key $keys {
        frame .teskScan.f$i
        label .teskScan.f$i.l -text $key -width 16 -anchor w
        entry .teskScan.f$i.e -textvariable teskScan($key) -width 24
        pack .teskScan.f$i.l .teskScan.f$i.e -side left
        pack .teskScan.f$i -fill x
        incr i
    }
    button .teskScan.scan -text Scan -command {set teskScan(scan) 1}
    button .teskScan.close -text Close -command {set teskScan(close) 1}
    pack .teskScan.scan .teskScan.close -side left
    wm protocol .teskScan WM_DELETE_WINDOW {set teskScan(close) 1}
    bind .teskScan <Destroy> {if {"%W" eq ".teskScan"} {set teskScan(close) 1}}
})";

void putU32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

bool takeFlag(Tcl_Interp *interp, const char *key)
{
    const char *text = Tcl_GetVar2(interp, "teskScan", key, TCL_GLOBAL_ONLY);
    int value = 0;
    if (text == nullptr || Tcl_GetInt(nullptr, text, &value) != TCL_OK || value == 0) {
        return false;
    }
    Tcl_SetVar2(interp, "teskScan", key, "0", TCL_GLOBAL_ONLY);
    return true;
}

}  // namespace

bool scanDialogShow(Tcl_Interp *interp, const std::vector<std::pair<std::string, std::string>> &fields)
{
    Tcl_Obj *keys = Tcl_NewListObj(0, nullptr);
    for (const auto &field : fields) {
        Tcl_SetVar2(interp, "teskScan", field.first.c_str(), field.second.c_str(), TCL_GLOBAL_ONLY);
        Tcl_ListObjAppendElement(nullptr, keys, Tcl_NewStringObj(field.first.c_str(), -1));
    }
    Tcl_SetVar2(interp, "teskScan", "scan", "0", TCL_GLOBAL_ONLY);
    Tcl_SetVar2(interp, "teskScan", "close", "0", TCL_GLOBAL_ONLY);
    Tcl_Obj *words[] = {Tcl_NewStringObj("apply", -1), Tcl_NewStringObj(kDialog, -1), keys};
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    bool ok = Tcl_EvalObjv(interp, 3, words, TCL_EVAL_GLOBAL) == TCL_OK;
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    if (!ok) {
        Tcl_BackgroundError(interp);
    }
    return ok;
}

void scanDialogHide(Tcl_Interp *interp)
{
    Tcl_EvalEx(interp, "destroy .teskScan", -1, TCL_EVAL_GLOBAL);
    Tcl_ResetResult(interp);
}

void scanDialogPoll(Tcl_Interp *interp, bool *scan, bool *close)
{
    *close = takeFlag(interp, "close");
    *scan = takeFlag(interp, "scan");
}

std::string scanDialogField(Tcl_Interp *interp, const char *key)
{
    const char *text = Tcl_GetVar2(interp, "teskScan", key, TCL_GLOBAL_ONLY);
    return text != nullptr ? text : "";
}

TeskDib *dibNew(int width, int height, int bits, bool blackIsOne, unsigned char **rows, std::size_t *stride)
{
    int colours = bits == 24 ? 0 : 1 << bits;
    *stride = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    std::size_t size = 40 + 4 * static_cast<std::size_t>(colours) + *stride * static_cast<std::size_t>(height);
    auto *dib = static_cast<TeskDib *>(gmemAlloc(sizeof(TeskDib)));
    auto *data = size < (std::size_t(1) << 31) ? static_cast<unsigned char *>(gmemAlloc(size)) : nullptr;
    if (dib == nullptr || data == nullptr) {
        gmemFree(dib);
        gmemFree(data);
        return nullptr;
    }
    std::memset(data, 0, size);
    putU32(data, 40);
    putU32(data + 4, static_cast<uint32_t>(width));
    putU32(data + 8, static_cast<uint32_t>(height));
    data[12] = 1;
    data[14] = static_cast<unsigned char>(bits);
    putU32(data + 32, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; i++) {
        int v = colours == 2 ? ((i == 1) != blackIsOne ? 255 : 0) : i;
        std::memset(data + 40 + 4 * i, v, 3);
    }
    *rows = data + 40 + 4 * colours;
    dib->data = data;
    dib->size = size;
    return dib;
}
