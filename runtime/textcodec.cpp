/*
 * textcodec.cpp --
 *
 *	File text to Tcl strings and back through a named or the system
 *	encoding; used by the readers and writers that carry text fields.
 */

#include "runtime/textcodec.h"

#include <climits>

namespace {

/* Tcl 8.6 counts bytes in an int; text fields are far below that. */
int byteCount(std::size_t n)
{
    return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

/* An encoding fetched by name and given back when the holder goes. */
struct HeldEncoding {
    Tcl_Encoding enc;
    explicit HeldEncoding(const char *name)
        : enc(name != nullptr ? Tcl_GetEncoding(nullptr, name) : nullptr) {}
    ~HeldEncoding()
    {
        if (enc != nullptr) {
            Tcl_FreeEncoding(enc);
        }
    }
    HeldEncoding(const HeldEncoding &) = delete;
    HeldEncoding &operator=(const HeldEncoding &) = delete;
};

} // namespace

Tcl_Obj *textDecode(Tcl_Encoding enc, const char *bytes, std::size_t n)
{
    Tcl_DString utf;
    Tcl_ExternalToUtfDString(enc, bytes, byteCount(n), &utf);
    Tcl_Obj *obj = Tcl_NewStringObj(Tcl_DStringValue(&utf), Tcl_DStringLength(&utf));
    Tcl_DStringFree(&utf);
    return obj;
}

std::string textEncode(Tcl_Encoding enc, const char *utf, std::size_t n)
{
    Tcl_DString ext;
    Tcl_UtfToExternalDString(enc, utf, byteCount(n), &ext);
    std::string bytes(Tcl_DStringValue(&ext), static_cast<std::size_t>(Tcl_DStringLength(&ext)));
    Tcl_DStringFree(&ext);
    return bytes;
}

Tcl_Obj *textDecodeAs(const char *encoding, const char *bytes, std::size_t n)
{
    HeldEncoding held(encoding);
    return textDecode(held.enc, bytes, n);
}

std::string textEncodeAs(const char *encoding, const char *utf, std::size_t n)
{
    HeldEncoding held(encoding);
    return textEncode(held.enc, utf, n);
}
