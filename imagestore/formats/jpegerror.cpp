/*
 * jpegerror.cpp --
 *
 *	libjpeg's error manager of the package's decoders (jpegerror.h).
 */
#include "imagestore/formats/jpegerror.h"

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

}  // namespace

jpeg_error_mgr *jpegInitError(JpegError *err, char *held)
{
    jpeg_std_error(&err->mgr);
    err->mgr.error_exit = jumpBack;
    err->mgr.output_message = printMessage;
    err->held = held;
    return &err->mgr;
}
