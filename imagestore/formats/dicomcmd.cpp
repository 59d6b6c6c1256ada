/*
 * dicomcmd.cpp --
 *
 *	The dicom command: a dictionary of element names shared by every
 *	interpreter (add, get, index, count) and the element listing of a
 *	DICOM file or opened DICOM image (data).
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include "imagestore/formats/dicom.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "runtime/textcodec.h"
#include "runtime/util.h"
#include "tesk.h"

namespace {

/* A dictionary entry (gmemAlloc'd, the name follows). */
struct DictEntry {
    uint16_t vr;
    uint8_t vmMin, vmMax;
    char name[1];
};

HashTable dictionary = nullptr;

void *keyOf(unsigned group, unsigned element)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(group) * 65536u + element);
}

const DictEntry *lookup(unsigned group, unsigned element)
{
    if (dictionary == nullptr) {
        return nullptr;
    }
    Tcl_HashEntry *entry = findHashEntry(dictionary, keyOf(group, element));
    return entry != nullptr ? static_cast<const DictEntry *>(getHashValue(entry)) : nullptr;
}

std::string entryText(uintptr_t key, const DictEntry *e)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04x %04x %s %d %d ", static_cast<unsigned>(key >> 16),
                  static_cast<unsigned>(key & 0xFFFF), dicomVrName(e->vr), e->vmMin, e->vmMax);
    std::string text = buffer;
    if (std::strchr(e->name, ' ') != nullptr) {
        return text + "\"" + e->name + "\"";
    }
    return text + e->name;
}

void setInt(Tcl_Interp *interp, int value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%d", value);
    Tcl_SetResult(interp, buffer, TCL_VOLATILE);
}

int addEntries(Tcl_Interp *interp, int argc, const char **argv)
{
    for (int i = 2; i < argc; i++) {
        int count = 0;
        const char **fields = nullptr;
        if (Tcl_SplitList(nullptr, argv[i], &count, &fields) != TCL_OK) {
            return TCL_ERROR;
        }
        unsigned group = 0;
        unsigned element = 0;
        int vmMin = 0;
        int vmMax = 0;
        bool ok = count == 6 && std::sscanf(fields[0], "%x", &group) == 1 &&
                  std::sscanf(fields[1], "%x", &element) == 1 && group <= 0xFFFF && element <= 0xFFFF &&
                  Tcl_GetInt(nullptr, fields[3], &vmMin) == TCL_OK && Tcl_GetInt(nullptr, fields[4], &vmMax) == TCL_OK;
        if (ok) {
            size_t length = std::strlen(fields[5]);
            auto *e = static_cast<DictEntry *>(gmemAlloc(sizeof(DictEntry) + length));
            ok = e != nullptr;
            if (ok) {
                e->vr = static_cast<uint16_t>(dicomVrIndex(fields[2]));
                e->vmMin = static_cast<uint8_t>(vmMin);
                e->vmMax = static_cast<uint8_t>(vmMax);
                std::memcpy(e->name, fields[5], length + 1);
                putToIntHashTable(dictionary, keyOf(group, element), e);
            }
        }
        Tcl_Free(reinterpret_cast<char *>(fields));
        if (!ok) {
            return TCL_ERROR;
        }
    }
    setInt(interp, countHashEntries(dictionary));
    return TCL_OK;
}

int indexEntries(Tcl_Interp *interp, int argc, const char **argv)
{
    int from = 0;
    if (argc > 2 && Tcl_GetInt(interp, argv[2], &from) != TCL_OK) {
        return TCL_ERROR;
    }
    int to = from;
    if (argc > 3 && Tcl_GetInt(interp, argv[3], &to) != TCL_OK) {
        return TCL_ERROR;
    }
    int size = countHashEntries(dictionary);
    void **keys = getHashKeys(dictionary, compareIntKeys);
    if (keys == nullptr) {
        return TCL_ERROR;
    }
    for (int i = from < 0 ? 0 : from; i <= to && i < size; i++) {
        auto key = reinterpret_cast<uintptr_t>(keys[i]);
        const DictEntry *e = lookup(static_cast<unsigned>(key >> 16), static_cast<unsigned>(key & 0xFFFF));
        Tcl_AppendElement(interp, entryText(key, e).c_str());
    }
    gmemFree(keys);
    return TCL_OK;
}

/* The value bytes a record holds (the pixel data record: its offset). */
uint32_t storedBytes(const DicomElement *e)
{
    if (e->length == 0xFFFFFFFFu || e->length == 0xFFFF) {
        return 0;
    }
    if (e->group == 0x7FE0 && e->element == 0x0010) {
        return 0;
    }
    return e->length;
}

std::string trimmed(std::string text)
{
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

/* The value of one record as text, by its VR. */
std::string valueOf(const DicomElement *e, int vr)
{
    uint32_t n = storedBytes(e);
    const auto *bytes = reinterpret_cast<const unsigned char *>(e + 1);
    std::string text(reinterpret_cast<const char *>(bytes), n);
    text = text.c_str();
    char buffer[24];
    switch (vr) {
    case 2:
    case 4:
    case 5:
    case 6:
    case 10:
    case 12:
    case 15:
    case 16:
    case 21:
    case 22: break;
    case 11: text = text.substr(std::min(text.size(), text.find_first_not_of(' '))); break;
    case 25:
        if (n < 2) {
            return "";
        }
        std::snprintf(buffer, sizeof buffer, "%d", getU16(bytes));
        return buffer;
    case 0:
        if (n == 2 || n == 4) {
            std::snprintf(buffer, sizeof buffer, "%d", n == 2 ? getU16(bytes) : getI32(bytes));
            return buffer;
        }
        break;
    default: return dicomVrName(vr);
    }
    return trimmed(text);
}

/*
 * The Tcl encoding of the table's Specific Character Set (0008,0005): that
 * of the first term given, or of the ISO 2022 multi-byte set when one is
 * named (the code-extension form of a term, "ISO 2022 IR n", reads as
 * "ISO_IR n"); null (the system encoding, for bytes outside the default
 * repertoire) without the element, for the default repertoire and for a
 * term not known here.
 */
const char *textEncodingOf(HashTable table)
{
    static const struct {
        const char *term;
        const char *encoding;
    } kSets[] = {
        {"ISO_IR 100", "iso8859-1"},  {"ISO_IR 101", "iso8859-2"},  {"ISO_IR 109", "iso8859-3"},
        {"ISO_IR 110", "iso8859-4"},  {"ISO_IR 144", "iso8859-5"},  {"ISO_IR 127", "iso8859-6"},
        {"ISO_IR 126", "iso8859-7"},  {"ISO_IR 138", "iso8859-8"},  {"ISO_IR 148", "iso8859-9"},
        {"ISO_IR 203", "iso8859-15"}, {"ISO_IR 166", "tis-620"},    {"ISO_IR 13", "jis0201"},
        {"ISO_IR 192", "utf-8"},      {"GB18030", "cp936"},         {"GBK", "cp936"},
        {"ISO_IR 87", "iso2022-jp"},  {"ISO_IR 159", "iso2022-jp"}, {"ISO_IR 149", "iso2022-kr"},
    };
    const DicomElement *e = dicomFindElement(table, 0x0008, 0x0005);
    if (e == nullptr) {
        return nullptr;
    }
    const std::string value(reinterpret_cast<const char *>(e + 1), storedBytes(e));
    const std::string extension = "ISO 2022 IR ";
    const char *found = nullptr;
    for (size_t at = 0; at <= value.size();) {
        const size_t end = std::min(value.find('\\', at), value.size());
        std::string term = trimmed(value.substr(at, end - at).c_str());
        if (term.compare(0, extension.size(), extension) == 0) {
            term = "ISO_IR " + term.substr(extension.size());
        }
        for (const auto &set : kSets) {
            if (term == set.term && (found == nullptr || std::strncmp(set.encoding, "iso2022", 7) == 0)) {
                found = set.encoding;
            }
        }
        at = end + 1;
    }
    return found;
}

/* The keys of the table in order as list elements: "gggg eeee" for every
 * element, or "eeee" for those of one group (group >= 0). */
int listKeys(Tcl_Interp *interp, HashTable table, long group)
{
    void **keys = getHashKeys(table, compareIntKeys);
    if (keys == nullptr) {
        return TCL_ERROR;
    }
    int size = countHashEntries(table);
    char buffer[24];
    for (int i = 0; i < size; i++) {
        auto key = reinterpret_cast<uintptr_t>(keys[i]);
        auto keyGroup = static_cast<unsigned>(key >> 16);
        auto keyElement = static_cast<unsigned>(key & 0xFFFF);
        if (group < 0) {
            std::snprintf(buffer, sizeof buffer, "%04x %04x", keyGroup, keyElement);
        } else if (keyGroup == static_cast<unsigned long>(group)) {
            std::snprintf(buffer, sizeof buffer, "%04x", keyElement);
        } else {
            continue;
        }
        Tcl_AppendElement(interp, buffer);
    }
    gmemFree(keys);
    return TCL_OK;
}

int listData(Tcl_Interp *interp, HashTable table, int argc, const char **argv)
{
    if (argc == 3) {
        return listKeys(interp, table, -1);
    }
    unsigned group = 0;
    if (argc > 5 || std::sscanf(argv[3], "%x", &group) != 1) {
        Tcl_SetResult(interp, const_cast<char *>("Syntax error"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (argc == 4) {
        return listKeys(interp, table, static_cast<long>(group));
    }
    unsigned element = 0;
    if (std::sscanf(argv[4], "%x", &element) != 1) {
        Tcl_SetResult(interp, const_cast<char *>("Syntax error"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (group > 0xFFFF || element > 0xFFFF) {
        return TCL_OK;
    }
    char buffer[24];
    Tcl_Encoding encoding = nullptr;
    if (const char *name = textEncodingOf(table)) {
        encoding = Tcl_GetEncoding(nullptr, name);
    }
    for (const DicomElement *e = dicomFindElement(table, static_cast<int>(group), static_cast<int>(element));
         e != nullptr; e = e->next) {
        const DictEntry *known = lookup(e->group, e->element);
        int vr = e->vr;
        if ((vr == 0 || vr == 0xFFFF) && known != nullptr) {
            vr = known->vr;
        }
        std::snprintf(buffer, sizeof buffer, "%04x", e->group);
        Tcl_AppendElement(interp, buffer);
        std::snprintf(buffer, sizeof buffer, "%04x", e->element);
        Tcl_AppendElement(interp, buffer);
        Tcl_AppendElement(interp, dicomVrName(vr));
        Tcl_AppendElement(interp, known != nullptr ? known->name : "??");
        std::string value = valueOf(e, vr);
        Tcl_Obj *text = textDecode(encoding, value.data(), value.size());
        Tcl_IncrRefCount(text);
        Tcl_AppendElement(interp, Tcl_GetString(text));
        Tcl_DecrRefCount(text);
        if (e->next != nullptr) {
            Tcl_AppendElement(interp, "\n");
        }
    }
    if (encoding != nullptr) {
        Tcl_FreeEncoding(encoding);
    }
    return TCL_OK;
}

int dataCmd(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " imgid ?option?", nullptr);
        return TCL_ERROR;
    }
    RamImage *image = ramImageFindByTag(argv[2]);
    if (image == nullptr) {
        image = ramImageFindByFile(argv[2]);
    }
    if (image != nullptr) {
        HashTable table = dicomImageTable(image);
        if (table == nullptr) {
            Tcl_AppendResult(interp, "Not a DICOM image: ", argv[2], nullptr);
            return TCL_ERROR;
        }
        return listData(interp, table, argc, argv);
    }
    int fd = openRegularFile(argv[2]);  // only read: never for writing, never a FIFO
    if (fd < 0) {
        Tcl_AppendResult(interp, "Error in open:", argv[2], nullptr);
        return TCL_ERROR;
    }
    int64_t offset = 0;
    HashTable table = dicomParse(fd, &offset);
    close(fd);
    if (table == nullptr) {
        Tcl_AppendResult(interp, "Not a DICOM image: ", argv[2], nullptr);
        return TCL_ERROR;
    }
    int code = listData(interp, table, argc, argv);
    deleteDicomHashTable(table);
    return code;
}

int dicomCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " option", nullptr);
        return TCL_ERROR;
    }
    if (dictionary == nullptr) {
        dictionary = createIntHashTable();
    }
    const char *option = argv[1];
    if (std::strcmp(option, "add") == 0) {
        return addEntries(interp, argc, argv);
    }
    if (std::strcmp(option, "get") == 0) {
        unsigned group = 0;
        unsigned element = 0;
        if (argc != 4 || std::sscanf(argv[2], "%x", &group) != 1 || std::sscanf(argv[3], "%x", &element) != 1) {
            return TCL_ERROR;
        }
        const DictEntry *e = group <= 0xFFFF && element <= 0xFFFF ? lookup(group, element) : nullptr;
        if (e != nullptr) {
            Tcl_SetResult(interp, const_cast<char *>(entryText(group * 65536u + element, e).c_str()), TCL_VOLATILE);
        }
        return TCL_OK;
    }
    if (std::strcmp(option, "index") == 0) {
        return indexEntries(interp, argc, argv);
    }
    if (std::strcmp(option, "count") == 0) {
        setInt(interp, countHashEntries(dictionary));
        return TCL_OK;
    }
    if (std::strcmp(option, "data") == 0) {
        return dataCmd(interp, argc, argv);
    }
    Tcl_AppendResult(interp, "Usage: ", argv[0], " option", nullptr);
    return TCL_ERROR;
}

void deleteCmd(ClientData)
{
    dicomCmdDelete();
}

}  // namespace

void dicomCmdDelete()
{
    if (dictionary != nullptr) {
        deleteHashTable(dictionary, gmemFree);
        dictionary = nullptr;
    }
}

extern "C" int Dicom_Init(Tcl_Interp *interp)
{
    if (Tcl_CreateCommand(interp, "dicom", dicomCmd, nullptr, deleteCmd) == nullptr) {
        return TCL_ERROR;
    }
    return TCL_OK;
}
