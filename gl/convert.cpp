/*
 * convert.cpp --
 *
 *	Argument conventions of the OpenGL binding: per-command temporaries,
 *	numbers read from words or data-object references, the list parsers,
 *	the array converters, pixel rectangles under GL's pack and unpack
 *	state, the one printer of arrays handed back (glv, variables), and
 *	the count of control points GL and GLU read.
 */
#include "gl/ogl.h"

#include <GL/glu.h>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

/* ---------------------------------------------------------------------
 * Temporaries
 * ------------------------------------------------------------------- */

/* Every live temporary, oldest first; a scope frees back to its mark. */
std::vector<void *> tempStack;
/* OglTemps scopes open now; temporaries are refused outside them. */
int tempDepth = 0;

/* ---------------------------------------------------------------------
 * Numbers
 * ------------------------------------------------------------------- */

constexpr int64_t kReadLimit = std::numeric_limits<int64_t>::max();

/* What separates list words: blanks, tabs, and (so that a list may span
 * lines) newlines and carriage returns; the list parsers add commas. */
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isSeparator(char c)
{
    return isBlank(c) || c == ',';
}

/* The decimal reading of text: leading white space, one sign, digits up to
 * the first non-digit (0 without digits); magnitudes beyond int64 saturate. */
int64_t readDecimal(const char *text)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') {
        p++;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        int digit = *p - '0';
        if (value > (kReadLimit - digit) / 10) {
            value = kReadLimit;
        } else {
            value = value * 10 + digit;
        }
    }
    return negative ? -value : value;
}

/* A floating value truncated toward zero into 64 bits (NaN gives 0, the
 * rest saturates). */
int64_t truncateToInt64(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 9.2233720368547758e18) {
        return kReadLimit;
    }
    if (value <= -9.2233720368547758e18) {
        return -kReadLimit;
    }
    return static_cast<int64_t>(value);
}

/* Element i of an array object as a 64-bit integer (floating elements
 * truncated) or as a double. */
int64_t elementInt(const OglDataObject *object, int64_t i)
{
    const void *data = object->data;
    switch (object->type) {
    case GL_BYTE: return static_cast<const GLbyte *>(data)[i];
    case GL_UNSIGNED_BYTE: return static_cast<const GLubyte *>(data)[i];
    case GL_SHORT: return static_cast<const GLshort *>(data)[i];
    case GL_UNSIGNED_SHORT: return static_cast<const GLushort *>(data)[i];
    case GL_INT: return static_cast<const GLint *>(data)[i];
    case GL_UNSIGNED_INT: return static_cast<const GLuint *>(data)[i];
    case GL_FLOAT: return truncateToInt64(static_cast<const GLfloat *>(data)[i]);
    case GL_DOUBLE: return truncateToInt64(static_cast<const GLdouble *>(data)[i]);
    default: return 0;
    }
}

double elementDouble(const OglDataObject *object, int64_t i)
{
    const void *data = object->data;
    switch (object->type) {
    case GL_FLOAT: return static_cast<const GLfloat *>(data)[i];
    case GL_DOUBLE: return static_cast<const GLdouble *>(data)[i];
    default: return static_cast<double>(elementInt(object, i));
    }
}

bool isFloatingType(int type)
{
    return type == GL_FLOAT || type == GL_DOUBLE;
}

/* The object a word names when it begins with a letter, with the element
 * index the reference reads; nullptr otherwise. */
const OglDataObject *numberObject(const char *word, int64_t *index)
{
    if (!oglIsLetter(word[0])) {
        return nullptr;
    }
    OglRef ref;
    if (!oglDataRef(word, &ref)) {
        return nullptr;
    }
    *index = ref.first;
    return ref.object;
}

/* A word read as an integer in 64 bits: a reference's element, a text's
 * leading decimal integer, or the word's own digits. */
int64_t wordInt64(const char *word)
{
    int64_t index = 0;
    const OglDataObject *object = numberObject(word, &index);
    if (object != nullptr) {
        if (object->type == OGL_STRING) {
            return readDecimal(static_cast<const char *>(object->data));
        }
        return elementInt(object, index);
    }
    return readDecimal(word);
}

/* ---------------------------------------------------------------------
 * Lists
 * ------------------------------------------------------------------- */

/* Fills dst from the word's tokens: read converts one token (pointer to
 * its first character) to T. The last value read repeats to count. */
template <typename T, typename Read>
int64_t parseList(const char *word, T *dst, int64_t count, Read read)
{
    if (word == nullptr || count <= 0) {
        return 0;
    }
    int64_t n = 0;
    const char *p = word;
    while (n < count) {
        while (isSeparator(*p)) {
            p++;
        }
        if (*p == '\0') {
            break;
        }
        dst[n++] = read(p);
        while (*p != '\0' && !isSeparator(*p)) {
            p++;
        }
    }
    for (int64_t i = n; n > 0 && i < count; i++) {
        dst[i] = dst[n - 1];
    }
    return n;
}

template <typename T>
int64_t parseIntList(const char *word, T *dst, int64_t count)
{
    /* Narrowing through the unsigned form of the same width keeps the low
     * bits. */
    return parseList(word, dst, count,
                     [](const char *token) { return static_cast<T>(static_cast<uint64_t>(readDecimal(token))); });
}

template <typename T>
int64_t parseFloatList(const char *word, T *dst, int64_t count)
{
    return parseList(word, dst, count, [](const char *token) { return static_cast<T>(cStrtod(token)); });
}

/* ---------------------------------------------------------------------
 * Arrays
 * ------------------------------------------------------------------- */

/* Copies count elements of src (from element first) into dst of type,
 * integer to integer by the low bits, floating to integer rounded half away
 * from zero and then narrowed, to floating plainly. */
template <typename T>
void convertInto(T *dst, int dstType, const OglDataObject *src, int64_t first, int64_t count)
{
    bool toFloating = isFloatingType(dstType);
    bool fromFloating = isFloatingType(src->type);
    for (int64_t i = 0; i < count; i++) {
        if (toFloating) {
            dst[i] = static_cast<T>(elementDouble(src, first + i));
        } else if (fromFloating) {
            dst[i] = static_cast<T>(static_cast<uint64_t>(int64_t(roundToInt(elementDouble(src, first + i)))));
        } else {
            dst[i] = static_cast<T>(static_cast<uint64_t>(elementInt(src, first + i)));
        }
    }
}

void convertByType(void *dst, int type, const OglDataObject *src, int64_t first, int64_t count)
{
    switch (type) {
    case GL_BYTE: convertInto(static_cast<GLbyte *>(dst), type, src, first, count); break;
    case GL_UNSIGNED_BYTE: convertInto(static_cast<GLubyte *>(dst), type, src, first, count); break;
    case GL_SHORT: convertInto(static_cast<GLshort *>(dst), type, src, first, count); break;
    case GL_UNSIGNED_SHORT: convertInto(static_cast<GLushort *>(dst), type, src, first, count); break;
    case GL_INT: convertInto(static_cast<GLint *>(dst), type, src, first, count); break;
    case GL_UNSIGNED_INT: convertInto(static_cast<GLuint *>(dst), type, src, first, count); break;
    case GL_FLOAT: convertInto(static_cast<GLfloat *>(dst), type, src, first, count); break;
    case GL_DOUBLE: convertInto(static_cast<GLdouble *>(dst), type, src, first, count); break;
    default: break;
    }
}

/* a × b when both are not negative and the product stays below
 * kOglMaxBytes; false otherwise. */
bool sizeProduct(int64_t a, int64_t b, int64_t *out)
{
    if (a < 0 || b < 0) {
        return false;
    }
    if (a != 0 && b >= kOglMaxBytes / a + 1) {
        return false;
    }
    int64_t product = a * b;
    if (product >= kOglMaxBytes) {
        return false;
    }
    *out = product;
    return true;
}

int64_t roundUp(int64_t value, int64_t multiple)
{
    return (value + multiple - 1) / multiple * multiple;
}

/* ---------------------------------------------------------------------
 * Printing
 * ------------------------------------------------------------------- */

/* The longest text a Tcl value may hold. */
constexpr size_t kMaxText = static_cast<size_t>(INT_MAX) - 1;
/* The most a printer reserves ahead; the rest grows as it is printed. */
constexpr size_t kReserveCap = size_t(1) << 26;

/* A growing text in Tcl's own memory, handed whole to a Tcl value; every
 * allocation may fail (Tcl_AttemptRealloc), none throws. */
struct TclText {
    char *bytes = nullptr;
    size_t length = 0;
    size_t capacity = 0;

    TclText() = default;
    TclText(const TclText &) = delete;
    TclText &operator=(const TclText &) = delete;
    ~TclText()
    {
        if (bytes != nullptr) {
            Tcl_Free(bytes);
        }
    }
    /* Room for want more bytes and the terminating zero; false when that
     * passes kMaxText or memory runs out. */
    bool room(size_t want)
    {
        if (want > kMaxText - length) {
            return false;
        }
        size_t need = length + want + 1;
        if (need <= capacity) {
            return true;
        }
        size_t grown = capacity < kMaxText / 2 ? capacity * 2 : kMaxText + 1;
        size_t size = grown > need ? grown : need;
        char *moved = Tcl_AttemptRealloc(bytes, static_cast<unsigned int>(size));
        if (moved == nullptr) {
            return false;
        }
        bytes = moved;
        capacity = size;
        return true;
    }
    bool append(const char *text, size_t n)
    {
        if (!room(n)) {
            return false;
        }
        memcpy(bytes + length, text, n);
        length += n;
        bytes[length] = '\0';
        return true;
    }
    /* A new unshared Tcl value that takes the text over. */
    Tcl_Obj *release()
    {
        Tcl_Obj *value = Tcl_NewObj();
        if (bytes != nullptr) {
            value->bytes = bytes;
            value->length = static_cast<int>(length);
            bytes = nullptr;
        }
        return value;
    }
};

/* Prints n values of T as list words into out; false when out is full. */
template <typename T>
bool printValues(TclText &out, const T *values, int64_t n)
{
    char text[TCL_DOUBLE_SPACE + 320];
    for (int64_t i = 0; i < n; i++) {
        int length;
        if constexpr (std::is_floating_point_v<T>) {
            length = snprintf(text + 1, sizeof text - 1, "%f", static_cast<double>(values[i]));
        } else {
            length = snprintf(text + 1, sizeof text - 1, "%lld", static_cast<long long>(values[i]));
        }
        text[0] = ' ';
        bool first = out.length == 0;
        if (!out.append(first ? text + 1 : text, static_cast<size_t>(length) + (first ? 0 : 1))) {
            return false;
        }
    }
    return true;
}

template <typename T>
bool printRows(TclText &out, const void *data, int64_t columns, int64_t rows, int64_t stride)
{
    for (int64_t row = 0; row < rows; row++) {
        const auto *values = reinterpret_cast<const T *>(static_cast<const char *>(data) + row * stride);
        if (!printValues(out, values, columns)) {
            return false;
        }
    }
    return true;
}

}  // namespace

/* ---------------------------------------------------------------------
 * Temporaries
 * ------------------------------------------------------------------- */

OglTemps::OglTemps() : mark_(tempStack.size())
{
    tempDepth++;
}

OglTemps::~OglTemps()
{
    while (tempStack.size() > mark_) {
        free(tempStack.back());
        tempStack.pop_back();
    }
    tempDepth--;
}

void *oglTempAlloc(int64_t bytes)
{
    assert(tempDepth > 0 && "oglTempAlloc outside an OglTemps scope");
    if (tempDepth <= 0 || bytes < 0 || bytes >= kOglMaxBytes) {
        return nullptr;
    }
    /* At least one element of the widest type, so that an empty array
     * still has an address. */
    void *block = calloc(1, static_cast<size_t>(bytes > 8 ? bytes : 8));
    if (block == nullptr) {
        return nullptr;
    }
    try {
        tempStack.push_back(block);
    } catch (const std::bad_alloc &) {
        free(block);
        return nullptr;
    }
    return block;
}

/* ---------------------------------------------------------------------
 * Numbers
 * ------------------------------------------------------------------- */

GLint oglGetInt(const char *word)
{
    return static_cast<GLint>(static_cast<uint32_t>(static_cast<uint64_t>(wordInt64(word))));
}

double oglGetDouble(const char *word)
{
    int64_t index = 0;
    const OglDataObject *object = numberObject(word, &index);
    if (object != nullptr) {
        if (object->type == OGL_STRING) {
            return cStrtod(static_cast<const char *>(object->data));
        }
        return oglIsArrayType(object->type) ? elementDouble(object, index) : 0.0;
    }
    return cStrtod(word);
}

namespace {

/* Tcl's number types, looked up once. */
const Tcl_ObjType *intObjType = nullptr;
const Tcl_ObjType *wideObjType = nullptr;
const Tcl_ObjType *doubleObjType = nullptr;
bool objTypesKnown = false;

void knowObjTypes()
{
    if (!objTypesKnown) {
        intObjType = Tcl_GetObjType("int");
        wideObjType = Tcl_GetObjType("wideInt");
        doubleObjType = Tcl_GetObjType("double");
        objTypesKnown = true;
    }
}

bool isIntType(const Tcl_ObjType *type)
{
    return type != nullptr && (type == intObjType || type == wideObjType);
}

/* Whether word is a pure integer (no string form), with its value. */
bool pureInt(Tcl_Obj *word, Tcl_WideInt *value)
{
    if (word->bytes != nullptr || word->typePtr == nullptr) {
        return false;
    }
    knowObjTypes();
    if (!isIntType(word->typePtr)) {
        return false;
    }
    return Tcl_GetWideIntFromObj(nullptr, word, value) == TCL_OK;
}

/* How a word reads when Tcl and the C readings give the same number. */
enum class Plain {
    no,      /* anything else: only the C reading (strtod, digits) holds */
    integer, /* sign and at most 18 digits: a 64-bit integer for Tcl too */
    decimal  /* a short decimal fraction, rounded once by both readings */
};

/* Classifies text: an optional sign, digits with at most one dot between
 * or around them (one digit at least), then an optional exponent of "e" or
 * "E", a sign and digits, and nothing else. A leading zero followed by a
 * digit is no plain word (Tcl reads "017" as octal), nor are blanks,
 * "0x", "0o", "0b", "_", "inf" or "nan". A word with a dot or an exponent
 * is plain when it is at most 15 significant digits times 10^e with
 * |e| <= 22: both readings then round one exact quotient or product, and
 * so agree (near the ends of the range Tcl's rounding is not strtod's). */
Plain plainNumber(const char *text)
{
    const char *p = text;
    if (*p == '+' || *p == '-') {
        p++;
    }
    int64_t intDigits = 0, fractionDigits = 0, significant = 0;
    bool leadingZero = *p == '0';
    for (; *p >= '0' && *p <= '9'; p++, intDigits++) {
        significant += significant > 0 || *p != '0';
    }
    if (leadingZero && intDigits > 1) {
        return Plain::no;
    }
    if (*p == '\0') {
        return intDigits >= 1 && intDigits <= 18 ? Plain::integer : Plain::no;
    }
    if (*p == '.') {
        for (p++; *p >= '0' && *p <= '9'; p++, fractionDigits++) {
            significant += significant > 0 || *p != '0';
        }
    }
    if (intDigits + fractionDigits == 0) {
        return Plain::no;
    }
    int64_t exponent = 0;
    if (*p == 'e' || *p == 'E') {
        p++;
        bool negative = *p == '-';
        if (*p == '+' || *p == '-') {
            p++;
        }
        const char *digits = p;
        for (; *p >= '0' && *p <= '9'; p++) {
            exponent = exponent < 1000000 ? exponent * 10 + (*p - '0') : exponent;
        }
        if (p == digits) {
            return Plain::no;
        }
        exponent = negative ? -exponent : exponent;
    }
    if (*p != '\0' || significant > 15) {
        return Plain::no;
    }
    /* The value is the digits from the first non-zero one, an integer
     * below 10^15 (exact in a double), times 10^scale (exact too). */
    int64_t scale = exponent - fractionDigits;
    return significant == 0 || (scale >= -22 && scale <= 22) ? Plain::decimal : Plain::no;
}

}  // namespace

GLint oglObjInt(Tcl_Obj *word)
{
    Tcl_WideInt wide;
    if (pureInt(word, &wide)) {
        return static_cast<GLint>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
    }
    knowObjTypes();
    if (word->bytes == nullptr && word->typePtr != nullptr && word->typePtr == doubleObjType) {
        /* Between 1e-3 and 1e15 the printed form has no exponent, so its
         * leading digits are the truncated value. */
        double value = word->internalRep.doubleValue;
        double size = std::fabs(value);
        if (value == 0.0 || (size >= 1e-3 && size < 1e15)) {
            return static_cast<GLint>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(value))));
        }
    }
    /* An integer Tcl already holds for a word of plain digits is the
     * digits' own value. */
    if (word->bytes != nullptr && isIntType(word->typePtr) && plainNumber(word->bytes) == Plain::integer &&
        Tcl_GetWideIntFromObj(nullptr, word, &wide) == TCL_OK) {
        return static_cast<GLint>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
    }
    return oglGetInt(Tcl_GetString(word));
}

double oglObjDouble(Tcl_Obj *word)
{
    knowObjTypes();
    if (word->bytes == nullptr && word->typePtr != nullptr) {
        if (word->typePtr == doubleObjType) {
            return word->internalRep.doubleValue;
        }
        Tcl_WideInt wide;
        if (pureInt(word, &wide)) {
            return static_cast<double>(wide);
        }
    }
    /* A plain decimal word names no object and reads alike in Tcl and
     * strtod: Tcl's reading stays in the object for the next call. */
    const char *text = Tcl_GetString(word);
    if (plainNumber(text) != Plain::no) {
        double value;
        if (word->typePtr == doubleObjType) {
            value = word->internalRep.doubleValue;
        } else if (cGetDoubleFromObj(nullptr, word, &value, cAllowNonFinite) != TCL_OK) {
            return oglGetDouble(text);
        }
        /* Tcl reads "-0" as the integer 0; strtod keeps the sign. */
        return value == 0.0 && text[0] == '-' ? -0.0 : value;
    }
    return oglGetDouble(text);
}

bool oglGetSizeUpTo(const char *word, int64_t limit, int64_t *size)
{
    int64_t value = wordInt64(word);
    if (value < 0 || value > limit) {
        return false;
    }
    *size = value;
    return true;
}

bool oglGetSize(const char *word, int64_t *size)
{
    return oglGetSizeUpTo(word, kOglMaxBytes - 1, size);
}

bool oglGetGLsizei(const char *word, GLsizei *size)
{
    int64_t value = 0;
    if (!oglGetSizeUpTo(word, INT32_MAX, &value)) {
        return false;
    }
    *size = static_cast<GLsizei>(value);
    return true;
}

/* ---------------------------------------------------------------------
 * Lists
 * ------------------------------------------------------------------- */

int64_t oglListToBytes(const char *word, GLbyte *dst, int64_t count)
{
    return parseIntList(word, dst, count);
}

int64_t oglListToUbytes(const char *word, GLubyte *dst, int64_t count)
{
    return parseIntList(word, dst, count);
}

int64_t oglListToShorts(const char *word, GLshort *dst, int64_t count)
{
    return parseIntList(word, dst, count);
}

int64_t oglListToUshorts(const char *word, GLushort *dst, int64_t count)
{
    return parseIntList(word, dst, count);
}

int64_t oglListToInts(const char *word, GLint *dst, int64_t count)
{
    return parseIntList(word, dst, count);
}

int64_t oglListToUints(const char *word, GLuint *dst, int64_t count)
{
    return parseIntList(word, dst, count);
}

int64_t oglListToFloats(const char *word, GLfloat *dst, int64_t count)
{
    return parseFloatList(word, dst, count);
}

int64_t oglListToDoubles(const char *word, GLdouble *dst, int64_t count)
{
    return parseFloatList(word, dst, count);
}

int64_t oglListToType(int type, const char *word, void *dst, int64_t count)
{
    switch (type) {
    case GL_BYTE: return oglListToBytes(word, static_cast<GLbyte *>(dst), count);
    case GL_UNSIGNED_BYTE: return oglListToUbytes(word, static_cast<GLubyte *>(dst), count);
    case GL_SHORT: return oglListToShorts(word, static_cast<GLshort *>(dst), count);
    case GL_UNSIGNED_SHORT: return oglListToUshorts(word, static_cast<GLushort *>(dst), count);
    case GL_INT: return oglListToInts(word, static_cast<GLint *>(dst), count);
    case GL_UNSIGNED_INT: return oglListToUints(word, static_cast<GLuint *>(dst), count);
    case GL_FLOAT: return oglListToFloats(word, static_cast<GLfloat *>(dst), count);
    case GL_DOUBLE: return oglListToDoubles(word, static_cast<GLdouble *>(dst), count);
    default: return 0;
    }
}

/* ---------------------------------------------------------------------
 * Arrays
 * ------------------------------------------------------------------- */

void *oglArgType(int type, const char *word, int64_t count)
{
    int elemSize = oglTypeSize(type);
    int64_t bytes = 0;
    if (word == nullptr || !oglIsArrayType(type) || !sizeProduct(count, elemSize, &bytes)) {
        return nullptr;
    }
    if (oglIsLetter(word[0])) {
        OglRef ref;
        if (oglDataRef(word, &ref) && oglIsArrayType(ref.object->type) && ref.object->count - ref.first >= count) {
            const OglDataObject *object = ref.object;
            if (object->type == type) {
                return static_cast<char *>(object->data) + ref.first * object->elemSize;
            }
            void *temp = oglTempAlloc(bytes);
            if (temp != nullptr) {
                convertByType(temp, type, object, ref.first, count);
            }
            return temp;
        }
    }
    if (oglCountWords(word) != count) {
        return nullptr;
    }
    void *temp = oglTempAlloc(bytes);
    if (temp != nullptr) {
        oglListToType(type, word, temp, count);
    }
    return temp;
}

GLbyte *oglArgBytes(const char *word, int64_t count)
{
    return static_cast<GLbyte *>(oglArgType(GL_BYTE, word, count));
}

GLubyte *oglArgUbytes(const char *word, int64_t count)
{
    return static_cast<GLubyte *>(oglArgType(GL_UNSIGNED_BYTE, word, count));
}

GLshort *oglArgShorts(const char *word, int64_t count)
{
    return static_cast<GLshort *>(oglArgType(GL_SHORT, word, count));
}

GLushort *oglArgUshorts(const char *word, int64_t count)
{
    return static_cast<GLushort *>(oglArgType(GL_UNSIGNED_SHORT, word, count));
}

GLint *oglArgInts(const char *word, int64_t count)
{
    return static_cast<GLint *>(oglArgType(GL_INT, word, count));
}

GLuint *oglArgUints(const char *word, int64_t count)
{
    return static_cast<GLuint *>(oglArgType(GL_UNSIGNED_INT, word, count));
}

GLfloat *oglArgFloats(const char *word, int64_t count)
{
    return static_cast<GLfloat *>(oglArgType(GL_FLOAT, word, count));
}

GLdouble *oglArgDoubles(const char *word, int64_t count)
{
    return static_cast<GLdouble *>(oglArgType(GL_DOUBLE, word, count));
}

void *oglListsArg(const char *word, GLenum type, int64_t count)
{
    if (type >= GL_BYTE && type <= GL_FLOAT) {
        return oglArgType(static_cast<int>(type), word, count);
    }
    if (type >= GL_2_BYTES && type <= GL_4_BYTES) {
        int64_t bytes = 0;
        if (!sizeProduct(count, int64_t(type - GL_2_BYTES) + 2, &bytes)) {
            return nullptr;
        }
        return oglArgUbytes(word, bytes);
    }
    return nullptr;
}

/* ---------------------------------------------------------------------
 * Pixels
 * ------------------------------------------------------------------- */

int oglFormatComponents(GLenum format)
{
    switch (format) {
    case GL_RGB: return 3;
    case GL_RGBA: return 4;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 1;
    }
}

void oglGetPixelStore(bool pack, OglPixelStore *store)
{
    *store = OglPixelStore{4, 0, 0, 0};
    if (glXGetCurrentContext() == nullptr) {
        return;
    }
    GLint alignment = 4, rowLength = 0, skipPixels = 0, skipRows = 0;
    glGetIntegerv(pack ? GL_PACK_ALIGNMENT : GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(pack ? GL_PACK_ROW_LENGTH : GL_UNPACK_ROW_LENGTH, &rowLength);
    glGetIntegerv(pack ? GL_PACK_SKIP_PIXELS : GL_UNPACK_SKIP_PIXELS, &skipPixels);
    glGetIntegerv(pack ? GL_PACK_SKIP_ROWS : GL_UNPACK_SKIP_ROWS, &skipRows);
    if (alignment == 1 || alignment == 2 || alignment == 4 || alignment == 8) {
        store->alignment = alignment;
    }
    store->rowLength = rowLength > 0 ? rowLength : 0;
    store->skipPixels = skipPixels > 0 ? skipPixels : 0;
    store->skipRows = skipRows > 0 ? skipRows : 0;
}

bool oglPixelLayout(bool pack, GLenum format, GLenum type, int64_t width, int64_t height, OglPixelLayout *layout)
{
    int elemSize;
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
    case GL_BITMAP: elemSize = 1; break;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT: elemSize = 2; break;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT: elemSize = 4; break;
    default: return false;
    }
    if (width < 0 || height < 0 || width >= kOglMaxBytes || height >= kOglMaxBytes) {
        return false;
    }

    OglPixelStore store;
    oglGetPixelStore(pack, &store);
    int64_t alignment = store.alignment, rowLength = store.rowLength;
    int64_t skipPixels = store.skipPixels, skipRows = store.skipRows;
    int64_t pixelsPerRow = rowLength > 0 ? rowLength : width;

    int64_t rowBytes, strideBytes, offsetBytes;
    if (type == GL_BITMAP) {
        /* One bit per pixel; skipped pixels are bits of the row. */
        rowBytes = (width + skipPixels + 7) / 8;
        strideBytes = roundUp((pixelsPerRow + 7) / 8, alignment);
        if (!sizeProduct(skipRows, strideBytes, &offsetBytes)) {
            return false;
        }
    } else {
        int64_t pixelBytes = int64_t(oglFormatComponents(format)) * elemSize;
        int64_t skipBytes = 0, rowSkip = 0;
        if (!sizeProduct(width, pixelBytes, &rowBytes) || !sizeProduct(pixelsPerRow, pixelBytes, &strideBytes) ||
            !sizeProduct(skipPixels, pixelBytes, &skipBytes)) {
            return false;
        }
        strideBytes = roundUp(strideBytes, alignment);
        if (!sizeProduct(skipRows, strideBytes, &rowSkip)) {
            return false;
        }
        offsetBytes = rowSkip + skipBytes;
    }

    int64_t totalBytes = 0;
    if (width > 0 && height > 0) {
        int64_t before = 0;
        if (!sizeProduct(height - 1, strideBytes, &before)) {
            return false;
        }
        totalBytes = offsetBytes + before + roundUp(rowBytes, alignment);
        if (totalBytes >= kOglMaxBytes) {
            return false;
        }
    }
    layout->rowBytes = rowBytes;
    layout->strideBytes = strideBytes;
    layout->offsetBytes = offsetBytes;
    layout->totalBytes = totalBytes;
    layout->elemSize = elemSize;
    return true;
}

void *oglPixelArg(const char *word, GLenum format, GLenum type, int64_t width, int64_t height)
{
    OglPixelLayout layout;
    if (!oglPixelLayout(false, format, type, width, height, &layout)) {
        return nullptr;
    }
    if (word == nullptr) {
        return oglTempAlloc(layout.totalBytes);
    }
    int elementType = type == GL_BITMAP ? GL_UNSIGNED_BYTE : static_cast<int>(type);
    return oglArgType(elementType, word, layout.totalBytes / layout.elemSize);
}

const char *const kOglTooManyValues = "Error in listing values: too many for one Tcl value";

bool oglValuesFit(int type, int64_t values)
{
    /* The shortest value with its separator: "0 ", or "0.000000 ". */
    int64_t least = isFloatingType(type) ? 9 : 2;
    return values >= 0 && values <= INT_MAX / least;
}

Tcl_Obj *oglFormatValues(int type, const void *data, int64_t columns, int64_t rows, int64_t rowStrideBytes)
{
    int elemType = type == GL_BITMAP ? GL_UNSIGNED_BYTE : type;
    if (!oglIsArrayType(elemType) || columns < 0 || rows < 0) {
        return nullptr;
    }
    if (columns > 0 && rows > std::numeric_limits<int64_t>::max() / columns) {
        return nullptr;
    }
    int64_t values = columns * rows;
    if (!oglValuesFit(elemType, values)) {
        return nullptr;
    }
    if (rowStrideBytes <= 0) {
        rowStrideBytes = columns * oglTypeSize(elemType);
    }
    TclText text;
    size_t estimate = static_cast<size_t>(values) * (isFloatingType(elemType) ? 10 : 4);
    if (values > 0 && !text.room(estimate < kReserveCap ? estimate : kReserveCap)) {
        return nullptr;
    }
    bool done = false;
    switch (elemType) {
    case GL_BYTE: done = printRows<GLbyte>(text, data, columns, rows, rowStrideBytes); break;
    case GL_UNSIGNED_BYTE: done = printRows<GLubyte>(text, data, columns, rows, rowStrideBytes); break;
    case GL_SHORT: done = printRows<GLshort>(text, data, columns, rows, rowStrideBytes); break;
    case GL_UNSIGNED_SHORT: done = printRows<GLushort>(text, data, columns, rows, rowStrideBytes); break;
    case GL_INT: done = printRows<GLint>(text, data, columns, rows, rowStrideBytes); break;
    case GL_UNSIGNED_INT: done = printRows<GLuint>(text, data, columns, rows, rowStrideBytes); break;
    case GL_FLOAT: done = printRows<GLfloat>(text, data, columns, rows, rowStrideBytes); break;
    case GL_DOUBLE: done = printRows<GLdouble>(text, data, columns, rows, rowStrideBytes); break;
    default: break;
    }
    return done ? text.release() : nullptr;
}

int oglSetVarArray(Tcl_Interp *interp, const char *varName, GLenum type, const void *data, int64_t columns,
                   int64_t rows, int64_t rowStrideBytes)
{
    int elemType = type == GL_BITMAP ? GL_UNSIGNED_BYTE : static_cast<int>(type);
    if (!oglIsArrayType(elemType) || columns < 0 || rows < 0) {
        return oglFail(interp, "Error in listing values: unknown element type");
    }
    Tcl_Obj *value = oglFormatValues(elemType, data, columns, rows, rowStrideBytes);
    if (value == nullptr) {
        return oglFail(interp, kOglTooManyValues);
    }
    if (Tcl_SetVar2Ex(interp, varName, nullptr, value, TCL_LEAVE_ERR_MSG) == nullptr) {
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Small helpers
 * ------------------------------------------------------------------- */

bool oglIsPowerOfTwo(int64_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

int64_t oglCountWords(const char *text)
{
    int64_t words = 0;
    if (text == nullptr) {
        return 0;
    }
    for (const char *p = text; *p != '\0';) {
        while (isBlank(*p)) {
            p++;
        }
        if (*p == '\0') {
            break;
        }
        words++;
        while (*p != '\0' && !isBlank(*p)) {
            p++;
        }
    }
    return words;
}

/* ---------------------------------------------------------------------
 * Control points
 * ------------------------------------------------------------------- */

int oglMapPointValues(GLenum target)
{
    switch (target) {
    case GL_MAP1_INDEX:
    case GL_MAP2_INDEX:
    case GL_MAP1_TEXTURE_COORD_1:
    case GL_MAP2_TEXTURE_COORD_1: return 1;
    case GL_MAP1_TEXTURE_COORD_2:
    case GL_MAP2_TEXTURE_COORD_2:
    case GLU_MAP1_TRIM_2: return 2;
    case GL_MAP1_VERTEX_3:
    case GL_MAP2_VERTEX_3:
    case GL_MAP1_NORMAL:
    case GL_MAP2_NORMAL:
    case GL_MAP1_TEXTURE_COORD_3:
    case GL_MAP2_TEXTURE_COORD_3:
    case GLU_MAP1_TRIM_3: return 3;
    case GL_MAP1_VERTEX_4:
    case GL_MAP2_VERTEX_4:
    case GL_MAP1_COLOR_4:
    case GL_MAP2_COLOR_4:
    case GL_MAP1_TEXTURE_COORD_4:
    case GL_MAP2_TEXTURE_COORD_4: return 4;
    default: return 0;
    }
}

int64_t oglMapReadValues(const int64_t points[], const int64_t strides[], int directions, int pointValues)
{
    int64_t values = pointValues;
    for (int d = 0; d < directions; d++) {
        if (points[d] < 1 || strides[d] < 0 || points[d] > INT32_MAX || strides[d] > INT32_MAX) {
            return -1;
        }
        /* Below 2^31 × 2^31 each: no overflow in 64 bits. */
        values += (points[d] - 1) * strides[d];
    }
    return pointValues > 0 && values < kOglMaxBytes / 8 ? values : -1;
}
