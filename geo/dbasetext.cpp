/*
 * dbasetext.cpp --
 *
 *	dBase text encodings: .cpg texts and language-driver bytes to Tcl
 *	encodings, the .cpg file read beside a table and written beside a
 *	saved one, and script text encoded into a cell of limited length at a
 *	character boundary.
 */
#include "geo/dbasetext.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "runtime/replace.h"
#include "runtime/textcodec.h"
#include "runtime/util.h"

namespace {

/* The code pages of the language drivers (the dBase and FoxPro list). */
constexpr struct {
    unsigned char driver;
    const char *encoding;
} kDrivers[] = {
    {0x01, "cp437"},  {0x02, "cp850"},  {0x03, "cp1252"},      {0x04, "macRoman"},    {0x08, "cp865"},
    {0x09, "cp437"},  {0x0A, "cp850"},  {0x0B, "cp437"},       {0x0D, "cp437"},       {0x0E, "cp850"},
    {0x0F, "cp437"},  {0x10, "cp850"},  {0x11, "cp437"},       {0x12, "cp850"},       {0x13, "cp932"},
    {0x14, "cp850"},  {0x15, "cp437"},  {0x16, "cp850"},       {0x17, "cp865"},       {0x18, "cp437"},
    {0x19, "cp437"},  {0x1A, "cp850"},  {0x1B, "cp437"},       {0x1C, "cp863"},       {0x1D, "cp850"},
    {0x1F, "cp852"},  {0x22, "cp852"},  {0x23, "cp852"},       {0x24, "cp860"},       {0x25, "cp850"},
    {0x26, "cp866"},  {0x37, "cp850"},  {0x40, "cp852"},       {0x4D, "cp936"},       {0x4E, "cp949"},
    {0x4F, "cp950"},  {0x50, "cp874"},  {0x57, "cp1252"},      {0x58, "cp1252"},      {0x59, "cp1252"},
    {0x64, "cp852"},  {0x65, "cp866"},  {0x66, "cp865"},       {0x67, "cp861"},       {0x6A, "cp737"},
    {0x6B, "cp857"},  {0x6C, "cp863"},  {0x78, "cp950"},       {0x79, "cp949"},       {0x7A, "cp936"},
    {0x7B, "cp932"},  {0x7C, "cp874"},  {0x7D, "cp1255"},      {0x7E, "cp1256"},      {0x86, "cp737"},
    {0x87, "cp852"},  {0x88, "cp857"},  {0x96, "macCyrillic"}, {0x97, "macCentEuro"}, {0x98, "macGreek"},
    {0xC8, "cp1250"}, {0xC9, "cp1251"}, {0xCA, "cp1254"},      {0xCB, "cp1253"},      {0xCC, "cp1257"},
};

/* Windows code page numbers that are not "cp" followed by the number. */
constexpr struct {
    int codePage;
    const char *encoding;
} kCodePages[] = {
    {65001, "utf-8"},       {20866, "koi8-r"},      {21866, "koi8-u"},     {10000, "macRoman"},   {10006, "macGreek"},
    {10007, "macCyrillic"}, {10029, "macCentEuro"}, {28603, "iso8859-13"}, {28605, "iso8859-15"},
};

/* True when Tcl has an encoding of that name. */
bool tclKnows(const std::string &name)
{
    Tcl_Encoding enc = Tcl_GetEncoding(nullptr, name.c_str());
    if (enc == nullptr) {
        return false;
    }
    Tcl_FreeEncoding(enc);
    return true;
}

/* The rest of text after prefix, or nullptr. */
const char *after(const char *text, const char *prefix)
{
    size_t n = std::strlen(prefix);
    return std::strncmp(text, prefix, n) == 0 ? text + n : nullptr;
}

/* A whole text of 1 to 5 digits as a number, else -1. */
int codePageNumber(const char *text)
{
    size_t n = std::strlen(text);
    if (n == 0 || n > 5 || !std::all_of(text, text + n, [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::atoi(text);
}

/* The encoding name of an upper-case .cpg text, not yet checked with Tcl. */
std::string nameOf(const std::string &text)
{
    if (text == "UTF-8" || text == "UTF8") {
        return "utf-8";
    }
    const char *rest = after(text.c_str(), "ISO");
    rest = rest != nullptr ? rest + std::strspn(rest, "-_ ") : text.c_str();
    if (const char *part = after(rest, "8859")) {
        part += std::strspn(part, "-_");
        return codePageNumber(part) > 0 ? std::string("iso8859-") + part : std::string();
    }
    for (const char *prefix : {"ANSI ", "CP", "WINDOWS-", ""}) {
        const char *number = after(text.c_str(), prefix);
        int codePage = number != nullptr ? codePageNumber(number) : -1;
        if (codePage < 0) {
            continue;
        }
        for (const auto &row : kCodePages) {
            if (row.codePage == codePage) {
                return row.encoding;
            }
        }
        if (codePage >= 28591 && codePage <= 28599) {
            return "iso8859-" + std::to_string(codePage - 28590);
        }
        return "cp" + std::to_string(codePage);
    }
    return {};
}

/* The .cpg file beside a table: its extension replaced. */
std::string codePageFile(const char *fileName, const char *extension)
{
    std::string name(fileName);
    size_t slash = name.rfind('/');
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        name.erase(dot);
    }
    return name + extension;
}

/* The text of a small regular file, trimmed; false when there is none. */
bool readSmallText(const std::string &path, std::string *text)
{
    std::string bytes;
    if (readRegularFile(path.c_str(), 256, &bytes) != 0) {
        return false;
    }
    auto blank = [](unsigned char c) { return std::isspace(c) != 0 || c == 0; };
    size_t a = 0, b = bytes.size();
    while (a < b && blank(static_cast<unsigned char>(bytes[a]))) {
        a++;
    }
    while (b > a && blank(static_cast<unsigned char>(bytes[b - 1]))) {
        b--;
    }
    *text = bytes.substr(a, b - a);
    return true;
}

}  // namespace

std::string dBaseCodePageEncoding(const std::string &text)
{
    std::string upper(text);
    for (char &c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string name = nameOf(upper);
    if (!name.empty() && tclKnows(name)) {
        return name;
    }
    /* Tcl's own names: lower case, but for the Mac ones. */
    std::string lower(text);
    for (char &c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const std::string &own : {text, lower}) {
        if (!own.empty() && tclKnows(own)) {
            return own;
        }
    }
    return {};
}

const char *dBaseDriverEncoding(unsigned char driver)
{
    for (const auto &row : kDrivers) {
        if (row.driver == driver) {
            return tclKnows(row.encoding) ? row.encoding : nullptr;
        }
    }
    return nullptr;
}

Tcl_Encoding dBaseFileEncoding(const char *fileName, unsigned char driver, std::string *codePage)
{
    codePage->clear();
    std::string text;
    for (const char *extension : {".cpg", ".CPG"}) {
        if (!readSmallText(codePageFile(fileName, extension), &text)) {
            continue;
        }
        std::string name = dBaseCodePageEncoding(text);
        if (!name.empty()) {
            *codePage = text;
            return Tcl_GetEncoding(nullptr, name.c_str());
        }
        break;
    }
    const char *name = dBaseDriverEncoding(driver);
    return name != nullptr ? Tcl_GetEncoding(nullptr, name) : nullptr;
}

bool dBaseEncodeCut(Tcl_Encoding enc, const char *utf, size_t n, size_t maxBytes, std::string *bytes)
{
    std::string out = textEncode(enc, utf, n);
    const char *end = utf + n;
    if (out.size() > maxBytes) {
        /* Every character takes a byte at least: no more than maxBytes of
         * them can fit; then whole characters come off the end until the
         * rest fits. */
        const char *limit = end;
        end = utf;
        for (size_t k = 0; k < maxBytes && end < limit; k++) {
            end = std::min(Tcl_UtfNext(end), limit);
        }
        while ((out = textEncode(enc, utf, static_cast<size_t>(end - utf))).size() > maxBytes && end > utf) {
            end = Tcl_UtfPrev(end, utf);
        }
    }
    /* The encoder writes a stand-in for what enc cannot hold: the bytes
     * must read back as the text they came from. */
    if (dBaseDecode(enc, out.data(), out.size()) != std::string_view(utf, static_cast<size_t>(end - utf))) {
        return false;
    }
    *bytes = std::move(out);
    return true;
}

std::string dBaseDecode(Tcl_Encoding enc, const char *bytes, size_t n)
{
    Tcl_Obj *text = textDecode(enc, bytes, n);
    Tcl_IncrRefCount(text);
    int length = 0;
    const char *utf = Tcl_GetStringFromObj(text, &length);
    std::string out(utf, static_cast<size_t>(length));
    Tcl_DecrRefCount(text);
    return out;
}

bool dBaseCodePageCollides(const char *fileName)
{
    for (const char *extension : {".cpg", ".CPG"}) {
        if (sameReplaceTarget(fileName, codePageFile(fileName, extension).c_str())) {
            return true;
        }
    }
    return false;
}

bool dBaseCodePageToWrite(const char *fileName, const std::string &codePage, std::string *path)
{
    *path = codePageFile(fileName, ".cpg");
    std::string now;
    for (const char *extension : {".cpg", ".CPG"}) {
        std::string name = codePageFile(fileName, extension);
        if (!readSmallText(name, &now)) {
            continue;
        }
        if (now == codePage) {
            return false;
        }
        *path = name; /* the file a reader finds first is the one replaced */
        break;
    }
    return true;
}
