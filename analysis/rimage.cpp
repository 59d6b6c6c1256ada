/*
 * rimage.cpp --
 *
 *	The rimage command: opening, creating, describing, locking, saving and
 *	releasing RAM images, and running the tool modules. The command owns
 *	one default descriptor whose options persist between calls and seed
 *	new images. Registered by Rimg_Init.
 */
#include "analysis/rimage.h"
#include "analysis/terralink.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>
#include "display/photolink.h"
#include "analysis/tools/tooltable.h"
#include "display/idoption.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/formats/imagetypes.h"
#include "runtime/replace.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/startup.h"
#include "runtime/subcmd.h"
#include "runtime/util.h"

/* The file of an image made without -file, in the current folder. */
constexpr const char *kDefaultImageFile = "rimage.lan";

Tk_ConfigSpec rimageDescSpecs[] = {
    {TK_CONFIG_CUSTOM, "-file", nullptr, nullptr, kDefaultImageFile, Tk_Offset(ImageDesc, file), 0, &fileOption},
    {TK_CONFIG_CUSTOM, "-mapid", nullptr, nullptr, "GRID", Tk_Offset(ImageDesc, mapid), 0, &mapIdOption},
    {TK_CONFIG_CUSTOM, "-imgid", nullptr, nullptr, "E74", Tk_Offset(ImageDesc, imgid), 0, &imgIdOption},
    {TK_CONFIG_CUSTOM, "-imgdes", nullptr, nullptr, "", Tk_Offset(ImageDesc, imgdes), 0, &imgdesOption},
    {TK_CONFIG_CUSTOM, "-imgtype", nullptr, nullptr, "GENERAL", Tk_Offset(ImageDesc, imgtype), 0, &imgTypeOption},
    {TK_CONFIG_CUSTOM, "-pixel", nullptr, nullptr, "BYTE", Tk_Offset(ImageDesc, pixel), 0, &pixelIdOption},
    {TK_CONFIG_INT, "-nbands", nullptr, nullptr, "1", Tk_Offset(ImageDesc, nbands), 0, nullptr},
    {TK_CONFIG_INT, "-msbf", nullptr, nullptr, "0", Tk_Offset(ImageDesc, msbf), 0, nullptr},
    {TK_CONFIG_INT, "-rows", nullptr, nullptr, "512", Tk_Offset(ImageDesc, rows), 0, nullptr},
    {TK_CONFIG_INT, "-columns", nullptr, nullptr, "512", Tk_Offset(ImageDesc, columns), 0, nullptr},
    {TK_CONFIG_INT, "-top", nullptr, nullptr, "0", Tk_Offset(ImageDesc, top), 0, nullptr},
    {TK_CONFIG_INT, "-left", nullptr, nullptr, "0", Tk_Offset(ImageDesc, left), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-x0", nullptr, nullptr, "0.0", Tk_Offset(ImageDesc, x0), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-y0", nullptr, nullptr, "0.0", Tk_Offset(ImageDesc, y0), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-z0", nullptr, nullptr, "0.0", Tk_Offset(ImageDesc, z0), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-dx", nullptr, nullptr, "1.0", Tk_Offset(ImageDesc, dx), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-dy", nullptr, nullptr, "1.0", Tk_Offset(ImageDesc, dy), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-zscale", nullptr, nullptr, "1.0", Tk_Offset(ImageDesc, zscale), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-zmin", nullptr, nullptr, "0.0", Tk_Offset(ImageDesc, zmin), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-zmax", nullptr, nullptr, "0.0", Tk_Offset(ImageDesc, zmax), 0, nullptr},
    {TK_CONFIG_INT, "-offset", nullptr, nullptr, "128", Tk_Offset(ImageDesc, offset), 0, nullptr},
    {TK_CONFIG_INT, "-block", nullptr, nullptr, "512", Tk_Offset(ImageDesc, block), 0, nullptr},
    {TK_CONFIG_INT, "-nindices", nullptr, nullptr, "0", Tk_Offset(ImageDesc, nindices), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

namespace {

/* The image types whose images live in memory only (MBSQ .. MRGB8, MRGB1). */
bool isMemoryType(int imgid)
{
    return isMemoryImgId(imgid) != 0;
}

/* Fills entry i of n with i / (n - 1) * 255 in all three components. */
void greyRamp(ImageDesc *desc, int n)
{
    for (int i = 0; i < n && i < 256; i++) {
        int v = n > 1 ? roundToInt(i * 255.0 / (n - 1)) : 0;
        desc->palette[i][0] = desc->palette[i][1] = desc->palette[i][2] = static_cast<uint8_t>(v);
    }
}

int usage(Tcl_Interp *interp, int code, int argc, const char **argv, const char *rest)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argc > 1 ? argv[1] : "", rest, nullptr);
    return code;
}

/* Adds the store's error text to the error information. */
void addStoreError(Tcl_Interp *interp, int error)
{
    const char *text = ramImageErrorText(error);
    if (text[0] != '\0') {
        Tcl_AddErrorInfo(interp, text);
    }
}

/* Finds an image by tag, then by file name. */
RamImage *findImage(const char *name)
{
    RamImage *image = ramImageFindByTag(name);
    return image != nullptr ? image : ramImageFindByFile(name);
}

}  // namespace

/*
 * rimageConfigDesc --
 *	Shows (argc 0 or 1) or changes a descriptor through the option table.
 *	A copy is configured and checked against the rules of its image type;
 *	only a copy that passes replaces desc.
 */
int rimageConfigDesc(ImageDesc *desc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc <= 1) {
        return teskConfigureInfo(interp, rimageDescSpecs, reinterpret_cast<char *>(desc), argc == 1 ? argv[0] : nullptr,
                                 0);
    }
    ImageDesc copy = *desc;
    if (teskConfigure(interp, rimageDescSpecs, argc, argv, reinterpret_cast<char *>(&copy), TK_CONFIG_ARGV_ONLY) !=
        TCL_OK) {
        return TCL_ERROR;
    }
    if (copy.nbands <= 0) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Invalid band number:%d", copy.nbands));
        return TCL_ERROR;
    }
    /* A palette size given for an image of several bands cannot be
     * applied (its palette is dropped): refused, not dropped silently. */
    if (copy.nbands == 1 || (copy.nindices != 0 && copy.nindices != desc->nindices)) {
        int most = copy.nbands != 1          ? 0
                   : copy.pixel == PIX_1BIT  ? 2
                   : copy.pixel == PIX_4BITS ? 16
                   : copy.pixel == PIX_BYTE  ? 256
                                             : 0;
        if (copy.nindices < 0 || copy.nindices > most) {
            Tcl_SetResult(interp, const_cast<char *>("Invalid index number."), TCL_STATIC);
            return TCL_ERROR;
        }
    } else {
        copy.nindices = 0;
    }
    if (const char *message = imageTypeApplyRules(&copy)) {
        Tcl_SetResult(interp, const_cast<char *>(message), TCL_STATIC);
        return TCL_ERROR;
    }
    copy.bits = pixelIdBits(copy.pixel);
    int line = imageTypeLineSize(copy);
    if (line > copy.block) {
        copy.block = line;
    }
    if (desc->nindices == 0) {
        greyRamp(&copy, copy.nindices);
    }
    *desc = copy;
    Tcl_ResetResult(interp);
    return TCL_OK;
}

namespace {

/* ---- own subcommands ---- */

typedef int(RimageProc)(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv);

/* A data range "@cols,rows,bands": each part empty, "*", ":", "a:b" or "a",
 * inside 0 .. count - 1; answers false when it does not read. */
bool parseRange(const char *text, const int counts[3], int out[3])
{
    if (text[0] != '@') {
        return false;
    }
    std::string rest = text + 1;
    for (int part = 0; part < 3; part++) {
        size_t comma = rest.find(',');
        std::string item = part < 2 ? rest.substr(0, comma) : rest;
        if (part < 2 && comma == std::string::npos) {
            return false;
        }
        rest = part < 2 ? rest.substr(comma + 1) : "";
        if (item.empty() || item == "*" || item == ":") {
            out[part] = counts[part];
            continue;
        }
        int a = 0, b = 0;
        char tail = 0;
        int n = std::sscanf(item.c_str(), "%d:%d%c", &a, &b, &tail);
        if (n == 1) {
            if (item.find(':') != std::string::npos) {
                return false;
            }
            b = a;
        } else if (n != 2) {
            return false;
        }
        if (a < 0 || b < 0 || a >= counts[part] || b >= counts[part]) {
            return false;
        }
        out[part] = std::abs(b - a) + 1;
    }
    return true;
}

/* rimage open TAG TYPE ...: a memory image (or a file under a tag). *held
 * tells whether *made holds a use taken for this open. */
int openTyped(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv, RamImage **made, bool *held)
{
    const char *tag = argv[2];
    int type = imgIdCode(argv[3]);
    int error = 0;
    if (type < 0 || !isMemoryType(type)) {
        if (argc != 4) {
            Tcl_SetResult(interp, const_cast<char *>("Invalid image ID for a memory resident rimage."), TCL_STATIC);
            return TCL_ERROR;
        }
        RamImage *image = ramImageOpen(tag, argv[3], nullptr, nullptr, &error);
        if (image == nullptr) {
            image = photoToRAMImage(interp, argv[3], defaults, tag);
        }
        if (image == nullptr) {
            Tcl_ResetResult(interp);
            addStoreError(interp, error);
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("Error in open: %s", argv[3]));
            return TCL_ERROR;
        }
        *made = image;
        *held = true;
        return TCL_OK;
    }
    RamImage *existing = ramImageFindByTag(tag);
    if (existing != nullptr && existing->desc.imgid != type) {
        Tcl_SetResult(interp, const_cast<char *>("Incompatible rimage ID.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (existing != nullptr && argc == 4) {
        *made = existing;
        return TCL_OK;
    }
    ImageDesc work = existing != nullptr ? existing->desc : *defaults;
    bool paletteGiven = false;
    if ((argc == 5 || argc == 6) && argv[4][0] != '-') {
        RamImage *templ = ramImageOpen(argv[4], argv[4], nullptr, nullptr, &error);
        if (templ == nullptr) {
            addStoreError(interp, error);
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("Fail to open the template: %s", argv[4]));
            return TCL_ERROR;
        }
        work = templ->desc;
        paletteGiven = work.nindices > 0;
        ramImageRelease(templ, nullptr);
        if (argc == 6) {
            int counts[3] = {work.columns, work.rows, work.nbands};
            int sizes[3];
            if (!parseRange(argv[5], counts, sizes)) {
                Tcl_SetResult(interp, const_cast<char *>("Invalid data range"), TCL_STATIC);
                return TCL_ERROR;
            }
            work.columns = sizes[0];
            work.rows = sizes[1];
            work.nbands = sizes[2];
        }
    } else if (argc >= 6) {
        if (rimageConfigDesc(&work, interp, argc - 4, argv + 4) != TCL_OK) {
            return TCL_ERROR;
        }
        if (work.imgid != type && work.imgid != (existing != nullptr ? existing->desc.imgid : defaults->imgid)) {
            Tcl_SetResult(interp, const_cast<char *>("conflicting -imgid option"), TCL_STATIC);
            return TCL_ERROR;
        }
    }
    work.imgid = type;
    imageTypeFrameLayout(&work);
    if (!paletteGiven) {
        greyRamp(&work, work.nindices);
    }
    work.offset = 0;
    std::snprintf(work.file, sizeof work.file, "%s", tag);
    RamImage *image = ramImageOpen(tag, nullptr, &work, nullptr, &error);
    if (image == nullptr) {
        addStoreError(interp, error);
        Tcl_SetResult(interp, const_cast<char *>("Error in creating a new memory resident rimage.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    *made = image;
    *held = true;
    return TCL_OK;
}

/*
 * detectInMemory --
 *	Asks the detectors of the formats an image may hold in memory, in
 *	detection order, about size bytes of data (put into an anonymous file
 *	for them). Answers the image type with desc filled, or 0.
 */
int detectInMemory(const unsigned char *data, size_t size, const char *name, ImageDesc *desc)
{
    int fd = size > 0 ? memoryFile(data, size) : -1;
    if (fd < 0) {
        return 0;
    }
    int type = 0;
    for (int at = 0; const ImageType *row = imageTypeAt(at); at++) {
        if (!row->readsFromMemory || row->detect == nullptr) {
            continue;
        }
        ImageDesc found;
        imgDescInit(&found);
        found.dataFd = -1;
        void *priv = nullptr;
        int answer = row->detect(fd, name, &found, &priv);
        gmemFree(priv);
        if (answer < 0 && answer != kDetectRefused) {
            break;
        }
        if (answer > 0 && imageTypeOf(answer)->readsFromMemory) {
            *desc = found;
            type = answer;
            break;
        }
    }
    close(fd);
    return type;
}

/*
 * openFromData --
 *	Makes the image TAG from work (a descriptor a detector filled from
 *	data) with data attached as the source of its pixels; data (from
 *	gmemAlloc) belongs to the image on success and is freed on failure.
 */
int openFromData(Tcl_Interp *interp, const char *tag, unsigned char *data, size_t size, ImageDesc *work,
                 RamImage **made, bool *held)
{
    std::snprintf(work->file, sizeof work->file, "%s", tag);
    int error = 0;
    RamImage *image = ramImageOpen(tag, nullptr, work, nullptr, &error);
    if (image != nullptr && !ramImageAttachData(image, data, static_cast<int64_t>(size))) {
        ramImageRelease(image, nullptr);
        image = nullptr;
        error = RAMIMG_NOMEM;
    }
    if (image == nullptr) {
        gmemFree(data);
        addStoreError(interp, error);
        Tcl_SetResult(interp, const_cast<char *>("Error in creating a new memory resident rimage.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    *made = image;
    *held = true;
    return TCL_OK;
}

/*
 * openBase64 --
 *	rimage open TAG base64 TEXT: TEXT is a GIF or JPEG file in base64. The
 *	image TAG is made from the descriptor its detector gives and keeps the
 *	decoded data as the source of its pixels.
 */
int openBase64(Tcl_Interp *interp, int argc, const char **argv, RamImage **made, bool *held)
{
    if (argc != 5) {
        Tcl_SetResult(interp, const_cast<char *>("Syntax error. Should be rimage open imgID base64 string.\n"),
                      TCL_STATIC);
        return TCL_ERROR;
    }
    const char *tag = argv[2];
    size_t size = 0;
    unsigned char *data = base64Decode(std::strlen(argv[4]), argv[4], &size);
    ImageDesc work;
    if (data == nullptr || detectInMemory(data, size, tag, &work) == 0) {
        gmemFree(data);
        Tcl_SetResult(interp, const_cast<char *>("Unrecognized base64 image string.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    return openFromData(interp, tag, data, size, &work, made, held);
}

/*
 * openTerraTile --
 *	rimage open TAG binary TERRAOBJ TILEID: a copy of the tile's bytes (a
 *	GIF or JPEG file) becomes the image TAG, georeferenced as the tile.
 */
int openTerraTile(Tcl_Interp *interp, int argc, const char **argv, RamImage **made, bool *held)
{
    if (argc != 6) {
        Tcl_SetResult(interp, const_cast<char *>("Syntax error. Should be rimage open imgID binary terrObj tileId.\n"),
                      TCL_STATIC);
        return TCL_ERROR;
    }
    RAMOBJ *obj = nullptr;
    if (openObject(interp, RAMOBJ_TERRA, argv[4], &obj) != 0) {
        return TCL_ERROR;
    }
    int index = teskTerraLink.tileId(obj, argv[5]);
    size_t size = 0;
    const unsigned char *tile = index >= 0 ? teskTerraLink.tileData(obj, index, &size) : nullptr;
    const char *failure = index < 0 ? "Invalid tileId" : tile == nullptr ? "terra object has no data" : nullptr;
    unsigned char *data = nullptr;
    ImageDesc work;
    if (failure == nullptr) {
        data = static_cast<unsigned char *>(gmemAlloc(size));
        if (data != nullptr) {
            std::memcpy(data, tile, size);
        }
        if (data == nullptr || detectInMemory(data, size, argv[2], &work) == 0) {
            failure = "Unrecognized binary image tile.\n";
        } else {
            teskTerraLink.tileGeoref(obj, index, &work);
        }
    }
    closeObject(obj);
    if (failure != nullptr) {
        gmemFree(data);
        Tcl_SetResult(interp, const_cast<char *>(failure), TCL_STATIC);
        return TCL_ERROR;
    }
    return openFromData(interp, argv[2], data, size, &work, made, held);
}

int rimageOpen(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Usage: %s %s FILE|TAG [imgID [[template [dataRange]] | options]]",
                                               argv[0], argv[1]));
        return TCL_ERROR;
    }
    RamImage *image = nullptr;
    bool held = false;  // the image holds a use taken for this open
    if (argc == 3) {
        const char *name = argv[2];
        image = ramImageFindByFile(name);
        if (image == nullptr) {
            image = ramImageFindByTag(name);
        }
        if (image == nullptr) {
            int error = 0;
            if (name[0] == '@') {
                ImageDesc desc = *defaults;
                bool memory = isMemoryType(desc.imgid);
                image = ramImageOpen(name + 1, memory ? nullptr : desc.file, &desc, nullptr, &error);
            } else {
                image = ramImageOpen(nullptr, name, nullptr, nullptr, &error);
                if (image == nullptr) {
                    image = photoToRAMImage(interp, name, defaults, nullptr);
                }
            }
            if (image == nullptr) {
                Tcl_ResetResult(interp);
                addStoreError(interp, error);
                Tcl_AppendResult(interp, "Error in open ", name, nullptr);
                if (name[0] == '@') {
                    Tcl_AppendResult(interp, " with file: ", defaults->file, nullptr);
                }
                Tcl_AppendResult(interp, " of ", imgIdName(defaults->imgid), nullptr);
                return TCL_ERROR;
            }
            held = true;
        }
    } else if (std::strcmp(argv[3], "base64") == 0) {
        if (openBase64(interp, argc, argv, &image, &held) != TCL_OK) {
            return TCL_ERROR;
        }
    } else if (std::strcmp(argv[3], "binary") == 0) {
        if (openTerraTile(interp, argc, argv, &image, &held) != TCL_OK) {
            return TCL_ERROR;
        }
    } else if (openTyped(defaults, interp, argc, argv, &image, &held) != TCL_OK) {
        return TCL_ERROR;
    }
    ramImageScriptOpen(image, held);
    Tcl_SetResult(interp, image->tag, TCL_VOLATILE);
    return TCL_OK;
}

int rimageClose(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, TCL_ERROR, argc, argv, " TAG | FILE");
    }
    RamImage *image = findImage(argv[2]);
    if (image == nullptr) {
        Tcl_AppendResult(interp, "Not found RAMIMG:", argv[2], nullptr);
        return TCL_ERROR;
    }
    /* The last hold of the image: its changes are written now, and an image
     * whose changes cannot be written stays open, so that they are not
     * lost. */
    std::string why;
    if (image->openCount == 1 && image->useCount == 0 && image->clients == nullptr &&
        !(image->attr & RAMIMG_LOCKED) && !ramImageWriteBack(image, &why)) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(why.c_str(), -1));
        return TCL_ERROR;
    }
    int left = ramImageScriptClose(image);
    if (left < 0) {
        Tcl_SetResult(interp, const_cast<char *>("Unmatched close"), TCL_STATIC);
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(left));
    return TCL_OK;
}

int rimageList(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    std::string mode = argc == 3 ? argv[2] : "pair";
    if (argc > 3 || (mode != "pair" && mode != "name" && mode != "tag" && mode != "all")) {
        return usage(interp, TCL_ERROR, argc, argv, " [pair|name|tag|all]");
    }
    std::string out;
    for (RamImage *image = ramImageListHead(); image != nullptr; image = image->next) {
        if (mode == "pair") {
            out += fmt("{%s %s} ", image->tag, image->desc.file);
        } else if (mode == "name") {
            out += fmt("%s ", image->desc.file);
        } else if (mode == "tag") {
            out += fmt("%s ", image->tag);
        } else {
            int clients = 0;
            for (RamImageClient *c = image->clients; c != nullptr; c = c->next) {
                clients++;
            }
            out += fmt("{%s %s %d %d %d} ", image->tag, image->desc.file, image->openCount, image->useCount, clients);
        }
    }
    Tcl_SetResult(interp, const_cast<char *>(out.c_str()), TCL_VOLATILE);
    return TCL_OK;
}

bool sameGeometry(const ImageDesc &a, const ImageDesc &b)
{
    return a.nbands == b.nbands && a.msbf == b.msbf && a.rows == b.rows && a.columns == b.columns && a.bits == b.bits &&
           a.pixel == b.pixel && a.imgid == b.imgid;
}

int rimageConfigure(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 2 || argv[2][0] == '-') {
        return rimageConfigDesc(defaults, interp, argc - 2, argv + 2);
    }
    RamImage *image = ramImageFindByTag(argv[2]);
    if (image == nullptr) {
        Tcl_AppendResult(interp, "Not found the ramimg tagged by: ", argv[2], nullptr);
        return TCL_ERROR;
    }
    ImageDesc copy = image->desc;
    if (argc - 3 < 2) {
        return rimageConfigDesc(&copy, interp, argc - 3, argv + 3);
    }
    if (image->attr & RAMIMG_LOCKED) {
        Tcl_SetResult(interp, const_cast<char *>("Can't config a locked RAMIMG.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (rimageConfigDesc(&copy, interp, argc - 3, argv + 3) != TCL_OK) {
        return TCL_ERROR;
    }
    const bool sameFile = image->fd != -1 && std::strcmp(copy.file, image->desc.file) == 0;
    if (sameFile && std::memcmp(&copy, &image->desc, sizeof copy) == 0) {
        return TCL_OK;
    }
    /* The file stays: what it cannot hold is refused, as at its open. */
    if (sameFile && !ramImageFileTakes(image, &copy)) {
        addStoreError(interp, RAMIMG_UNHANDLED);
        Tcl_AppendResult(interp, "Update ramimg error in open file: ", copy.file, nullptr);
        return TCL_ERROR;
    }
    bool changed = !sameGeometry(copy, image->desc);
    if (changed && image->stats != nullptr) {
        freeHist(image->stats, image->desc.nbands);
        image->stats = nullptr;
    }
    if (sameFile) {
        image->desc = copy;
    } else {
        std::string why;
        if (!ramImageWriteBack(image, &why)) {  // its changes stay with it
            Tcl_SetObjResult(interp, Tcl_NewStringObj(why.c_str(), -1));
            return TCL_ERROR;
        }
        if (isMemoryType(copy.imgid) && image->fd != -1) {
            close(image->fd);
            image->fd = -1;
            std::snprintf(copy.file, sizeof copy.file, "%s", image->tag);
        }
        if (changed) {
            int error = 0;
            if (ramImageReload(copy.file, &copy, image, &error) == nullptr) {
                addStoreError(interp, error);
                Tcl_AppendResult(interp, "Update ramimg error in open file: ", copy.file, nullptr);
                return TCL_ERROR;
            }
        } else if (image->fd == -1) {
            image->desc = copy;
        }
    }
    if (changed && image->fd == -1 && image->attachedData == nullptr) {
        setRAMImageBuf(image, image->desc.rows);
    }
    if (changed) {
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    }
    return TCL_OK;
}

int rimageCget(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 3 && argv[2][0] == '-') {
        return teskConfigureValue(interp, rimageDescSpecs, reinterpret_cast<char *>(defaults), argv[2], 0);
    }
    if (argc != 4 || argv[3][0] != '-') {
        return usage(interp, TCL_ERROR, argc, argv, " [TAG] option");
    }
    int error = 0;
    RamImage *image = ramImageOpen(argv[2], argv[2], nullptr, nullptr, &error);
    if (image == nullptr) {
        addStoreError(interp, error);
        Tcl_AppendResult(interp, "Error in open ", argv[2], nullptr);
        return TCL_ERROR;
    }
    ImageDesc copy = image->desc;
    ramImageRelease(image, nullptr);
    return teskConfigureValue(interp, rimageDescSpecs, reinterpret_cast<char *>(&copy), argv[3], 0);
}

int rimageCreate(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv)
{
    int first = 2;
    bool overwrite = argc > 2 && std::strcmp(argv[2], "overwrite") == 0;
    if (overwrite) {
        first = 3;
    }
    if (argc > first && rimageConfigDesc(defaults, interp, argc - first, argv + first) != TCL_OK) {
        return TCL_ERROR;
    }
    ImageDesc desc = *defaults;
    if (isMemoryType(desc.imgid)) {
        RamImage *existing = ramImageFindByTag(desc.file);
        if (existing != nullptr && !overwrite) {
            Tcl_SetResult(interp, const_cast<char *>("Image already exists"), TCL_STATIC);
            return TCL_ERROR;
        }
        desc.offset = 0;
        int error = 0;
        RamImage *image = ramImageOpen(desc.file, nullptr, &desc, nullptr, &error);
        if (image == nullptr) {
            addStoreError(interp, error);
            Tcl_SetResult(interp, const_cast<char *>("0"), TCL_STATIC);
            return TCL_OK;
        }
        ramImageKeepOpen(image);
        if (existing != nullptr) {
            ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
        }
        Tcl_SetResult(interp, const_cast<char *>("1"), TCL_STATIC);
        return TCL_OK;
    }
    if (fileExists(desc.file) == 0 && !overwrite) {
        Tcl_SetResult(interp, const_cast<char *>("Image file already exists"), TCL_STATIC);
        return TCL_ERROR;
    }
    /* The default name is not followed through a symbolic link planted
       under it (nor made where a dangling one points). */
    bool refused = std::strcmp(desc.file, kDefaultImageFile) == 0 && fixedNameIsLink(desc.file);
    Tcl_SetResult(interp, const_cast<char *>(!refused && ramImageNewFile(&desc) == 0 ? "1" : "0"), TCL_STATIC);
    return TCL_OK;
}

int rimageCache(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    ToolOption options[] = {{"-imgid", nullptr}, {"-pct", nullptr}, {nullptr, nullptr}};
    std::string out;
    if (argc == 2) {
        for (RamImage *image = ramImageListHead(); image != nullptr; image = image->next) {
            out += fmt("{%s %.2f} ", image->tag, image->cacheDepth * 100.0 / image->desc.rows);
        }
        Tcl_SetResult(interp, const_cast<char *>(out.c_str()), TCL_VOLATILE);
        return TCL_OK;
    }
    if (parseToolOptions(options, argc - 2, argv + 2) != 0 || options[0].value == nullptr) {
        return usage(interp, TCL_ERROR, argc, argv, " [-imgid idList] [-pct PCT]");
    }
    int count = 0;
    const char **names = nullptr;
    if (Tcl_SplitList(interp, options[0].value, &count, &names) != TCL_OK) {
        return TCL_ERROR;
    }
    double pct = -1;
    if (options[1].value != nullptr) {
        /* NaN and the infinities are numbers here (NaN counted as 0). */
        if (cGetDouble(interp, options[1].value, &pct, cAllowNonFinite) != TCL_OK) {
            Tcl_Free(reinterpret_cast<char *>(names));
            return TCL_ERROR;
        }
        pct = std::isnan(pct) || pct < 0 ? 0 : pct > 100 ? 100 : pct;
        if (count == 0) {
            Tcl_Free(reinterpret_cast<char *>(names));
            Tcl_SetResult(interp, const_cast<char *>("image id missing!"), TCL_STATIC);
            return TCL_ERROR;
        }
    }
    int code = TCL_OK;
    for (int i = 0; i < count && code == TCL_OK; i++) {
        RamImage *image = findImage(names[i]);
        if (image == nullptr) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "Fail to find rimage: ", names[i], nullptr);
            code = TCL_ERROR;
        } else if (pct < 0) {
            out += fmt("{%s %.2f} ", names[i], image->cacheDepth * 100.0 / image->desc.rows);
        } else {
            int rows = roundToInt(image->desc.rows * pct * 0.01);
            if (ramImageResizeCache(image, rows < 1 ? 1 : rows) == 0) {
                Tcl_ResetResult(interp);
                Tcl_AppendResult(interp, "Fail to set ramimg buffer: ", names[i], nullptr);
                code = TCL_ERROR;
            }
        }
    }
    Tcl_Free(reinterpret_cast<char *>(names));
    if (code == TCL_OK) {
        Tcl_SetResult(interp, const_cast<char *>(out.c_str()), TCL_VOLATILE);
    }
    return code;
}

/* Opens a name as tag and file for the duration of a subcommand. */
RamImage *openNamed(Tcl_Interp *interp, const char *name)
{
    int error = 0;
    RamImage *image = ramImageOpen(name, name, nullptr, nullptr, &error);
    if (image == nullptr) {
        addStoreError(interp, error);
        Tcl_AppendResult(interp, "Error in open ", name, nullptr);
    }
    return image;
}

int rimageGetIndices(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        return usage(interp, TCL_ERROR, argc, argv, " getIndices imgid [index]");
    }
    RamImage *image = openNamed(interp, argv[2]);
    if (image == nullptr) {
        return TCL_ERROR;
    }
    int n = image->desc.nindices;
    std::vector<std::pair<int, int>> ranges;
    int code = TCL_OK;
    for (int i = 3; i < argc; i++) {
        int a = 0, b = 0;
        char tail = 0;
        int got = std::sscanf(argv[i], "%d-%d%c", &a, &b, &tail);
        if (got == 1) {
            b = a;
        }
        if ((got != 1 && got != 2) || a < 0 || a > 255 || b < 0 || b > 255) {
            Tcl_SetResult(interp, const_cast<char *>("Invalid index."), TCL_STATIC);
            code = TCL_ERROR;
            break;
        }
        ranges.emplace_back(std::min(a, b), std::max(a, b));
    }
    if (code == TCL_OK && n > 0) {
        if (ranges.empty()) {
            ranges.emplace_back(0, n - 1);
        }
        Tcl_ResetResult(interp);
        for (auto [a, b] : ranges) {
            for (int i = a; i <= b && i < n; i++) {
                const uint8_t *rgb = image->desc.palette[i];
                Tcl_AppendElement(interp, fmt("%d %d %d %d", i, rgb[0], rgb[1], rgb[2]));
            }
        }
    }
    ramImageRelease(image, nullptr);
    return code;
}

int rimageSetIndices(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        return usage(interp, TCL_ERROR, argc, argv, " setIndices imgid {index r g b} ...");
    }
    RamImage *image = openNamed(interp, argv[2]);
    if (image == nullptr) {
        return TCL_ERROR;
    }
    int code = TCL_OK;
    if (image->desc.nindices <= 0) {
        Tcl_SetResult(interp, const_cast<char *>("Not a color index image."), TCL_STATIC);
        code = TCL_ERROR;
    }
    for (int i = 3; i < argc && code == TCL_OK; i++) {
        int a = 0, b = 0, r = 0, g = 0, bl = 0;
        char tail = 0;
        bool ranged = std::sscanf(argv[i], "%d-%d %d %d %d%c", &a, &b, &r, &g, &bl, &tail) == 5;
        if (!ranged && std::sscanf(argv[i], "%d %d %d %d%c", &a, &r, &g, &bl, &tail) == 4) {
            b = a;
            ranged = true;
        }
        if (a > b) {
            std::swap(a, b);
        }
        int n = image->desc.nindices;
        if (!ranged || a < 0 || b >= n || r < 0 || r > 255 || g < 0 || g > 255 || bl < 0 || bl > 255) {
            Tcl_SetResult(interp, const_cast<char *>("Invalid color index specification."), TCL_STATIC);
            code = TCL_ERROR;
            break;
        }
        for (int k = a; k <= b; k++) {
            image->desc.palette[k][0] = static_cast<uint8_t>(r);
            image->desc.palette[k][1] = static_cast<uint8_t>(g);
            image->desc.palette[k][2] = static_cast<uint8_t>(bl);
        }
    }
    if (code == TCL_OK) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(writeFilePalette(image->fd, &image->desc, image->priv)));
    }
    ramImageRelease(image, nullptr);
    return code;
}

int rimageHist(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    ToolOption options[] = {{"-imgid", nullptr}, {"-dx", nullptr},   {"-dy", nullptr},
                            {"-u", nullptr},     {"-list", nullptr}, {nullptr, nullptr}};
    if (argc < 3 || parseToolOptions(options, argc - 2, argv + 2) != 0 || options[0].value == nullptr) {
        return usage(interp, TCL_OK, argc, argv, " -imgid imgid [-dx DX] [-dy DY] [-u UPDATE] [-list stats|hist|sum]");
    }
    int dx = 1, dy = 1, update = 0;
    if ((options[1].value && Tcl_GetInt(interp, options[1].value, &dx) != TCL_OK) ||
        (options[2].value && Tcl_GetInt(interp, options[2].value, &dy) != TCL_OK) ||
        (options[3].value && Tcl_GetInt(interp, options[3].value, &update) != TCL_OK)) {
        Tcl_SetResult(interp, const_cast<char *>("syntax error"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::string list = options[4].value != nullptr ? options[4].value : "";
    for (char &c : list) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (!list.empty() && list != "stats" && list != "hist" && list != "sum") {
        Tcl_SetResult(interp, const_cast<char *>("Invalid list option."), TCL_STATIC);
        return TCL_ERROR;
    }
    RamImage *image = findImage(options[0].value);
    if (image == nullptr) {
        Tcl_AppendResult(interp, "Fail to find RAMIMG: ", options[0].value, nullptr);
        return TCL_ERROR;
    }
    BandStat *stats = ramImageHist(image, 2, dx < 1 ? 1 : dx, dy < 1 ? 1 : dy);
    if (update) {
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    }
    Tcl_ResetResult(interp);
    if (stats == nullptr || list.empty()) {
        return TCL_OK;
    }
    bool palette = image->desc.nindices > 0;
    int bands = palette ? 3 : image->desc.nbands;
    for (int b = 0; b < bands; b++) {
        if (list == "stats") {
            double sd = 0, mean = 0, min = 0, max = 0;
            ramImageBandStats(image, b, &sd, &mean, &min, &max);
            Tcl_AppendElement(interp, fmt("%.6f %.6f %.6f %.6f", sd, mean, min, max));
        } else if (list == "sum") {
            double mean = 0;
            ramImageBandStats(image, b, nullptr, &mean, nullptr, nullptr);
            Tcl_AppendElement(interp, fmt("%.6f", mean * stats[0].count));
        } else if (pixelIdBits(image->desc.pixel) <= 8) {
            const BandStat &s = stats[palette ? 0 : b];
            std::string text = "{";
            for (int i = 0; i < s.nBins; i++) {
                text += fmt("%s%u", i == 0 ? "" : " ", s.bins[i]);
            }
            Tcl_AppendResult(interp, text.c_str(), "} ", nullptr);
        }
    }
    return TCL_OK;
}

/* The image of a name, or NULL with "Can't found RAMIMG: " and the name. */
RamImage *findOrReport(Tcl_Interp *interp, const char *name)
{
    RamImage *image = findImage(name);
    if (image == nullptr) {
        Tcl_AppendResult(interp, "Can't found RAMIMG: ", name, nullptr);
    }
    return image;
}

/* lock, unlock, flush and resident share their lookup and usage. */
RamImage *imageOrUsage(Tcl_Interp *interp, int argc, const char **argv, const char *rest, int *code)
{
    if (argc != 3) {
        *code = usage(interp, TCL_OK, argc, argv, rest);
        return nullptr;
    }
    RamImage *image = findOrReport(interp, argv[2]);
    if (image == nullptr) {
        *code = TCL_ERROR;
    }
    return image;
}

int rimageLock(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    int code = TCL_OK;
    RamImage *image = imageOrUsage(interp, argc, argv, " imgID", &code);
    if (image != nullptr) {
        bool lock = std::strcmp(argv[1], "lock") == 0;
        ramImageSetAttr(image, lock ? RAMIMG_LOCKED : 0);
        if (!lock && image->openCount == 0 && image->useCount == 0 && image->clients == nullptr) {
            ramImageRelease(image, nullptr);  // only the lock held it: it goes now
        }
    }
    return code;
}

int rimageFlush(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    int code = TCL_OK;
    if (RamImage *image = imageOrUsage(interp, argc, argv, " imgID", &code)) {
        std::string why;
        if (!ramImageWriteBack(image, &why)) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(why.c_str(), -1));
            code = TCL_ERROR;
        }
    }
    return code;
}

int rimageResident(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    int code = TCL_OK;
    if (RamImage *image = imageOrUsage(interp, argc, argv, " imgID", &code)) {
        Tcl_SetResult(interp, const_cast<char *>(image->fd == -1 ? "1" : "0"), TCL_STATIC);
    }
    return code;
}

int rimageUpdate(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3 && argc != 4) {
        return usage(interp, TCL_OK, argc, argv, " imgID [DISPLAY|CONFIG|ALL|DATA] (def: DISPLAY)");
    }
    RamImage *image = findOrReport(interp, argv[2]);
    if (image == nullptr) {
        return TCL_ERROR;
    }
    std::string word = argc == 4 ? argv[3] : "DISPLAY";
    int flags = 0;
    if (word == "DISPLAY") {
        flags = 2;
    } else if (word == "CONFIG") {
        flags = 1;
    } else if (word == "ALL") {
        flags = 3;
    } else if (word == "DATA") {
        ramImageResetCache(image);
        flags = 2;
    } else {
        Tcl_AppendResult(interp, "Invalid option: ", word.c_str(), nullptr);
        return TCL_ERROR;
    }
    ramImageNotifyClients(image, 0, flags);
    return TCL_OK;
}

int rimageVolume(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3 && argc != 4) {
        return usage(interp, TCL_OK, argc, argv, " imgID [vID]");
    }
    RamImage *image = findOrReport(interp, argv[2]);
    if (image == nullptr) {
        return TCL_ERROR;
    }
    if (argc == 4) {
        int volume = 0;
        if (Tcl_GetInt(interp, argv[3], &volume) != TCL_OK) {
            return TCL_ERROR;
        }
        int result = ramImageSeekVolume(image, volume);
        if (result == -2 && volume == 0) {
            result = ramImageSeekVolume(image, 1);
        }
        if (result == -1 || result == 0) {
            Tcl_SetResult(interp, const_cast<char *>("Error in seek"), TCL_STATIC);
            return TCL_ERROR;
        }
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(image->curVolume));
    return TCL_OK;
}

/*
 * saveAttached --
 *	Writes the in-memory copy of a file that image holds to name, through
 *	a new file renamed into place: a failure leaves a file already there
 *	as it was. Images reading the replaced file move to the new one.
 */
bool saveAttached(const RamImage *image, const char *name)
{
    FileReplacement file;
    if (!replaceBegin(&file, name)) {
        return false;
    }
    if (!writeAt(file.fd, image->attachedData, static_cast<size_t>(image->attachedSize), 0) || !replaceCommit(&file)) {
        replaceAbandon(&file);
        return false;
    }
    close(file.fd);
    if (file.replacing) {
        ramImageFollowFile(file.target.c_str(), file.oldDevice, file.oldInode, nullptr);
    }
    return true;
}

int rimageSave(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3 && argc != 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " save imgid [fileName]", nullptr);
        return TCL_ERROR;
    }
    int error = 0;
    RamImage *image = ramImageOpen(argv[2], argv[2], nullptr, nullptr, &error);
    if (image == nullptr) {
        addStoreError(interp, error);
        Tcl_AppendResult(interp, "Error to open: ", argv[2], nullptr);
        return TCL_ERROR;
    }
    int code = TCL_OK;
    if (isMemoryType(image->desc.imgid)) {
        Tcl_SetResult(interp, const_cast<char *>("Can't save a memory image."), TCL_STATIC);
        code = TCL_ERROR;
    } else if (image->attachedData != nullptr) {
        const char *name = argc == 4 ? argv[3] : argv[2];
        if (!saveAttached(image, name)) {
            Tcl_AppendResult(interp, "Fail to create file:", name, nullptr);
            code = TCL_ERROR;
        }
    } else {
        std::string why;
        if (!ramImageWriteBack(image, &why)) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(why.c_str(), -1));
            code = TCL_ERROR;
        }
    }
    ramImageRelease(image, nullptr);
    return code;
}

int rimageIsOpened(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, TCL_ERROR, argc, argv, " imgid");
    }
    Tcl_SetResult(interp, const_cast<char *>(findImage(argv[2]) != nullptr ? "1" : "0"), TCL_STATIC);
    return TCL_OK;
}

int rimageIsValid(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, TCL_ERROR, argc, argv, " imgid");
    }
    const char *answer = "0";
    if (argv[2][0] != '\0') {
        if (findImage(argv[2]) != nullptr) {
            answer = "1";
        } else {
            int error = 0;
            RamImage *image = ramImageOpen(argv[2], argv[2], nullptr, nullptr, &error);
            if (image != nullptr) {
                ramImageRelease(image, nullptr);
                answer = "1";
            } else {
                addStoreError(interp, error);
            }
        }
    }
    Tcl_SetResult(interp, const_cast<char *>(answer), TCL_STATIC);
    return TCL_OK;
}

int nameList(Tcl_Interp *interp, int count, const char *(*name)(int))
{
    Tcl_ResetResult(interp);
    for (int code = 1; code < count; code++) {
        Tcl_AppendElement(interp, name(code));
    }
    return TCL_OK;
}

int rimageImgIds(ImageDesc *, Tcl_Interp *interp, int, const char **)
{
    return nameList(interp, imgIdCount(), imgIdName);
}

int rimageImgTypes(ImageDesc *, Tcl_Interp *interp, int, const char **)
{
    return nameList(interp, imgTypeCount(), imgTypeName);
}

int rimageMapIds(ImageDesc *, Tcl_Interp *interp, int, const char **)
{
    return nameList(interp, mapIdCount(), mapIdName);
}

int rimagePixelIds(ImageDesc *, Tcl_Interp *interp, int, const char **)
{
    return nameList(interp, pixelIdCount(), pixelIdName);
}

int rimageVersion(ImageDesc *, Tcl_Interp *interp, int, const char **)
{
    Tcl_SetResult(interp, const_cast<char *>(getVersionString()), TCL_VOLATILE);
    return TCL_OK;
}

int rimageBindWord(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv)
{
    return rimageBind(defaults, interp, argc, argv);
}

/* One subcommand: its word, the minimum length of its first-letter group,
 * and either the command's own procedure or (NULL) a tool module. */
struct RimageSubcommand {
    const char *name;
    int minLength;
    RimageProc *proc;
};

constexpr RimageSubcommand kRimageSubcommands[] = {
    {"bind", 2, rimageBindWord},
    {"cache", 4, rimageCache},
    {"calc", 4, nullptr},
    {"cget", 4, rimageCget},
    {"classify", 4, nullptr},
    {"clipboard", 4, rimageClipboard},
    {"create", 4, rimageCreate},
    {"configure", 4, rimageConfigure},
    {"copy", 4, nullptr},
    {"crop", 4, nullptr},
    {"close", 4, rimageClose},
    {"canvas", 4, rimageCanvas},
    {"data", 3, nullptr},
    {"dist", 3, nullptr},
    {"draw", 3, rimageDraw},
    {"egv", 3, nullptr},
    {"flush", 2, rimageFlush},
    {"gfftrans", 3, nullptr},
    {"gconv", 3, nullptr},
    {"geocalc", 3, nullptr},
    {"georef", 3, nullptr},
    {"gisoc", 3, nullptr},
    {"getIndices", 3, rimageGetIndices},
    {"gsfzoom", 3, nullptr},
    {"gslope", 3, nullptr},
    {"gstat", 3, nullptr},
    {"gtop", 3, nullptr},
    {"gdem", 3, nullptr},
    {"hist", 2, rimageHist},
    {"imgids", 4, rimageImgIds},
    {"imgtypes", 4, rimageImgTypes},
    {"isopened", 4, rimageIsOpened},
    {"isvalid", 4, rimageIsValid},
    {"list", 3, rimageList},
    {"lock", 3, rimageLock},
    {"mapids", 4, rimageMapIds},
    {"open", 3, rimageOpen},
    {"pcalc", 4, nullptr},
    {"ptable", 4, nullptr},
    {"pixelids", 4, rimagePixelIds},
    {"resident", 2, rimageResident},
    {"rform", 2, nullptr},
    {"rotate", 2, nullptr},
    {"resample", 2, nullptr},
    {"save", 2, rimageSave},
    {"smetric", 2, nullptr},
    {"section", 2, nullptr},
    {"setIndices", 2, rimageSetIndices},
    {"statinfo", 2, nullptr},
    {"trans", 1, nullptr},
    {"unlock", 2, rimageLock},
    {"update", 2, rimageUpdate},
    {"version", 1, rimageVersion},
    {"volume", 1, rimageVolume},
    {"window", 1, rimageWindow},
};

int rimageCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *defaults = static_cast<ImageDesc *>(clientData);
    if (argc < 2) {
        Tcl_SetResult(interp,
                      const_cast<char *>("Commands: bind cache calc canvas cget classify clipboard close configure "
                                         "copy create crop data dist draw egv flush gconv gdem geocalc georef "
                                         "getIndices gisoc gfftrans gsfzoom gslope gstat gtop hist imgid imgtypes "
                                         "isopened isvalid list lock mapids open pcalc pixelids ptable resample "
                                         "resident rform rotate save section setIndices smetric statinfo trans "
                                         "unlock update version volume window"),
                      TCL_STATIC);
        return TCL_OK;
    }
    int row = findSubcommand(kRimageSubcommands, argv[1]);
    if (row < 0) {
        Tcl_SetResult(interp, const_cast<char *>("Unknown command"), TCL_STATIC);
        return TCL_ERROR;
    }
    const RimageSubcommand &sub = kRimageSubcommands[row];
    Tcl_ResetResult(interp);
    if (sub.proc != nullptr) {
        /* What a word of its own makes (rimage create in a script a tool
         * runs, say) is the script's, not the running tool's. */
        RamImageMade *outer = ramImageNoteMade(nullptr);
        int code = sub.proc(defaults, interp, argc, argv);
        ramImageNoteMade(outer);
        return code;
    }
    const RimageTool *tool = findRimageTool(sub.name);  // there is one: checked by Rimg_Init
    /* Whatever a failed run made (a new output file or memory image) is
     * taken away again, whichever tool it was; a run nested in it (a
     * script the tool ran) keeps a record of its own. A run whose output
     * could not be written failed, whatever it answers: the reason comes
     * first. */
    RamImageMade made;
    RamImageMade *outer = ramImageNoteMade(&made);
    uint64_t failures = ramImageWriteFailures();
    int answer = tool->main(tool->programName, argc - 2, argv + 2);
    ramImageNoteMade(outer);
    Tcl_ResetResult(interp);
    if (ramImageWriteFailures() != failures && answer != TOOL_USAGE) {
        Tcl_AppendResult(interp, ramImageLastWriteFailure().c_str(), "\n", nullptr);
        answer = TOOL_FAILED;
    }
    if (answer == TOOL_FAILED) {
        ramImageDropMade(&made);
        Tcl_AppendResult(interp, "Exec error from ", argv[0], " ", argv[1], nullptr);
        return TCL_ERROR;
    }
    if (answer == TOOL_CANCELED) {
        /* What the tool printed when it stopped: a script can tell a
         * half-written output from a finished one. */
        Tcl_AppendResult(interp, tool->programName, kToolCanceled, nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

void rimageDelete(ClientData clientData)
{
    gmemFree(clientData);
}

}  // namespace

/*
 * Rimg_Init --
 *	Registers rimage with its default descriptor (the option defaults when
 *	the interpreter has Tk) and links teskImageBudget, the readers' memory
 *	budget. Also an entry of its own for Tcl's load.
 */
extern "C" int Rimg_Init(Tcl_Interp *interp)
{
    if (teskInitStubs(interp, true) != TCL_OK) {
        return TCL_ERROR;
    }
    /* Every word without a procedure of its own runs a tool of the table:
     * a word without one is a fault of the build, refused at start-up. */
    for (const RimageSubcommand &sub : kRimageSubcommands) {
        const RimageTool *tool = sub.proc == nullptr ? findRimageTool(sub.name) : nullptr;
        if (sub.proc == nullptr && (tool == nullptr || tool->main == nullptr)) {
            Tcl_AppendResult(interp, "Error in Rimg_Init: rimage ", sub.name, " has no tool", nullptr);
            return TCL_ERROR;
        }
    }
    auto *desc = static_cast<ImageDesc *>(gmemAlloc(sizeof(ImageDesc)));
    if (desc == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in Rimg_Init: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    imgDescInit(desc);
    desc->block = 512;
    desc->bits = 8;
    desc->transparent = -1;
    std::memset(desc->palette, 0, sizeof desc->palette);
    teskConfigure(interp, rimageDescSpecs, 0, nullptr, reinterpret_cast<char *>(desc), 0);
    Tcl_ResetResult(interp);
    if (Tcl_CreateCommand(interp, "rimage", rimageCmd, desc, rimageDelete) == nullptr) {
        gmemFree(desc);
        return TCL_ERROR;
    }
    linkImageMemoryBudget(interp);
    return TCL_OK;
}
