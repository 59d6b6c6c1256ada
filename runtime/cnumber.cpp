/*
 * cnumber.cpp --
 *
 *	Numbers read and printed in the C locale (see cnumber.h): the one C
 *	locale object of the package, strtod through it, and a scope that
 *	switches the calling thread to it for printf and scanf.
 */
#include "runtime/cnumber.h"

#include <cstdarg>
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

}  // namespace

double cStrtod(const char *text, char **end)
{
    locale_t c = cLocale();
    return c != static_cast<locale_t>(0) ? strtod_l(text, end, c) : std::strtod(text, end);
}

bool cWholeNumber(const char *text, double *value)
{
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char *end = nullptr;
    double v = cStrtod(text, &end);
    if (*end != '\0') {
        return false;
    }
    if (value != nullptr) {
        *value = v;
    }
    return true;
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
