/*
 * featureobj.cpp --
 *
 *	The statistics, eigen and iso data objects. stats.create, eigen.create
 *	and iso.create make objects on the data object layer that each hold one
 *	feature set (a "STATFTUR", "EIGENID" or "ISOFEATU" set, feature.h).
 *	Their commands answer the words every object shares, then their own:
 *	means, covariances, eigen values and class means as lists, empty sets
 *	made by init, and training samples gathered from rectangles of RAM
 *	images (addroi) or from given values (addsample, merge).
 */
#include "analysis/stats/featureobj.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "analysis/stats/feature.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/subcmd.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

FeatureSet *setOf(RAMOBJ *obj)
{
    return static_cast<FeatureSet *>(obj->payload);
}

int itemCountOf(const FeatureSet *set)
{
    return featureInfo(set, FEATURE_ITEM_COUNT);
}

int bandCountOf(const FeatureSet *set)
{
    return featureInfo(set, FEATURE_NBANDS);
}

int fail(Tcl_Interp *interp, const char *message)
{
    Tcl_SetResult(interp, const_cast<char *>(message), TCL_VOLATILE);
    return TCL_ERROR;
}

int usage(Tcl_Interp *interp, const char *name, const std::string &words)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Usage: ", name, words.c_str(), nullptr);
    return TCL_ERROR;
}

/* ---- Results ---------------------------------------------------------------
 * Numbers go in as "%.6g", text fields as "{text}" when they hold a space,
 * words separated by single spaces; nested lists are opened and closed
 * explicitly.
 */
class ListText {
public:
    void number(double v)
    {
        separate();
        text_ += cFormat("%.6g", v);
    }
    void numbers(const double *v, int n)
    {
        for (int k = 0; k < n; k++) {
            number(v[k]);
        }
    }
    void integer(int v)
    {
        separate();
        text_ += cFormat("%d", v);
    }
    void field(const std::string &text)
    {
        separate();
        text_ += text.find(' ') != std::string::npos ? "{" + text + "}" : text;
    }
    void open()
    {
        separate();
        text_ += '{';
        first_ = true;
    }
    void close()
    {
        text_ += '}';
        first_ = false;
    }
    /* The interpreter's result becomes the text, or gets it appended as
     * one further element when it is not empty. */
    void give(Tcl_Interp *interp) const
    {
        if (Tcl_GetString(Tcl_GetObjResult(interp))[0] == '\0') {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(text_.data(), static_cast<int>(text_.size())));
        } else {
            Tcl_AppendResult(interp, " {", text_.c_str(), "}", nullptr);
        }
    }

private:
    void separate()
    {
        if (!first_) {
            text_ += ' ';
        }
        first_ = false;
    }
    std::string text_;
    bool first_ = true;
};

/* ---- Arguments ------------------------------------------------------------- */

/* A whole number as Tcl reads one; false for anything else. */
bool readInt(const char *text, int *value)
{
    return Tcl_GetInt(nullptr, text, value) == TCL_OK;
}

/* The item index text names; false with "Invalid index" when it is not one
 * of 0 .. count - 1. */
bool itemIndex(Tcl_Interp *interp, const FeatureSet *set, const char *text, int *index)
{
    if (!readInt(text, index) || *index < 0 || *index >= itemCountOf(set)) {
        fail(interp, "Invalid index");
        return false;
    }
    return true;
}

/* The index of a word taking "[index]" (argv[2], 0 without one). */
bool optionalIndex(Tcl_Interp *interp, const FeatureSet *set, int argc, const char **argv, const char *word, int *index)
{
    if (argc > 3) {
        usage(interp, argv[0], std::string(" ") + word + " [index]");
        return false;
    }
    *index = 0;
    return argc < 3 || itemIndex(interp, set, argv[2], index);
}

/* Exactly n finite numbers from a Tcl list, as 4-byte reals. */
bool readValues(const char *text, int n, std::vector<float> &values)
{
    int count = 0;
    const char **words = nullptr;
    if (Tcl_SplitList(nullptr, text, &count, &words) != TCL_OK) {
        return false;
    }
    bool ok = count == n;
    values.assign(static_cast<size_t>(n), 0.0f);
    for (int k = 0; ok && k < n; k++) {
        double v;
        /* finite, and finite again as a 4-byte real */
        ok = cGetDouble(nullptr, words[k], &v) == TCL_OK && std::fabs(v) <= FLT_MAX;
        values[static_cast<size_t>(k)] = ok ? static_cast<float>(v) : 0.0f;
    }
    Tcl_Free(reinterpret_cast<char *>(words));
    return ok;
}

/* The 0-based bands of a list of 1-based band numbers: 0 when the list does
 * not split or is empty (nothing to do), -1 after "Invalid band
 * specification", else the band count. */
int readBandList(Tcl_Interp *interp, const char *text, std::vector<int32_t> &bands)
{
    int count = 0;
    const char **words = nullptr;
    if (Tcl_SplitList(nullptr, text, &count, &words) != TCL_OK) {
        return 0;
    }
    bool ok = count <= kFeatureMaxBands;
    for (int k = 0; ok && k < count; k++) {
        int band = 0;
        ok = readInt(words[k], &band) && band >= 1;
        bands.push_back(band - 1);
    }
    Tcl_Free(reinterpret_cast<char *>(words));
    if (!ok) {
        fail(interp, "Invalid band specification");
        return -1;
    }
    return count;
}

/* The rectangle of an addroi: the image, its rows y1 .. y2 and columns
 * x1 .. x2 cut to the image (empty when x2 < x1 or y2 < y1), and the
 * set's bands. */
struct Roi {
    RamImage *image = nullptr;
    int x1 = 0, y1 = 0, x2 = -1, y2 = -1;
    std::vector<int> bands;

    int width() const { return x2 - x1 + 1; }
    int height() const { return y2 - y1 + 1; }
    bool empty() const { return x2 < x1 || y2 < y1; }
};

/* Reads "index rimage x1 y1 ?x2 y2?" (argv[2] ...), argc already checked.
 * False with a message in the result. */
bool readRoi(Tcl_Interp *interp, const FeatureSet *set, const char **argv, int argc, const char *bandMessage,
             int *index, Roi *roi)
{
    if (!itemIndex(interp, set, argv[2], index)) {
        return false;
    }
    roi->image = ramImageFindByTag(argv[3]);
    if (roi->image == nullptr) {
        Tcl_AppendResult(interp, "Not found the tagged image:", argv[3], nullptr);
        return false;
    }
    int n = bandCountOf(set);
    for (int b = 0; b < n; b++) {
        int band = featureBand(set, b);
        if (band < 0 || band >= roi->image->desc.nbands) {
            fail(interp, bandMessage);
            return false;
        }
        roi->bands.push_back(band);
    }
    int v[4];
    for (int k = 0; k < argc - 4; k++) {
        if (Tcl_GetInt(interp, argv[4 + k], &v[k]) != TCL_OK) {
            return false;
        }
    }
    if (argc == 6) {
        v[2] = v[0];
        v[3] = v[1];
    }
    roi->x1 = std::max(v[0], 0);
    roi->y1 = std::max(v[1], 0);
    roi->x2 = std::min(v[2], roi->image->desc.columns - 1);
    roi->y2 = std::min(v[3], roi->image->desc.rows - 1);
    return true;
}

/* Calls row(values, width) with each row of the rectangle, its pixels'
 * values of the set's bands interleaved. */
template <class RowProc>
void forEachRow(const Roi &roi, RowProc row)
{
    int n = static_cast<int>(roi.bands.size());
    std::vector<float> values(static_cast<size_t>(roi.width()) * static_cast<size_t>(n));
    ramImageHold(roi.image);
    for (int y = roi.y1; y <= roi.y2; y++) {
        ramImageGetFloatBIP(roi.image, y, roi.x1, roi.width(), 1, n, roi.bands.data(), values.data());
        row(values.data(), roi.width());
    }
    ramImageRelease(roi.image, nullptr);
}

/* Replaces the object's payload by set, freeing the old one. */
void replacePayload(RAMOBJ *obj, FeatureSet *set)
{
    if (obj->payload != nullptr) {
        obj->freePayload(obj->payload);
    }
    obj->payload = set;
}

/* A set of nItems items of itemSize bytes cannot exceed the 32-bit sizes of
 * its header. */
bool sizeFits(int nBands, int privLength, int itemSize, int nItems)
{
    int64_t total = 32 + 4 * static_cast<int64_t>(nBands) + privLength +
                    static_cast<int64_t>(itemSize) * static_cast<int64_t>(nItems);
    return total <= INT32_MAX;
}

/* ---- Procedures of the three kinds ------------------------------------------ */

int featureObjCount(RAMOBJ *obj)
{
    return obj->payload != nullptr ? itemCountOf(setOf(obj)) : 0;
}

int featureObjSubtype(RAMOBJ *obj)
{
    return obj->payload != nullptr ? featureInfo(setOf(obj), FEATURE_KIND) : 0;
}

void *featureObjClone(void *payload, int)
{
    return copyFeature(static_cast<const FeatureSet *>(payload));
}

int featureObjSave(RAMOBJ *obj, const char *fileName, int)
{
    return obj->payload != nullptr ? putFeature(fileName, setOf(obj)) : 0;
}

void featureObjFree(void *payload)
{
    freeFeature(static_cast<FeatureSet *>(payload));
}

int featureObjModified(RAMOBJ *obj)
{
    return obj->payload != nullptr ? featureModified(setOf(obj)) : 0;
}

void *loadSet(const char *fileName, const char *id, const char *message)
{
    FeatureSet *set = getFeature(fileName, id);
    if (set == nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    return set;
}

void *statsObjLoad(const char *fileName, void **)
{
    return loadSet(fileName, kStatFeatureId, "Error in get stats.\n");
}

void *eigenObjLoad(const char *fileName, void **)
{
    return loadSet(fileName, kEigenFeatureId, "Error in get eigen.\n");
}

void *isoObjLoad(const char *fileName, void **)
{
    return loadSet(fileName, kIsoFeatureId, "Error in get iso features.\n");
}

/* ---- The object commands ------------------------------------------------------ */

typedef int(WordProc)(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word);

/* A kind's own word: matched by first letter and prefix of at least
 * minLength letters. */
struct FeatureWord {
    const char *name;
    int minLength;
    WordProc *proc;
    bool changes; /* the word changes the set: listeners are told */
};

/* band: the set's band numbers, 1-based. */
int bandWord(FeatureSet *set, Tcl_Interp *interp)
{
    ListText out;
    for (int b = 0; b < bandCountOf(set); b++) {
        out.integer(featureBand(set, b) + 1);
    }
    out.give(interp);
    return TCL_OK;
}

/*
 * objectCommand --
 *	What the three object commands share: the usage, init on any object
 *	(statistics and iso objects), the words every object shares, the
 *	"Undefined object" check, band and then the kind's own words.
 */
template <std::size_t N>
int objectCommand(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv, const char *words,
                  int (*init)(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv),
                  const FeatureWord (&table)[N])
{
    if (argc < 2) {
        return usage(interp, argv[0], words);
    }
    if (init != nullptr && std::strcmp(argv[1], "init") == 0) {
        return init(obj, interp, argc, argv);
    }
    int code = objDefCommand(obj, interp, argc, argv);
    if (code != TCL_CONTINUE) {
        return code;
    }
    if (obj->payload == nullptr) {
        return fail(interp, "Undefined object");
    }
    if (subcommandMatches("band", 3, argv[1])) {
        return bandWord(setOf(obj), interp);
    }
    int row = findSubcommand(table, argv[1]);
    if (row < 0) {
        return fail(interp, "Unknown command");
    }
    try {
        code = table[row].proc(setOf(obj), interp, argc, argv, table[row].name);
    } catch (const std::bad_alloc &) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Error in ", table[row].name, ": out of memory", nullptr);
        return TCL_ERROR;
    }
    if (code == TCL_OK && table[row].changes) {
        objUpdate(obj);
    }
    return code;
}

/* ---- Statistics objects ---- */

/* What init makes for a kind: its usage, messages, id, item size by band
 * count and private block. */
struct InitRule {
    const char *usage;       // the words after the object name
    const char *badCount;    // the message for a count below 1
    const char *failed;      // the message when the set cannot be made
    const char *id;          // the set's 8-byte id
    int (*itemSize)(int n);  // bytes of an item over n bands
    int infoSize;            // bytes of the private block
};

/*
 * initSet --
 *	init COUNT BANDLIST: a new empty set of the kind with COUNT items over
 *	the listed 1-based bands replaces the payload. A band list that is no
 *	Tcl list, or an empty one, changes nothing and succeeds. info (when
 *	given) fills the private block; number sets each item's ID word at
 *	idOffset to its index when it is not negative.
 */
int initSet(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv, const InitRule &rule,
            const unsigned char *info, int idOffset)
{
    if (argc != 4) {
        return usage(interp, argv[0], rule.usage);
    }
    int count = 0;
    if (!readInt(argv[2], &count) || count < 1) {
        return fail(interp, rule.badCount);
    }
    std::vector<int32_t> bands;
    int n = readBandList(interp, argv[3], bands);
    if (n <= 0) {
        return n < 0 ? TCL_ERROR : TCL_OK;
    }
    const int itemSize = rule.itemSize(n);
    FeatureSet *set = sizeFits(n, rule.infoSize, itemSize, count)
                          ? newFeature(rule.id, bands.data(), n, itemSize, count, info, rule.infoSize)
                          : nullptr;
    if (set == nullptr) {
        return fail(interp, rule.failed);
    }
    for (int i = 0; idOffset >= 0 && i < count; i++) {
        putI32(featureItem(set, i) + idOffset, i);
    }
    replacePayload(obj, set);
    objUpdate(obj);
    return TCL_OK;
}

int statsInit(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    static const InitRule rule = {" init nstats bandList", "Invalid stats number", "Error in creating stats object",
                                  kStatFeatureId,          statItemSize,           STAT_INFO_SIZE};
    unsigned char info[STAT_INFO_SIZE] = {};
    featureSetText(info + STAT_INFO_SOURCE, STAT_INFO_NOTE - STAT_INFO_SOURCE, "stats.create");
    featureSetText(info + STAT_INFO_NOTE, STAT_INFO_SIZE - STAT_INFO_NOTE, "Created by Tesk");
    return initSet(obj, interp, argc, argv, rule, info, STAT_ID);
}

int statsAddroi(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *)
{
    if (argc != 6 && argc != 8) {
        return usage(interp, argv[0], " addroi addsample index rimage x1 y1 [x2 y2]");
    }
    int index = 0;
    Roi roi;
    if (!readRoi(interp, set, argv, argc, "image band dese not match the object", &index, &roi)) {
        return TCL_ERROR;
    }
    if (roi.empty()) {
        return TCL_OK;
    }
    int n = bandCountOf(set);
    std::vector<double> products(static_cast<size_t>(triSize(n))), sums(static_cast<size_t>(n));
    forEachRow(roi, [&](const float *values, int width) {
        accumulateSamples(products.data(), sums.data(), n, values, width);
    });
    int64_t count = static_cast<int64_t>(roi.width()) * roi.height();
    for (double &s : sums) {
        s /= static_cast<double>(count);
    }
    for (double &p : products) {
        p /= static_cast<double>(count);
    }
    subtractOuter(products.data(), sums.data(), n);
    mergeStatItem(set, index, products.data(), sums.data(), count);
    return TCL_OK;
}

int statsAddsample(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *)
{
    if (argc != 4) {
        return usage(interp, argv[0], " merge index dataList");
    }
    int index = 0;
    if (!itemIndex(interp, set, argv[2], &index)) {
        return TCL_ERROR;
    }
    int n = bandCountOf(set);
    std::vector<float> values;
    if (!readValues(argv[3], n, values)) {
        return fail(interp, "Error in parsing dataList");
    }
    std::vector<double> mean(values.begin(), values.end());
    std::vector<double> cov(static_cast<size_t>(triSize(n)), 0.0);
    mergeStatItem(set, index, cov.data(), mean.data(), 1);
    return TCL_OK;
}

/* The item's packed covariance, or false after a usage or index message. */
bool itemCovariance(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word,
                    std::vector<double> &packed)
{
    int index = 0;
    if (!optionalIndex(interp, set, argc, argv, word, &index)) {
        return false;
    }
    packed.resize(static_cast<size_t>(triSize(bandCountOf(set))));
    return statGetCov(set, index, packed.data());
}

int statsCovariance(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    std::vector<double> packed;
    if (!itemCovariance(set, interp, argc, argv, word, packed)) {
        return TCL_ERROR;
    }
    int n = bandCountOf(set);
    ListText out;
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            out.number(packed[static_cast<size_t>(triIndex(i, j))]);
        }
    }
    out.give(interp);
    return TCL_OK;
}

int statsCorrelation(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    std::vector<double> packed;
    if (!itemCovariance(set, interp, argc, argv, word, packed)) {
        return TCL_ERROR;
    }
    int n = bandCountOf(set);
    ListText out;
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            double scale = std::sqrt(packed[static_cast<size_t>(triIndex(i, i))]) *
                           std::sqrt(packed[static_cast<size_t>(triIndex(j, j))]);
            out.number(packed[static_cast<size_t>(triIndex(i, j))] / scale);
        }
    }
    out.give(interp);
    return TCL_OK;
}

int statsStdev(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    std::vector<double> packed;
    if (!itemCovariance(set, interp, argc, argv, word, packed)) {
        return TCL_ERROR;
    }
    ListText out;
    for (int b = 0; b < bandCountOf(set); b++) {
        out.number(packed[static_cast<size_t>(triIndex(b, b))]);
    }
    out.give(interp);
    return TCL_OK;
}

int statsMean(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    int index = 0;
    if (!optionalIndex(interp, set, argc, argv, word, &index)) {
        return TCL_ERROR;
    }
    std::vector<double> mean(static_cast<size_t>(bandCountOf(set)));
    statGetMean(set, index, mean.data());
    ListText out;
    out.numbers(mean.data(), static_cast<int>(mean.size()));
    out.give(interp);
    return TCL_OK;
}

int statsInfo(FeatureSet *set, Tcl_Interp *interp, int, const char **, const char *)
{
    const unsigned char *info = featurePrivInfo(set);
    int length = featurePrivLength(set);
    ListText out;
    if (info == nullptr || length <= 0) {
        out.open();
        out.close();
    } else {
        out.field(featureText(info + STAT_INFO_SOURCE, std::min(length, STAT_INFO_NOTE - STAT_INFO_SOURCE)));
        out.field(length > STAT_INFO_NOTE ? featureText(info + STAT_INFO_NOTE, length - STAT_INFO_NOTE) : "");
    }
    out.give(interp);
    return TCL_OK;
}

int statsItemInfo(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    int index = 0;
    if (!optionalIndex(interp, set, argc, argv, word, &index)) {
        return TCL_ERROR;
    }
    const unsigned char *item = statItem(set, index);
    ListText out;
    out.integer(getI32(item + STAT_ID));
    out.integer(getI32(item + STAT_NPIXELS));
    out.field(featureText(item + STAT_NAME, STAT_TEXT_WIDTH));
    out.field(featureText(item + STAT_NOTE, STAT_TEXT_WIDTH));
    out.give(interp);
    return TCL_OK;
}

constexpr FeatureWord kStatsWords[] = {
    {"addroi", 6, statsAddroi, true},
    {"addsample", 4, statsAddsample, true},
    {"covarance", 3, statsCovariance, false},
    {"correlation", 3, statsCorrelation, false},
    {"info", 3, statsInfo, false},
    {"iteminfo", 3, statsItemInfo, false},
    {"mean", 3, statsMean, false},
    {"stdev", 3, statsStdev, false},
};

int statsObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return objectCommand(static_cast<RAMOBJ *>(clientData), interp, argc, argv,
                         " [addroi band config cget class clone close count correlation covarance info init "
                         "iteminfo mean merge save stdev version]",
                         statsInit, kStatsWords);
}

/* ---- Eigen objects ---- */

/* One float field of every item, or their running sums. */
int eigenColumn(FeatureSet *set, Tcl_Interp *interp, int offset, bool accumulate)
{
    ListText out;
    double sum = 0.0;
    for (int i = 0; i < itemCountOf(set); i++) {
        double v = getF32(eigenItem(set, i) + offset);
        sum = accumulate ? sum + v : v;
        out.number(sum);
    }
    out.give(interp);
    return TCL_OK;
}

int eigenAccumPct(FeatureSet *set, Tcl_Interp *interp, int, const char **, const char *)
{
    return eigenColumn(set, interp, EIGEN_PERCENT, true);
}

int eigenPct(FeatureSet *set, Tcl_Interp *interp, int, const char **, const char *)
{
    return eigenColumn(set, interp, EIGEN_PERCENT, false);
}

int eigenValue(FeatureSet *set, Tcl_Interp *interp, int, const char **, const char *)
{
    return eigenColumn(set, interp, EIGEN_VALUE, false);
}

int eigenVector(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    int index = 0;
    if (!optionalIndex(interp, set, argc, argv, word, &index)) {
        return TCL_ERROR;
    }
    const unsigned char *item = eigenItem(set, index);
    ListText out;
    for (int b = 0; b < bandCountOf(set); b++) {
        out.number(getF32(item + EIGEN_VECTOR + 4 * b));
    }
    out.give(interp);
    return TCL_OK;
}

int eigenInfo(FeatureSet *set, Tcl_Interp *interp, int, const char **, const char *)
{
    const unsigned char *info = featurePrivInfo(set);
    int n = bandCountOf(set);
    ListText out;
    if (info == nullptr || featurePrivLength(set) < eigenInfoSize(n)) {
        out.open();
        out.close();
        out.give(interp);
        return TCL_OK;
    }
    out.field(featureText(info + EIGEN_INFO_SOURCE, EIGEN_SOURCE_WIDTH));
    out.field(getI32(info + EIGEN_INFO_NORMALIZED) != 0 ? "Normalized" : "Unnormalized");
    for (int part = 0; part < 2; part++) {
        out.open();
        for (int b = 0; b < n; b++) {
            out.number(getF32(info + EIGEN_INFO_BANDS + 8 * b + 4 * part));
        }
        out.close();
    }
    out.give(interp);
    return TCL_OK;
}

constexpr FeatureWord kEigenWords[] = {
    {"accumpct", 3, eigenAccumPct, false}, {"info", 3, eigenInfo, false},     {"pct", 3, eigenPct, false},
    {"value", 3, eigenValue, false},       {"vector", 3, eigenVector, false},
};

int eigenObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return objectCommand(static_cast<RAMOBJ *>(clientData), interp, argc, argv,
                         " [accumpct band config cget class clone close count info pct save value vector version]",
                         nullptr, kEigenWords);
}

/* ---- Iso objects ---- */

int isoInit(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    static const InitRule rule = {" init nclasses bandList",
                                  "Invalid class number",
                                  "Error in creating ISO features",
                                  kIsoFeatureId,
                                  isoItemSize,
                                  ISO_INFO_SIZE};
    return initSet(obj, interp, argc, argv, rule, nullptr, -1);
}

int isoAddroi(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *)
{
    if (argc != 6 && argc != 8) {
        return usage(interp, argv[0], " addroi index rimage x1 y1 [x2 y2]");
    }
    int index = 0;
    Roi roi;
    if (!readRoi(interp, set, argv, argc, "image band dose not match the object", &index, &roi)) {
        return TCL_ERROR;
    }
    if (roi.empty()) {
        return TCL_OK;
    }
    int n = bandCountOf(set);
    std::vector<double> sums(static_cast<size_t>(n));
    std::vector<float> mean(static_cast<size_t>(n));
    unsigned char *item = featureItem(set, index);
    forEachRow(roi, [&](const float *values, int width) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (int x = 0; x < width; x++) {
            for (int b = 0; b < n; b++) {
                sums[static_cast<size_t>(b)] += values[static_cast<size_t>(x) * n + b];
            }
        }
        for (int b = 0; b < n; b++) {
            mean[static_cast<size_t>(b)] = static_cast<float>(sums[static_cast<size_t>(b)] / width);
        }
        isoRunningMean(item, n, mean.data(), width);
    });
    return TCL_OK;
}

int isoMerge(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *)
{
    if (argc != 5) {
        return usage(interp, argv[0], " merge index nsamples meanList");
    }
    int index = 0;
    if (!itemIndex(interp, set, argv[2], &index)) {
        return TCL_ERROR;
    }
    int nSamples = 0;
    if (Tcl_GetInt(interp, argv[3], &nSamples) != TCL_OK) {
        return TCL_ERROR;
    }
    if (nSamples < 0) {
        return fail(interp, "Invalid sample number");
    }
    std::vector<float> mean;
    if (!readValues(argv[4], bandCountOf(set), mean)) {
        return fail(interp, "Error in parsing meanList");
    }
    isoRunningMean(featureItem(set, index), bandCountOf(set), mean.data(), nSamples);
    return TCL_OK;
}

int isoInfo(FeatureSet *set, Tcl_Interp *interp, int, const char **, const char *)
{
    const unsigned char *info = featurePrivInfo(set);
    ListText out;
    if (info == nullptr || featurePrivLength(set) < ISO_INFO_SIZE) {
        out.open();
        out.close();
    } else {
        out.field(featureText(info + ISO_INFO_SOURCE, ISO_SOURCE_WIDTH));
        out.integer(getI32(info + ISO_INFO_CLASSES));
        out.integer(getI32(info + ISO_INFO_SAMPLES));
        out.number(getF64(info + ISO_INFO_RMS));
        out.number(getF64(info + ISO_INFO_DIS));
    }
    out.give(interp);
    return TCL_OK;
}

enum IsoValues { kIsoMeans, kIsoShifts, kIsoSums };

/* mean, dmean, sum: the class's values of one kind as a list, then its
 * sample count and SRMD2. */
int isoClassValues(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word, IsoValues which)
{
    int index = 0;
    if (!optionalIndex(interp, set, argc, argv, word, &index)) {
        return TCL_ERROR;
    }
    const unsigned char *item = featureItem(set, index);
    ListText out;
    out.open();
    for (int b = 0; b < bandCountOf(set); b++) {
        switch (which) {
        case kIsoMeans: out.number(getF32(item + isoMeanAt(b))); break;
        case kIsoShifts: out.number(getF32(item + isoDmeanAt(b))); break;
        case kIsoSums: out.number(getF64(item + isoSumAt(b))); break;
        }
    }
    out.close();
    out.integer(getI32(item + ISO_NSAMPLES));
    out.number(getF32(item + ISO_SRMD2));
    out.give(interp);
    return TCL_OK;
}

int isoMean(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    return isoClassValues(set, interp, argc, argv, word, kIsoMeans);
}

int isoDmean(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    return isoClassValues(set, interp, argc, argv, word, kIsoShifts);
}

int isoSum(FeatureSet *set, Tcl_Interp *interp, int argc, const char **argv, const char *word)
{
    return isoClassValues(set, interp, argc, argv, word, kIsoSums);
}

constexpr FeatureWord kIsoWords[] = {
    {"addroi", 4, isoAddroi, true}, {"merge", 3, isoMerge, true},  {"info", 3, isoInfo, false},
    {"mean", 3, isoMean, false},    {"dmean", 3, isoDmean, false}, {"sum", 3, isoSum, false},
};

int isoObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return objectCommand(static_cast<RAMOBJ *>(clientData), interp, argc, argv,
                         " [addroi band config cget class clone close count dmean info init mean merge save sum "
                         "version]",
                         isoInit, kIsoWords);
}

/* ---- Kinds and create commands ---- */

const RamObjKind kStatsKind = {
    RAMOBJ_STATS, featureObjCount, nullptr,     featureObjSubtype,  featureObjClone, featureObjSave,
    statsObjLoad, featureObjFree,  statsObjCmd, featureObjModified, nullptr,
};

const RamObjKind kEigenKind = {
    RAMOBJ_EV,    featureObjCount, nullptr,     featureObjSubtype,  featureObjClone, featureObjSave,
    eigenObjLoad, featureObjFree,  eigenObjCmd, featureObjModified, nullptr,
};

const RamObjKind kIsoKind = {
    RAMOBJ_ISO, featureObjCount, nullptr,   featureObjSubtype,  featureObjClone, featureObjSave,
    isoObjLoad, featureObjFree,  isoObjCmd, featureObjModified, nullptr,
};

/* stats.create, eigen.create, iso.create name ?option value ...?; the client
 * data is the kind. */
int featureObjCreate(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, argv[0], " id options", nullptr);
        return TCL_ERROR;
    }
    return objCreate(interp, static_cast<const RamObjKind *>(clientData), argc, argv);
}

}  // namespace

int featureObjInit(Tcl_Interp *interp)
{
    static const struct {
        const char *name;
        const RamObjKind *kind;
    } commands[] = {{"stats.create", &kStatsKind}, {"eigen.create", &kEigenKind}, {"iso.create", &kIsoKind}};
    for (const auto &c : commands) {
        if (Tcl_CreateCommand(interp, c.name, featureObjCreate, const_cast<RamObjKind *>(c.kind), nullptr) == nullptr) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}
