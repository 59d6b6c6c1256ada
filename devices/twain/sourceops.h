/*
 * sourceops.h --
 *
 *	The table of operations through which the built-in TWAIN manager
 *	drives the source it opened (the simulated source, a SANE device).
 */
#ifndef TESK_DEVICES_TWAIN_SOURCEOPS_H
#define TESK_DEVICES_TWAIN_SOURCEOPS_H

#include <string>
#include <utility>
#include <vector>
#include <tcl.h>
#include "devices/twain/twain.h"

struct SourceOps {
    /* The dialog's {key, value} fields of the settings. */
    std::vector<std::pair<std::string, std::string>> (*fields)();
    /* Takes the dialog's fields into the settings; false, with the
     * interpreter's result telling why, at a value refused. */
    bool (*apply)(Tcl_Interp *interp);
    /* Whether enabling transfers without the dialog. */
    bool (*automatic)();
    /* Starts a batch: the pending count (0 when nothing can be scanned). */
    int (*start)();
    /* The pending image's description; false when none can be had. */
    bool (*info)(TW_IMAGEINFO *info);
    /* The pending image as a packed bitmap; TWRC_XFERDONE, or a failure. */
    TW_UINT16 (*transfer)(TeskDib **dib);
    /* After a transfer: the pending count left (0xFFFF: not known yet). */
    int (*next)();
    /* The value of a one-value capability; false when not served. */
    bool (*capability)(TW_UINT16 cap, TW_UINT32 *value);
    void (*close)();
};

#endif /* TESK_DEVICES_TWAIN_SOURCEOPS_H */
