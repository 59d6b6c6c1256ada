/*
 * gimgdump.cpp --
 *
 *	The dump word of a gimg image: what the whole view shows (zoomed,
 *	flipped, turned, enhanced and mapped to colours as the display renders
 *	it) written into a new image file through the store's writers (GIF,
 *	TIFF, JPEG, DIB, X bitmap) or into a Tk photo, which may in turn be
 *	written with one of Tk's photo formats. Indexed output (1, 4 and 8
 *	bits) takes a grey ramp, a colour cube or the image's own palette;
 *	24-bit output takes red, green and blue. The gimg's colour settings
 *	are borrowed for the dump and given back on every path.
 */
#include "display/gimg.h"

#include <unistd.h>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>
#include "display/photolink.h"
#include "display/render.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk.h"

namespace {

constexpr int kBlockRows = 256;      // view rows gathered before a turned block is written
constexpr int kDefaultQuality = 90;  // JPEG quality without (or with a bad) option

int fail(Tcl_Interp *interp, const char *text)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, text, static_cast<char *>(nullptr));
    return TCL_ERROR;
}

/* What a bit depth makes of the output, and its colours: a -palette code
 * (grey, red, green, blue level counts; all 0 for 24 bits). */
struct DumpDepth {
    int bands;
    int pixel;
    int palette[4];
};

/*
 * The output of bits for the image type imgid, or false for a depth the
 * dump does not make. Colour views (three -comb bands on a colour cube)
 * and shown layers take a colour cube at 4 and 8 bits, others a grey ramp;
 * a type dumped without a palette (JPEG) takes the grey ramp at 8 bits.
 */
bool depthOf(const GimgMaster *master, int bits, int imgid, DumpDepth *out)
{
    bool colour = (master->opt.comb[0] == 3 && master->colours.palette[0] == 0) || master->layer > 0;
    auto set = [out](int bands, int pixel, int grey, int red, int green, int blue) {
        *out = DumpDepth{bands, pixel, {grey, red, green, blue}};
    };
    switch (bits) {
    case 1: set(1, PIX_1BIT, 2, 0, 0, 0); return true;
    case 4:
        if (colour) {
            set(1, PIX_4BITS, 0, 4, 2, 2);
        } else {
            set(1, PIX_4BITS, 16, 0, 0, 0);
        }
        return true;
    case 8:
        if (colour && !imageTypeOf(imgid)->dumpsWithoutPalette) {
            set(1, PIX_BYTE, 0, 8, 8, 4);
        } else {
            set(1, PIX_BYTE, 256, 0, 0, 0);
        }
        return true;
    case 24: set(3, PIX_BYTE, 0, 0, 0, 0); return true;
    default: return false;
    }
}

/* The message for a depth the image type cannot take, NULL when it can.
 * An unknown type gets the text of an unsupported image ID. */
const char *typeRefuses(int imgid, bool photo, int bits)
{
    if (photo) {
        return bits == 8 || bits == 24 ? nullptr : "Illegal bits for TKPHOTO.\n";
    }
    const ImageType *type = imageTypeOf(imgid);
    if (type->dumpDepths == 0) {
        return "The image ID is not supported.\n";
    }
    int bit = bits == 1 ? DUMP_1BIT : bits == 4 ? DUMP_4BITS : bits == 8 ? DUMP_8BITS : bits == 24 ? DUMP_24BITS : 0;
    return type->dumpDepths & bit ? nullptr : type->dumpDepthError;
}

/*
 * The colour state that the dump replaces (the -palette numbers, the
 * colour count and everything that rebuilding the lookup tables writes):
 * taken whole when made, put back by restore (once) or at the latest when
 * the holder goes, so that every path gives it back. Borrowing allocates
 * no cells; it only builds the tables for another colour count.
 */
class ColourSettings {
public:
    explicit ColourSettings(GimgMaster *master) : m_(master), saved_(master->colours) {}
    ColourSettings(const ColourSettings &) = delete;
    ColourSettings &operator=(const ColourSettings &) = delete;
    ~ColourSettings() { restore(); }

    /* Takes the colours of depth (a colour count of 0 for 24 bits: the
     * tables of a true-colour screen) and rebuilds the lookup tables when
     * they differ from the gimg's own. Indexed output that cannot keep a
     * shown layer's indices (keepIndices false) leaves true-palette mode:
     * the layer is then mapped through its palette to the ramp or cube. */
    void borrow(const DumpDepth &depth, int colours, bool keepIndices)
    {
        GimgColours &c = m_->colours;
        bool rgb = depth.bands == 3;
        bool leavePalette = !rgb && !keepIndices && c.truePaletteMode;
        if (!leavePalette &&
            (rgb ? c.nCells == 0
                 : (c.nCells == colours && std::memcmp(c.palette, depth.palette, sizeof depth.palette) == 0))) {
            return;
        }
        if (leavePalette) {
            c.truePaletteMode = 0;
        }
        if (!rgb) {
            std::memcpy(c.palette, depth.palette, sizeof depth.palette);
        }
        c.nCells = rgb ? 0 : colours;
        changed_ = true;
        gimgEnhance(m_, c.funcInUse, c.factorInUse);
    }

    void restore()
    {
        if (changed_) {
            changed_ = false;
            m_->colours = saved_;
        }
    }

private:
    GimgMaster *m_;
    bool changed_ = false;
    GimgColours saved_;
};

/*
 * Puts rendered view rows into the output image: unturned, view row y is
 * output row y; turned, rows are gathered into blocks of 256 view rows
 * that become output columns (putRotatedLeft for a negative -rotate,
 * putRotatedRight for a positive one).
 */
class DumpWriter {
public:
    /* width: bytes of a rendered row; height: view rows; bands: 1 or 3. */
    DumpWriter(RamImage *out, int width, int height, int bands, int rotate)
        : out_(out), width_(width), height_(height), bands_(bands), rotate_(rotate)
    {}

    /* Room for the turned blocks; false when memory runs out. */
    bool prepare()
    {
        if (rotate_ == 0) {
            return true;
        }
        try {
            block_.resize(static_cast<size_t>(bands_) * kBlockRows * static_cast<size_t>(width_));
            column_.resize(kBlockRows);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    /* View row y, one rendered row a band; false when the store refused. */
    bool put(int y, unsigned char *const *rows)
    {
        if (rotate_ == 0) {
            for (int b = 0; b < bands_; b++) {
                if (ramImagePutBytes(out_, y, 0, width_, b, rows[b]) != width_) {
                    return false;
                }
            }
            return true;
        }
        for (int b = 0; b < bands_; b++) {
            std::memcpy(gathered(b, gathered_), rows[b], static_cast<size_t>(width_));
        }
        gathered_++;
        if (gathered_ < kBlockRows && y + 1 < height_) {
            return true;
        }
        bool ok = true;
        for (int b = 0; b < bands_ && ok; b++) {
            ok = rotate_ < 0 ? putRotatedLeft(b, y + 1 - gathered_) : putRotatedRight(b, y);
        }
        gathered_ = 0;
        return ok;
    }

private:
    unsigned char *gathered(int band, int j)
    {
        return block_.data() + (static_cast<size_t>(band) * kBlockRows + static_cast<size_t>(j)) * width_;
    }

    /* The block of view rows from first on becomes the output columns from
     * first on; output row r takes byte width - 1 - r of each row in order. */
    bool putRotatedLeft(int band, int first)
    {
        int n = gathered_;
        for (int r = 0; r < width_; r++) {
            int at = width_ - 1 - r;
            for (int j = 0; j < n; j++) {
                column_[static_cast<size_t>(j)] = gathered(band, j)[at];
            }
            if (ramImagePutBytes(out_, r, first, n, band, column_.data()) != n) {
                return false;
            }
        }
        return true;
    }

    /* The block whose last view row is last becomes the output columns from
     * (output columns - last - 1) on; output row r takes byte r of each row,
     * last row first. */
    bool putRotatedRight(int band, int last)
    {
        int n = gathered_;
        int first = height_ - last - 1;
        for (int r = 0; r < width_; r++) {
            for (int j = 0; j < n; j++) {
                column_[static_cast<size_t>(j)] = gathered(band, n - 1 - j)[r];
            }
            if (ramImagePutBytes(out_, r, first, n, band, column_.data()) != n) {
                return false;
            }
        }
        return true;
    }

    RamImage *out_;
    int width_, height_, bands_, rotate_;
    int gathered_ = 0;
    std::vector<unsigned char> block_;
    std::vector<unsigned char> column_;
};

/* How the rendered rows are turned into the output's values. */
enum class Recode {
    AsRendered,
    XBitmap,  // X bitmaps: 1 where the rendered index is 0, else 0
    BGR,      // 24-bit device-independent bitmaps: blue, green, red
};

/*
 * gimgDumpIndexed, gimgDumpRGB --
 *	Walk the whole view row by row (every cell of the zoom tables), render
 *	each distinct source row once as the display does (indexed: the
 *	colour index of the tables in place; RGB: red, green and blue) and
 *	hand the rows to the writer. 1, or 0 when memory runs out or the
 *	store refuses a row.
 */
int dumpRows(GimgMaster *master, RamImage *out, bool indexed, Recode recode)
{
    const ZoomTable &columns = master->zoomX;
    const ZoomTable &rows = master->zoomY;
    int width = columns.count;
    int height = rows.count;
    int bands = indexed ? 1 : 3;
    GimgRowSource *source = gimgRowSourceNew(master, master->image, &columns, indexed ? 1 : 0);
    if (source == nullptr) {
        return 0;
    }
    DumpWriter writer(out, width, height, bands, master->opt.rotate < 0 ? -1 : master->opt.rotate > 0 ? 1 : 0);
    std::vector<unsigned char> recoded;
    bool ok = writer.prepare();
    if (ok && recode == Recode::XBitmap) {
        try {
            recoded.resize(static_cast<size_t>(width));
        } catch (const std::bad_alloc &) {
            ok = false;
        }
    }
    unsigned char *rendered[3] = {};
    unsigned char *put[3] = {};
    int previous = INT_MIN;
    for (int y = 0; ok && y < height; y++) {
        int src = rows.index[y];
        if (src != previous) {
            gimgRowSourceRender(source, src, y, y == 0, rendered);
            previous = src;
            if (recode == Recode::XBitmap) {
                for (int x = 0; x < width; x++) {
                    recoded[static_cast<size_t>(x)] = rendered[0][x] == 0 ? 1 : 0;
                }
                put[0] = recoded.data();
            } else if (recode == Recode::BGR) {
                put[0] = rendered[2];
                put[1] = rendered[1];
                put[2] = rendered[0];
            } else {
                for (int b = 0; b < bands; b++) {
                    put[b] = rendered[b];
                }
            }
        }
        ok = writer.put(y, put);
    }
    gimgRowSourceFree(source);
    return ok ? 1 : 0;
}

int gimgDumpIndexed(GimgMaster *master, RamImage *out, Recode recode)
{
    return dumpRows(master, out, true, recode);
}

int gimgDumpRGB(GimgMaster *master, RamImage *out, Recode recode)
{
    return dumpRows(master, out, false, recode);
}

/* The words of "photo write file option...": the option text split as a
 * list, so that nothing in it is ever substituted or run. Null, with the
 * list's error in interp, when the option is no list. */
Tcl_Obj *photoWriteCommand(Tcl_Interp *interp, const std::string &photo, const char *fileName, const char *option)
{
    Tcl_Obj *options = Tcl_NewStringObj(option, -1);
    Tcl_IncrRefCount(options);
    int count = 0;
    Tcl_Obj **words = nullptr;
    Tcl_Obj *command = nullptr;
    if (Tcl_ListObjGetElements(interp, options, &count, &words) == TCL_OK) {
        Tcl_Obj *head[] = {Tcl_NewStringObj(photo.c_str(), -1), Tcl_NewStringObj("write", -1),
                           Tcl_NewStringObj(fileName, -1)};
        command = Tcl_NewListObj(3, head);
        Tcl_ListObjReplace(nullptr, command, 3, 0, count, words);
    }
    Tcl_DecrRefCount(options);
    return command;
}

}  // namespace

/*
 * gimgDumpCmd --
 *	g dump fileName imgID bits owFlag ?option?: writes the rendered view
 *	into a new file of type imgID (DIB, XBMP, TIFF, GIF87a, GIF89a, JPEG;
 *	a JPEG's quality is the option, 90 by default) or, for TKPHOTO, into
 *	a photo named fileName, or (with the option) a photo of Tk's naming
 *	that "write fileName option" saves and that is deleted afterwards.
 *	bits is 1, 4, 8 or 24 as the type allows; owFlag 0 refuses an
 *	existing file. The gimg's -palette, colour count and lookup tables
 *	are as before whatever happens. TCL_OK with an empty result, or
 *	TCL_ERROR with the message.
 */
int gimgDumpCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 6 && argc != 7) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " dump fileName imgID bits owFlag [option]\n",
                         static_cast<char *>(nullptr));
        return TCL_ERROR;
    }
    if (master->image == nullptr) {
        return fail(interp, "No image is defined.\n");
    }
    const char *fileName = argv[2];
    const char *option = argc == 7 ? argv[6] : nullptr;
    int bits = 0, overwrite = 0;
    if (Tcl_GetInt(interp, argv[4], &bits) != TCL_OK || Tcl_GetInt(interp, argv[5], &overwrite) != TCL_OK) {
        return TCL_ERROR;
    }
    bool existed = fileExists(fileName) == 0;
    if (overwrite == 0 && existed) {
        return fail(interp, "The file already exists.\n");
    }
    bool photo = std::strcmp(argv[3], "TKPHOTO") == 0;
    int imgid = photo ? IMG_MBSQ : imgIdCode(argv[3]);
    const ImageType *type = imageTypeOf(imgid);
    DumpDepth depth;
    if (!depthOf(master, bits, imgid, &depth)) {
        return fail(interp, "Illegal bits.\n");
    }
    if (const char *refusal = typeRefuses(imgid, photo, bits)) {
        return fail(interp, refusal);
    }
    int quality = kDefaultQuality;
    if (imageTypeBlockIsSetting(imgid) && option != nullptr) {
        if (Tcl_GetInt(interp, option, &quality) != TCL_OK) {
            return TCL_ERROR;
        }
        if (quality < 0 || quality > 100) {
            quality = kDefaultQuality;
        }
    }

    /* The output descriptor: the gimg's, sized to the view in cells. */
    ImageDesc desc = master->desc;
    desc.imgid = imgid;
    gimgViewSize(master, &desc.columns, &desc.rows);
    desc.top = desc.left = 0;
    desc.x0 = desc.y0 = 0.0;
    desc.dx = desc.dy = 1.0;
    desc.nbands = depth.bands;
    desc.pixel = depth.pixel;
    desc.bits = depth.pixel == PIX_1BIT ? 1 : depth.pixel == PIX_4BITS ? 4 : 8;
    desc.offset = 0;
    desc.dataFd = -1;
    desc.volumes = 0;
    desc.colourMode = 0;
    unsigned char cube[256 * 3];
    int colours = depth.bands == 3
                      ? 0
                      : buildColorCube(cube, depth.palette[0], depth.palette[1], depth.palette[2], depth.palette[3]);
    /* Indexed output takes the ramp or cube, or the gimg's own palette
     * when the indices pass unchanged (a layer without dithering or
     * filter whose palette the depth holds); 24 bits and types dumped
     * without a palette (JPEG) carry none. */
    bool keepIndices = master->colours.truePaletteMode && depth.bands == 1 && !type->dumpsWithoutPalette &&
                       master->desc.nindices <= (1 << bits);
    if (depth.bands == 3 || type->dumpsWithoutPalette) {
        desc.nindices = 0;
        desc.transparent = -1;
    } else if (!keepIndices) {
        std::memcpy(desc.palette, cube, static_cast<size_t>(3 * colours));
        desc.nindices = colours;
        desc.transparent = -1;
    }
    if ((!photo && imageTypeApplyRules(&desc) != nullptr) || desc.rows < 1 || desc.columns < 1) {
        return fail(interp, photo ? "Error in rimg creation.\n" : "Error in image creation.\n");
    }
    desc.block = imageTypeLineSize(desc);

    /* The output: a new file opened as a RAM image, or a photo with a
     * memory image behind it. A file is made under a name beside its
     * place and renamed into it once whole, so that a failure at any step
     * leaves no file behind and an earlier file as it was. */
    RamImage *out = nullptr;
    std::string photoName;
    bool photoMade = false;
    FileReplacement file;
    auto failWrite = [&](const char *message) {
        replaceAbandon(&file);
        return fail(interp, message);
    };
    if (photo) {
        std::string name = option == nullptr ? fileName : "";
        bool photoExisted = !name.empty() && findPhoto(interp, name.c_str()) != nullptr;
        /* Tk would turn an image of another type (the gimg itself, say)
         * into the photo, losing it. */
        const Tk_ImageType *type = nullptr;
        if (!photoExisted && !name.empty() && Tk_GetImageMasterData(interp, name.c_str(), &type) != nullptr) {
            return fail(interp, "Error in rimg creation.\n");
        }
        std::vector<char> buffer(name.size() + 256, '\0');
        std::memcpy(buffer.data(), name.c_str(), name.size());
        out = createPhotoRAMImage(interp, buffer.data(), buffer.size(), &desc);
        if (out == nullptr) {
            return fail(interp, "Error in rimg creation.\n");
        }
        photoName = buffer.data();
        photoMade = !photoExisted;
    } else {
        /* The shown file itself is never written over. */
        if (std::strlen(fileName) >= sizeof desc.file || (existed && ramImageFindByFile(fileName) == master->image)) {
            return fail(interp, "Error in image creation.\n");
        }
        if (!replaceBeginNamed(&file, fileName)) {
            std::string why = replaceFailure() + "\nError in image creation.\n";
            return fail(interp, why.c_str());  // the reason first
        }
        if (file.temporary.size() >= sizeof desc.file) {
            return failWrite("Error in image creation.\n");
        }
        std::strcpy(desc.file, file.temporary.c_str());
        int error = RAMIMG_OK;
        out = ramImageCreate(&desc, nullptr, 1, &error);
        if (out == nullptr) {
            return failWrite(error == RAMIMG_CREATE_ERROR ? "Error in image creation.\n" : "Error in image open.\n");
        }
        if (imageTypeBlockIsSetting(imgid)) {
            out->desc.block = quality;
        }
        /* A turned view writes each output row once per block of view
         * rows: a row-cached file is kept in memory meanwhile (as it was
         * when memory runs short) and written once at the end. */
        if (master->opt.rotate != 0 && imageTypeOf(imgid)->layout != Layout::Whole) {
            ramImageSetResident(out, 1);
        }
    }

    /* Render the view with the output's colours, then give them back. */
    int rendered;
    {
        ColourSettings settings(master);
        settings.borrow(depth, colours, keepIndices);
        Recode recode = type->dumpRecode == DumpRecode::XBitmap                   ? Recode::XBitmap
                        : type->dumpRecode == DumpRecode::BGR && depth.bands == 3 ? Recode::BGR
                                                                                  : Recode::AsRendered;
        rendered = depth.bands == 3 ? gimgDumpRGB(master, out, recode) : gimgDumpIndexed(master, out, recode);
    }
    if (!rendered) {
        ramImageRelease(out, nullptr);
        if (photoMade) {
            deletePhoto(interp, photoName);
        }
        return failWrite("Error in write ramimg\n");
    }

    if (!photo) {
        std::string why;
        bool written = ramImageSetResident(out, 0) != 0;
        written = ramImageWriteBack(out, &why) && written;
        ramImageRelease(out, nullptr);
        if (!written) {
            replaceAbandon(&file);
            for (size_t at = 0; (at = why.find(file.temporary, at)) != std::string::npos;) {
                why.replace(at, file.temporary.size(), file.target);  // the file the user named
                at += file.target.size();
            }
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, why.c_str(), why.empty() ? "" : "\n", "Error in write ramimg\n", nullptr);
            return TCL_ERROR;
        }
        if (!replaceCommitNamed(&file)) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "Error in write ramimg: ", fileName, ": ", Tcl_PosixError(interp), "\n", nullptr);
            return TCL_ERROR;
        }
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    int code = ramImageToPhoto(interp, out, photoName.c_str());
    ramImageRelease(out, nullptr);
    if (code == TCL_OK && option != nullptr) {
        /* Tk writes the photo under a name beside the file, renamed over it
         * once written. */
        code = TCL_ERROR;
        Tcl_Obj *command = nullptr;
        if (!replaceBeginNamed(&file, fileName)) {
            Tcl_AppendResult(interp, "couldn't open \"", fileName, "\": ", Tcl_PosixError(interp), nullptr);
        } else {
            command = photoWriteCommand(interp, photoName, file.temporary.c_str(), option);
        }
        if (command != nullptr) {
            Tcl_IncrRefCount(command);
            code = Tcl_EvalObjEx(interp, command, 0);  // a pure list: its words, never substituted
            Tcl_DecrRefCount(command);
            if (code != TCL_OK) {
                replaceAbandon(&file);
                /* Tk's message names the file by the name it wrote. */
                std::string message = Tcl_GetStringResult(interp);
                for (size_t at = 0; (at = message.find(file.temporary, at)) != std::string::npos;) {
                    message.replace(at, file.temporary.size(), fileName);
                    at += std::strlen(fileName);
                }
                Tcl_SetObjResult(interp, Tcl_NewStringObj(message.c_str(), -1));
            } else if (!replaceCommitNamed(&file)) {
                code = TCL_ERROR;
                Tcl_ResetResult(interp);
                Tcl_AppendResult(interp, "error writing \"", fileName, "\": ", Tcl_PosixError(interp), nullptr);
            }
        } else {
            replaceAbandon(&file);
        }
        if (code != TCL_OK) {
            Tcl_AppendResult(interp, "\nError in writing TKPHOTO.\n", static_cast<char *>(nullptr));
        }
    }
    if (option != nullptr || (code != TCL_OK && photoMade)) {
        deletePhoto(interp, photoName);
    }
    if (code == TCL_OK) {
        Tcl_ResetResult(interp);
    }
    return code;
}
