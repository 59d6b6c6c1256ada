/*
 * idoption.cpp --
 *
 *	Tk custom options whose values are named codes or small structured
 *	values: the generic ParseID/GetIDStr pair over an IdOptionKind's
 *	lookups (map ids, image types, image functions, pixel types,
 *	enhancement functions, ranges, rotation orders), and the file name,
 *	image description, band combination and palette options with
 *	procedures of their own. Serves the option tables of gimg, the rimage
 *	image options and the sensor objects.
 */
#include "display/idoption.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include "imagestore/codes.h"
#include "runtime/textcodec.h"
#include "tesk_stdio.h"

namespace {

/* Size of the text field of the file and imgdes options, with its NUL. */
constexpr std::size_t kFieldSize = 256;
/* Longest value the comb and palette options read. */
constexpr std::size_t kMaxListValue = kFieldSize - 1;

/* Name lists of the three kinds of this file; a name's code is its index. */
constexpr const char *kFuncNames[] = {"UNKNOWN", "NONE", "LINEAR", "HISTS", "HISTEQ", nullptr};
constexpr const char *kRangeNames[] = {"UNKNOWN", "MEAN", "DETAIL", nullptr};
constexpr const char *kRotationNames[] = {"UNKNOWN", "ZYX", "ZXY", "YXZ", "YZX", "XYZ", "XZY", nullptr};

/* Index of the first exact match of name in a null-terminated list, -1 when none. */
int findInList(const char *const *names, const char *name)
{
    if (name == nullptr) {
        return -1;
    }
    for (int i = 0; names[i] != nullptr; i++) {
        if (std::strcmp(names[i], name) == 0) {
            return i;
        }
    }
    return -1;
}

/* The list's name of code, "UNKNOWN" for a code the list does not hold. */
template <std::size_t N>
const char *nameInList(const char *const (&names)[N], int code)
{
    /* the last entry is the terminating null */
    return code >= 0 && code < static_cast<int>(N) - 1 ? names[code] : "UNKNOWN";
}

/* The kinds, in table order. */
const IdOptionKind fileKind = {"file", nullptr, nullptr};
const IdOptionKind paletteKind = {"palette", nullptr, nullptr};
const IdOptionKind combKind = {"comb", nullptr, nullptr};
const IdOptionKind imgdesKind = {"imgdes", nullptr, nullptr};
const IdOptionKind mapIdKind = {"mapid", mapIdCode, mapIdName};
const IdOptionKind imgIdKind = {"imgid", imgIdCode, imgIdName};
const IdOptionKind imgTypeKind = {"imgtype", imgTypeCode, imgTypeName};
const IdOptionKind pixelKind = {"pixel", pixelIdCode, pixelIdName};
const IdOptionKind funcKind = {"func", funcIdFromName, funcIdToName};
const IdOptionKind rangeKind = {"range", rangeIdFromName, rangeIdToName};
const IdOptionKind rotationKind = {"rotationid", rotationIdFromName, rotationIdToName};

constexpr ClientData kindData(const IdOptionKind &kind)
{
    return const_cast<IdOptionKind *>(&kind);
}

const char *kindName(ClientData clientData)
{
    const auto *kind = static_cast<const IdOptionKind *>(clientData);
    return kind != nullptr && kind->name != nullptr ? kind->name : "";
}

/* Makes interp's result prefix value " for " kind name; answers TCL_ERROR. */
int optionError(Tcl_Interp *interp, const char *prefix, const char *value, ClientData clientData)
{
    if (interp != nullptr) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, prefix, value != nullptr ? value : "", " for ", kindName(clientData), nullptr);
    }
    return TCL_ERROR;
}

/*
 * printCopy --
 *	A copy of the first n bytes of text, allocated for Tk to release with
 *	the Tcl allocator (*freeProcPtr = TCL_DYNAMIC). When memory runs out,
 *	an empty static text with no free procedure.
 */
const char *printCopy(const char *text, std::size_t n, Tcl_FreeProc **freeProcPtr)
{
    char *copy = Tcl_AttemptAlloc(static_cast<unsigned int>(n + 1));
    if (copy == nullptr) {
        tesk_fprintf(stderr, "Error in printing an option value: out of memory\n");
        *freeProcPtr = nullptr;
        return "";
    }
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    *freeProcPtr = TCL_DYNAMIC;
    return copy;
}

/* The value split at every "/" (empty pieces kept). */
std::vector<std::string> splitAtSlash(std::string_view value)
{
    std::vector<std::string> tokens;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = value.find('/', start);
        tokens.emplace_back(value.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) {
            return tokens;
        }
        start = slash + 1;
    }
}

int32_t *words(char *widgRec, int offset)
{
    return reinterpret_cast<int32_t *>(widgRec + offset);
}

/* ---- file and imgdes: a 256-byte text field -------------------------------- */

/* Copies text (shorter than the field) into it. */
void storeField(char *widgRec, int offset, const char *text, std::size_t n)
{
    char *field = widgRec + offset;
    std::memcpy(field, text, n);
    field[n] = '\0';
}

/*
 * parseFileOption --
 *	Stores the value, tilde-expanded, in the field. A name that cannot be
 *	expanded, or whose expansion does not fit the field with its NUL, is
 *	refused whole, leaving the field as it was.
 */
int parseFileOption(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int offset)
{
    if (value == nullptr) {
        value = "";
    }
    Tcl_DString buffer;
    Tcl_DStringInit(&buffer);
    const char *expanded = Tcl_TranslateFileName(interp, value, &buffer);
    int code = TCL_ERROR;
    if (expanded != nullptr && std::strlen(expanded) < kFieldSize) {
        storeField(widgRec, offset, expanded, std::strlen(expanded));
        code = TCL_OK;
    } else {
        optionError(interp, "Error in file name translation: ", value, clientData);
    }
    Tcl_DStringFree(&buffer);
    return code;
}

/* A new copy of the text field, never read past its 256 bytes. */
const char *printFieldOption(ClientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **freeProcPtr)
{
    const char *field = widgRec + offset;
    return printCopy(field, strnlen(field, kFieldSize), freeProcPtr);
}

/*
 * The description is kept as the image files hold it, in bytes of the
 * system encoding (no format that carries one declares another), so that
 * a file read and written again keeps its bytes; the option reads and
 * shows it as text.
 */

/* Stores the value in the system encoding when that is shorter than the
 * field; a longer one is refused whole. */
int parseImgdesOption(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec,
                      int offset)
{
    if (value == nullptr) {
        value = "";
    }
    std::string bytes = textEncode(nullptr, value, std::strlen(value));
    if (bytes.size() >= kFieldSize) {
        return optionError(interp, "Error in parsing image description: ", value, clientData);
    }
    storeField(widgRec, offset, bytes.data(), bytes.size());
    return TCL_OK;
}

/* A new copy of the description as text. */
const char *printImgdesOption(ClientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **freeProcPtr)
{
    const char *field = widgRec + offset;
    Tcl_Obj *text = textDecode(nullptr, field, strnlen(field, kFieldSize));
    Tcl_IncrRefCount(text);
    int n = 0;
    const char *utf = Tcl_GetStringFromObj(text, &n);
    const char *copy = printCopy(utf, static_cast<std::size_t>(n), freeProcPtr);
    Tcl_DecrRefCount(text);
    return copy;
}

/* ---- comb: count and three band numbers ----------------------------------- */

/*
 * parseCombOption --
 *	"b1[/b2[/b3]]": one to three band numbers of 0 or more, not all 0.
 *	Stores the count and the numbers (missing ones 0). Values longer than
 *	255 characters are refused rather than read in part.
 */
int parseCombOption(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int offset)
{
    if (value == nullptr || std::strlen(value) > kMaxListValue) {
        return optionError(interp, "Invalid value: ", value, clientData);
    }
    std::vector<std::string> tokens = splitAtSlash(value);
    if (tokens.size() > 3) {
        return optionError(interp, "Invalid value: ", value, clientData);
    }
    int32_t bands[3] = {0, 0, 0};
    int64_t sum = 0;
    for (std::size_t i = 0; i < tokens.size(); i++) {
        int number = 0;
        if (Tcl_GetInt(nullptr, tokens[i].c_str(), &number) != TCL_OK || number < 0) {
            return optionError(interp, "Invalid value: ", value, clientData);
        }
        bands[i] = number;
        sum += number;
    }
    if (sum == 0) {
        return optionError(interp, "Invalid value: ", value, clientData);
    }
    int32_t *stored = words(widgRec, offset);
    stored[0] = static_cast<int32_t>(tokens.size());
    for (int i = 0; i < 3; i++) {
        stored[i + 1] = bands[i];
    }
    return TCL_OK;
}

/* "%d" of the first band, then "/%d" for each further one of the count. */
std::string combText(const int32_t *stored)
{
    int count = stored[0] < 1 ? 1 : stored[0] > 3 ? 3 : stored[0];
    std::string text = std::to_string(stored[1]);
    for (int i = 1; i < count; i++) {
        text += '/';
        text += std::to_string(stored[i + 1]);
    }
    return text;
}

const char *printCombOption(ClientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **freeProcPtr)
{
    std::string text = combText(words(widgRec, offset));
    return printCopy(text.data(), text.size(), freeProcPtr);
}

/* ---- palette: grey levels, or red/green/blue levels ------------------------ */

/*
 * parsePaletteOption --
 *	"default" (any case) stores -1, 0, 0, 0; "n" stores n, 0, 0, 0; "r/g/b"
 *	stores 0, r, g, b. Every level count lies in 1..256.
 */
int parsePaletteOption(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec,
                       int offset)
{
    int32_t levels[4] = {-1, 0, 0, 0};
    if (value != nullptr && Tcl_StringCaseMatch(value, "default", TCL_MATCH_NOCASE)) {
        std::memcpy(words(widgRec, offset), levels, sizeof levels);
        return TCL_OK;
    }
    if (value == nullptr || std::strlen(value) > kMaxListValue) {
        return optionError(interp, "Invalid value: ", value, clientData);
    }
    std::vector<std::string> tokens = splitAtSlash(value);
    if (tokens.size() != 1 && tokens.size() != 3) {
        return optionError(interp, "Invalid value: ", value, clientData);
    }
    int numbers[3] = {0, 0, 0};
    for (std::size_t i = 0; i < tokens.size(); i++) {
        if (Tcl_GetInt(nullptr, tokens[i].c_str(), &numbers[i]) != TCL_OK || numbers[i] < 1 || numbers[i] > 256) {
            return optionError(interp, "Invalid value: ", value, clientData);
        }
    }
    if (tokens.size() == 1) {
        levels[0] = numbers[0];
    } else {
        levels[0] = 0;
        levels[1] = numbers[0];
        levels[2] = numbers[1];
        levels[3] = numbers[2];
    }
    std::memcpy(words(widgRec, offset), levels, sizeof levels);
    return TCL_OK;
}

const char *printPaletteOption(ClientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **freeProcPtr)
{
    const int32_t *stored = words(widgRec, offset);
    std::string text;
    if (stored[0] < 0) {
        text = "Default";
    } else if (stored[0] > 0) {
        text = std::to_string(stored[0]);
    } else {
        text = std::to_string(stored[1]) + "/" + std::to_string(stored[2]) + "/" + std::to_string(stored[3]);
    }
    return printCopy(text.data(), text.size(), freeProcPtr);
}

}  // namespace

/* ---- the lookups of func, range and rotationid ------------------------------ */

int funcIdFromName(const char *name)
{
    return findInList(kFuncNames, name);
}

const char *funcIdToName(int code)
{
    return nameInList(kFuncNames, code);
}

int rangeIdFromName(const char *name)
{
    return findInList(kRangeNames, name);
}

const char *rangeIdToName(int code)
{
    return nameInList(kRangeNames, code);
}

int rotationIdFromName(const char *name)
{
    return findInList(kRotationNames, name);
}

const char *rotationIdToName(int code)
{
    return nameInList(kRotationNames, code);
}

/* ---- the generic pair ---------------------------------------------------------- */

extern "C" {

/*
 * ParseID --
 *	Stores the code of value, found by the kind's name-to-code lookup, at
 *	offset in widgRec. A name the kind does not list leaves the record as
 *	it was, with "Invalid value: <value> for <kind>" in interp's result.
 */
int ParseID(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int offset)
{
    const auto *kind = static_cast<const IdOptionKind *>(clientData);
    int code = kind != nullptr && kind->fromName != nullptr && value != nullptr ? kind->fromName(value) : -1;
    if (code < 0) {
        return optionError(interp, "Invalid value: ", value, clientData);
    }
    *words(widgRec, offset) = code;
    return TCL_OK;
}

/*
 * GetIDStr --
 *	A new copy of the name of the code at offset in widgRec, released by
 *	Tk through *freeProcPtr. A code the kind has no name for (a descriptor
 *	read from a file can hold any number) prints as "UNKNOWN".
 */
const char *GetIDStr(ClientData clientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **freeProcPtr)
{
    const auto *kind = static_cast<const IdOptionKind *>(clientData);
    const char *name = nullptr;
    if (kind != nullptr && kind->toName != nullptr) {
        name = kind->toName(*words(widgRec, offset));
    }
    if (name == nullptr) {
        name = "UNKNOWN";
    }
    return printCopy(name, std::strlen(name), freeProcPtr);
}

}  // extern "C"

/* ---- the custom options, each with its kind ---------------------------------------- */

Tk_CustomOption rotationIdOption = {ParseID, GetIDStr, kindData(rotationKind)};
Tk_CustomOption imgdesOption = {parseImgdesOption, printImgdesOption, kindData(imgdesKind)};
Tk_CustomOption mapIdOption = {ParseID, GetIDStr, kindData(mapIdKind)};
Tk_CustomOption imgIdOption = {ParseID, GetIDStr, kindData(imgIdKind)};
Tk_CustomOption imgTypeOption = {ParseID, GetIDStr, kindData(imgTypeKind)};
Tk_CustomOption pixelIdOption = {ParseID, GetIDStr, kindData(pixelKind)};
Tk_CustomOption funcIdOption = {ParseID, GetIDStr, kindData(funcKind)};
Tk_CustomOption rangeIdOption = {ParseID, GetIDStr, kindData(rangeKind)};
Tk_CustomOption fileOption = {parseFileOption, printFieldOption, kindData(fileKind)};
Tk_CustomOption paletteOption = {parsePaletteOption, printPaletteOption, kindData(paletteKind)};
Tk_CustomOption combOption = {parseCombOption, printCombOption, kindData(combKind)};

int combBandsCheck(Tcl_Interp *interp, const int32_t *comb, int bands)
{
    for (int k = 1; k <= 3; k++) {
        if (comb[k] > bands) {
            return optionError(interp, "Invalid value: ", combText(comb).c_str(), kindData(combKind));
        }
    }
    return TCL_OK;
}
