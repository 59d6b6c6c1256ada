/*
 * photolink.cpp --
 *
 *	Links between RAM images and Tk photo images: command client data,
 *	photo lookup, a photo (or a photo read from a file) copied into a new
 *	memory image, a photo created beside a new memory image, and a RAM
 *	image put into a photo. Pixels move a row (or a block of rows) at a
 *	time through reused buffers.
 */
#include "display/photolink.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "display/pictureweigh.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "runtime/startup.h"
#include "runtime/util.h"

namespace {

constexpr std::size_t kPutBlockBytes = 256 * 1024;  // bytes handed to Tk per put

void notFound(Tcl_Interp *interp, const char *name)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "image \"", name, "\" doesn't exist or is not a photo image",
                     static_cast<char *>(nullptr));
}

void storeRefused(Tcl_Interp *interp, const char *tag, int error)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Error in open ", tag, ": ", ramImageErrorText(error), static_cast<char *>(nullptr));
}

/* Copies the red, green and blue samples of a photo block into the three
 * bands of image, row by row. */
bool copyBlock(const Tk_PhotoImageBlock &block, RamImage *image)
{
    std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[block.width]);
    if (!row) {
        return false;
    }
    for (int y = 0; y < block.height; y++) {
        const unsigned char *line = block.pixelPtr + static_cast<std::ptrdiff_t>(y) * block.pitch;
        for (int band = 0; band < 3; band++) {
            const unsigned char *src = line + block.offset[band];
            for (int x = 0; x < block.width; x++) {
                row[x] = src[static_cast<std::ptrdiff_t>(x) * block.pixelSize];
            }
            ramImagePutBytes(image, y, 0, block.width, band, row.get());
        }
    }
    return true;
}

/* Fills count pixels of one row as three runs (red, green, blue) at out. */
void photoRow(RamImage *image, int y, int count, unsigned char *out)
{
    unsigned char *red = out;
    unsigned char *green = out + count;
    unsigned char *blue = out + 2 * static_cast<std::ptrdiff_t>(count);
    const ImageDesc &desc = image->desc;
    if (desc.nindices > 0) {
        ramImageGetBytes(image, y, 0, count, 0, blue);
        for (int x = 0; x < count; x++) {
            const uint8_t *entry = desc.palette[blue[x]];
            red[x] = entry[0];
            green[x] = entry[1];
            blue[x] = entry[2];
        }
        return;
    }
    ramImageGetBytes(image, y, 0, count, 0, red);
    if (desc.nbands == 1) {
        std::memcpy(green, red, count);
        std::memcpy(blue, red, count);
        return;
    }
    ramImageGetBytes(image, y, 0, count, 1, green);
    if (desc.nbands == 2) {
        std::memset(blue, 0, count);
    } else {
        ramImageGetBytes(image, y, 0, count, 2, blue);
    }
}

}  // namespace

void deletePhoto(Tcl_Interp *interp, const std::string &name)
{
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    combEval(nullptr, interp, "image", "delete", name.c_str(), static_cast<char *>(nullptr));
    Tcl_RestoreInterpState(interp, state);
}

ClientData getCmdClientData(Tcl_Interp *interp, const char *name)
{
    Tcl_CmdInfo info;
    if (name == nullptr || !Tcl_GetCommandInfo(interp, name, &info)) {
        return nullptr;
    }
    /* A command made with Tcl_CreateCommand has Tcl's own wrapper as its
     * object procedure, whose client data is no business of ours. */
    return info.isNativeObjectProc ? info.objClientData : info.clientData;
}

Tk_PhotoHandle findPhoto(Tcl_Interp *interp, const char *name)
{
    /* Tk looks the name up through the interpreter's main window without
     * checking that there is one. */
    if (name == nullptr || !teskHasTk(interp)) {
        return nullptr;
    }
    return Tk_FindPhoto(interp, name);
}

RamImage *photoToRAMImage(Tcl_Interp *interp, const char *photoName, const ImageDesc *desc, const char *tag)
{
    Tk_PhotoHandle photo = findPhoto(interp, photoName);
    if (photo == nullptr) {
        notFound(interp, photoName != nullptr ? photoName : "");
        return nullptr;
    }
    std::string name = tag != nullptr && tag[0] != '\0' ? tag : std::string(photoName) + ".photo";
    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    if (block.width < 1 || block.height < 1) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "photo image \"", photoName, "\" is empty", static_cast<char *>(nullptr));
        return nullptr;
    }
    if (name.size() >= sizeof(ImageDesc::file)) {
        storeRefused(interp, name.c_str(), RAMIMG_UNHANDLED);
        return nullptr;
    }

    ImageDesc copy = *desc;
    std::snprintf(copy.file, sizeof copy.file, "%s", name.c_str());
    copy.columns = block.width;
    copy.rows = block.height;
    copy.nbands = 3;
    copy.pixel = PIX_BYTE;
    copy.bits = 8;
    copy.msbf = 0;
    copy.imgid = IMG_MBSQ;
    copy.block = block.width;
    copy.offset = 0;
    copy.nindices = 0;
    copy.transparent = -1;
    copy.dataFd = -1;

    bool existed = ramImageFindByTag(name.c_str()) != nullptr;
    int error = RAMIMG_OK;
    RamImage *image = ramImageOpen(name.c_str(), nullptr, &copy, nullptr, &error);
    if (image == nullptr) {
        storeRefused(interp, name.c_str(), error);
        return nullptr;
    }
    if (!copyBlock(block, image)) {
        ramImageRelease(image, nullptr);
        storeRefused(interp, name.c_str(), RAMIMG_NOMEM);
        return nullptr;
    }
    if (existed) {
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY | RAMIMG_CONFIG);
    }
    return image;
}

namespace {

/* Evaluates "image create photo" with the option words (references taken
 * here), copies the new photo and deletes it: photoFileToRAMImage's work. */
RamImage *photoFromWords(Tcl_Interp *interp, std::vector<Tcl_Obj *> options, const ImageDesc *desc)
{
    std::vector<Tcl_Obj *> words;
    for (const char *word : {"image", "create", "photo"}) {
        words.push_back(Tcl_NewStringObj(word, -1));
    }
    words.insert(words.end(), options.begin(), options.end());
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    int code = Tcl_EvalObjv(interp, static_cast<int>(words.size()), words.data(), 0);
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    RamImage *image = nullptr;
    if (code == TCL_OK) {
        std::string photo = Tcl_GetStringResult(interp);
        image = photoToRAMImage(interp, photo.c_str(), desc, nullptr);
        deletePhoto(interp, photo);
    }
    Tcl_ResetResult(interp);
    return image;
}

}  // namespace

RamImage *photoFileToRAMImage(Tcl_Interp *interp, int argc, const char *const *argv, const ImageDesc *desc)
{
    Tcl_ResetResult(interp);
    if (argc > 0 && argv[0][0] != '-') {
        return nullptr;
    }
    std::vector<Tcl_Obj *> options;
    for (int i = 0; i < argc; i++) {
        options.push_back(Tcl_NewStringObj(argv[i], -1));
    }
    return photoFromWords(interp, std::move(options), desc);
}

RamImage *photoDataToRAMImage(Tcl_Interp *interp, const char *text, const ImageDesc *desc, bool *refused)
{
    Tcl_ResetResult(interp);
    *refused = false;
    Tcl_Obj *raw = Tcl_NewStringObj(text, -1);
    Tcl_IncrRefCount(raw);
    int rawLength = 0;
    const unsigned char *head = Tcl_GetByteArrayFromObj(raw, &rawLength);
    const std::string_view start(reinterpret_cast<const char *>(head), static_cast<size_t>(rawLength));
    const bool picture = start.substr(0, 6) == "GIF87a" || start.substr(0, 6) == "GIF89a" ||
                         start.substr(0, 8) == "\x89PNG\r\n\x1a\n" ||
                         (start.size() > 2 && start[0] == 'P' && (start[1] == '5' || start[1] == '6') &&
                          std::strchr(" \t\r\n", start[2]) != nullptr);
    Tcl_Obj *data = raw;
    if (!picture) {
        size_t size = 0;
        unsigned char *bytes = base64Decode(std::strlen(text), text, &size);
        if (bytes == nullptr || size == 0 || size > static_cast<size_t>(INT_MAX)) {
            gmemFree(bytes);
            Tcl_DecrRefCount(raw);
            return nullptr;
        }
        data = Tcl_NewByteArrayObj(bytes, static_cast<int>(size));
        gmemFree(bytes);
    }
    Tcl_IncrRefCount(data);
    int length = 0;
    const unsigned char *bytes = Tcl_GetByteArrayFromObj(data, &length);
    if (!pictureDataFits(bytes, static_cast<size_t>(length))) {
        *refused = true;
        Tcl_DecrRefCount(data);
        Tcl_DecrRefCount(raw);
        return nullptr;
    }
    RamImage *image = photoFromWords(interp, {Tcl_NewStringObj("-data", -1), data}, desc);
    Tcl_DecrRefCount(data);
    Tcl_DecrRefCount(raw);
    return image;
}

RamImage *createPhotoRAMImage(Tcl_Interp *interp, char *name, std::size_t nameSize, const ImageDesc *desc)
{
    if (name == nullptr || nameSize == 0) {
        return nullptr;
    }
    name[nameSize - 1] = '\0';
    bool named = name[0] != '\0';
    bool existed = named && findPhoto(interp, name) != nullptr;
    int code = named ? combEval(nullptr, interp, "image", "create", "photo", name, static_cast<char *>(nullptr))
                     : combEval(nullptr, interp, "image", "create", "photo", static_cast<char *>(nullptr));
    if (code != TCL_OK) {
        return nullptr;
    }
    std::string photo = Tcl_GetStringResult(interp);
    std::string tag = photo + ".ramimg";
    RamImage *image = nullptr;
    int error = RAMIMG_OK;
    if (photo.size() >= nameSize) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "photo name too long: ", photo.c_str(), static_cast<char *>(nullptr));
    } else if (tag.size() >= sizeof(ImageDesc::file)) {
        storeRefused(interp, tag.c_str(), RAMIMG_UNHANDLED);
    } else {
        ImageDesc copy = *desc;
        std::snprintf(copy.file, sizeof copy.file, "%s", tag.c_str());
        image = ramImageOpen(tag.c_str(), nullptr, &copy, nullptr, &error);
        if (image == nullptr) {
            storeRefused(interp, tag.c_str(), error);
        }
    }
    if (image == nullptr) {
        if (!existed) {
            deletePhoto(interp, photo);
        }
        return nullptr;
    }
    std::snprintf(name, nameSize, "%s", photo.c_str());
    return image;
}

int ramImageToPhoto(Tcl_Interp *interp, RamImage *image, const char *photoName)
{
    Tk_PhotoHandle photo = findPhoto(interp, photoName);
    if (photo == nullptr) {
        notFound(interp, photoName != nullptr ? photoName : "");
        return TCL_ERROR;
    }
    const int columns = image->desc.columns;
    const int rows = image->desc.rows;
    if (Tk_PhotoSetSize(interp, photo, columns, rows) != TCL_OK) {
        return TCL_ERROR;
    }
    /* Each row is its red, green and blue runs one after the other: pixel
     * size 1, green and blue a run further on, pitch three runs. */
    const std::size_t lineBytes = 3 * static_cast<std::size_t>(columns);
    const int perPut = static_cast<int>(std::clamp<std::size_t>(kPutBlockBytes / lineBytes, 1, rows));
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[lineBytes * perPut]);
    if (!buffer) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Error in ramImageToPhoto: out of memory", static_cast<char *>(nullptr));
        return TCL_ERROR;
    }
    Tk_PhotoImageBlock block;
    block.pixelPtr = buffer.get();
    block.width = columns;
    block.pitch = static_cast<int>(lineBytes);
    block.pixelSize = 1;
    block.offset[0] = 0;
    block.offset[1] = columns;
    block.offset[2] = 2 * columns;
    block.offset[3] = -1;  // no alpha: every pixel opaque
    for (int y = 0; y < rows; y += perPut) {
        int count = std::min(perPut, rows - y);
        for (int i = 0; i < count; i++) {
            photoRow(image, y + i, columns, buffer.get() + i * lineBytes);
        }
        block.height = count;
        if (Tk_PhotoPutBlock(interp, photo, &block, 0, y, columns, count, TK_PHOTO_COMPOSITE_SET) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}
