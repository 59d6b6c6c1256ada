/*
 * metafile.cpp --
 *
 *	Canvas regions drawn off screen, read back and written as raster
 *	enhanced metafiles; the gmetafile command.
 */
#include "devices/print/metafile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "devices/print/emf.h"
#include "display/canvascapture.h"
#include "display/clipboard.h"
#include "display/picture.h"
#include "runtime/replace.h"

namespace {

/* The screen of tkwin as a metafile's reference device. */
EmfDevice screenDevice(Tk_Window tkwin)
{
    Display *display = Tk_Display(tkwin);
    const int screen = Tk_ScreenNumber(tkwin);
    return {DisplayWidth(display, screen), DisplayHeight(display, screen), DisplayWidthMM(display, screen),
            DisplayHeightMM(display, screen)};
}

/* The pixels of pixmap's width x height corner, read with tkwin's visual,
 * into *picture. */
bool readPicture(Tk_Window tkwin, Pixmap pixmap, int width, int height, EmfPicture *picture)
{
    ImageDesc palette;
    imgDescInit(&palette);
    const bool indexed = Tk_Depth(tkwin) <= 8;
    picture->width = width;
    picture->height = height;
    picture->rgb.assign(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    return readArea(tkwin, pixmap, None, 0, 0, width, height, &palette, [&](int row, unsigned char *const *in) {
        unsigned char *out = picture->rgb.data() + 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(row);
        for (int x = 0; x < width; x++) {
            if (indexed) {
                const int i = in[0][x] < palette.nindices ? in[0][x] : 0;
                out[3 * x] = palette.palette[i][0];
                out[3 * x + 1] = palette.palette[i][1];
                out[3 * x + 2] = palette.palette[i][2];
            } else {
                out[3 * x] = in[2][x];
                out[3 * x + 1] = in[1][x];
                out[3 * x + 2] = in[0][x];
            }
        }
        return true;
    });
}

}  // namespace

bool canvasRegionToMetafile(Tcl_Interp *interp, const char *path, int x0, int y0, int x1, int y1, int coordType,
                            std::vector<unsigned char> *bytes)
{
    bytes->clear();
    CanvasInfo info;
    if (x1 < x0 || y1 < y0 || getCanvasInfo(interp, path, &info) != TCL_OK) {
        return false;
    }
    const int64_t w64 = static_cast<int64_t>(x1) - x0 + 1, h64 = static_cast<int64_t>(y1) - y0 + 1;
    if (w64 > 32767 || h64 > 32767) {
        return false;
    }
    const int w = static_cast<int>(w64), h = static_cast<int>(h64);
    Pixmap pixmap = canvasToPixmap(interp, None, 0, 0, &info, x0, y0, w, h, coordType);
    if (pixmap == None) {
        return false;
    }
    EmfPicture picture;
    const bool read = readPicture(info.tkwin, pixmap, w, h, &picture);
    Tk_FreePixmap(Tk_Display(info.tkwin), pixmap);
    if (read) {
        *bytes = emfBuild(picture, screenDevice(info.tkwin));
    }
    return !bytes->empty();
}

int gmetafileCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3 && argc != 7 && argc != 8) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " canvasName metaFile [x0 y0 x1 y1] [coordType]", nullptr);
        return TCL_ERROR;
    }
    int box[4] = {0, 0, 0, 0};
    int coordType = 0;
    if (argc >= 7) {
        for (int i = 0; i < 4; i++) {
            if (Tcl_GetInt(interp, argv[3 + i], &box[i]) != TCL_OK) {
                return TCL_ERROR;
            }
        }
    } else {
        CanvasInfo info;
        if (getCanvasInfo(interp, argv[1], &info) != TCL_OK) {
            return TCL_ERROR;
        }
        canvasItemsBBox(&info, &box[0], &box[1], &box[2], &box[3]);
    }
    if (argc == 8 && Tcl_GetInt(interp, argv[7], &coordType) != TCL_OK) {
        return TCL_ERROR;
    }
    std::vector<unsigned char> bytes;
    const bool made = canvasRegionToMetafile(interp, argv[1], box[0], box[1], box[2], box[3], coordType, &bytes);
    Tcl_ResetResult(interp);
    if (!made) {
        return TCL_ERROR;
    }
    if (std::strcmp(argv[2], "clipboard") == 0) {
        static const char *const kTargets[] = {"image/emf", "image/x-emf", nullptr};
        Tk_Window main = Tk_MainWindow(interp);
        return putBytesOnClipboard(main, bytes.data(), bytes.size(), kTargets) ? TCL_OK : TCL_ERROR;
    }
    if (replaceWithBytes(argv[2], bytes.data(), bytes.size()) != REPLACE_DONE) {
        struct stat st;
        if (errno == EINVAL && stat(argv[2], &st) == 0 && S_ISDIR(st.st_mode)) {
            errno = EISDIR;  // a folder is never replaced
        }
        Tcl_AppendResult(interp, "error writing \"", argv[2], "\": ", Tcl_PosixError(interp), nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}
