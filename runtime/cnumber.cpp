/*
 * cnumber.cpp --
 *
 *	Numbers read and printed in the C locale (see cnumber.h): the one C
 *	locale object of the package, strtod through it, and a scope that
 *	switches the calling thread to it for printf and scanf.
 */
#include "runtime/cnumber.h"

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include "runtime/console.h"

namespace {

/* The C locale, made once; null only when newlocale failed, and then the
 * process's own locale is used. */
locale_t cLocale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

/* One number of text as scanf's "%f" or "%lf" reads it (in whatever
 * locale the thread has); false when there is none. */
bool scanOne(const char *text, float *value, int *used)
{
    return std::sscanf(text, "%f%n", value, used) == 1;
}

bool scanOne(const char *text, double *value, int *used)
{
    return std::sscanf(text, "%lf%n", value, used) == 1;
}

template <typename T>
int scanNumbers(const char *text, T *values, int n, char separator, const char **end)
{
    CLocaleScope inC;
    const char *p = text;
    int count = 0;
    for (; count < n; count++) {
        const char *q = p;
        if (count > 0 && separator != ' ') {
            if (*q != separator) {
                break;
            }
            q++;
        }
        T value;
        int used = 0;
        if (!scanOne(q, &value, &used) || !std::isfinite(value)) {
            break;
        }
        values[count] = value;
        p = q + used;
    }
    if (end != nullptr) {
        *end = p;
    }
    return count;
}

}  // namespace

double cStrtod(const char *text, char **end)
{
    locale_t c = cLocale();
    return c != static_cast<locale_t>(0) ? strtod_l(text, end, c) : std::strtod(text, end);
}

float cStrtof(const char *text, char **end)
{
    locale_t c = cLocale();
    return c != static_cast<locale_t>(0) ? strtof_l(text, end, c) : std::strtof(text, end);
}

bool cReadNumber(const char *text, double *value, const char **end, int allow)
{
    char *past = nullptr;
    double v = cStrtod(text, &past);
    if (end != nullptr) {
        *end = past;
    }
    if (past == text || !cNumberAllowed(v, allow)) {
        return false;
    }
    *value = v;
    return true;
}

int cScanNumbers(const char *text, float *values, int n, char separator, const char **end)
{
    return scanNumbers(text, values, n, separator, end);
}

int cScanNumbers(const char *text, double *values, int n, char separator, const char **end)
{
    return scanNumbers(text, values, n, separator, end);
}

bool cScanNumber(FILE *stream, double *value)
{
    CLocaleScope inC;
    return std::fscanf(stream, "%lf", value) == 1;
}

bool cNumberAllowed(double value, int allow)
{
    if (std::isnan(value)) {
        return (allow & cAllowNaN) != 0;
    }
    return std::isfinite(value) || (allow & cAllowInfinite) != 0;
}

bool cWholeNumber(const char *text, double *value, int allow)
{
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char *end = nullptr;
    double v = cStrtod(text, &end);
    if (*end != '\0' || end == text || !cNumberAllowed(v, allow)) {
        return false;
    }
    if (value != nullptr) {
        *value = v;
    }
    return true;
}

bool cToolNumber(const char *text, double *value)
{
    double v = cStrtod(text);
    if (!(std::fabs(v) <= FLT_MAX)) {
        return false;
    }
    *value = v;
    return true;
}

int cGetDoubleFromObj(Tcl_Interp *interp, Tcl_Obj *object, double *value, int allow)
{
    double v = 0.0;
    /* Tcl refuses "nan" itself, and words that are no number, with its own
     * messages. */
    if ((allow & cAllowNaN) == 0 && Tcl_GetDoubleFromObj(interp, object, &v) != TCL_OK) {
        return TCL_ERROR;
    }
    bool read = (allow & cAllowNaN) == 0 || Tcl_GetDoubleFromObj(nullptr, object, &v) == TCL_OK;
    if (!read) {
        const char *text = Tcl_GetString(object);
        const char *start = text + std::strspn(text, " \t\n\v\f\r");
        std::string word(start, std::strcspn(start, " \t\n\v\f\r"));
        read = cWholeNumber(word.c_str(), &v, cAllowNaN) &&
               start[word.size() + std::strspn(start + word.size(), " \t\n\v\f\r")] == '\0';
    }
    if (!read || !cNumberAllowed(v, allow)) {
        if (interp != nullptr) {
            Tcl_SetObjResult(interp,
                             Tcl_ObjPrintf("expected floating-point number but got \"%s\"", Tcl_GetString(object)));
            Tcl_SetErrorCode(interp, "TCL", "VALUE", "NUMBER", nullptr);
        }
        return TCL_ERROR;
    }
    *value = v;
    return TCL_OK;
}

int cNoFiniteAnswer(Tcl_Interp *interp, const char *what)
{
    Tcl_SetResult(interp, const_cast<char *>("no finite answer"), TCL_STATIC);
    if (what != nullptr) {
        Tcl_AppendResult(interp, " for ", what, nullptr);
    }
    return TCL_ERROR;
}

bool cAllFinite(const double *values, int n)
{
    for (int i = 0; i < n; i++) {
        if (!std::isfinite(values[i])) {
            return false;
        }
    }
    return true;
}

int cGetDouble(Tcl_Interp *interp, const char *text, double *value, int allow)
{
    Tcl_Obj *object = Tcl_NewStringObj(text, -1);
    Tcl_IncrRefCount(object);
    int code = cGetDoubleFromObj(interp, object, value, allow);
    Tcl_DecrRefCount(object);
    return code;
}

std::string cFormat(const char *format, ...)
{
    std::string text;
    CLocaleScope inC;
    va_list args;
    va_start(args, format);
    if (!formatV(text, format, args)) {
        text.clear();
    }
    va_end(args);
    return text;
}

CLocaleScope::CLocaleScope() : previous(nullptr)
{
    if (locale_t c = cLocale()) {
        previous = uselocale(c);
    }
}

CLocaleScope::~CLocaleScope()
{
    if (previous != nullptr) {
        uselocale(static_cast<locale_t>(previous));
    }
}
