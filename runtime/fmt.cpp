/*
 * fmt.cpp --
 *
 *	Formatting helpers: fmt, which formats short texts into a shared ring
 *	without allocating, and the growable formatting behind the package's
 *	printf family.
 */
#include "runtime/console.h"

#include <cstdio>

namespace {
constexpr std::size_t kRingSize = 16384;
constexpr std::size_t kRingWrap = 15360;  // past this, the next text starts at 0
constexpr std::size_t kTextLimit = 1024;  // one text with its NUL
char ring[kRingSize];
std::size_t ringOffset = 0;
}

extern "C" const char *fmt(const char *format, ...)
{
    if (ringOffset > kRingWrap) {
        ringOffset = 0;
    }
    char *text = ring + ringOffset;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, kTextLimit, format, args);
    va_end(args);
    if (n < 0) {
        text[0] = '\0';
        n = 0;
    } else if (static_cast<std::size_t>(n) >= kTextLimit) {
        n = kTextLimit - 1;
    }
    ringOffset += static_cast<std::size_t>(n) + 1;
    return text;
}

bool formatV(std::string &out, const char *format, va_list args)
{
    char small[1024];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) {
        return false;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
        return true;
    }
    out.resize(static_cast<std::size_t>(n) + 1);
    va_copy(copy, args);
    n = std::vsnprintf(out.data(), out.size(), format, copy);
    va_end(copy);
    if (n < 0) {
        return false;
    }
    out.resize(static_cast<std::size_t>(n));
    return true;
}

bool formatText(std::string &out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = formatV(out, format, args);
    va_end(args);
    return ok;
}
