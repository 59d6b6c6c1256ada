/*
 * textcodec.h --
 *
 *	Text read from a file and text written to one: the file's bytes,
 *	through the encoding the format declares (or the system encoding when
 *	it declares none), become a Tcl string; a Tcl string becomes the bytes
 *	of that encoding again, so text read and written unedited keeps its
 *	bytes.
 */
#ifndef TESK_RUNTIME_TEXTCODEC_H
#define TESK_RUNTIME_TEXTCODEC_H

#include <cstddef>
#include <string>

#include <tcl.h>

/*
 * The n bytes at bytes, read through enc (null: the system encoding), as a
 * new Tcl string with no reference held. Bytes the encoding does not map
 * come through as Tcl's conversion gives them; NUL bytes are kept.
 */
Tcl_Obj *textDecode(Tcl_Encoding enc, const char *bytes, std::size_t n);

/*
 * The n bytes of Tcl (UTF-8) text at utf, written in enc (null: the system
 * encoding). A character the encoding cannot hold becomes the encoding's
 * fallback character ("?" for the single-byte ones).
 */
std::string textEncode(Tcl_Encoding enc, const char *utf, std::size_t n);

/*
 * The same two through an encoding named as Tcl names it ("iso8859-1",
 * "cp1252", ...; null: the system encoding). An unknown name reads and
 * writes through the system encoding.
 */
Tcl_Obj *textDecodeAs(const char *encoding, const char *bytes, std::size_t n);
std::string textEncodeAs(const char *encoding, const char *utf, std::size_t n);

#endif /* TESK_RUNTIME_TEXTCODEC_H */
