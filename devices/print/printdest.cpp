/*
 * printdest.cpp --
 *
 *	Printers from CUPS (cupsGetDests2 and the destination's information)
 *	and the file printer.
 */
#include "devices/print/printdest.h"

#include <algorithm>
#include <cstdlib>
#include <cups/cups.h>
#include "tesk.h"

const char *const kFilePrinterName = "Print to File";

namespace {

enum { kRemoteBit = 0x2, kStateStopped = 5 };

std::string option(cups_dest_t *dest, const char *name)
{
    const char *v = cupsGetOption(name, dest->num_options, dest->options);
    return v != nullptr ? v : "";
}

/* The host of a URI, "" when it has none. */
std::string uriHost(const std::string &uri)
{
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, user, sizeof user, host, sizeof host,
                        &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        return "";
    }
    return host;
}

}  // namespace

std::vector<PrintDest> printDestinations(Tcl_Interp *interp)
{
    std::vector<PrintDest> list;
    cupsSetServer(nullptr); /* the server as the environment names it now */
    cups_dest_t *dests = nullptr;
    const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    bool anyDefault = false;
    for (int i = 0; i < n; i++) {
        cups_dest_t *d = &dests[i];
        if (d->instance != nullptr) {
            continue;
        }
        PrintDest p;
        p.name = d->name;
        p.makeModel = option(d, "printer-make-and-model");
        p.uri = option(d, "device-uri");
        const std::string supported = option(d, "printer-uri-supported");
        p.isDefault = d->is_default != 0;
        const long type = std::strtol(option(d, "printer-type").c_str(), nullptr, 10);
        p.remote = (type & kRemoteBit) != 0;
        p.server = uriHost(supported);
        p.shared = option(d, "printer-is-shared") == "true";
        p.offline = option(d, "printer-state") == std::to_string(kStateStopped) ||
                    option(d, "printer-is-accepting-jobs") == "false";
        p.media = option(d, "media");
        anyDefault = anyDefault || p.isDefault;
        list.push_back(p);
    }
    cupsFreeDests(n, dests);
    PrintDest file;
    file.name = kFilePrinterName;
    const char *path = Tcl_GetVar2(interp, "env", "TESK_PRINT_FILE", TCL_GLOBAL_ONLY);
    file.defaultFile = path == nullptr || *path == '\0';
    file.uri = file.defaultFile ? "tesk-print.ps" : path;
    file.makeModel = "PostScript file";
    file.filePrinter = true;
    file.isDefault = !anyDefault;
    file.media = "iso_a4_210x297mm";
    list.push_back(file);
    return list;
}

void printableSize(const PrintDest &p, int *width, int *height)
{
    *width = std::max(1, roundToInt((p.pageWidthMm - p.marginMm[0] - p.marginMm[2]) * p.dpiX / 25.4));
    *height = std::max(1, roundToInt((p.pageHeightMm - p.marginMm[1] - p.marginMm[3]) * p.dpiY / 25.4));
}

void printDestCapabilities(PrintDest *p)
{
    if (p->filePrinter) {
        return;
    }
    cupsSetServer(nullptr);
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, p->name.c_str(), nullptr);
    if (dest == nullptr) {
        return;
    }
    cups_dinfo_t *info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
    if (info != nullptr) {
        std::string media = p->media;
        if (media.empty()) {
            ipp_attribute_t *m = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "media");
            const char *text = m != nullptr ? ippGetString(m, 0, nullptr) : nullptr;
            media = text != nullptr ? text : "";
        }
        cups_size_t size;
        if (!media.empty() &&
            cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest, info, media.c_str(), CUPS_MEDIA_FLAGS_DEFAULT, &size)) {
            p->media = media;
            p->pageWidthMm = size.width / 100.0;
            p->pageHeightMm = size.length / 100.0;
            p->marginMm[0] = size.left / 100.0;
            p->marginMm[1] = size.top / 100.0;
            p->marginMm[2] = size.right / 100.0;
            p->marginMm[3] = size.bottom / 100.0;
        }
        ipp_attribute_t *r = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution");
        if (r != nullptr) {
            int x = 0, y = 0;
            ipp_res_t units;
            x = ippGetResolution(r, 0, &y, &units);
            if (units == IPP_RES_PER_CM) {
                x = static_cast<int>(x * 2.54 + 0.5);
                y = static_cast<int>(y * 2.54 + 0.5);
            }
            if (x > 0 && y > 0) {
                p->dpiX = x;
                p->dpiY = y;
            }
        }
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
}
