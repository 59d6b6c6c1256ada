/*
 * printjob.cpp --
 *
 *	Print jobs: page rasters, the metafile player that stretches our
 *	bitmaps onto them, PostScript Level 3 output and its delivery.
 */
#include "devices/print/printjob.h"

#include <algorithm>
#include <cups/cups.h>
#include <zlib.h>
#include "imagestore/ramimage.h"
#include "runtime/cnumber.h"
#include "runtime/replace.h"
#include "tesk.h"

namespace {

constexpr double kPointsPerMm = 72 / 25.4;

/* The bytes as ASCIIHexDecode reads them, 64 to a line, ">" at the end. */
void appendHex(std::string *out, const unsigned char *bytes, std::size_t n)
{
    static const char kDigits[] = "0123456789abcdef";
    out->reserve(out->size() + 2 * n + n / 32 + 2);
    for (std::size_t i = 0; i < n; i++) {
        out->push_back(kDigits[bytes[i] >> 4]);
        out->push_back(kDigits[bytes[i] & 15]);
        if (i % 32 == 31) {
            out->push_back('\n');
        }
    }
    out->append(">\n");
}

}  // namespace

PrintJob::PrintJob(const PrintDest &dest, const std::string &title, int copies)
    : dest_(dest), title_(title), copies_(std::max(1, copies))
{
    printableSize(dest, &width_, &height_);
}

bool PrintJob::startPage()
{
    const std::size_t n = 3 * static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    try {
        raster_.assign(n, 255);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool PrintJob::playMetafile(const std::vector<unsigned char> &bytes, int x, int y, int w, int h)
{
    EmfPicture picture;
    if (!emfParse(bytes.data(), bytes.size(), &picture)) {
        return false;
    }
    if (w < 1 || h < 1 || raster_.empty()) {
        return true;
    }
    const int xa = std::max(x, 0), xb = std::min<int64_t>(static_cast<int64_t>(x) + w, width_);
    const int ya = std::max(y, 0), yb = std::min<int64_t>(static_cast<int64_t>(y) + h, height_);
    std::vector<int> column(static_cast<std::size_t>(std::max(0, xb - xa)));
    for (int px = xa; px < xb; px++) {
        column[px - xa] = static_cast<int>((static_cast<int64_t>(px - x) * picture.width) / w);
    }
    for (int py = ya; py < yb; py++) {
        const int sy = static_cast<int>((static_cast<int64_t>(py - y) * picture.height) / h);
        const unsigned char *in = picture.rgb.data() + 3 * static_cast<std::size_t>(picture.width) * sy;
        unsigned char *out = raster_.data() + 3 * (static_cast<std::size_t>(width_) * py + xa);
        for (int px = xa; px < xb; px++, out += 3) {
            const unsigned char *s = in + 3 * column[px - xa];
            out[0] = s[0];
            out[1] = s[1];
            out[2] = s[2];
        }
    }
    return true;
}

bool PrintJob::endPage()
{
    uLongf packed = compressBound(static_cast<uLong>(raster_.size()));
    std::vector<unsigned char> data(packed);
    if (compress2(data.data(), &packed, raster_.data(), static_cast<uLong>(raster_.size()), Z_BEST_SPEED) != Z_OK) {
        return false;
    }
    pages_++;
    const double x = dest_.marginMm[0] * kPointsPerMm, y = dest_.marginMm[3] * kPointsPerMm;
    const double sx = width_ * 72.0 / dest_.dpiX, sy = height_ * 72.0 / dest_.dpiY;
    body_ += cFormat("%%%%Page: %d %d\n%%%%BeginPageSetup\n<< /PageSize [%.4f %.4f] >> setpagedevice\n"
                     "%%%%EndPageSetup\ngsave\n%.4f %.4f translate %.4f %.4f scale\n/DeviceRGB setcolorspace\n"
                     "<< /ImageType 1 /Width %d /Height %d /BitsPerComponent 8 /Decode [0 1 0 1 0 1]\n"
                     "   /ImageMatrix [%d 0 0 -%d 0 %d]\n"
                     "   /DataSource currentfile /ASCIIHexDecode filter /FlateDecode filter >> image\n",
                     pages_, pages_, dest_.pageWidthMm * kPointsPerMm, dest_.pageHeightMm * kPointsPerMm, x, y, sx,
                     sy, width_, height_, width_, height_, height_);
    appendHex(&body_, data.data(), packed);
    body_ += "grestore\nshowpage\n";
    raster_.clear();
    raster_.shrink_to_fit();
    return true;
}

bool PrintJob::endDoc(std::string *message)
{
    std::string title;
    for (char c : title_) {
        title.push_back(c >= ' ' && c < 127 && c != '(' && c != ')' && c != '\\' ? c : '_');
    }
    std::string doc = cFormat("%%!PS-Adobe-3.0\n%%%%Creator: Tesk\n%%%%Title: (%s)\n%%%%LanguageLevel: 3\n"
                              "%%%%Pages: (atend)\n%%%%BoundingBox: 0 0 %d %d\n%%%%EndComments\n"
                              "%%%%BeginSetup\n<< /NumCopies %d >> setpagedevice\n%%%%EndSetup\n",
                              title.c_str(), roundToInt(dest_.pageWidthMm * kPointsPerMm),
                              roundToInt(dest_.pageHeightMm * kPointsPerMm), copies_);
    doc += body_;
    doc += cFormat("%%%%Trailer\n%%%%Pages: %d\n%%%%EOF\n", pages_);
    if (dest_.filePrinter) {
        /* a link planted under the default name is not followed; a file
         * the user named is written where it says; neither replaces the
         * file of an image that is open */
        if ((dest_.defaultFile && fixedNameIsLink(dest_.uri.c_str())) || ramImageReadsFile(nullptr, dest_.uri.c_str()) ||
            replaceWithBytes(dest_.uri.c_str(), doc.data(), doc.size()) != REPLACE_DONE) {
            *message = "Error in writing " + dest_.uri;
            return false;
        }
        return true;
    }
    cupsSetServer(nullptr);
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, dest_.name.c_str(), nullptr);
    cups_dinfo_t *info = dest != nullptr ? cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest) : nullptr;
    int job = 0;
    bool sent = info != nullptr &&
                cupsCreateDestJob(CUPS_HTTP_DEFAULT, dest, info, &job, title_.c_str(), 0, nullptr) == IPP_STATUS_OK &&
                cupsStartDestDocument(CUPS_HTTP_DEFAULT, dest, info, job, title_.c_str(), CUPS_FORMAT_POSTSCRIPT, 0,
                                      nullptr, 1) == HTTP_STATUS_CONTINUE &&
                cupsWriteRequestData(CUPS_HTTP_DEFAULT, doc.data(), doc.size()) == HTTP_STATUS_CONTINUE;
    if (info != nullptr && job > 0) {
        sent = cupsFinishDestDocument(CUPS_HTTP_DEFAULT, dest, info) == IPP_STATUS_OK && sent;
    }
    if (!sent) {
        *message = cupsLastErrorString();
    }
    cupsFreeDestInfo(info);
    cupsFreeDests(dest != nullptr ? 1 : 0, dest);
    return sent;
}
