/*
 * jpegerror.cpp --
 *
 *	libjpeg's error manager of the package's decoders (jpegerror.h).
 */
#include "imagestore/formats/jpegerror.h"

#include <algorithm>
#include <cstring>
#include "tesk_stdio.h"

namespace {

void printMessage(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    auto *err = reinterpret_cast<JpegError *>(cinfo->err);
    if (err->held == nullptr) {
        tesk_fprintf(stderr, "%s\n", text);
    } else if (err->held[0] == '\0') {
        std::memcpy(err->held, text, sizeof text);
    }
}

[[noreturn]] void jumpBack(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegError *>(cinfo->err)->jump, 1);
}

/* The progress monitor of a watched decode: counts the blocks of each
 * scan as it begins (libjpeg calls the monitor between its steps of input)
 * and ends the decode past the limits. */
void watchScans(j_common_ptr common)
{
    auto *cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto *watch = reinterpret_cast<JpegScanWatch *>(common->progress);
    if (cinfo->input_scan_number != watch->scan) {
        watch->scan = cinfo->input_scan_number;
        for (int i = 0; i < cinfo->comps_in_scan; i++) {
            const jpeg_component_info *c = cinfo->cur_comp_info[i];
            watch->visited += static_cast<int64_t>(c->width_in_blocks) * c->height_in_blocks;
        }
    }
    if (watch->scan > kJpegMaxScans) {
        *watch->ended = JPEG_SCANS_TOO_MANY;
    } else if (watch->visited > watch->limit) {
        *watch->ended = JPEG_SCANS_TOO_LONG;
    } else {
        return;
    }
    std::longjmp(reinterpret_cast<JpegError *>(common->err)->jump, 1);
}

}  // namespace

jpeg_error_mgr *jpegInitError(JpegError *err, char *held)
{
    jpeg_std_error(&err->mgr);
    err->mgr.error_exit = jumpBack;
    err->mgr.output_message = printMessage;
    err->held = held;
    return &err->mgr;
}

void jpegWatchScans(j_decompress_ptr cinfo, JpegScanWatch *watch, int64_t dataBytes, int *ended)
{
    *watch = JpegScanWatch{};
    watch->pub.progress_monitor = watchScans;
    const int64_t bytes = dataBytes < 0 ? 0 : std::min<int64_t>(dataBytes, int64_t{1} << 40);
    watch->limit = kJpegWorkFloor + bytes * kJpegWorkPerByte;
    watch->ended = ended;
    *ended = JPEG_SCANS_OK;
    cinfo->progress = &watch->pub;
}

const char *jpegScanLimitText(int ended)
{
    static_assert(kJpegMaxScans == 1000, "the text names the limit");
    switch (ended) {
    case JPEG_SCANS_TOO_MANY: return "more than 1000 scans";
    case JPEG_SCANS_TOO_LONG: return "too many scans for its size";
    default: return "";
    }
}
