/*
 * cnumber.h --
 *
 *	Numbers read and printed in the C locale, whatever locale the
 *	application or a loaded library has set: the decimal point is always
 *	".". Every module that scans or formats numbers in files, option
 *	values and results goes through these.
 */
#ifndef TESK_RUNTIME_CNUMBER_H
#define TESK_RUNTIME_CNUMBER_H

#include <cstdio>
#include <string>
#include <tcl.h>

/*
 * What a reader of a number a user gives takes beyond finite numbers.
 * Infinities and NaN reach integer conversions, sizes and sums that no
 * later check repairs, so the readers below refuse them unless the caller
 * names them here: a no-data marker or a calculator's operand may be NaN.
 */
enum CNumberAllow {
    cFiniteOnly = 0,      // every finite double, nothing else
    cAllowInfinite = 1,   // plus "inf", "-inf" and values past the double range
    cAllowNaN = 2,        // plus "nan"
    cAllowNonFinite = 3,  // both
};

/* True when value is one that allow (CNumberAllow bits) admits. */
bool cNumberAllowed(double value, int allow = cFiniteOnly);

/*
 * strtod read in the C locale: skips leading white space, reads the
 * longest number there (decimal, hexadecimal, "inf", "nan"), and sets
 * *end (when end is not null) just past it, or to text when there is no
 * number (the answer is 0 then). Out-of-range values give strtod's
 * infinities and zeros, with errno set to ERANGE.
 */
double cStrtod(const char *text, char **end = nullptr);

/* strtof read in the C locale, as cStrtod reads a double. */
float cStrtof(const char *text, char **end = nullptr);

/*
 * The reader of the number at the start of text for parsers of lists and
 * words that a user or a file gives: reads as cStrtod does and sets *end
 * (when end is not null) just past the number, or to text when there is
 * none. True with the number in *value when allow (CNumberAllow bits)
 * admits it; false, *value untouched, when there is no number or allow
 * refuses it ("inf", "nan", 1e999): *end past text tells a refused number
 * from none.
 */
bool cReadNumber(const char *text, double *value, const char **end = nullptr, int allow = cFiniteOnly);

/*
 * Reads up to n numbers from the start of text in the C locale, as sscanf
 * reads them with "%f %f ..." (floats) or "%lf %lf ..." (doubles): each
 * number after leading white space, and before each but the first, the
 * separator character itself when it is not ' ' (as a plain character of a
 * scanf format matches, "%lf,%lf"). Only finite numbers are read: "inf",
 * "nan" and values past the type's range end the reading as a word that is
 * no number does. Answers how many were read; the values beyond keep
 * theirs. *end (when end is not null) is set just past the last number
 * read, or to text when none was.
 */
int cScanNumbers(const char *text, float *values, int n, char separator = ' ', const char **end = nullptr);
int cScanNumbers(const char *text, double *values, int n, char separator = ' ', const char **end = nullptr);

/*
 * Reads the next number of stream as fscanf(stream, "%lf") does, in the C
 * locale; false at the end of the stream or before a word that is no number.
 */
bool cScanNumber(FILE *stream, double *value);

/*
 * True when text is not empty, cStrtod reads all of it (leading white
 * space is allowed, trailing white space is not) and allow (CNumberAllow
 * bits) admits the number; it goes to *value when value is not null.
 * False leaves *value alone.
 */
bool cWholeNumber(const char *text, double *value, int allow = cFiniteOnly);

/*
 * A number a tool option gives, read as the tools read their numbers (the
 * number at the start of text, 0 when there is none): true with it in
 * *value when it is finite and within a float's range (most parameters are
 * kept as floats); false, *value untouched, for "inf", "nan", 1e39 and the
 * like, which the tool refuses with "Invalid value for OPTION: must be
 * finite.".
 */
bool cToolNumber(const char *text, double *value);

/*
 * The reader of a floating value a user gives in a command word or an
 * option: Tcl's number syntax (white space around the number allowed), and
 * only what allow (CNumberAllow bits) admits. TCL_OK with the number in
 * *value; else TCL_ERROR with Tcl's own message for a word that is no number,
 * "expected floating-point number but got "WORD"", in interp when interp is
 * not null, and *value untouched.
 */
int cGetDouble(Tcl_Interp *interp, const char *text, double *value, int allow = cFiniteOnly);
int cGetDoubleFromObj(Tcl_Interp *interp, Tcl_Obj *object, double *value, int allow = cFiniteOnly);

/*
 * The refusal of a command whose answer, or whose kept state, would not be
 * finite from finite words (a number grown past a double's range, a
 * division by zero): sets "no finite answer", followed by " for " and what
 * when what is not null ("no finite answer for point 1e308 0"), as interp's
 * result and answers TCL_ERROR. The caller has changed nothing.
 */
int cNoFiniteAnswer(Tcl_Interp *interp, const char *what = nullptr);

/* True when every one of the n values is finite. */
bool cAllFinite(const double *values, int n);

/*
 * printf into a string in the C locale; the empty string when the format
 * fails.
 */
std::string cFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));

/*
 * While alive, the calling thread's formatting and scanning (printf,
 * scanf and their kin) use the C locale; the thread's previous locale is
 * restored when it goes.
 */
class CLocaleScope {
public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope &) = delete;
    CLocaleScope &operator=(const CLocaleScope &) = delete;

private:
    void *previous;  // the thread's locale_t before; null when none was switched
};

#endif /* TESK_RUNTIME_CNUMBER_H */
