/*
 * calc_misc.cpp --
 *
 *	The utility subcommands of calc: band lists (bands), a Tk bitmap from
 *	a photo's alpha (bitmap), character codes (chars), the console cursor
 *	(clrscr, gotoxy), list correlation (correl), the zlib round trip
 *	(comptest) and the C library's random numbers (rand, srand, rrand,
 *	scramble).
 */
#include "runtime/calc_parts.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>
#include <tk.h>
#include <zlib.h>
#include "runtime/cnumber.h"
#include "runtime/console.h"
#include "runtime/startup.h"
#include "tesk_stdio.h"

namespace {

/* glibc's rand() reaches 2147483647: its low 15 bits give 0 .. 32767. */
constexpr int kRandMax = 32767;

int rand15()
{
    return std::rand() & kRandMax;
}

/* Reads a Tcl list of numbers into values; false with Tcl's message. */
bool getFloatList(Tcl_Interp *interp, const char *text, std::vector<float> &values)
{
    Tcl_Obj *list = Tcl_NewStringObj(text, -1);
    Tcl_IncrRefCount(list);
    int n = 0;
    Tcl_Obj **elements = nullptr;
    bool ok = Tcl_ListObjGetElements(interp, list, &n, &elements) == TCL_OK;
    for (int i = 0; ok && i < n; i++) {
        double value = 0;
        ok = cGetDoubleFromObj(interp, elements[i], &value) == TCL_OK;
        values.push_back(static_cast<float>(value));
    }
    Tcl_DecrRefCount(list);
    return ok;
}

/* The best squared correlation of the window found by correl. */
struct Correlation {
    double r2 = 0;  // largest r squared, 0 while none is positive
    int shift = 0;  // its shift along the longer list
};

/* Slides the first n values of shorter along longer (shift s while the
 * shorter length plus s fits in the longer) and keeps the largest r
 * squared, the first shift on ties. Sums are kept in single precision. */
Correlation bestCorrelation(const float *shorter, int shortLength, const float *longer, int longLength, int n)
{
    Correlation best;
    for (int s = 0; shortLength + s <= longLength; s++) {
        float sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        for (int i = 0; i < n; i++) {
            float x = shorter[i], y = longer[s + i];
            sx += x;
            sy += y;
            sxx += x * x;
            syy += y * y;
            sxy += x * y;
        }
        double mx = static_cast<double>(sx) / n, my = static_cast<double>(sy) / n;
        double vx = sxx - n * mx * mx, vy = syy - n * my * my;
        if (!(vx * vy > 0)) {
            continue;
        }
        double r = (sxy - n * mx * my) / std::sqrt(vx) / std::sqrt(vy);
        if (r * r > best.r2) {
            best.r2 = r * r;
            best.shift = s;
        }
    }
    return best;
}

/* A comptest failure: the message to standard error and, with Tesk_Debug
 * at "1", the error information as well. */
void comptestFailed(Tcl_Interp *interp, const std::string &message)
{
    calcPrint(stderr, message);
    if (calcDebugOn(interp)) {
        const char *info = Tcl_GetVar(interp, "errorInfo", TCL_GLOBAL_ONLY);
        calcPrint(stderr, std::string("CompressTest: ") + (info != nullptr ? info : "") + "\n");
    }
}

/* Number of bytes of "0 1 ... n-1" (numbers and single blanks). */
long long numberListLength(long long n)
{
    long long length = n > 0 ? n - 1 : 0;  // blanks
    for (long long low = 0, high = 10, digits = 1; low < n; low = high, high *= 10, digits++) {
        length += (std::min(n, high) - low) * digits;
    }
    return length;
}

/* Sets the result to a permutation of 0 .. count-1 (elements NULL) or of
 * elements, as calc scramble draws it. May throw std::bad_alloc. */
void scrambleInto(Tcl_Interp *interp, int count, const char **elements)
{
    std::vector<int> order(static_cast<std::size_t>(count));
    for (int i = 0; i < count; i++) {
        order[i] = i;
    }
    int limit = std::min(255, count - 1);
    for (int i = 0; i < count; i++) {
        int j = std::min(roundToInt(static_cast<double>(rand15()) * (count - 1) / kRandMax), limit);
        std::swap(order[i], order[j]);
    }
    if (elements != nullptr) {
        for (int i = 0; i < count; i++) {
            Tcl_AppendElement(interp, elements[order[i]]);
        }
        return;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(numberListLength(count)));
    for (int i = 0; i < count; i++) {
        if (i > 0) {
            text += ' ';
        }
        text += std::to_string(order[i]);
    }
    calcSetResult(interp, text);
}

}  // namespace

/* calc bands bandList: prints the pairs of the list, "in out" per line. */
int calcBands(Tcl_Interp *interp, int argc, const char **argv)
{
    const char *text = argc > 2 ? argv[2] : nullptr;
    std::vector<int> in(TESK_MAX_BAND_PAIRS), out(TESK_MAX_BAND_PAIRS);
    int n = parseBandParams(TESK_MAX_BAND_PAIRS, TESK_MAX_BAND_PAIRS, in.data(), out.data(), text);
    if (n <= 0) {
        tesk_fprintf(stderr, "Error in parse bands: %s\n", text != nullptr ? text : "");
        return TCL_OK;
    }
    std::string lines;
    for (int i = 0; i < n; i++) {
        lines += std::to_string(in[i]) + " " + std::to_string(out[i]) + "\n";
    }
    calcPrint(stdout, lines);
    return TCL_OK;
}

/*
 * calc bitmap photoName --
 *	Defines the Tk bitmap "test" from the photo: a bit per pixel, set where
 *	the alpha is non-zero, least significant bit first, rows padded to whole
 *	bytes. Tk keeps the bits for the life of the process.
 */
int calcBitmap(Tcl_Interp *interp, int argc, const char **argv)
{
    if (!teskHasTk(interp)) {
        Tcl_SetResult(interp, const_cast<char *>("calc bitmap needs Tk"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (argc != 3) {
        Tcl_SetResult(interp, const_cast<char *>("Usage: calc bitmap photoName"), TCL_STATIC);
        return TCL_ERROR;
    }
    Tk_PhotoHandle photo = Tk_FindPhoto(interp, argv[2]);
    if (photo == nullptr) {
        Tcl_AppendResult(interp, "can't find photo image \"", argv[2], "\"", nullptr);
        return TCL_ERROR;
    }
    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    /* An X pixmap needs a size of 1 .. 32767 each way. */
    if (block.width < 1 || block.height < 1 || block.width > 32767 || block.height > 32767) {
        Tcl_AppendResult(interp, "photo image \"", argv[2], "\" is empty or too large for a bitmap", nullptr);
        return TCL_ERROR;
    }
    std::size_t rowBytes = (static_cast<std::size_t>(block.width) + 7) / 8;
    std::size_t size = rowBytes * static_cast<std::size_t>(block.height);
    auto *bits = static_cast<unsigned char *>(gmemAlloc(size));
    if (bits == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("not enough memory for the bitmap"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::memset(bits, 0, size);
    bool hasAlpha = block.pixelSize >= 4 && block.offset[3] >= 0 && block.offset[3] < block.pixelSize;
    for (int y = 0; y < block.height; y++) {
        const unsigned char *pixel = block.pixelPtr + static_cast<std::ptrdiff_t>(y) * block.pitch;
        unsigned char *row = bits + static_cast<std::size_t>(y) * rowBytes;
        for (int x = 0; x < block.width; x++, pixel += block.pixelSize) {
            if (!hasAlpha || pixel[block.offset[3]] != 0) {
                row[x >> 3] |= static_cast<unsigned char>(1u << (x & 7));
            }
        }
    }
    if (Tk_DefineBitmap(interp, "test", bits, block.width, block.height) != TCL_OK) {
        gmemFree(bits);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* calc chars characters ?offset?: each character's code plus offset, "%d ". */
int calcChars(Tcl_Interp *interp, int argc, const char **argv)
{
    int offset = 0;
    if (argc != 3 && argc != 4) {
        Tcl_SetResult(interp, const_cast<char *>("Usage: calc chars characters [offset]\n"), TCL_STATIC);
        return TCL_OK;
    }
    if (argc == 4 && Tcl_GetInt(interp, argv[3], &offset) != TCL_OK) {
        return TCL_ERROR;
    }
    std::string codes;
    for (const char *p = argv[2]; *p != '\0';) {
        Tcl_UniChar c = 0;
        p += Tcl_UtfToUniChar(p, &c);
        codes += std::to_string(static_cast<long long>(c) + offset) + " ";
    }
    calcSetResult(interp, codes);
    return TCL_OK;
}

/* calc clrscr: clears the console. */
int calcClrscr(Tcl_Interp *interp, int argc, const char **argv)
{
    consoleClear();
    return TCL_OK;
}

/* calc gotoxy x y text: moves the console cursor and prints text there. */
int calcGotoxy(Tcl_Interp *interp, int argc, const char **argv)
{
    int x = 0, y = 0;
    if (argc != 5 || Tcl_GetInt(nullptr, argv[2], &x) != TCL_OK || Tcl_GetInt(nullptr, argv[3], &y) != TCL_OK) {
        Tcl_SetResult(interp, const_cast<char *>("Usage: calc gotoxy x y text\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    consoleGotoXY(x, y);
    calcPrint(stdout, argv[4]);
    return TCL_OK;
}

/*
 * calc correl list1 list2 ?start? ?n? --
 *	The largest squared Pearson correlation of a window of n values (default
 *	4096) of the shorter list slid along the longer, both read from
 *	position start: "r2 shift", or empty when no r squared is positive.
 */
int calcCorrel(Tcl_Interp *interp, int argc, const char **argv)
{
    int start = 0, n = 4096;
    if (argc < 4 || argc > 6 || (argc > 4 && (Tcl_GetInt(nullptr, argv[4], &start) != TCL_OK || start < 0)) ||
        (argc > 5 && (Tcl_GetInt(nullptr, argv[5], &n) != TCL_OK || n < 0))) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " list1 list2 start n", nullptr);
        return TCL_ERROR;
    }
    std::vector<float> a, b;
    if (!getFloatList(interp, argv[2], a) || !getFloatList(interp, argv[3], b)) {
        return TCL_ERROR;
    }
    int lengthA = static_cast<int>(a.size()) - start;
    int lengthB = static_cast<int>(b.size()) - start;
    n = std::min({n, lengthA, lengthB});
    if (n <= 0) {
        Tcl_SetResult(interp, const_cast<char *>("Empty input lists."), TCL_STATIC);
        return TCL_ERROR;
    }
    bool aShorter = lengthA <= lengthB;
    Correlation best = aShorter ? bestCorrelation(a.data() + start, lengthA, b.data() + start, lengthB, n)
                                : bestCorrelation(b.data() + start, lengthB, a.data() + start, lengthA, n);
    if (best.r2 > 0) {
        calcSetResult(interp, cFormat("%.8f %d", best.r2, best.shift));
    }
    return TCL_OK;
}

/*
 * calc comptest varName --
 *	Compresses the variable's text with its NUL, expands it again, compares
 *	and prints the lengths and the ratio.
 */
int calcComptest(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " string.\n", nullptr);
        return TCL_OK;
    }
    const char *text = Tcl_GetVar(interp, argv[2], 0);
    if (text == nullptr) {
        Tcl_AppendResult(interp, "can't find variable named ", argv[2], "\n", nullptr);
        return TCL_ERROR;
    }
    uLong length = static_cast<uLong>(std::strlen(text)) + 1;
    uLong capacity = static_cast<uLong>(static_cast<double>(length) * 1.1) + 1024;
    std::vector<Bytef> packed, unpacked;
    try {
        packed.resize(capacity);
        unpacked.resize(length);
    } catch (const std::bad_alloc &) {
        comptestFailed(interp, "Error in malloc.\n");
        return TCL_OK;
    }
    uLong packedLength = capacity;
    int code = compress(packed.data(), &packedLength, reinterpret_cast<const Bytef *>(text), length);
    if (code != Z_OK) {
        comptestFailed(interp, cFormat("Error in compress: %d\n", code));
        return TCL_OK;
    }
    uLong unpackedLength = length;
    code = uncompress(unpacked.data(), &unpackedLength, packed.data(), packedLength);
    if (code != Z_OK) {
        comptestFailed(interp, cFormat("Error in uncompress: %d\n", code));
        return TCL_OK;
    }
    if (unpackedLength != length || std::memcmp(unpacked.data(), text, length) != 0) {
        comptestFailed(interp, "Error in compressing\n");
        return TCL_OK;
    }
    calcPrint(stdout, cFormat("len: %d compLen: %d compressing ratio: %.6f\n",
                              static_cast<int>(std::min<uLong>(length, INT_MAX)),
                              static_cast<int>(std::min<uLong>(packedLength, INT_MAX)),
                              static_cast<double>(packedLength) / static_cast<double>(length)));
    return TCL_OK;
}

/* calc rand ?seed|max?: a number 0 .. 32767; "max" answers 32767, a seed
 * reseeds the generator first. */
int calcRand(Tcl_Interp *interp, int argc, const char **argv)
{
    int seed = 0;
    if (argc > 3 || (argc == 3 && std::strcmp(argv[2], "max") != 0 && Tcl_GetInt(nullptr, argv[2], &seed) != TCL_OK)) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " [seed|max]", nullptr);
        return TCL_ERROR;
    }
    if (argc == 3 && std::strcmp(argv[2], "max") == 0) {
        calcSetResult(interp, std::to_string(kRandMax));
        return TCL_OK;
    }
    if (argc == 3) {
        std::srand(static_cast<unsigned>(seed));
    }
    calcSetResult(interp, std::to_string(rand15()));
    return TCL_OK;
}

/* calc srand seed: seeds the C library's generator. */
int calcSrand(Tcl_Interp *interp, int argc, const char **argv)
{
    int seed = 0;
    if (argc != 3 || Tcl_GetInt(nullptr, argv[2], &seed) != TCL_OK) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " seed", nullptr);
        return TCL_ERROR;
    }
    std::srand(static_cast<unsigned>(seed));
    return TCL_OK;
}

/* calc rrand ?density?: the mean of density random numbers over 32767. */
int calcRrand(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " [density]", nullptr);
        return TCL_OK;
    }
    int density = 1;
    if (argc == 3 && (Tcl_GetInt(nullptr, argv[2], &density) != TCL_OK || density < 1)) {
        Tcl_SetResult(interp, const_cast<char *>("density must be an integer."), TCL_STATIC);
        return TCL_ERROR;
    }
    double sum = 0;
    for (int i = 0; i < density; i++) {
        sum += rand15();
    }
    calcSetResult(interp, cFormat("%.8f", sum / density / kRandMax));
    return TCL_OK;
}

/*
 * calc scramble n|list --
 *	A random permutation of 0 .. n-1, or of the list's elements: position
 *	i is exchanged with j, the nearest integer to rand * (n-1) / 32767,
 *	limited to 255 and n-1.
 */
int calcScramble(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_AppendResult(interp, "Usage ", argv[0], " ", argv[1], " n|list\n", nullptr);
        return TCL_OK;
    }
    int count = 0;
    const char **elements = nullptr;
    bool numbers = Tcl_GetInt(nullptr, argv[2], &count) == TCL_OK;
    if (!numbers && Tcl_SplitList(interp, argv[2], &count, &elements) != TCL_OK) {
        return TCL_ERROR;
    }
    /* Below 1, or a number list longer than a Tcl result can hold. */
    bool valid = count >= 1 && (!numbers || numberListLength(count) < INT_MAX);
    try {
        if (valid) {
            scrambleInto(interp, count, elements);
        }
    } catch (const std::bad_alloc &) {
        valid = false;
    }
    if (elements != nullptr) {
        Tcl_Free(reinterpret_cast<char *>(elements));
    }
    if (!valid) {
        return calcErrorInfo(interp, "Invalid scramble param.\n");
    }
    return TCL_OK;
}
