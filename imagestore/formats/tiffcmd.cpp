/*
 * tiffcmd.cpp --
 *
 *	The tiff command: a table of tag names shared by every interpreter
 *	(add, get, index, count) and the directory listing of a TIFF file or
 *	of an opened TIFF image (data).
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "runtime/textcodec.h"
#include "runtime/util.h"
#include "tesk.h"

namespace {

std::map<int, std::string> *tagNames = nullptr;

const char *tagName(int tag)
{
    if (tagNames != nullptr) {
        auto it = tagNames->find(tag);
        if (it != tagNames->end()) {
            return it->second.c_str();
        }
    }
    return "??";
}

/* "%d %s", or "%d \"%s\"" when the name holds a blank. */
Tcl_Obj *nameElement(int tag, const std::string &name)
{
    const char *format = name.find(' ') != std::string::npos ? "%d \"%s\"" : "%d %s";
    int n = std::snprintf(nullptr, 0, format, tag, name.c_str());
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, tag, name.c_str());
    text.resize(static_cast<size_t>(n));
    return Tcl_NewStringObj(text.c_str(), -1);
}

Tcl_Obj *formatted(const char *format, ...) __attribute__((format(printf, 1, 2)));
Tcl_Obj *formatted(const char *format, ...)
{
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return Tcl_NewStringObj(text, -1);
}

/* The value field narrowed to its first value when the values stand in it. */
long long fieldValue(const TiffFile &file, const TiffEntry &e)
{
    switch (e.type) {
    case 1: return e.count < 5 ? e.field[0] : tiffFieldWord(file, e);
    case 2:
    case 6:
    case 7: return e.count < 5 ? static_cast<int8_t>(e.field[0]) : tiffFieldWord(file, e);
    case 3: return e.count < 3 ? getU16(e.field, file.msbf) : tiffFieldWord(file, e);
    case 8: return e.count < 3 ? getI16(e.field, file.msbf) : tiffFieldWord(file, e);
    case 9: return getI32(e.field, file.msbf);
    default: return tiffFieldWord(file, e);
    }
}

Tcl_Obj *listDirectory(const TiffFile &file, const TiffDir &dir)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const TiffEntry &e : dir.entries) {
        Tcl_ListObjAppendElement(
            nullptr, list, formatted("%d %d %u %lld %s", e.tag, e.type, e.count, fieldValue(file, e), tagName(e.tag)));
    }
    return list;
}

/* The name and values of one tag of a directory (empty without the tag). */
Tcl_Obj *showTag(int fd, const TiffFile &file, const TiffDir &dir, int tag)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    const TiffEntry *e = tiffFind(dir, tag);
    if (e == nullptr) {
        return list;
    }
    Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(tagName(tag), -1));
    const bool m = file.msbf;
    if (e->count < 2 && e->type != 5 && e->type != 10 && e->type != 12) {
        if (e->type == 11) {
            Tcl_ListObjAppendElement(nullptr, list, formatted("%f", static_cast<double>(getF32(e->field, m))));
        } else {
            Tcl_ListObjAppendElement(nullptr, list, formatted("%lld", fieldValue(file, *e)));
        }
        return list;
    }
    std::vector<unsigned char> bytes;
    if (!tiffRawValues(fd, file, *e, &bytes)) {
        return list;
    }
    if (e->type == 2) {
        /* ASCII is 7-bit; other bytes are read in the system encoding, as
         * the text this package writes into tags is. */
        size_t n = strnlen(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        Tcl_ListObjAppendElement(nullptr, list, textDecode(nullptr, reinterpret_cast<const char *>(bytes.data()), n));
        return list;
    }
    const unsigned char *p = bytes.data();
    for (uint32_t i = 0; i < e->count; i++) {
        Tcl_Obj *item = nullptr;
        switch (e->type) {
        case 1:
        case 7: item = formatted("%d", p[i]); break;
        case 6: item = formatted("%d", static_cast<int8_t>(p[i])); break;
        case 3: item = formatted("%d", getU16(p + 2 * i, m)); break;
        case 8: item = formatted("%d", getI16(p + 2 * i, m)); break;
        case 4: item = formatted("%u", getU32(p + 4 * i, m)); break;
        case 9: item = formatted("%d", getI32(p + 4 * i, m)); break;
        case 5: item = formatted("%u %u", getU32(p + 8 * i, m), getU32(p + 8 * i + 4, m)); break;
        case 10: item = formatted("%d %d", getI32(p + 8 * i, m), getI32(p + 8 * i + 4, m)); break;
        case 11: item = formatted("%f", static_cast<double>(getF32(p + 4 * i, m))); break;
        case 12: item = formatted("%f", getF64(p + 8 * i, m)); break;
        default: break;
        }
        if (item != nullptr) {
            Tcl_ListObjAppendElement(nullptr, list, item);
        }
    }
    return list;
}

int tiffData(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " imgid ?option?", nullptr);
        return TCL_ERROR;
    }
    TiffFile file;
    int fd = -1;
    bool ownFd = false;
    RamImage *image = ramImageFindByTag(argv[2]);
    if (image == nullptr) {
        image = ramImageFindByFile(argv[2]);
    }
    if (image != nullptr && image->fd >= 0) {
        if (image->desc.imgid != IMG_TIFF && image->desc.imgid != IMG_GEOTIFF) {
            Tcl_SetResult(interp, const_cast<char *>("Not a TIFF image"), TCL_STATIC);
            return TCL_ERROR;
        }
        fd = image->fd;
    } else {
        fd = openRegularFile(argv[2]);  // only read: never for writing, never a FIFO
        if (fd < 0) {
            Tcl_AppendResult(interp, "Error in open:", argv[2], nullptr);
            return TCL_ERROR;
        }
        ownFd = true;
    }
    int code = TCL_OK;
    if (!tiffReadFile(fd, &file)) {
        Tcl_SetResult(interp, const_cast<char *>("Error in open TIFF image"), TCL_STATIC);
        code = TCL_ERROR;
    } else {
        const int count = static_cast<int>(file.dirs.size());
        int volume = 1, tag = 0;
        bool oneTag = false; /* a tag word was given: show it, not the list */
        bool syntax = false;
        if (argc > 3 && std::strcmp(argv[3], "-volume") == 0) {
            if (argc == 4) {
                Tcl_SetObjResult(interp, Tcl_NewIntObj(count));
                volume = 0;
            } else if (argc > 6) {
                code = TCL_ERROR;
                volume = 0;
            } else if (Tcl_GetInt(nullptr, argv[4], &volume) != TCL_OK || volume < 1 || volume > count) {
                /* A word that is no volume number is a volume outside the file. */
                Tcl_SetResult(interp, const_cast<char *>("Invalid TIFF volume"), TCL_STATIC);
                code = TCL_ERROR;
                volume = 0;
            } else if (argc == 6 && Tcl_GetInt(interp, argv[5], &tag) != TCL_OK) {
                code = TCL_ERROR; /* Tcl's message, as without -volume */
                volume = 0;
            } else {
                oneTag = argc == 6;
            }
        } else if (argc == 4) {
            if (Tcl_GetInt(interp, argv[3], &tag) != TCL_OK) {
                code = TCL_ERROR;
                volume = 0;
            }
            oneTag = true;
        } else if (argc > 4) {
            syntax = true;
        }
        if (syntax) {
            Tcl_SetResult(interp, const_cast<char *>("Syntax error"), TCL_STATIC);
            code = TCL_ERROR;
        } else if (volume > 0) {
            const TiffDir &dir = file.dirs[static_cast<size_t>(volume - 1)];
            Tcl_SetObjResult(interp, oneTag ? showTag(fd, file, dir, tag) : listDirectory(file, dir));
        }
    }
    if (ownFd) {
        close(fd);
    }
    return code;
}

int tiffCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " option", nullptr);
        return TCL_ERROR;
    }
    if (tagNames == nullptr) {
        tagNames = new std::map<int, std::string>;
    }
    const std::string option = argv[1];
    if (option == "add") {
        for (int i = 2; i < argc; i++) {
            int n = 0;
            const char **parts = nullptr;
            int number = 0;
            if (Tcl_SplitList(interp, argv[i], &n, &parts) != TCL_OK) {
                Tcl_ResetResult(interp);
                return TCL_ERROR;
            }
            bool ok = n == 2 && std::sscanf(parts[0], "%d", &number) == 1;
            if (ok) {
                (*tagNames)[number] = parts[1];
            }
            Tcl_Free(reinterpret_cast<char *>(parts));
            if (!ok) {
                return TCL_ERROR;
            }
        }
        Tcl_SetObjResult(interp, formatted("%d", static_cast<int>(tagNames->size())));
        return TCL_OK;
    }
    if (option == "get") {
        int number = 0;
        if (argc != 3 || Tcl_GetInt(interp, argv[2], &number) != TCL_OK) {
            Tcl_ResetResult(interp);
            return TCL_ERROR;
        }
        auto it = tagNames->find(number);
        if (it != tagNames->end()) {
            Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
            Tcl_ListObjAppendElement(nullptr, list, nameElement(it->first, it->second));
            Tcl_SetObjResult(interp, list);
        }
        return TCL_OK;
    }
    if (option == "index") {
        int from = 0, to = 0;
        if (argc > 4 || (argc > 2 && Tcl_GetInt(interp, argv[2], &from) != TCL_OK) ||
            (argc > 3 && Tcl_GetInt(interp, argv[3], &to) != TCL_OK)) {
            return TCL_ERROR;
        }
        if (argc < 4) {
            to = from;
        }
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        int at = 0;
        for (const auto &[number, name] : *tagNames) {
            if (at >= from && at <= to) {
                Tcl_ListObjAppendElement(nullptr, list, nameElement(number, name));
            }
            at++;
        }
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    if (option == "count") {
        Tcl_SetObjResult(interp, formatted("%d", static_cast<int>(tagNames->size())));
        return TCL_OK;
    }
    if (option == "data") {
        return tiffData(interp, argc, argv);
    }
    Tcl_AppendResult(interp, "Usage: ", argv[0], " option", nullptr);
    return TCL_ERROR;
}

void deleteCmd(ClientData)
{
    tiffTagTableFree();
}

}  // namespace

void tiffTagTableFree()
{
    delete tagNames;
    tagNames = nullptr;
}

int tiffCmdInit(Tcl_Interp *interp)
{
    if (Tcl_CreateCommand(interp, "tiff", tiffCmd, nullptr, deleteCmd) == nullptr) {
        return TCL_ERROR;
    }
    return TCL_OK;
}
