/*
 * codes.cpp --
 *
 *	The name tables of the descriptor's codes (pixel types, image
 *	functions, map ids; image types are named by their rows) with their lookups in both directions, and
 *	the georeference comment that carries an image's map id and
 *	georeference in GIF comment extensions and JPEG comment segments.
 *	Serves the image readers and writers, the ID-valued Tk options and the
 *	rimage subcommands that list the names.
 */
#include "imagestore/codes.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <system_error>
#include "imagestore/formats/imagetypes.h"
#include "runtime/cnumber.h"

namespace {

constexpr bool sameText(const char *a, const char *b)
{
    while (*a != '\0' && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

/* Pixel types (ImageDesc.pixel) with the bits of one sample. */
constexpr const char *kPixelIds[] = {
    "UNKNOWN", "1BIT", "4BITS", "BYTE", "SHORT", "LONG", "FLOAT", "USHORT", "ULONG", "SBYTE",
};
constexpr int kPixelBits[] = {0, 1, 4, 8, 16, 32, 32, 16, 32, 8};
static_assert(std::size(kPixelIds) == PIX_SBYTE + 1, "one name per pixel type");
static_assert(std::size(kPixelBits) == std::size(kPixelIds), "one width per pixel type");
static_assert(sameText(kPixelIds[PIX_FLOAT], "FLOAT") && sameText(kPixelIds[PIX_SBYTE], "SBYTE"));

/* Image functions (ImageDesc.imgtype) found by name; codes 100..102 are
 * older spellings of three of them, named but never looked up. */
constexpr const char *kImgTypes[] = {
    "GENERAL", "REFLECTION", "TRANSMISSION", "ELEVATION", "SLOPE", "PCT", "CLASSIFICATION",
};
constexpr const char *kOldImgTypes[] = {"ELEVATION", "GENERAL", "SLOPE"};  // 100, 101, 102
constexpr int kFirstOldImgType = 100;

/* Map ids (ImageDesc.mapid): the grid, UTM without and with a zone, polar,
 * then the projection identifiers of the projection library. */
constexpr const char *kMapIds[] = {
    "UNKNOWN", "GRID",    "UTM",     "UTM1",   "UTM2",    "UTM3",   "UTM4",   "UTM5",   "UTM6",    "UTM7",    "UTM8",
    "UTM9",    "UTM10",   "UTM11",   "UTM12",  "UTM13",   "UTM14",  "UTM15",  "UTM16",  "UTM17",   "UTM18",   "UTM19",
    "UTM20",   "UTM21",   "UTM22",   "UTM23",  "UTM24",   "UTM25",  "UTM26",  "UTM27",  "UTM28",   "UTM29",   "UTM30",
    "UTM31",   "UTM32",   "UTM33",   "UTM34",  "UTM35",   "UTM36",  "UTM37",  "UTM38",  "UTM39",   "UTM40",   "UTM41",
    "UTM42",   "UTM43",   "UTM44",   "UTM45",  "UTM46",   "UTM47",  "UTM48",  "UTM49",  "UTM50",   "UTM51",   "UTM52",
    "UTM53",   "UTM54",   "UTM55",   "UTM56",  "UTM57",   "UTM58",  "UTM59",  "UTM60",  "POLAR",   "AEA",     "AEQD",
    "AIRY",    "AITOFF",  "ALSK",    "APIAN",  "AUGUST",  "BACON",  "BIPC",   "BOGGS",  "BONNE",   "CASS",    "CC",
    "CEA",     "CHAMB",   "COLLG",   "CRAST",  "DENOY",   "ECK1",   "ECK2",   "ECK3",   "ECK4",    "ECK5",    "ECK6",
    "EQC",     "EQDC",    "EULER",   "FAHEY",  "FOUC",    "FOUC_S", "GALL",   "GINS8",  "GN_SINU", "GNOM",    "GOODE",
    "GS48",    "GS50",    "HAMMER",  "HATANO", "IMW_P",   "KAV5",   "KAV7",   "LABRD",  "LAEA",    "LAGRNG",  "LARR",
    "LASK",    "LATLONG", "LONGLAT", "LCC",    "LEAC",    "LEE_OS", "LOXIM",  "LSAT",   "MBT_S",   "MBT_FPS", "MBTFPP",
    "MBTFPQ",  "MBTFPS",  "MERC",    "MIL_OS", "MILL",    "MPOLY",  "MOLL",   "MURD1",  "MURD2",   "MURD3",   "NELL",
    "NELL_H",  "NICOL",   "NSPER",   "NZMG",   "OB_TRAN", "OCEA",   "OEA",    "OMERC",  "ORTEL",   "ORTHO",   "PCONIC",
    "POLY",    "PUTP1",   "PUTP2",   "PUTP3",  "PUTP3P",  "PUTP4P", "PUTP5",  "PUTP5P", "PUTP6",   "PUTP6P",  "QUA_AUT",
    "ROBIN",   "RPOLY",   "SINU",    "SOMERC", "STERE",   "TCC",    "TCEA",   "TISSOT", "TMERC",   "TPEQD",   "TPERS",
    "UPS",     "URM5",    "URMFPS",  "VANDG",  "VANDG2",  "VANDG3", "VANDG4", "VITK1",  "WAG1",    "WAG2",    "WAG3",
    "WAG4",    "WAG5",    "WAG6",    "WAG7",   "WEREN",   "WINK1",  "WINK2",  "WINTRI",
};
static_assert(std::size(kMapIds) == 184, "184 map ids");
static_assert(sameText(kMapIds[62], "UTM60") && sameText(kMapIds[63], "POLAR") && sameText(kMapIds[64], "AEA") &&
                  sameText(kMapIds[183], "WINTRI"),
              "map ids in code order");

/* Projected coordinate system numbers, named "PCS<number>". */
constexpr int kFirstPcs = 20000;
constexpr int kLastPcs = 65535;

constexpr const char *kUnknown = "UNKNOWN";

/* Position of name in table[from..count), or -1; null names are unlisted. */
template <std::size_t N>
int findName(const char *const (&table)[N], const char *name, int from)
{
    if (name == nullptr) {
        return -1;
    }
    for (int code = from; code < static_cast<int>(N); code++) {
        if (std::strcmp(table[code], name) == 0) {
            return code;
        }
    }
    return -1;
}

template <std::size_t N>
const char *nameOf(const char *const (&table)[N], int code)
{
    return code >= 0 && code < static_cast<int>(N) ? table[code] : kUnknown;
}

/* The PCS number of name when it is "PCS" followed by decimal digits only,
 * saturated at kLastPcs + 1; -1 otherwise. */
int pcsNumber(const char *name)
{
    if (std::strncmp(name, "PCS", 3) != 0 || name[3] == '\0') {
        return -1;
    }
    int number = 0;
    for (const char *p = name + 3; *p != '\0'; p++) {
        if (*p < '0' || *p > '9') {
            return -1;
        }
        number = number * 10 + (*p - '0');
        if (number > kLastPcs) {
            number = kLastPcs + 1;
        }
    }
    return number;
}

/* White space as the C locale's isspace knows it. */
bool isCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/*
 * Reads text the way the C library's scanf reads it against a fixed
 * pattern: white space in the pattern takes any amount of white space
 * (none included), other pattern characters must match one for one, and
 * conversions skip the white space in front of their item.
 */
class PatternReader {
public:
    explicit PatternReader(const char *text) : p(text) {}

    void skipSpace()
    {
        while (isCSpace(*p)) {
            p++;
        }
    }

    /* A literal run of the pattern, without white space. */
    bool literal(const char *word)
    {
        for (; *word != '\0'; word++, p++) {
            if (*p != *word) {
                return false;
            }
        }
        return true;
    }

    /* "%<max>s": up to max characters that are not white space (at least
     * one) into out, which has room for max + 1 bytes. */
    bool word(char *out, std::size_t max)
    {
        skipSpace();
        std::size_t n = 0;
        while (n < max && *p != '\0' && !isCSpace(*p)) {
            out[n++] = *p++;
        }
        out[n] = '\0';
        return n > 0;
    }

    /* "%lg": a decimal floating-point number with an optional sign, or an
     * infinity or NaN; too large a magnitude reads as an infinity and too
     * small a one as zero, as strtod gives them. */
    bool number(double &value)
    {
        skipSpace();
        const char *start = p;
        const char *digits = p;
        bool negative = false;
        if (*digits == '+' || *digits == '-') {
            negative = *digits == '-';
            digits++;
        }
        if (*digits == '+' || *digits == '-') {
            return false;  // from_chars would take a second minus sign
        }
        const char *end = digits + std::strlen(digits);
        double magnitude = 0.0;
        std::from_chars_result result = std::from_chars(digits, end, magnitude);
        if (result.ec == std::errc::invalid_argument) {
            return false;
        }
        if (result.ec == std::errc::result_out_of_range) {
            std::string item(start, result.ptr);
            value = cStrtod(item.c_str());
        } else {
            value = negative ? -magnitude : magnitude;
        }
        p = result.ptr;
        return true;
    }

private:
    const char *p;  // next character of the text
};

/* Appends "%.32g" of value, as the C library prints it in the C locale. */
char *putNumber(char *out, char *end, double value)
{
    std::to_chars_result result = std::to_chars(out, end, value, std::chars_format::general, 32);
    return result.ec == std::errc() ? result.ptr : nullptr;
}

char *putText(char *out, char *end, const char *text)
{
    std::size_t n = std::strlen(text);
    if (out == nullptr || static_cast<std::size_t>(end - out) < n) {
        return nullptr;
    }
    std::memcpy(out, text, n);
    return out + n;
}

}  // namespace

/* Image types --------------------------------------------------------------- */

/* Image types are named by their rows of the image-type table. */
int imgIdCode(const char *name)
{
    if (name == nullptr) {
        return -1;
    }
    for (int code = 0; imageTypeKnown(code); code++) {
        if (std::strcmp(imageTypeOf(code)->name, name) == 0) {
            return code;
        }
    }
    return -1;
}

const char *imgIdName(int code)
{
    return imageTypeKnown(code) ? imageTypeOf(code)->name : kUnknown;
}

int imgIdCount()
{
    int count = 0;
    while (imageTypeKnown(count)) {
        count++;
    }
    return count;
}

int isMemoryImgId(int code)
{
    return imageTypeKnown(code) && imageTypeInMemory(code) ? 1 : 0;
}

/* Pixel types ----------------------------------------------------------------- */

/* "UNKNOWN" is no pixel type a name can ask for: the search begins at 1. */
int pixelIdCode(const char *name)
{
    return findName(kPixelIds, name, 1);
}

const char *pixelIdName(int code)
{
    return nameOf(kPixelIds, code);
}

int pixelIdCount()
{
    return static_cast<int>(std::size(kPixelIds));
}

int pixelIdBits(int code)
{
    return code >= 0 && code < static_cast<int>(std::size(kPixelBits)) ? kPixelBits[code] : 0;
}

/* Image functions --------------------------------------------------------------- */

int imgTypeCode(const char *name)
{
    return findName(kImgTypes, name, 0);
}

const char *imgTypeName(int code)
{
    if (code >= kFirstOldImgType) {
        return nameOf(kOldImgTypes, code - kFirstOldImgType);
    }
    return nameOf(kImgTypes, code);
}

int imgTypeCount()
{
    return static_cast<int>(std::size(kImgTypes));
}

/* Map ids ------------------------------------------------------------------------- */

/*
 * mapIdCode --
 *	The map id of name: a PCS name ("PCS" and a number 20000..65535) gives
 *	the number, a table name from "GRID" on its code; -1 for a null name,
 *	"UNKNOWN" and every other name.
 */
int mapIdCode(const char *name)
{
    if (name == nullptr) {
        return -1;
    }
    int pcs = pcsNumber(name);
    if (pcs >= kFirstPcs && pcs <= kLastPcs) {
        return pcs;
    }
    return findName(kMapIds, name, 1);
}

/*
 * mapIdName --
 *	The name of a map id: "PCS<number>" for 20000..65535, written into a
 *	buffer of the calling thread that the next PCS lookup overwrites; the
 *	table's name for 0..183; "UNKNOWN" for every other code.
 */
const char *mapIdName(int code)
{
    if (code >= kFirstPcs && code <= kLastPcs) {
        static thread_local char pcsName[16];
        char *end = putText(pcsName, pcsName + sizeof pcsName, "PCS");
        end = std::to_chars(end, pcsName + sizeof pcsName - 1, code).ptr;
        *end = '\0';
        return pcsName;
    }
    return nameOf(kMapIds, code);
}

int mapIdCount()
{
    return static_cast<int>(std::size(kMapIds));
}

/* Georeference comment ------------------------------------------------------------- */

/*
 * formatGeoComment --
 *	Writes "tesk proj:NAME x0:X0 y0:Y0 dx:DX dy:DY" for desc into text, the
 *	numbers as "%.32g" prints them in the C locale, with no line end.
 *	Answers the length plus one (the bytes a writer stores, the zero byte
 *	included). A comment that does not fit in size bytes is not written:
 *	the answer is then 0 and text, when size allows, the empty string.
 */
int formatGeoComment(const ImageDesc *desc, char *text, std::size_t size)
{
    if (text == nullptr || size == 0) {
        return 0;
    }
    text[0] = '\0';
    if (desc == nullptr) {
        return 0;
    }
    char line[256];  // at most 10 + 8 + 4 * (4 + 39) bytes
    char *end = line + sizeof line;
    char *out = putText(line, end, "tesk proj:");
    out = putText(out, end, mapIdName(desc->mapid));
    const struct {
        const char *label;
        double value;
    } items[] = {{" x0:", desc->x0}, {" y0:", desc->y0}, {" dx:", desc->dx}, {" dy:", desc->dy}};
    for (const auto &item : items) {
        out = putText(out, end, item.label);
        if (out == nullptr) {
            return 0;
        }
        out = putNumber(out, end, item.value);
    }
    if (out == nullptr) {
        return 0;
    }
    std::size_t length = static_cast<std::size_t>(out - line);
    if (length + 1 > size) {
        return 0;
    }
    std::memcpy(text, line, length);
    text[length] = '\0';
    return static_cast<int>(length + 1);
}

/*
 * parseGeoComment --
 *	Reads text as "tesk proj:%95s x0:%lg y0:%lg dx:%lg dy:%lg" is scanned.
 *	When all five items are read, desc->mapid takes mapIdCode of the
 *	projection word (-1 when it names no map id) and x0, y0, dx, dy the
 *	numbers, and the answer is 1; otherwise desc is unchanged and the
 *	answer 0. A projection word longer than 95 characters leaves its rest
 *	where " x0:" should follow, so such a text is refused. Text after the
 *	fifth item is ignored.
 */
int parseGeoComment(ImageDesc *desc, const char *text)
{
    if (desc == nullptr || text == nullptr) {
        return 0;
    }
    constexpr std::size_t kMaxWord = 95;
    char proj[kMaxWord + 1];
    double values[4];
    const char *labels[] = {"x0:", "y0:", "dx:", "dy:"};
    PatternReader reader(text);
    if (!reader.literal("tesk")) {
        return 0;
    }
    reader.skipSpace();
    if (!reader.literal("proj:") || !reader.word(proj, kMaxWord)) {
        return 0;
    }
    for (int i = 0; i < 4; i++) {
        reader.skipSpace();
        if (!reader.literal(labels[i]) || !reader.number(values[i])) {
            return 0;
        }
    }
    desc->mapid = mapIdCode(proj);
    desc->x0 = values[0];
    desc->y0 = values[1];
    desc->dx = values[2];
    desc->dy = values[3];
    return 1;
}
