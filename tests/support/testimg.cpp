/*
 * testimg.cpp --
 *
 *	"tesktest img": scripts reach the RAM image store through the
 *	library's C interface.
 *
 *	tesktest img create TAG ?-option value ...?   a memory image named TAG,
 *	        or with a file type (-imgid BSQ, PPM ...) a new file named TAG
 *	        (defaults: -imgid MBSQ -pixel BYTE -rows 4 -columns 4 -nbands 1
 *	        -nindices 0 -transparent -1 -msbf 0 -block 0 -offset 0; also
 *	        -x0 -y0 -dx -dy -mapid NAME -palette {{index r g b} ...};
 *	        -volumes N makes a raw file of N volumes of zeros, one after
 *	        another); answers the image's tag
 *	tesktest img open FILE ?TAG?    opens a file (detecting its format);
 *	                                answers the tag
 *	tesktest img flush TAG          writes the changed rows back
 *	tesktest img set TAG ?-x0 v -y0 v -dx v -dy v -mapid NAME -nindices n?
 *	tesktest img palette TAG ?{index r g b} ...?   the palette entries in use,
 *	                                or sets entries
 *	tesktest img close TAG          gives the script hold back; answers
 *	                                the uses left
 *	tesktest img desc TAG           the descriptor as a dictionary
 *	tesktest img getrow TAG ROW BAND COLUMN N     floats
 *	tesktest img putrow TAG ROW BAND COLUMN VALUES   answers the count
 *	                                ("nan" a value puts NaN)
 *	tesktest img getbytes TAG ROW BAND COLUMN N   bytes as numbers
 *	tesktest img putbytes TAG ROW BAND COLUMN VALUES
 *	tesktest img value TAG COLUMN ROW BAND
 *	tesktest img stats TAG BAND     {mean std min max} (bands statistics)
 *	tesktest img hist TAG ?MODE COLUMNSTEP ROWSTEP?   per band:
 *	                                {count sum sumsq min max bins}
 *	tesktest img list               the tags of the store
 *	tesktest img client TAG ID      attaches a client recording its calls in
 *	                                ::imgEvents ({display ID} {config ID}
 *	                                {rect ID x y w h}); answers a handle
 *	tesktest img release TAG HANDLE   releases the image with that client
 *	tesktest img notify TAG SENDER FLAGS / rect TAG SENDER X Y W H
 *	tesktest img geo TAG ?TEXT?     the georeference comment, or parse TEXT
 *	                                into the image (answers 1 or 0)
 *	tesktest img reader add|remove PROC ?LAST?   registers an image reader
 *	                                that calls the Tcl procedure PROC with the
 *	                                file name; PROC answers a type code, and
 *	                                with a positive one descriptor fields
 *	                                (-rows -columns -nbands -pixel -offset
 *	                                -block, codes as numbers)
 *	tesktest img frame TAG          {curVolume volumeCount frameTime}
 *	tesktest img readall TAG        reads every row of every band through the
 *	                                store; answers the sum of their bytes
 */
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <tcl.h>
#include <unistd.h>
#include "tesk_image.h"

namespace {

Tcl_Interp *eventInterp = nullptr;

struct TestClient {
    RamImageClient record;
    std::string id;
};
std::map<int, std::unique_ptr<TestClient>> clients;
int nextClient = 1;

void recordEvent(const std::string &event)
{
    Tcl_SetVar(eventInterp, "imgEvents", event.c_str(), TCL_GLOBAL_ONLY | TCL_APPEND_VALUE | TCL_LIST_ELEMENT);
}

void displayProc(ClientData data)
{
    recordEvent("display " + static_cast<TestClient *>(data)->id);
}

void configProc(ClientData data)
{
    recordEvent("config " + static_cast<TestClient *>(data)->id);
}

void rectProc(ClientData data, int x, int y, int w, int h)
{
    recordEvent("rect " + static_cast<TestClient *>(data)->id + " " + std::to_string(x) + " " + std::to_string(y) +
                " " + std::to_string(w) + " " + std::to_string(h));
}

int error(Tcl_Interp *interp, const std::string &text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
    return TCL_ERROR;
}

bool findImage(Tcl_Interp *interp, Tcl_Obj *tag, RamImage **image)
{
    *image = tesk_getRAMImageByTag(Tcl_GetString(tag));
    if (*image == nullptr) {
        error(interp, std::string("no image ") + Tcl_GetString(tag));
        return false;
    }
    return true;
}

bool getInts(Tcl_Interp *interp, Tcl_Obj *const objv[], int count, int *out)
{
    for (int i = 0; i < count; i++) {
        if (Tcl_GetIntFromObj(interp, objv[i], &out[i]) != TCL_OK) {
            return false;
        }
    }
    return true;
}

int createImage(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 4 || objc % 2 != 0) {
        return error(interp, "usage: tesktest img create TAG ?-option value ...?");
    }
    ImageDesc desc;
    imgDescInit(&desc);
    std::snprintf(desc.file, sizeof desc.file, "%s", Tcl_GetString(objv[3]));
    desc.imgid = IMG_MBSQ;
    desc.pixel = PIX_BYTE;
    desc.rows = desc.columns = 4;
    desc.nbands = 1;
    desc.transparent = -1;
    desc.mapid = 1;
    desc.dx = desc.dy = 1.0;
    for (int i = 4; i < objc; i += 2) {
        std::string option = Tcl_GetString(objv[i]);
        const char *value = Tcl_GetString(objv[i + 1]);
        static const std::map<std::string, double ImageDesc::*> doubles = {
            {"-x0", &ImageDesc::x0},
            {"-y0", &ImageDesc::y0},
            {"-dx", &ImageDesc::dx},
            {"-dy", &ImageDesc::dy},
        };
        if (doubles.count(option)) {
            if (Tcl_GetDoubleFromObj(interp, objv[i + 1], &(desc.*(doubles.at(option)))) != TCL_OK) {
                return TCL_ERROR;
            }
            continue;
        }
        if (option == "-mapid") {
            desc.mapid = mapIdCode(value);
            continue;
        }
        if (option == "-palette") {
            int count = 0;
            Tcl_Obj **entries = nullptr;
            if (Tcl_ListObjGetElements(interp, objv[i + 1], &count, &entries) != TCL_OK) {
                return TCL_ERROR;
            }
            for (int e = 0; e < count; e++) {
                int n = 0;
                Tcl_Obj **items = nullptr;
                int entry[4];
                if (Tcl_ListObjGetElements(interp, entries[e], &n, &items) != TCL_OK || n != 4 ||
                    !getInts(interp, items, 4, entry) || entry[0] < 0 || entry[0] > 255) {
                    return error(interp, "bad palette entry");
                }
                for (int c = 0; c < 3; c++) {
                    desc.palette[entry[0]][c] = static_cast<uint8_t>(entry[c + 1]);
                }
            }
            continue;
        }
        if (option == "-imgid" || option == "-pixel") {
            int code = option == "-imgid" ? imgIdCode(value) : pixelIdCode(value);
            if (code < 0) {
                return error(interp, std::string("bad ") + option + " " + value);
            }
            (option == "-imgid" ? desc.imgid : desc.pixel) = code;
            continue;
        }
        static const std::map<std::string, int32_t ImageDesc::*> ints = {
            {"-rows", &ImageDesc::rows},
            {"-columns", &ImageDesc::columns},
            {"-nbands", &ImageDesc::nbands},
            {"-nindices", &ImageDesc::nindices},
            {"-transparent", &ImageDesc::transparent},
            {"-msbf", &ImageDesc::msbf},
            {"-block", &ImageDesc::block},
            {"-offset", &ImageDesc::offset},
            {"-volumes", &ImageDesc::volumes},
        };
        auto it = ints.find(option);
        int number = 0;
        if (it == ints.end() || Tcl_GetIntFromObj(interp, objv[i + 1], &number) != TCL_OK) {
            return error(interp, "bad option " + option);
        }
        desc.*(it->second) = number;
    }
    desc.bits = desc.pixel == PIX_1BIT                                ? 1
                : desc.pixel == PIX_4BITS                             ? 4
                : desc.pixel == PIX_BYTE || desc.pixel == PIX_SBYTE   ? 8
                : desc.pixel == PIX_SHORT || desc.pixel == PIX_USHORT ? 16
                                                                      : 32;
    int code = 0;
    RamImage *image = ramImageCreate(&desc, nullptr, 1, &code);
    if (image == nullptr) {
        return error(interp, std::string("create failed: ") + ramImageErrorText(code));
    }
    /* the new file holds one volume of zeros: as many again for each
     * further one (the store reads volumes of raw files from the descriptor) */
    struct stat st;
    if (desc.volumes > 1 && image->fd >= 0 && fstat(image->fd, &st) == 0 &&
        ftruncate(image->fd, st.st_size + (desc.volumes - 1) * (st.st_size - desc.offset)) != 0) {
        return error(interp, "cannot make the volumes of " + std::string(image->desc.file));
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(image->tag, -1));
    return TCL_OK;
}

int openImage(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4 && objc != 5) {
        return error(interp, "usage: tesktest img open FILE ?TAG?");
    }
    int code = 0;
    RamImage *image = tesk_openRAMImage(objc == 5 ? Tcl_GetString(objv[4]) : nullptr, Tcl_GetString(objv[3]), nullptr,
                                        nullptr, &code);
    if (image == nullptr) {
        return error(interp, std::string("open failed: ") + ramImageErrorText(code));
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(image->tag, -1));
    return TCL_OK;
}

int setDesc(Tcl_Interp *interp, RamImage *image, int objc, Tcl_Obj *const objv[])
{
    static const std::map<std::string, double ImageDesc::*> doubles = {
        {"-x0", &ImageDesc::x0},
        {"-y0", &ImageDesc::y0},
        {"-dx", &ImageDesc::dx},
        {"-dy", &ImageDesc::dy},
    };
    for (int i = 4; i + 1 < objc; i += 2) {
        std::string option = Tcl_GetString(objv[i]);
        if (option == "-mapid") {
            image->desc.mapid = mapIdCode(Tcl_GetString(objv[i + 1]));
            continue;
        }
        if (option == "-nindices") {
            if (Tcl_GetIntFromObj(interp, objv[i + 1], &image->desc.nindices) != TCL_OK) {
                return TCL_ERROR;
            }
            continue;
        }
        auto it = doubles.find(option);
        if (it == doubles.end() || Tcl_GetDoubleFromObj(interp, objv[i + 1], &(image->desc.*(it->second))) != TCL_OK) {
            return error(interp, "bad option " + option);
        }
    }
    return TCL_OK;
}

int palette(Tcl_Interp *interp, RamImage *image, int objc, Tcl_Obj *const objv[])
{
    for (int i = 4; i < objc; i++) {
        int count = 0;
        Tcl_Obj **items = nullptr;
        int entry[4];
        if (Tcl_ListObjGetElements(interp, objv[i], &count, &items) != TCL_OK || count != 4 ||
            !getInts(interp, items, 4, entry) || entry[0] < 0 || entry[0] > 255) {
            return error(interp, "bad palette entry");
        }
        for (int c = 0; c < 3; c++) {
            image->desc.palette[entry[0]][c] = static_cast<uint8_t>(entry[c + 1]);
        }
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < image->desc.nindices && i < 256; i++) {
        Tcl_Obj *rgb[] = {Tcl_NewIntObj(image->desc.palette[i][0]), Tcl_NewIntObj(image->desc.palette[i][1]),
                          Tcl_NewIntObj(image->desc.palette[i][2])};
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewListObj(3, rgb));
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

Tcl_Obj *descDict(const RamImage *image)
{
    const ImageDesc &d = image->desc;
    Tcl_Obj *dict = Tcl_NewDictObj();
    auto put = [dict](const char *key, Tcl_Obj *value) {
        Tcl_DictObjPut(nullptr, dict, Tcl_NewStringObj(key, -1), value);
    };
    put("file", Tcl_NewStringObj(d.file, -1));
    put("imgid", Tcl_NewStringObj(imgIdName(d.imgid), -1));
    put("pixel", Tcl_NewStringObj(pixelIdName(d.pixel), -1));
    put("rows", Tcl_NewIntObj(d.rows));
    put("columns", Tcl_NewIntObj(d.columns));
    put("nbands", Tcl_NewIntObj(d.nbands));
    put("block", Tcl_NewIntObj(d.block));
    put("nindices", Tcl_NewIntObj(d.nindices));
    put("transparent", Tcl_NewIntObj(d.transparent));
    put("mapid", Tcl_NewStringObj(mapIdName(d.mapid), -1));
    put("x0", Tcl_NewDoubleObj(d.x0));
    put("y0", Tcl_NewDoubleObj(d.y0));
    put("dx", Tcl_NewDoubleObj(d.dx));
    put("dy", Tcl_NewDoubleObj(d.dy));
    put("msbf", Tcl_NewIntObj(d.msbf));
    put("offset", Tcl_NewIntObj(d.offset));
    put("useCount", Tcl_NewIntObj(image->useCount));
    put("openCount", Tcl_NewIntObj(image->openCount));
    return dict;
}

template <class T>
Tcl_Obj *numberList(const std::vector<T> &values)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (T v : values) {
        Tcl_ListObjAppendElement(
            nullptr, list, std::is_floating_point<T>::value ? Tcl_NewDoubleObj(v) : Tcl_NewIntObj(static_cast<int>(v)));
    }
    return list;
}

int rowAccess(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], const std::string &word)
{
    RamImage *image = nullptr;
    int args[3];
    if (objc != 8 || !findImage(interp, objv[3], &image) || !getInts(interp, objv + 4, 3, args)) {
        return objc != 8 ? error(interp, "usage: tesktest img " + word + " TAG ROW BAND COLUMN N|VALUES") : TCL_ERROR;
    }
    int row = args[0], band = args[1], column = args[2];
    if (word == "getrow" || word == "getbytes") {
        int n = 0;
        if (Tcl_GetIntFromObj(interp, objv[7], &n) != TCL_OK || n < 0 || n > 1 << 20) {
            return error(interp, "bad count");
        }
        if (word == "getrow") {
            std::vector<float> values(static_cast<size_t>(n));
            ramImageGetFloat(image, row, column, n, band, values.data());
            Tcl_SetObjResult(interp, numberList(values));
        } else {
            std::vector<unsigned char> values(static_cast<size_t>(n));
            ramImageGetBytes(image, row, column, n, band, values.data());
            Tcl_SetObjResult(interp, numberList(values));
        }
        return TCL_OK;
    }
    int count = 0;
    Tcl_Obj **items = nullptr;
    if (Tcl_ListObjGetElements(interp, objv[7], &count, &items) != TCL_OK) {
        return TCL_ERROR;
    }
    std::vector<float> floats(static_cast<size_t>(count));
    std::vector<unsigned char> bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) {
        double v = 0;
        /* "nan" puts the NaN that a float file can hold. */
        if (std::strcmp(Tcl_GetString(items[i]), "nan") == 0) {
            v = std::nan("");
        } else if (Tcl_GetDoubleFromObj(interp, items[i], &v) != TCL_OK) {
            return TCL_ERROR;
        }
        floats[i] = static_cast<float>(v);
        bytes[i] = static_cast<unsigned char>(!(v > 0) ? 0 : v > 255 ? 255 : v);
    }
    int stored = word == "putrow" ? ramImagePutFloat(image, row, column, count, band, floats.data())
                                  : ramImagePutBytes(image, row, column, count, band, bytes.data());
    Tcl_SetObjResult(interp, Tcl_NewIntObj(stored));
    return TCL_OK;
}

int histograms(Tcl_Interp *interp, RamImage *image, int mode, int columnStep, int rowStep)
{
    BandStat *stats = ramImageHist(image, mode, columnStep, rowStep);
    if (stats == nullptr) {
        return error(interp, "no statistics");
    }
    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    for (int b = 0; b < image->desc.nbands; b++) {
        const BandStat &s = stats[b];
        std::vector<unsigned> bins(s.bins, s.bins + (s.bins != nullptr ? s.nBins : 0));
        Tcl_Obj *band[] = {Tcl_NewDoubleObj(s.count), Tcl_NewDoubleObj(s.sum), Tcl_NewDoubleObj(s.sumsq),
                           Tcl_NewDoubleObj(s.min),   Tcl_NewDoubleObj(s.max), numberList(bins)};
        Tcl_ListObjAppendElement(nullptr, result, Tcl_NewListObj(6, band));
    }
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

/* ---- scripted image readers ---- */

Tcl_Interp *readerInterp = nullptr;
std::string readerProcs[2];  // the procedures behind the two C readers

int scriptedReader(int which, const char *fileName, ImageDesc *desc)
{
    Tcl_Obj *objv[] = {Tcl_NewStringObj(readerProcs[which].c_str(), -1), Tcl_NewStringObj(fileName, -1)};
    Tcl_IncrRefCount(objv[0]);
    Tcl_IncrRefCount(objv[1]);
    int code = Tcl_EvalObjv(readerInterp, 2, objv, TCL_EVAL_GLOBAL);
    Tcl_DecrRefCount(objv[0]);
    Tcl_DecrRefCount(objv[1]);
    int count = 0, answer = 0;
    Tcl_Obj **items = nullptr;
    if (code != TCL_OK ||
        Tcl_ListObjGetElements(readerInterp, Tcl_GetObjResult(readerInterp), &count, &items) != TCL_OK || count < 1 ||
        Tcl_GetIntFromObj(readerInterp, items[0], &answer) != TCL_OK) {
        return 0;
    }
    static const std::map<std::string, int32_t ImageDesc::*> fields = {
        {"-rows", &ImageDesc::rows},   {"-columns", &ImageDesc::columns}, {"-nbands", &ImageDesc::nbands},
        {"-pixel", &ImageDesc::pixel}, {"-offset", &ImageDesc::offset},   {"-block", &ImageDesc::block},
    };
    for (int i = 1; i + 1 < count; i += 2) {
        auto it = fields.find(Tcl_GetString(items[i]));
        int value = 0;
        if (it != fields.end() && Tcl_GetIntFromObj(readerInterp, items[i + 1], &value) == TCL_OK) {
            desc->*(it->second) = value;
        }
    }
    if (answer > 0) {
        desc->imgid = answer;
        desc->transparent = -1;
    }
    return answer;
}

int firstReader(int, const char *fileName, ImageDesc *desc, void **)
{
    return scriptedReader(0, fileName, desc);
}

int secondReader(int, const char *fileName, ImageDesc *desc, void **)
{
    return scriptedReader(1, fileName, desc);
}

int readerCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    std::string action = objc > 3 ? Tcl_GetString(objv[3]) : "";
    int last = 0;
    if ((action != "add" && action != "remove") || objc < 5 || objc > 6 ||
        (objc == 6 && Tcl_GetIntFromObj(interp, objv[5], &last) != TCL_OK)) {
        return error(interp, "usage: tesktest img reader add|remove PROC ?LAST?");
    }
    readerInterp = interp;
    std::string proc = Tcl_GetString(objv[4]);
    if (action == "remove") {
        for (int i = 0; i < 2; i++) {
            if (readerProcs[i] == proc) {
                removeImageReader(i == 0 ? firstReader : secondReader);
                readerProcs[i].clear();
            }
        }
        return TCL_OK;
    }
    int slot = readerProcs[0].empty() || readerProcs[0] == proc   ? 0
               : readerProcs[1].empty() || readerProcs[1] == proc ? 1
                                                                  : -1;
    if (slot < 0) {
        return error(interp, "two scripted readers at most");
    }
    readerProcs[slot] = proc;
    addImageReader(slot == 0 ? firstReader : secondReader, last);
    return TCL_OK;
}

}  // namespace

int testimgCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    eventInterp = interp;
    std::string word = objc > 2 ? Tcl_GetString(objv[2]) : "";
    RamImage *image = nullptr;
    if (word == "create") {
        return createImage(interp, objc, objv);
    }
    if (word == "open") {
        return openImage(interp, objc, objv);
    }
    if (word == "reader") {
        return readerCmd(interp, objc, objv);
    }
    if (word == "list") {
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        for (RamImage *each = ramImageListHead(); each != nullptr; each = each->next) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(each->tag, -1));
        }
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    if (objc < 4 || !findImage(interp, objv[3], &image)) {
        return objc < 4 ? error(interp, "usage: tesktest img create|close|desc|getrow|putrow|getbytes|putbytes|"
                                        "value|stats|hist|list|client|release|notify|rect|geo ...")
                        : TCL_ERROR;
    }
    if (word == "close" && objc == 4) {
        if (image->openCount > 0) {
            image->openCount--;
        }
        Tcl_SetObjResult(interp, Tcl_NewIntObj(ramImageRelease(image, nullptr)));
        return TCL_OK;
    }
    if (word == "flush" && objc == 4) {
        ramImageFlush(image);
        return TCL_OK;
    }
    if (word == "set") {
        return setDesc(interp, image, objc, objv);
    }
    if (word == "palette") {
        return palette(interp, image, objc, objv);
    }
    if (word == "desc" && objc == 4) {
        Tcl_SetObjResult(interp, descDict(image));
        return TCL_OK;
    }
    if (word == "frame" && objc == 4) {
        Tcl_Obj *values[] = {Tcl_NewIntObj(image->curVolume), Tcl_NewIntObj(image->volumeCount),
                             Tcl_NewDoubleObj(image->frameTime)};
        Tcl_SetObjResult(interp, Tcl_NewListObj(3, values));
        return TCL_OK;
    }
    if (word == "readall" && objc == 4) {
        Tcl_WideInt sum = 0;
        for (int r = 0; r < image->desc.rows; r++) {
            for (int b = 0; b < image->desc.nbands; b++) {
                const unsigned char *row = tesk_getRAMImageLine(image, r, b, 1);
                for (int i = 0; i < image->rowBytes; i++) {
                    sum += row[i];
                }
            }
        }
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(sum));
        return TCL_OK;
    }
    if (word == "getrow" || word == "putrow" || word == "getbytes" || word == "putbytes") {
        return rowAccess(interp, objc, objv, word);
    }
    int args[5];
    if (word == "value" && objc == 7 && getInts(interp, objv + 4, 3, args)) {
        Tcl_SetObjResult(interp, Tcl_NewDoubleObj(ramImageGetValue(image, args[0], args[1], args[2])));
        return TCL_OK;
    }
    if (word == "stats" && objc == 5 && getInts(interp, objv + 4, 1, args)) {
        double mean = 0, std = 0, min = 0, max = 0;
        if (!ramImageBandStats(image, args[0], &std, &mean, &min, &max)) {
            return error(interp, "no statistics");
        }
        Tcl_Obj *values[] = {Tcl_NewDoubleObj(mean), Tcl_NewDoubleObj(std), Tcl_NewDoubleObj(min),
                             Tcl_NewDoubleObj(max)};
        Tcl_SetObjResult(interp, Tcl_NewListObj(4, values));
        return TCL_OK;
    }
    if (word == "hist" && (objc == 4 || (objc == 7 && getInts(interp, objv + 4, 3, args)))) {
        return objc == 4 ? histograms(interp, image, 0, 1, 1) : histograms(interp, image, args[0], args[1], args[2]);
    }
    if (word == "client" && objc == 5 && getInts(interp, objv + 4, 1, args)) {
        auto client = std::make_unique<TestClient>();
        client->record = RamImageClient{displayProc, configProc, rectProc, args[0], nullptr, nullptr};
        client->record.clientData = client.get();
        client->id = std::to_string(args[0]);
        int error = 0;
        if (tesk_openRAMImage(image->tag, nullptr, nullptr, &client->record, &error) == nullptr) {
            return TCL_ERROR;
        }
        int handle = nextClient++;
        clients[handle] = std::move(client);
        Tcl_SetObjResult(interp, Tcl_NewIntObj(handle));
        return TCL_OK;
    }
    if (word == "release" && objc == 5 && getInts(interp, objv + 4, 1, args) && clients.count(args[0])) {
        int left = tesk_closeRAMImage(image, &clients[args[0]]->record);
        clients.erase(args[0]);
        Tcl_SetObjResult(interp, Tcl_NewIntObj(left));
        return TCL_OK;
    }
    if (word == "notify" && objc == 6 && getInts(interp, objv + 4, 2, args)) {
        tesk_updateClient(image, args[0], args[1]);
        return TCL_OK;
    }
    if (word == "rect" && objc == 9 && getInts(interp, objv + 4, 5, args)) {
        tesk_updateClientRect(image, args[0], args[1], args[2], args[3], args[4]);
        return TCL_OK;
    }
    if (word == "geo" && (objc == 4 || objc == 5)) {
        if (objc == 5) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(parseGeoComment(&image->desc, Tcl_GetString(objv[4]))));
            return TCL_OK;
        }
        char text[512];
        formatGeoComment(&image->desc, text, sizeof text);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
        return TCL_OK;
    }
    return error(interp, "bad tesktest img " + word + " call");
}
