/*
 * scriptlib.cpp --
 *
 *	Script libraries: the application's Tcl scripts stored compressed.
 *	A library file is the line "TESK SCRIPT LIBRARY 1\n", the script's
 *	length and CRC-32 (4 bytes each, least significant byte first), then the
 *	script's UTF-8 text compressed with zlib. A file without that first line
 *	is read as a plain UTF-8 Tcl script.
 */
#include "runtime/scriptlib.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/startup.h"
#include "runtime/util.h"

namespace {

constexpr char kMagic[] = "TESK SCRIPT LIBRARY 1\n";
constexpr std::size_t kMagicLength = sizeof kMagic - 1;
constexpr std::size_t kHeaderLength = kMagicLength + 8;
constexpr uint32_t kMaxScript = 256u << 20;  // 256 MiB of script text
/* zlib's deflate never packs better than about 1032 to 1: a header that
   declares more text than its packed bytes can hold is refused before
   anything is allocated. */
constexpr uint64_t kMaxInflateRatio = 1032;

/* Reads the whole file into bytes; false with an error in interp. Only a
 * regular file is read (a FIFO named as a library is refused, never waited
 * on), and no more than the largest library. */
bool readFile(Tcl_Interp *interp, const char *fileName, std::vector<unsigned char> &bytes)
{
    std::string path, data;
    if (!translateFileName(interp, path, fileName)) {
        return false;
    }
    int error = readRegularFile(path.c_str(), kMaxScript + kHeaderLength, &data);
    if (error == EFBIG) {
        Tcl_AppendResult(interp, "file too large for a script library: \"", fileName, "\"", nullptr);
        return false;
    }
    if (error != 0) {
        Tcl_SetErrno(error);
        Tcl_AppendResult(interp, "couldn't open \"", fileName, "\": ", Tcl_PosixError(interp), nullptr);
        return false;
    }
    bytes.assign(data.begin(), data.end());
    return true;
}

/* Converts UTF-8 text bytes to a Tcl string object. */
Tcl_Obj *utf8ToObj(const unsigned char *bytes, std::size_t n)
{
    Tcl_Encoding utf8 = Tcl_GetEncoding(nullptr, "utf-8");
    Tcl_DString text;
    Tcl_ExternalToUtfDString(utf8, reinterpret_cast<const char *>(bytes), static_cast<int>(n), &text);
    Tcl_FreeEncoding(utf8);
    Tcl_Obj *obj = Tcl_NewStringObj(Tcl_DStringValue(&text), Tcl_DStringLength(&text));
    Tcl_DStringFree(&text);
    return obj;
}

/* Evaluates a script read from fileName in interp, naming the file in the
 * error information. */
int evalLibraryScript(Tcl_Interp *interp, Tcl_Obj *script, const char *fileName, int evalFlags)
{
    Tcl_IncrRefCount(script);
    int code = Tcl_EvalObjEx(interp, script, evalFlags);
    Tcl_DecrRefCount(script);
    if (code == TCL_ERROR) {
        Tcl_AppendObjToErrorInfo(
            interp, Tcl_ObjPrintf("\n    (script library \"%s\" line %d)", fileName, Tcl_GetErrorLine(interp)));
    }
    return code;
}

}  // namespace

int scriptLibraryLoad(Tcl_Interp *interp, const char *fileName, int evalFlags)
{
    std::vector<unsigned char> bytes;
    if (!readFile(interp, fileName, bytes)) {
        return TCL_ERROR;
    }
    if (bytes.size() < kMagicLength || std::memcmp(bytes.data(), kMagic, kMagicLength) != 0) {
        return evalLibraryScript(interp, utf8ToObj(bytes.data(), bytes.size()), fileName, evalFlags);
    }
    if (bytes.size() < kHeaderLength) {
        Tcl_AppendResult(interp, "truncated script library \"", fileName, "\"", nullptr);
        return TCL_ERROR;
    }
    uint32_t length = getU32(bytes.data() + kMagicLength);
    uint32_t crc = getU32(bytes.data() + kMagicLength + 4);
    uint64_t packed = bytes.size() - kHeaderLength;
    if (length > kMaxScript || length > packed * kMaxInflateRatio + 64) {
        Tcl_AppendResult(interp, "invalid script library \"", fileName, "\"", nullptr);
        return TCL_ERROR;
    }
    std::vector<unsigned char> script(length == 0 ? 1 : length);
    uLongf produced = length;
    int z = uncompress(script.data(), &produced, bytes.data() + kHeaderLength,
                       static_cast<uLong>(bytes.size() - kHeaderLength));
    if (z != Z_OK || produced != length ||
        crc32(crc32(0L, Z_NULL, 0), script.data(), static_cast<uInt>(length)) != crc) {
        Tcl_AppendResult(interp, "corrupt or truncated script library \"", fileName, "\"", nullptr);
        return TCL_ERROR;
    }
    return evalLibraryScript(interp, utf8ToObj(script.data(), length), fileName, evalFlags);
}

int scriptLibrarySave(Tcl_Interp *interp, const char *outFile, int nInputs, const char *const *inFiles)
{
    std::vector<unsigned char> script;
    for (int i = 0; i < nInputs; i++) {
        std::vector<unsigned char> bytes;
        if (!readFile(interp, inFiles[i], bytes)) {
            return TCL_ERROR;
        }
        script.insert(script.end(), bytes.begin(), bytes.end());
        if (!script.empty() && script.back() != '\n') {
            script.push_back('\n');  // keep the last line of one file apart from the next file
        }
        if (script.size() > kMaxScript) {
            Tcl_AppendResult(interp, "script library too large", nullptr);
            return TCL_ERROR;
        }
    }
    uLongf packedLength = compressBound(static_cast<uLong>(script.size()));
    std::vector<unsigned char> file(kHeaderLength + packedLength);
    std::memcpy(file.data(), kMagic, kMagicLength);
    putU32(file.data() + kMagicLength, static_cast<uint32_t>(script.size()));
    putU32(file.data() + kMagicLength + 4,
           static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), script.data(), static_cast<uInt>(script.size()))));
    if (compress2(file.data() + kHeaderLength, &packedLength, script.data(), static_cast<uLong>(script.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        Tcl_AppendResult(interp, "Error in compress", nullptr);
        return TCL_ERROR;
    }
    file.resize(kHeaderLength + packedLength);

    /* Through a replacement: a failure leaves an existing library as it
     * was, and no fixed temporary name can be planted. */
    if (replaceWithBytes(outFile, file.data(), file.size()) != REPLACE_DONE) {
        Tcl_AppendResult(interp, "error writing \"", outFile, "\": ", Tcl_PosixError(interp), nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int loadScriptLibraries(Tcl_Interp *interp, const char *listVar)
{
    const char *list = Tcl_GetVar(interp, listVar, TCL_GLOBAL_ONLY);
    if (list == nullptr) {
        return TCL_OK;
    }
    int count = 0;
    const char **names = nullptr;
    if (Tcl_SplitList(interp, list, &count, &names) != TCL_OK) {
        return TCL_ERROR;
    }
    const char *found = getGimgHome(interp);
    if (found == nullptr) {
        Tcl_Free(reinterpret_cast<char *>(names));
        return TCL_ERROR;
    }
    std::string home = found;
    int code = TCL_OK;
    for (int i = 0; i < count && code == TCL_OK; i++) {
        const char *parts[] = {home.c_str(), names[i]};
        Tcl_DString path;
        Tcl_DStringInit(&path);
        Tcl_JoinPath(2, parts, &path);
        code = scriptLibraryLoad(interp, Tcl_DStringValue(&path), TCL_EVAL_GLOBAL);
        Tcl_DStringFree(&path);
    }
    Tcl_Free(reinterpret_cast<char *>(names));
    return code;
}
