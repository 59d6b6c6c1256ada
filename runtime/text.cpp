/*
 * text.cpp --
 *
 *	Small text tests: plain signed integers, numbers as strtod reads them
 *	(in the C locale), and a case-blind comparison that tolerates missing
 *	texts.
 */

#include <cctype>

#include "runtime/cnumber.h"
#include "runtime/util.h"

/*
 * 1 when every character is a decimal digit, except that the first may
 * also be "+", "-" or a blank; 0 otherwise (trailing blanks included). The
 * empty text and a lone sign give 1; a missing text gives 0.
 */
int isIntegerString(const char *text)
{
    if (text == nullptr) {
        return 0;
    }
    const char *p = text;
    if (*p == '+' || *p == '-' || *p == ' ') {
        ++p;
    }
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return 0;
        }
    }
    return 1;
}

/*
 * 1 when strtod, read in the C locale, consumes the whole text (the empty
 * text gives 1); 0 otherwise and for a missing text.
 */
int isNumberString(const char *text)
{
    if (text == nullptr) {
        return 0;
    }
    return *text == '\0' || cWholeNumber(text, nullptr, cAllowNonFinite);
}

/*
 * Compares a and b character by character after upper-casing both: the
 * difference of the first differing pair, 0 when equal. A missing text
 * sorts before any text; two missing texts are equal.
 */
int strCaseCmp(const char *a, const char *b)
{
    if (a == nullptr || b == nullptr) {
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    }
    const auto *p = reinterpret_cast<const unsigned char *>(a);
    const auto *q = reinterpret_cast<const unsigned char *>(b);
    for (;; ++p, ++q) {
        int x = std::toupper(*p);
        int y = std::toupper(*q);
        if (x != y || *p == '\0') {
            return x - y;
        }
    }
}
