/*
 * imgobj.cpp --
 *
 *	Image objects: the bind subcommand of rimage ties a RAM image to a new
 *	Tcl command, which keeps a window of the image and a band map, reads
 *	and writes single pixels, changes the image's options, and applies the
 *	band calculator's operators (bandcalc.cpp) row by row to the window or
 *	to a data range, alone or combined with a second image. The object is
 *	a client of its image: a change of the image's geometry refits the
 *	window and the band map.
 */
#include "analysis/rimage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>
#include "analysis/bandcalc.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/subcmd.h"

namespace {

/* One image object; allocated zeroed by bind, freed by its command's delete
 * procedure. */
struct RimgObj {
    RamImage *image;       /* the bound image; NULL once it is gone */
    RamImageClient client; /* display callback: the reset procedure;
                                 * client data: this object */
    int32_t seenColumns;   /* image geometry the window and map were */
    int32_t seenRows;      /* last fitted to */
    int32_t seenBands;
    int32_t desx, desy;    /* first column and row of the window, >= 0 */
    int32_t width, height; /* window size, >= 1 once fitted (0: to the edge) */
    int32_t srcx, srcy;    /* first column and row read from an operand image */
    int32_t bandCount;     /* pairs of the band map, 0..bands */
    int32_t maxSource;     /* largest source band of the map */
    int32_t *sourceBands;  /* 1-based operand bands; one allocation with */
    int32_t *targetBands;  /* the 1-based bound-image bands after them */
    Tcl_Command token;     /* the object's command */
};

int rimgObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

/* ---- numbers as the C library reads them ---- */

/* atoi, held to the int range: the leading integer of text, 0 when none. */
long textToLong(const char *text)
{
    long value = std::strtol(text, nullptr, 10);
    return std::clamp<long>(value, INT_MIN, INT_MAX);
}

/* A whole decimal integer word (optional sign); false for anything else or
 * a value outside the int range. */
bool wholeInt(const std::string &word, int *out)
{
    if (word.empty() || !(std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' || word[0] == '+')) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    long value = std::strtol(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || !(std::isdigit(static_cast<unsigned char>(word.back()))) || value < INT_MIN ||
        value > INT_MAX) {
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

/* The blank-separated words of text. */
std::vector<std::string> splitBlanks(const char *text)
{
    std::vector<std::string> words;
    const char *p = text;
    while (*p != '\0') {
        while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) {
            p++;
        }
        const char *start = p;
        while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p))) {
            p++;
        }
        if (p > start) {
            words.emplace_back(start, p);
        }
    }
    return words;
}

/* A Tcl list split with Tcl_SplitList, freed with its holder. */
struct SplitList {
    int count = 0;
    const char **items = nullptr;
    ~SplitList() { Tcl_Free(reinterpret_cast<char *>(items)); }
    bool split(const char *text) { return Tcl_SplitList(nullptr, text, &count, &items) == TCL_OK; }
};

int fail(Tcl_Interp *interp, const char *message)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, message, nullptr);
    return TCL_ERROR;
}

void addStoreError(Tcl_Interp *interp, int error)
{
    const char *text = ramImageErrorText(error);
    if (text[0] != '\0') {
        Tcl_AddErrorInfo(interp, text);
    }
}

/*
 * openHeld --
 *	Opens an image as the store does (tag, then file) and holds one use of
 *	it for the caller, to be given back with ramImageRelease(image, NULL).
 *	A tagged image that the store re-opens on another file counts no use
 *	of its own; one is added here so that the caller's release never takes
 *	a use that someone else holds.
 */
RamImage *openHeld(const char *tag, const char *file, int *error)
{
    RamImage *tagged = ramImageFindByTag(tag);
    int before = tagged != nullptr ? tagged->useCount : 0;
    RamImage *image = ramImageOpen(tag, file, nullptr, nullptr, error);
    if (image != nullptr && image == tagged && image->useCount == before) {
        ramImageHold(image);
    }
    return image;
}

/* Gives back a use of an operand image when the operation ends. */
struct HeldImage {
    RamImage *image = nullptr;
    ~HeldImage()
    {
        if (image != nullptr) {
            ramImageRelease(image, nullptr);
        }
    }
};

/* ---- window, band map and data ranges ---- */

/* Sets the band lists to fresh ones of room pairs each; false when memory
 * runs out (the old lists then stay). */
bool newBandLists(RimgObj *obj, int room, int32_t **sources, int32_t **targets)
{
    size_t entries = 2 * static_cast<size_t>(room > 0 ? room : 1);
    auto *lists = static_cast<int32_t *>(gmemAlloc(entries * sizeof(int32_t)));
    if (lists == nullptr) {
        return false;
    }
    *sources = lists;
    *targets = lists + entries / 2;
    return true;
}

void replaceBandLists(RimgObj *obj, int32_t *sources, int32_t *targets, int count)
{
    gmemFree(obj->sourceBands);
    obj->sourceBands = sources;
    obj->targetBands = targets;
    obj->bandCount = count;
    obj->maxSource = 0;
    for (int i = 0; i < count; i++) {
        obj->maxSource = std::max(obj->maxSource, sources[i]);
    }
}

/*
 * rimgObjReset --
 *	The client callback of the object (and its first fitting): when the
 *	image only grew, or kept its size, and kept its bands, the window and
 *	band map stay. Otherwise the window is moved and cut to fit the image,
 *	and the band map keeps its first pairs (those whose target band still
 *	exists, at most one per band), or becomes the identity when none is
 *	left or there was none.
 */
void rimgObjReset(ClientData clientData)
{
    auto *obj = static_cast<RimgObj *>(clientData);
    RamImage *image = obj->image;
    if (image == nullptr) {
        return;
    }
    int columns = image->desc.columns;
    int rows = image->desc.rows;
    int bands = image->desc.nbands;
    if (obj->sourceBands != nullptr && columns >= obj->seenColumns && rows >= obj->seenRows &&
        bands == obj->seenBands) {
        obj->seenColumns = columns;
        obj->seenRows = rows;
        return;
    }
    obj->seenColumns = columns;
    obj->seenRows = rows;
    obj->seenBands = bands;
    if (obj->desx >= columns) {
        obj->desx = 0;
    }
    if (obj->desy >= rows) {
        obj->desy = 0;
    }
    if (obj->width <= 0) {
        obj->width = columns;
    }
    if (obj->width > columns - obj->desx) {
        obj->width = columns - obj->desx;
    }
    if (obj->height <= 0) {
        obj->height = rows;
    }
    if (obj->height > rows - obj->desy) {
        obj->height = rows - obj->desy;
    }

    int32_t *sources = nullptr;
    int32_t *targets = nullptr;
    bool fresh = newBandLists(obj, bands, &sources, &targets);
    if (!fresh) {
        /* No memory for new lists: keep the fitting pairs in place. */
        sources = obj->sourceBands;
        targets = obj->targetBands;
        if (sources == nullptr) {
            return;
        }
    }
    int kept = 0;
    int old = std::min<int>(obj->bandCount, bands);
    for (int i = 0; i < old; i++) {
        if (obj->targetBands[i] <= bands) {
            int32_t source = obj->sourceBands[i];
            int32_t target = obj->targetBands[i];
            sources[kept] = source;
            targets[kept] = target;
            kept++;
        }
    }
    if (kept == 0 && fresh) {
        for (int i = 0; i < bands; i++) {
            sources[i] = targets[i] = i + 1;
        }
        kept = bands;
    }
    if (fresh) {
        replaceBandLists(obj, sources, targets, kept);
    } else {
        obj->bandCount = kept;
        obj->maxSource = 0;
        for (int i = 0; i < kept; i++) {
            obj->maxSource = std::max(obj->maxSource, sources[i]);
        }
    }
}

/* Sets the window from its text "desx desy srcx srcy width height"; false
 * (window unchanged) when it does not read or does not fit the image. */
bool setWindow(RimgObj *obj, const char *text)
{
    std::vector<std::string> words;
    try {
        words = splitBlanks(text);
    } catch (const std::bad_alloc &) {
        return false;
    }
    int v[6];
    if (words.size() != 6) {
        return false;
    }
    for (int i = 0; i < 6; i++) {
        if (!wholeInt(words[i], &v[i])) {
            return false;
        }
    }
    const ImageDesc &desc = obj->image->desc;
    if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[3] < 0 || v[4] < 1 || v[5] < 1 ||
        static_cast<int64_t>(v[0]) + v[4] > desc.columns || static_cast<int64_t>(v[1]) + v[5] > desc.rows) {
        return false;
    }
    obj->desx = v[0];
    obj->desy = v[1];
    obj->srcx = v[2];
    obj->srcy = v[3];
    obj->width = v[4];
    obj->height = v[5];
    return true;
}

/* Reads the digits at text[pos] as a band number from 1 to INT_MAX. */
bool readBand(const std::string &text, size_t &pos, int *out)
{
    int64_t value = 0;
    size_t start = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        value = value * 10 + (text[pos] - '0');
        if (value > INT_MAX) {
            return false;
        }
        pos++;
    }
    *out = static_cast<int>(value);
    return pos > start && value >= 1;
}

/* One word of a band map text, "t:s" or "t1-t2:s1-s2", as its pairs
 * (target, source) appended to pairs; false when it does not read. */
bool readBandWord(const std::string &word, int bands, std::vector<std::pair<int, int>> &pairs)
{
    size_t pos = 0;
    int t1 = 0, t2 = 0, s1 = 0, s2 = 0;
    if (!readBand(word, pos, &t1)) {
        return false;
    }
    bool ranged = pos < word.size() && word[pos] == '-';
    if (ranged && !readBand(word, ++pos, &t2)) {
        return false;
    }
    if (pos >= word.size() || word[pos] != ':' || !readBand(word, ++pos, &s1)) {
        return false;
    }
    if (ranged) {
        if (pos >= word.size() || word[pos] != '-' || !readBand(word, ++pos, &s2)) {
            return false;
        }
    } else {
        t2 = t1;
        s2 = s1;
    }
    if (pos != word.size() || std::abs(static_cast<int64_t>(t2) - t1) != std::abs(static_cast<int64_t>(s2) - s1) ||
        std::max(t1, t2) > bands) {
        return false;
    }
    int length = std::abs(t2 - t1) + 1;
    if (static_cast<int64_t>(pairs.size()) + length > bands) {
        return false;
    }
    int ts = t2 >= t1 ? 1 : -1;
    int ss = s2 >= s1 ? 1 : -1;
    for (int i = 0; i < length; i++) {
        pairs.emplace_back(t1 + i * ts, s1 + i * ss);
    }
    return true;
}

/* Sets the band map from its text; false (map unchanged) when
 * it does not read or does not fit the image. */
bool setBandMap(RimgObj *obj, const char *text)
{
    int bands = obj->image->desc.nbands;
    std::vector<std::pair<int, int>> pairs;
    try {
        std::vector<std::string> words = splitBlanks(text);
        if (words.empty()) {
            return false;
        }
        for (const std::string &word : words) {
            if (!readBandWord(word, bands, pairs)) {
                return false;
            }
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    int32_t *sources = nullptr;
    int32_t *targets = nullptr;
    if (!newBandLists(obj, bands, &sources, &targets)) {
        return false;
    }
    for (size_t i = 0; i < pairs.size(); i++) {
        targets[i] = pairs[i].first;
        sources[i] = pairs[i].second;
    }
    replaceBandLists(obj, sources, targets, static_cast<int>(pairs.size()));
    return true;
}

/* One axis of a walk: count positions from first, each step (1 or -1) on. */
struct Axis {
    int first = 0;
    int step = 1;
    int count = 0;

    int at(int k) const { return first + k * step; }
    int low() const { return step > 0 ? first : first - (count - 1); }
    Axis ascending() const { return Axis{low(), 1, count}; }
};

Axis wholeAxis(int count)
{
    return Axis{0, 1, count};
}

/* A data range: columns, rows and bands, 0-based. */
struct DataRange {
    Axis part[3];
};

/*
 * parseDataRange --
 *	"@cols,rows,bands": each part empty, "*" or ":" for the whole of it,
 *	else "a:b" or "a", both inside 0 .. count - 1 of counts. False when the
 *	text does not read.
 */
bool parseDataRange(const char *text, const int counts[3], DataRange *range)
{
    if (text[0] != '@') {
        return false;
    }
    std::string rest(text + 1);
    for (int part = 0; part < 3; part++) {
        size_t comma = rest.find(',');
        if ((part < 2) != (comma != std::string::npos)) {
            return false;
        }
        std::string item = part < 2 ? rest.substr(0, comma) : rest;
        rest = part < 2 ? rest.substr(comma + 1) : std::string();
        if (item.empty() || item == "*" || item == ":") {
            range->part[part] = wholeAxis(counts[part]);
            continue;
        }
        size_t colon = item.find(':');
        int a = 0, b = 0;
        if (!wholeInt(item.substr(0, colon), &a) ||
            (colon != std::string::npos && !wholeInt(item.substr(colon + 1), &b))) {
            return false;
        }
        if (colon == std::string::npos) {
            b = a;
        }
        if (a < 0 || b < 0 || a >= counts[part] || b >= counts[part]) {
            return false;
        }
        range->part[part] = Axis{a, b >= a ? 1 : -1, std::abs(b - a) + 1};
    }
    return true;
}

bool readDataRange(const char *text, const RamImage *image, DataRange *range)
{
    int counts[3] = {image->desc.columns, image->desc.rows, image->desc.nbands};
    try {
        return parseDataRange(text, counts, range);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

/* ---- the operator walk ---- */

enum WalkMode {
    kWindowNumbers, /* numbers over the window and the map's target bands */
    kRangeNumbers,  /* numbers over a target range, ascending */
    kWindowOperand, /* an operand image through the window and the map */
    kRangeOperand   /* an operand image with a range on either side */
};

/* Everything an operation walks, fixed before the first row. */
struct WalkPlan {
    WalkMode mode = kWindowNumbers;
    RamImage *target = nullptr;
    RamImage *operand = nullptr;
    std::vector<std::pair<int, int>> bands; /* (target band, operand band), 0-based */
    Axis targetRows, operandRows;
    int targetColumn = 0;    /* first column of the target run */
    int runLength = 0;       /* values of the target run */
    int operandColumn = 0;   /* first column of the operand run */
    int operandLength = 0;   /* values of the operand run */
    std::vector<float> x;    /* the column of each value of the target run */
    std::vector<int> gather; /* operand run index of each value */
};

/* Fills the column part of the plan: the target run and, for each of its
 * values, its x and its operand value's index. */
void planColumns(WalkPlan &plan, const Axis &target, const Axis &operand, bool windowX)
{
    plan.targetColumn = target.low();
    plan.runLength = target.count;
    plan.x.assign(static_cast<size_t>(target.count), 0.0f);
    if (plan.operand != nullptr) {
        plan.operandColumn = operand.low();
        plan.operandLength = operand.count;
        plan.gather.assign(static_cast<size_t>(target.count), 0);
    }
    for (int k = 0; k < target.count; k++) {
        int t = target.at(k) - plan.targetColumn;
        if (plan.operand != nullptr) {
            int column = operand.at(k % operand.count);
            plan.gather[t] = column - plan.operandColumn;
            plan.x[t] = static_cast<float>(windowX ? k : column);
        } else {
            plan.x[t] = static_cast<float>(windowX ? k : target.at(k));
        }
    }
}

/*
 * runPlan --
 *	Reads each row of the operand (when there is one) and of the target,
 *	runs the kernel over the target run and writes it back. The operand
 *	row is read before the target row is written, so an image may be its
 *	own operand. Each target band's statistics are reset when it is done.
 */
void runPlan(const WalkPlan &plan, CalcKernel *kernel, CalcRow row, float p1, float *values, float *p1s,
             float *operandRun)
{
    RamImage *target = plan.target;
    RamImage *operand = plan.operand;
    row.x = plan.x.data();
    row.p1 = p1s;
    if (operand == nullptr) {
        std::fill_n(p1s, plan.runLength, p1);
    }
    const int *gather = plan.gather.data();
    for (const auto &pair : plan.bands) {
        for (int r = 0; r < plan.targetRows.count; r++) {
            int targetRow = plan.targetRows.at(r);
            switch (plan.mode) {
            case kWindowNumbers: row.y = static_cast<float>(r); break;
            case kRangeNumbers: row.y = static_cast<float>(targetRow); break;
            case kWindowOperand: row.y = static_cast<float>(r % operand->desc.rows); break;
            case kRangeOperand: row.y = static_cast<float>(plan.operandRows.at(r % plan.operandRows.count)); break;
            }
            if (operand != nullptr) {
                int operandRow =
                    plan.mode == kWindowOperand
                        ? static_cast<int>((static_cast<int64_t>(plan.operandRows.first) + r) % operand->desc.rows)
                        : plan.operandRows.at(r % plan.operandRows.count);
                ramImageGetFloat(operand, operandRow, plan.operandColumn, plan.operandLength, pair.second, operandRun);
                for (int i = 0; i < plan.runLength; i++) {
                    p1s[i] = operandRun[gather[i]];
                }
            }
            ramImageGetFloat(target, targetRow, plan.targetColumn, plan.runLength, pair.first, values);
            kernel(row, values, plan.runLength);
            ramImagePutFloat(target, targetRow, plan.targetColumn, plan.runLength, pair.first, values);
        }
        if (target->stats != nullptr) {
            statReset(&target->stats[pair.first]);
        }
    }
}

/*
 * buildPlan --
 *	Decides what an operation walks. Answers NULL when it can run, else
 *	the message of its failure.
 */
const char *buildPlan(RimgObj *obj, WalkPlan &plan, const DataRange *targetRange, const DataRange *operandRange)
{
    RamImage *image = obj->image;
    RamImage *operand = plan.operand;
    plan.target = image;
    if (operand == nullptr && targetRange == nullptr) {
        plan.mode = kWindowNumbers;
        for (int i = 0; i < obj->bandCount; i++) {
            plan.bands.emplace_back(obj->targetBands[i] - 1, -1);
        }
        plan.targetRows = Axis{obj->desy, 1, obj->height};
        planColumns(plan, Axis{obj->desx, 1, obj->width}, Axis{}, true);
    } else if (operand == nullptr) {
        plan.mode = kRangeNumbers;
        Axis bands = targetRange->part[2].ascending();
        for (int k = 0; k < bands.count; k++) {
            plan.bands.emplace_back(bands.at(k), -1);
        }
        plan.targetRows = targetRange->part[1].ascending();
        planColumns(plan, targetRange->part[0].ascending(), Axis{}, false);
    } else if (targetRange == nullptr && operandRange == nullptr) {
        /* The window's columns must lie inside the operand; its rows repeat. */
        if (obj->maxSource > operand->desc.nbands ||
            static_cast<int64_t>(obj->srcx) + obj->width > operand->desc.columns) {
            return "In consistent operand rimage";
        }
        plan.mode = kWindowOperand;
        for (int i = 0; i < obj->bandCount; i++) {
            plan.bands.emplace_back(obj->targetBands[i] - 1, obj->sourceBands[i] - 1);
        }
        plan.targetRows = Axis{obj->desy, 1, obj->height};
        plan.operandRows = Axis{obj->srcy, 1, obj->height};
        planColumns(plan, Axis{obj->desx, 1, obj->width}, Axis{obj->srcx, 1, obj->width}, true);
    } else {
        plan.mode = kRangeOperand;
        DataRange t{{wholeAxis(image->desc.columns), wholeAxis(image->desc.rows), wholeAxis(image->desc.nbands)}};
        DataRange o{{wholeAxis(operand->desc.columns), wholeAxis(operand->desc.rows), wholeAxis(operand->desc.nbands)}};
        if (targetRange != nullptr) {
            t = *targetRange;
        }
        if (operandRange != nullptr) {
            o = *operandRange;
        }
        for (int k = 0; k < t.part[2].count; k++) {
            plan.bands.emplace_back(t.part[2].at(k), o.part[2].at(k % o.part[2].count));
        }
        plan.targetRows = t.part[1];
        plan.operandRows = o.part[1];
        planColumns(plan, t.part[0], o.part[0], false);
    }
    return nullptr;
}

/*
 * runOperator --
 *	An operator form: [@range] NAME [IMAGE [@range]] [numbers...]. Parses
 *	everything before the first pixel changes; once the walk starts it
 *	cannot fail. Answers the object name.
 */
int runOperator(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    RamImage *image = obj->image;
    int k = 1;
    DataRange targetRange;
    bool hasTargetRange = false;
    if (argv[1][0] == '@') {
        if (!readDataRange(argv[1], image, &targetRange)) {
            return fail(interp, "Invalid data range");
        }
        hasTargetRange = true;
        k = 2;
    }
    if (k >= argc) {
        return fail(interp, "Unknown rimage operation or syntax error.");
    }
    int count = k + 2 < argc && argv[k + 2][0] == '@' ? argc - k - 2 : argc - k - 1;
    CalcKernel *kernel = rimgObjFindOp(argv[k], count);
    if (kernel == nullptr) {
        return fail(interp, "Unknown rimage operation or syntax error.");
    }

    HeldImage operand;
    DataRange operandRange;
    bool hasOperandRange = false;
    int first = k + 1;
    if (first < argc && !std::isdigit(static_cast<unsigned char>(argv[first][0]))) {
        int error = 0;
        operand.image = openHeld(argv[first], argv[first], &error);
        if (operand.image != nullptr) {
            first++;
            if (first < argc && argv[first][0] == '@') {
                if (!readDataRange(argv[first], operand.image, &operandRange)) {
                    return fail(interp, "Invalid data range");
                }
                hasOperandRange = true;
                first++;
            }
        }
    }
    double numbers[6] = {0, 0, 0, 0, 0, 0};
    int numberCount = 0;
    for (int i = first; i < argc; i++) {
        double value = 0.0;
        if (cGetDouble(nullptr, argv[i], &value) != TCL_OK || numberCount >= 6) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "invalid operand:", argv[i], nullptr);
            return TCL_ERROR;
        }
        numbers[numberCount++] = value;
    }

    CalcRow row{};
    const RamImage *coordinates = operand.image != nullptr ? operand.image : image;
    row.pixel = coordinates->desc.pixel;
    row.rows = static_cast<float>(coordinates->desc.rows);
    row.columns = static_cast<float>(coordinates->desc.columns);
    float p1 = 0.0f;
    if (operand.image != nullptr) {
        row.n = numberCount + 1;
        for (int i = 0; i < numberCount; i++) {
            row.p[i + 1] = static_cast<float>(numbers[i]);
        }
    } else {
        row.n = numberCount;
        for (int i = 0; i < numberCount; i++) {
            row.p[i] = static_cast<float>(numbers[i]);
        }
        p1 = row.p[0];
    }

    WalkPlan plan;
    plan.operand = operand.image;
    std::vector<float> buffers;
    try {
        const char *message =
            buildPlan(obj, plan, hasTargetRange ? &targetRange : nullptr, hasOperandRange ? &operandRange : nullptr);
        if (message != nullptr) {
            return fail(interp, message);
        }
        buffers.assign(2 * static_cast<size_t>(plan.runLength) + static_cast<size_t>(plan.operandLength) + 1, 0.0f);
    } catch (const std::bad_alloc &) {
        return fail(interp, "Error: malloc");
    }
    std::string refusal = ramImagePutRefusal(image);
    if (!refusal.empty()) {
        return fail(interp, refusal.c_str());
    }
    float *values = buffers.data();
    float *p1s = values + plan.runLength;
    runPlan(plan, kernel, row, p1, values, p1s, p1s + plan.runLength);

    std::string why;
    bool written = ramImageWriteBack(image, &why);
    ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    if (!written) {
        return fail(interp, why.c_str());
    }
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, argv[0], nullptr);
    return TCL_OK;
}

/* ---- the object's words ---- */

int objUsage(Tcl_Interp *interp, const char *before, const char *name, const char *after)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, before, name, after, nullptr);
    return TCL_ERROR;
}

bool sameGeometry(const ImageDesc &a, const ImageDesc &b)
{
    return a.nbands == b.nbands && a.msbf == b.msbf && a.rows == b.rows && a.columns == b.columns && a.bits == b.bits &&
           a.pixel == b.pixel && a.imgid == b.imgid;
}

/*
 * objConfigure --
 *	Shows or changes the bound image's options. A new file name or a new
 *	geometry re-initialises the image from the changed descriptor; other
 *	changes (georeference, description, ...) are copied into it. The
 *	image's clients then hear of the change.
 */
int objConfigure(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    RamImage *image = obj->image;
    ImageDesc copy = image->desc;
    if (rimageConfigDesc(&copy, interp, argc - 2, argv + 2) != TCL_OK) {
        return TCL_ERROR;
    }
    if (argc - 2 < 2) {
        return TCL_OK;
    }
    if (std::strcmp(copy.file, image->desc.file) != 0 || !sameGeometry(copy, image->desc)) {
        std::string why;
        if (!ramImageWriteBack(image, &why)) {  // its changes stay with it
            Tcl_SetObjResult(interp, Tcl_NewStringObj(why.c_str(), -1));
            return TCL_ERROR;
        }
        int error = 0;
        if (ramImageReload(copy.file, &copy, image, &error) == nullptr) {
            Tcl_ResetResult(interp);
            addStoreError(interp, error);
            Tcl_AppendResult(interp, "Update ramimg error in open file: ", copy.file, nullptr);
            return TCL_ERROR;
        }
    } else {
        image->desc = copy;
    }
    ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int objCget(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return objUsage(interp, "Usage: \"", argv[0], " cget option\"");
    }
    return teskConfigureValue(interp, rimageDescSpecs, reinterpret_cast<char *>(&obj->image->desc), argv[2], 0);
}

int objUnbind(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 2) {
        return objUsage(interp, "Usage: ", argv[0], " unbind");
    }
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, argv[0], &info) || info.proc != rimgObjCmd) {
        return objUsage(interp, "", argv[0], " is not a rimgObj name");
    }
    Tcl_DeleteCommandFromToken(interp, obj->token);
    return TCL_OK;
}

int objRoi(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 2) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%d %d %d %d %d %d", obj->desx, obj->desy, obj->srcx, obj->srcy,
                                               obj->width, obj->height));
        return TCL_OK;
    }
    if (argc != 3) {
        return objUsage(interp, "Usage: ", argv[0], " roi {desx desy srcx srcy width height}");
    }
    return setWindow(obj, argv[2]) ? TCL_OK : fail(interp, "Invalid ROI.");
}

int objBands(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 2) {
        Tcl_Obj *text = Tcl_NewObj();
        for (int i = 0; i < obj->bandCount; i++) {
            Tcl_AppendPrintfToObj(text, i == 0 ? "%d:%d" : " %d:%d", obj->targetBands[i], obj->sourceBands[i]);
        }
        Tcl_SetObjResult(interp, text);
        return TCL_OK;
    }
    if (argc != 3) {
        return objUsage(interp, "Usage: ", argv[0], " bands bandSpec");
    }
    return setBandMap(obj, argv[2]) ? TCL_OK : fail(interp, "Invalid band specification");
}

/* x and y of vget and vset: integers inside the image. */
bool readPixel(const RamImage *image, const char *xText, const char *yText, int *x, int *y)
{
    return Tcl_GetInt(nullptr, xText, x) == TCL_OK && Tcl_GetInt(nullptr, yText, y) == TCL_OK && *x >= 0 && *y >= 0 &&
           *x < image->desc.columns && *y < image->desc.rows;
}

int objVget(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4 && argc != 5) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " x y ?bandList?", nullptr);
        return TCL_ERROR;
    }
    RamImage *image = obj->image;
    int x = 0, y = 0;
    if (!readPixel(image, argv[2], argv[3], &x, &y)) {
        return fail(interp, "Invalid pixel coordinates");
    }
    float value = 0.0f;
    if (argc == 4) {
        ramImageGetFloat(image, y, x, 1, 0, &value);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(cFormat("%g", value).c_str(), -1));
        return TCL_OK;
    }
    SplitList bands;
    if (!bands.split(argv[4])) {
        return fail(interp, "Error in parsing band list");
    }
    std::vector<int> numbers;
    try {
        numbers.resize(static_cast<size_t>(bands.count));
    } catch (const std::bad_alloc &) {
        return fail(interp, "Error: malloc");
    }
    for (int i = 0; i < bands.count; i++) {
        if (Tcl_GetInt(nullptr, bands.items[i], &numbers[i]) != TCL_OK) {
            return fail(interp, "Error in parsing band list");
        }
        if (numbers[i] < 1 || numbers[i] > image->desc.nbands) {
            return fail(interp, "Invalid band list");
        }
    }
    Tcl_ResetResult(interp);
    for (int band : numbers) {
        ramImageGetFloat(image, y, x, 1, band - 1, &value);
        Tcl_AppendElement(interp, cFormat("%g", value).c_str());
    }
    return TCL_OK;
}

int objVset(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 5 && argc != 6) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " x y valuelist ?bandList?", nullptr);
        return TCL_ERROR;
    }
    RamImage *image = obj->image;
    int x = 0, y = 0;
    if (!readPixel(image, argv[2], argv[3], &x, &y)) {
        return fail(interp, "Invalid pixel coordinates");
    }
    SplitList values;
    if (!values.split(argv[4])) {
        return fail(interp, "Error in parsing valuelist");
    }
    std::vector<int> bands;
    std::vector<float> numbers;
    try {
        bands.resize(static_cast<size_t>(values.count));
        numbers.resize(static_cast<size_t>(values.count));
    } catch (const std::bad_alloc &) {
        return fail(interp, "Error: malloc");
    }
    /* Each value is the number its word starts with (0 when none), finite
     * and held by a float, or nothing is written. */
    for (int i = 0; i < values.count; i++) {
        double v = 0;
        if (!cToolNumber(values.items[i], &v)) {
            return fail(interp, "Error in parsing valuelist");
        }
        numbers[i] = static_cast<float>(v);
    }
    if (argc == 5) {
        if (values.count > image->desc.nbands) {
            return fail(interp, "Too many values");
        }
        for (int i = 0; i < values.count; i++) {
            bands[i] = i;
        }
    } else {
        SplitList list;
        if (!list.split(argv[5])) {
            return fail(interp, "Error in parsing bandlist");
        }
        if (list.count != values.count) {
            return fail(interp, "Bands and values are not match");
        }
        for (int i = 0; i < list.count; i++) {
            long band = textToLong(list.items[i]);
            if (band < 1 || band > image->desc.nbands) {
                return fail(interp, "Invalid band list");
            }
            bands[i] = static_cast<int>(band - 1);
        }
    }
    std::string refusal = ramImagePutRefusal(image);
    if (!refusal.empty()) {
        return fail(interp, refusal.c_str());
    }
    for (int i = 0; i < values.count; i++) {
        ramImagePutFloat(image, y, x, 1, bands[i], &numbers[i]);
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

typedef int(ObjWordProc)(RimgObj *obj, Tcl_Interp *interp, int argc, const char **argv);

struct ObjWord {
    const char *name;
    int minLength;
    ObjWordProc *proc;
};

constexpr ObjWord kObjWords[] = {
    {"configure", 2, objConfigure}, {"cget", 2, objCget}, {"unbind", 2, objUnbind}, {"roi", 2, objRoi},
    {"bands", 3, objBands},         {"vget", 1, objVget}, {"vset", 2, objVset},
};

/*
 * rimgObjCmd --
 *	The object command: its own words, else an operator form.
 */
int rimgObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RimgObj *>(clientData);
    if (argc < 2) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Commands: configure cget bands roi unbind vget vset ", nullptr);
        for (const CalcOp *op = rimgCalcOps; op->name != nullptr; op++) {
            if (op == rimgCalcOps || std::strcmp(op->name, op[-1].name) != 0) {
                Tcl_AppendResult(interp, op->name, " ", nullptr);
            }
        }
        return TCL_OK;
    }
    if (obj->image == nullptr) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    int word = findSubcommand(kObjWords, argv[1]);
    if (word >= 0) {
        return kObjWords[word].proc(obj, interp, argc, argv);
    }
    return runOperator(obj, interp, argc, argv);
}

/* Gives the image back for the object's client and frees the object. */
void rimgObjDelete(ClientData clientData)
{
    auto *obj = static_cast<RimgObj *>(clientData);
    if (obj->image != nullptr) {
        ramImageRelease(obj->image, &obj->client);
        obj->image = nullptr;
    }
    gmemFree(obj->sourceBands);
    gmemFree(obj);
}

/* Binds obj to image, whose use the caller holds: the client takes it over.
 * An object still bound to another image gives that one back first. */
void attachImage(RimgObj *obj, RamImage *image)
{
    if (obj->image == image) {
        ramImageRelease(image, nullptr); /* the client holds it already */
        return;
    }
    if (obj->image != nullptr) {
        ramImageRelease(obj->image, &obj->client);
    }
    obj->image = image;
    obj->client.display = rimgObjReset;
    obj->client.config = nullptr;
    obj->client.rect = nullptr;
    int32_t id = static_cast<int32_t>(reinterpret_cast<uintptr_t>(obj));
    obj->client.id = id != 0 ? id : 1;
    obj->client.clientData = obj;
    ramImageAddClient(&obj->client, image);
}

}  // namespace

/*
 * rimageBind --
 *	rimage bind -file FILE [-obj objName] [-roi ROI] [-bands bands]: opens
 *	FILE (under the tag objName when given) and binds it to the object
 *	command objName (default: the image's tag), made now or, when it is an
 *	object already, moved to this image. Answers the object name. A bad
 *	window or band map deletes the object again.
 */
int rimageBind(ImageDesc *defaults, Tcl_Interp *interp, int argc, const char **argv)
{
    ToolOption options[] = {
        {"-obj", nullptr}, {"-file", nullptr}, {"-roi", nullptr}, {"-bands", nullptr}, {nullptr, nullptr},
    };
    if (argc <= 2 || parseToolOptions(options, argc - 2, argv + 2) != 0) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1],
                         " -file FILE [-obj objName] [-roi ROI] [-bands bands]", nullptr);
        return TCL_ERROR;
    }
    const char *objName = options[0].value;
    const char *file = options[1].value;
    const char *roi = options[2].value;
    const char *bands = options[3].value;
    if (file == nullptr) {
        return fail(interp, "Error: FILE missing.");
    }
    int error = 0;
    RamImage *image = openHeld(objName, file, &error);
    if (image == nullptr) {
        Tcl_ResetResult(interp);
        addStoreError(interp, error);
        Tcl_AppendResult(interp, "Error in open ", file, nullptr);
        return TCL_ERROR;
    }
    char name[sizeof image->tag];
    std::snprintf(name, sizeof name, "%s", objName != nullptr ? objName : image->tag);

    RimgObj *obj = nullptr;
    Tcl_CmdInfo info;
    if (Tcl_GetCommandInfo(interp, name, &info)) {
        if (info.proc != rimgObjCmd) {
            ramImageRelease(image, nullptr);
            return fail(interp, "Error: objName conflits with Tcl command.");
        }
        obj = static_cast<RimgObj *>(info.clientData);
    } else {
        obj = static_cast<RimgObj *>(gmemAlloc(sizeof(RimgObj)));
        if (obj == nullptr) {
            ramImageRelease(image, nullptr);
            return fail(interp, "Error: malloc");
        }
        std::memset(obj, 0, sizeof *obj);
        obj->token = Tcl_CreateCommand(interp, name, rimgObjCmd, obj, rimgObjDelete);
        if (obj->token == nullptr) {
            gmemFree(obj);
            ramImageRelease(image, nullptr);
            return fail(interp, "Error: malloc");
        }
    }
    attachImage(obj, image);
    rimgObjReset(obj);

    const char *message = nullptr;
    if (obj->sourceBands == nullptr) {
        message = "Error: malloc";
    } else if (roi != nullptr && !setWindow(obj, roi)) {
        message = "Invalid ROI.";
    } else if (bands != nullptr && !setBandMap(obj, bands)) {
        message = "Invalid band specification";
    }
    if (message != nullptr) {
        Tcl_DeleteCommandFromToken(interp, obj->token);
        return fail(interp, message);
    }
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, name, nullptr);
    return TCL_OK;
}
