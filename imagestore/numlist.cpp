/*
 * numlist.cpp --
 *
 *	Comma-separated number lists (see numlist.h), read in place without a
 *	work copy of the text.
 */
#include "imagestore/numlist.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include "runtime/cnumber.h"

namespace {

/* Calls store(index, start) for every non-empty item of text (start points
 * at its first character; the number read there stops at its comma);
 * answers the number of items. */
template <typename Store>
int eachItem(const char *text, Store store)
{
    if (text == nullptr) {
        return 0;
    }
    int items = 0;
    const char *p = text;
    while (*p != '\0') {
        const char *end = std::strchr(p, ',');
        size_t length = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
        if (length > 0) {
            store(items, p);
            items++;
        }
        p += length;
        if (*p == ',') {
            p++;
        }
    }
    return items;
}

}  // namespace

int passFloats(const char *text, float *values, int n)
{
    bool finite = true;
    int items = eachItem(text, [&](int index, const char *item) {
        double value = 0;
        if (!cToolNumber(item, &value)) {
            finite = false;
        } else if (index < n) {
            values[index] = static_cast<float>(value);
        }
    });
    return finite ? items : -1;
}

int passLongs(const char *text, long *values, int n)
{
    return eachItem(text, [&](int index, const char *item) {
        if (index < n) {
            values[index] = std::strtol(item, nullptr, 10);
        }
    });
}
