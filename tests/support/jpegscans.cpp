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

Bytes jpegWithScans(const Bytes &jpeg, int scans, const Bytes &tail)
{
    std::vector<size_t> scanEnds;  // where each scan's data ends
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xD9) {
        const bool scan = jpeg[at + 1] == 0xDA;
        at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
        while (scan && at + 1 < jpeg.size() &&
               !(jpeg[at] == 0xFF && jpeg[at + 1] != 0 && (jpeg[at + 1] < 0xD0 || jpeg[at + 1] > 0xD7))) {
            at++;
        }
        if (scan) {
            scanEnds.push_back(at);
        }
    }
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<long>(scanEnds.at(0)));
    for (int i = 1; i < scans; i++) {
        out.insert(out.end(), jpeg.begin() + static_cast<long>(scanEnds[0]),
                   jpeg.begin() + static_cast<long>(scanEnds.at(1)));
    }
    out.insert(out.end(), tail.begin(), tail.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}
