/*
 * jpegscans.cpp --
 *
 *	Progressive JPEG data for the tests of scan bounds (jpegscans.h).
 */
#include "support/jpegscans.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

using Bytes = std::vector<unsigned char>;

Bytes progressiveJpeg(int columns, int rows, int components, bool flat)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(columns);
    cinfo.image_height = static_cast<JDIMENSION>(rows);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    for (int c = 0; c < cinfo.num_components; c++) {
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(static_cast<size_t>(columns) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (size_t i = 0; i < row.size(); i++) {
            row[i] = static_cast<unsigned char>(flat ? 128 : (i + cinfo.next_scanline * 3) & 0xFF);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes data(out, out + size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return data;
}

namespace {

/* Where the scans of jpeg begin (their markers) and where their data end. */
struct ScanBounds {
    std::vector<size_t> starts;
    std::vector<size_t> ends;
};

ScanBounds scanBounds(const Bytes &jpeg)
{
    ScanBounds b;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xD9) {
        const bool scan = jpeg[at + 1] == 0xDA;
        if (scan) {
            b.starts.push_back(at);
        }
        at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
        while (scan && at + 1 < jpeg.size() &&
               !(jpeg[at] == 0xFF && jpeg[at + 1] != 0 && (jpeg[at + 1] < 0xD0 || jpeg[at + 1] > 0xD7))) {
            at++;
        }
        if (scan) {
            b.ends.push_back(at);
        }
    }
    return b;
}

/* The file up to the end of its first scan, then copies - 1 copies of
 * jpeg[from, to), then tail and the end marker. */
Bytes repeated(const Bytes &jpeg, size_t firstEnd, size_t from, size_t to, int copies, const Bytes &tail)
{
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<long>(firstEnd));
    for (int i = 1; i < copies; i++) {
        out.insert(out.end(), jpeg.begin() + static_cast<long>(from), jpeg.begin() + static_cast<long>(to));
    }
    out.insert(out.end(), tail.begin(), tail.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

}  // namespace

Bytes jpegWithScans(const Bytes &jpeg, int scans, const Bytes &tail)
{
    const ScanBounds b = scanBounds(jpeg);
    return repeated(jpeg, b.ends.at(0), b.ends[0], b.ends.at(1), scans, tail);
}

Bytes jpegWithDcScans(const Bytes &jpeg, int scans)
{
    const ScanBounds b = scanBounds(jpeg);
    const size_t header = b.starts.at(0) + 2 + (jpeg[b.starts[0] + 2] << 8 | jpeg[b.starts[0] + 3]);
    return repeated(jpeg, b.ends.at(0), b.starts[0], header, scans, {});
}
