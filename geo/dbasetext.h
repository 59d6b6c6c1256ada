/*
 * dbasetext.h --
 *
 *	The text encoding of a dBase table's cells: the one a .cpg file beside
 *	the table names, else the one its language-driver byte stands for,
 *	else the system encoding; and script text put into a cell in that
 *	encoding, cut at a character boundary. Serves the table layer
 *	(dbase.cpp).
 */
#ifndef TESK_GEO_DBASETEXT_H
#define TESK_GEO_DBASETEXT_H

#include <cstddef>
#include <string>

#include <tcl.h>

enum { DBASE_DRIVER_BYTE = 29 }; /* header byte of the language driver (0: none declared) */

/* The Tcl name of the encoding a .cpg text names: a code page number,
 * bare or after "ANSI ", "CP" or "WINDOWS-" ("1252", "ANSI 1251",
 * "65001"), "UTF-8", an ISO 8859 name ("ISO-8859-1", "88591") or one of
 * Tcl's own names, in any case; "" when Tcl has no such encoding. */
std::string dBaseCodePageEncoding(const std::string &text);

/* The Tcl name of the encoding a language-driver byte stands for; NULL for
 * 0 and for drivers whose code page Tcl has no encoding for. */
const char *dBaseDriverEncoding(unsigned char driver);

/* The encoding of the table file fileName whose driver byte is given: the
 * one its .cpg file names (fileName's extension replaced by .cpg or .CPG),
 * whose text is then left in *codePage, else the driver's; NULL for the
 * system encoding (*codePage empty). A non-null result holds a reference
 * that the caller gives back with Tcl_FreeEncoding. */
Tcl_Encoding dBaseFileEncoding(const char *fileName, unsigned char driver, std::string *codePage);

/* The n bytes of Tcl text at utf in enc (NULL: the system encoding) into
 * *bytes, at most maxBytes of them: a text that does not fit loses its
 * last whole characters, never part of one. False (*bytes unset) when a
 * character that fits has no form in enc: nothing is written as a
 * stand-in. */
bool dBaseEncodeCut(Tcl_Encoding enc, const char *utf, std::size_t n, std::size_t maxBytes, std::string *bytes);

/* The n bytes at bytes, in enc (NULL: the system encoding), as Tcl text. */
std::string dBaseDecode(Tcl_Encoding enc, const char *bytes, std::size_t n);

/* True when a .cpg file that dBaseCodePageToWrite may name beside fileName
 * is fileName itself (a table saved as "t.cpg"). */
bool dBaseCodePageCollides(const char *fileName);

/* The .cpg file beside fileName that must be written for it to hold the
 * text codePage: the one dBaseFileEncoding reads first, .cpg when there
 * is none. False (no file to write) when that file holds codePage
 * already. */
bool dBaseCodePageToWrite(const char *fileName, const std::string &codePage, std::string *path);

#endif /* TESK_GEO_DBASETEXT_H */
