/*
 * shapecmd.cpp --
 *
 *	The script side of vector layers. shape.create makes a shape object on
 *	the data object layer; its command answers the words every object
 *	shares first, then its own: queries of records (id, bbox, vertex,
 *	parts, ...), selection and deletion flags, record building and value
 *	setters. Words are matched by their first letter, a per-letter minimum
 *	length and prefix, in the order of one table.
 */
#include "geo/shapecmd.h"
#include "geo/shapecall.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "geo/shaperec.h"
#include "runtime/cnumber.h"
#include "tesk.h"

bool readDecimal(const char *word, int *out)
{
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(word, &end, 10);
    if (end == word || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        return false;
    }
    *out = static_cast<int>(v);
    return true;
}

bool readClampedDecimal(const char *word, int *out)
{
    char *end = nullptr;
    long long v = std::strtoll(word, &end, 10); /* saturates at the long long range */
    if (end == word || *end != '\0') {
        return false;
    }
    *out = static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    return true;
}

namespace {

/* A list of doubles; false on a split error or an element that is no number. */
bool readDoubles(Tcl_Interp *interp, const char *text, std::vector<double> &out)
{
    SplitList list;
    if (!list.split(interp, text)) {
        return false;
    }
    out.resize(static_cast<size_t>(list.count));
    for (int k = 0; k < list.count; k++) {
        if (cGetDouble(interp, list.items[k], &out[static_cast<size_t>(k)]) != TCL_OK) {
            return false;
        }
    }
    return true;
}

bool readInts(const char *text, std::vector<int> &out)
{
    SplitList list;
    if (!list.split(nullptr, text)) {
        return false;
    }
    out.resize(static_cast<size_t>(list.count));
    for (int k = 0; k < list.count; k++) {
        if (!readDecimal(list.items[k], &out[static_cast<size_t>(k)])) {
            return false;
        }
    }
    return true;
}

/* ---- The result text ---- */

/* A result built in the object command's own list form: a list of one
 * value is a plain element, a longer one a braced element. */
class ResultText {
public:
    template <class T>
    void values(const T *v, int n)
    {
        separate();
        if (n == 1) {
            number(v[0]);
            return;
        }
        text_ += '{';
        numbers(v, n);
        text_ += '}';
    }
    /* A record's points as one braced element, closed by its part counts
     * as an inner list when it has more than one part. */
    void points(const double *xy, int n, const int *parts, int nParts)
    {
        separate();
        text_ += '{';
        numbers(xy, 2 * n);
        if (parts != nullptr && nParts > 1) {
            text_ += " {";
            numbers(parts, nParts);
            text_ += '}';
        }
        text_ += '}';
    }
    void element(const char *text)
    {
        separate();
        text_ += text;
    }
    void set(Tcl_Interp *interp) const
    {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text_.data(), static_cast<int>(text_.size())));
    }

private:
    void number(double x)
    {
        char b[32];
        std::snprintf(b, sizeof b, "%.12g", x);
        text_ += b;
    }
    void number(int x)
    {
        char b[16];
        std::snprintf(b, sizeof b, "%d", x);
        text_ += b;
    }
    template <class T>
    void numbers(const T *v, int n)
    {
        for (int k = 0; k < n; k++) {
            if (k > 0) {
                text_ += ' ';
            }
            number(v[k]);
        }
    }
    void separate()
    {
        if (!text_.empty()) {
            text_ += ' ';
        }
    }
    std::string text_;
};

void appendHead(Tcl_Interp *interp, const ShapeHead *h)
{
    const char *type = shapeTypeName(h->shapeType);
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    auto add = [list](Tcl_Obj *element) { Tcl_ListObjAppendElement(nullptr, list, element); };
    add(Tcl_ObjPrintf("shapeID %d", h->fileCode));
    add(Tcl_ObjPrintf("version %d", h->version));
    add(Tcl_ObjPrintf("typeID %d", h->shapeType));
    add(type ? Tcl_ObjPrintf("type %s", type) : Tcl_ObjPrintf("type %d", h->shapeType));
    add(Tcl_ObjPrintf("length %d", h->fileLength));
    char b[160];
    std::snprintf(b, sizeof b, "xyrange {%.12g %.12g %.12g %.12g}", h->xMin, h->yMin, h->xMax, h->yMax);
    add(Tcl_NewStringObj(b, -1));
    std::snprintf(b, sizeof b, "zrange {%.12g %.12g}", h->zMin, h->zMax);
    add(Tcl_NewStringObj(b, -1));
    std::snprintf(b, sizeof b, "mrange {%.12g %.12g}", h->mMin, h->mMax);
    add(Tcl_NewStringObj(b, -1));
    Tcl_SetObjResult(interp, list);
}

void appendCount(Tcl_Interp *interp, int count)
{
    Tcl_ListObjAppendElement(nullptr, Tcl_GetObjResult(interp), Tcl_ObjPrintf("count %d", count));
}

/* ---- Queries ---- */

/* The total of count(record) over the records named from argv[first] on
 * (all of them when none is named). */
template <class Count>
int totalOf(ShapeCall &c, int first, Count count)
{
    long long total = 0;
    int code = eachRecord(c, first, false, [&](int i) {
        total += count(shapeRecordAt(c.set, i));
        return true;
    });
    if (code == TCL_OK) {
        Tcl_SetObjResult(c.interp, Tcl_NewWideIntObj(total));
    }
    return code;
}

int wordId(ShapeCall &c)
{
    ResultText out;
    int code = eachRecord(c, 2, false, [&](int i) {
        int number = shapeGetInt(shapeRecordAt(c.set, i));
        out.values(&number, 1);
        return true;
    });
    if (code == TCL_OK) {
        out.set(c.interp);
    }
    return code;
}

int wordInfo(ShapeCall &c)
{
    appendHead(c.interp, c.set->head);
    appendCount(c.interp, c.set->count);
    return TCL_OK;
}

int wordType(ShapeCall &c)
{
    int type = shapeFileType(c.set);
    const char *name = shapeTypeName(type);
    Tcl_SetObjResult(c.interp, name ? Tcl_NewStringObj(name, -1) : Tcl_NewIntObj(type));
    return TCL_OK;
}

int wordIsSelected(ShapeCall &c)
{
    if (c.argc != 3) {
        return c.usageOf(" index");
    }
    int i;
    if (!c.index(2, &i)) {
        return c.invalidIndex();
    }
    Tcl_SetObjResult(c.interp, Tcl_NewIntObj(shapeIsSelected(c.set, i) ? 1 : 0));
    return TCL_OK;
}

int wordCountSelections(ShapeCall &c)
{
    Tcl_SetObjResult(c.interp, Tcl_NewIntObj(shapeCountSelected(c.set)));
    return TCL_OK;
}

int wordCountDeletions(ShapeCall &c)
{
    Tcl_SetObjResult(c.interp, Tcl_NewIntObj(shapeCountDeleted(c.set)));
    return TCL_OK;
}

/* The list queries: one element per record of the index arguments or, for
 * the word all, of every record. A formatter answers false with a message
 * to end the command. */
typedef bool(RecordFormatter)(ShapeCall &c, int i, ResultText &out);

int forRecords(ShapeCall &c, int first, const char *usageWords, RecordFormatter *format)
{
    if (c.argc <= first) {
        return c.usageOf(usageWords);
    }
    ResultText out;
    int code = eachRecord(c, first, true, [&](int i) { return format(c, i, out); });
    if (code == TCL_OK) {
        out.set(c.interp);
    }
    return code;
}

constexpr const char *kListUsage = " ?index? | all";

bool formatBBox(ShapeCall &c, int i, ResultText &out)
{
    const double *box = shapeRecordBBox(shapeRecordAt(c.set, i));
    if (box != nullptr) {
        out.values(box, 4);
    } else {
        out.element("{}");
    }
    return true;
}

int wordBBox(ShapeCall &c)
{
    if (shapeTypeIsPoint(shapeFileType(c.set)) && c.argc > 2) {
        Tcl_ResetResult(c.interp); /* single points carry no box */
        return TCL_OK;
    }
    return forRecords(c, 2, kListUsage, formatBBox);
}

/* A record's points as one element (a NULL record gives {}). */
void appendPoints(ResultText &out, ShapeRecord *rec, bool withParts)
{
    int n = 0;
    const double *xy = shapeRecordPoints(rec, &n);
    int nParts = 0;
    const int *parts = withParts ? shapeRecordParts(rec, &nParts) : nullptr;
    out.points(xy, xy != nullptr ? n : 0, parts, nParts);
}

bool formatVertices(ShapeCall &c, int i, ResultText &out)
{
    appendPoints(out, shapeRecordAt(c.set, i), false);
    return true;
}

bool formatVParts(ShapeCall &c, int i, ResultText &out)
{
    appendPoints(out, shapeRecordAt(c.set, i), true);
    return true;
}

int wordVertex(ShapeCall &c)
{
    if (c.argc >= 3 && std::strcmp(c.argv[2], "count") == 0) {
        return totalOf(c, 3, [](ShapeRecord *rec) {
            int n = 0;
            shapeRecordPoints(rec, &n);
            return n;
        });
    }
    return forRecords(c, 2, " ?index? | all | count", formatVertices);
}

int wordVParts(ShapeCall &c)
{
    return forRecords(c, 2, kListUsage, formatVParts);
}

bool formatParts(ShapeCall &c, int i, ResultText &out)
{
    int n = 0;
    const int *parts = shapeRecordParts(shapeRecordAt(c.set, i), &n);
    if (parts != nullptr) {
        out.values(parts, n);
    }
    return true;
}

int wordParts(ShapeCall &c)
{
    if (c.argc >= 3 && std::strcmp(c.argv[2], "count") == 0) {
        return totalOf(c, 3, [](ShapeRecord *rec) {
            int n = 0;
            return shapeRecordParts(rec, &n) != nullptr ? n : 0;
        });
    }
    return forRecords(c, 2, kListUsage, formatParts);
}

bool formatPatchTypes(ShapeCall &c, int i, ResultText &out)
{
    int n = 0;
    const int *types = shapeRecordPatchTypes(shapeRecordAt(c.set, i), &n);
    if (types != nullptr) {
        out.values(types, n);
    }
    return true;
}

int wordPatchTypes(ShapeCall &c)
{
    if (shapeFileType(c.set) != SHP_MULTIPATCH) {
        Tcl_AppendResult(c.interp, c.name(), " is not a multipatch shape object", nullptr);
        return TCL_ERROR;
    }
    return forRecords(c, 2, kListUsage, formatPatchTypes);
}

/* M or Z values of a record; a record without them ends the command. */
bool formatRangeValues(ShapeCall &c, int i, ResultText &out, bool z)
{
    ShapeRecord *rec = shapeRecordAt(c.set, i);
    double lo, hi;
    const double *v = z ? shapeRecordZValues(rec, &lo, &hi) : shapeRecordMValues(rec, &lo, &hi);
    if (v == nullptr) {
        const char *format = z ? "record %d has no z values" : "record %d has no measurement values";
        Tcl_SetObjResult(c.interp, Tcl_ObjPrintf(format, i));
        return false;
    }
    int n = 0;
    shapeRecordPoints(rec, &n);
    out.values(v, n);
    return true;
}

bool formatMValues(ShapeCall &c, int i, ResultText &out)
{
    return formatRangeValues(c, i, out, false);
}

bool formatZValues(ShapeCall &c, int i, ResultText &out)
{
    return formatRangeValues(c, i, out, true);
}

int wordMValues(ShapeCall &c)
{
    if (!shapeTypeHasM(shapeFileType(c.set))) {
        Tcl_AppendResult(c.interp, c.name(), " has no measurement values", nullptr);
        return TCL_ERROR;
    }
    return forRecords(c, 2, kListUsage, formatMValues);
}

int wordZValues(ShapeCall &c)
{
    if (!shapeTypeHasZ(shapeFileType(c.set))) {
        Tcl_AppendResult(c.interp, c.name(), " has no z values", nullptr);
        return TCL_ERROR;
    }
    return forRecords(c, 2, kListUsage, formatZValues);
}

/* ---- Selection and deletion flags ---- */

/* How a selection word treats the records: an optional step over the whole
 * set first, then one flag change per index argument, or per record when
 * there are none and the word acts on all. A word whose index list is read
 * whole first changes nothing when one index is bad; the selections keep
 * the records handled before it changed. */
struct SelectionRule {
    void (*before)(ShapeFile *set);
    int (*each)(ShapeFile *set, int i);
    bool noneMeansAll;
    bool whole;
};

int applySelection(ShapeCall &c, const SelectionRule &rule)
{
    for (int k = 2; rule.whole && k < c.argc; k++) {
        int i;
        if (!c.index(k, &i)) {
            return c.invalidIndex();
        }
    }
    if (rule.before != nullptr) {
        rule.before(c.set);
    }
    int code = TCL_OK;
    if (c.argc > 2 || rule.noneMeansAll) {
        code = eachRecord(c, 2, false, [&](int i) {
            rule.each(c.set, i);
            return true;
        });
    }
    objUpdate(c.obj); /* records before an invalid index keep their change */
    if (code == TCL_OK) {
        Tcl_ResetResult(c.interp);
    }
    return code;
}

void unselectEvery(ShapeFile *set)
{
    shapeUnselectAll(set);
}

void selectEvery(ShapeFile *set)
{
    shapeSelectAll(set);
}

int wordSelect(ShapeCall &c)
{
    return applySelection(c, {nullptr, shapeSelect, true, false});
}

int wordSelectOnly(ShapeCall &c)
{
    return applySelection(c, {unselectEvery, shapeSelect, false, false});
}

int wordUnselect(ShapeCall &c)
{
    return applySelection(c, {nullptr, shapeUnselect, true, false});
}

int wordUnselectOnly(ShapeCall &c)
{
    return applySelection(c, {selectEvery, shapeUnselect, false, false});
}

int wordASelect(ShapeCall &c)
{
    return applySelection(c, {nullptr, shapeToggleSelect, true, false});
}

int wordDeleteShape(ShapeCall &c)
{
    return applySelection(c, {nullptr, shapeDelete, true, true});
}

int wordUndeleteShape(ShapeCall &c)
{
    return applySelection(c, {nullptr, shapeUndelete, true, true});
}

int wordMatch(ShapeCall &c)
{
    if (c.argc != 3) {
        return c.usageOf(" tableObj");
    }
    RAMOBJ *table = nullptr;
    if (openObject(c.interp, RAMOBJ_TABLE, c.argv[2], &table) != 0) {
        return TCL_ERROR;
    }
    int rows = table->payload != nullptr && table->count != nullptr ? table->count(table) : 0;
    int n = rows < c.set->count ? rows : c.set->count;
    for (int i = 0; i < n; i++) {
        if (table->itemSelected != nullptr && table->itemSelected(table, i)) {
            shapeSelect(c.set, i);
        } else {
            shapeUnselect(c.set, i);
        }
    }
    closeObject(table);
    Tcl_ResetResult(c.interp);
    return c.changed();
}

/* ---- Building records ---- */

/* The lists of a record as given to addrecord, insertrecord or setrecord. */
struct RecordLists {
    std::vector<double> xy;
    int n = 0;
    bool hasParts = false, hasM = false, hasZ = false, hasTypes = false;
    std::vector<int> parts, types;
    std::vector<double> m, z;
    int nParts() const { return static_cast<int>(parts.size()); }
};

enum RuleTest { kOnePoint, kMultipointParts, kNoMZT, kNoZT, kNeedM, kNeedZ, kNeedTypes, kNoTypes };

struct RuleCheck {
    RuleTest test;
    const char *message;
};

/* What each shape type demands of the lists, in the order it is checked. */
struct TypeRule {
    int type;
    RuleCheck checks[4];
};

constexpr TypeRule kTypeRules[] = {
    {SHP_POINT,
     {{kOnePoint, "More than one points for POINT"},
      {kNoMZT, "z value list or m value list or typeList is not allowed for POINT"}}},
    {SHP_POLYLINE, {{kNoMZT, "z value list or m value list or type list is not allowed for POLYLINE"}}},
    {SHP_POLYGON, {{kNoMZT, "z value list or m value list or type list is not allowed for POLYGON"}}},
    {SHP_MULTIPOINT,
     {{kMultipointParts, "Invalid part specification for MULTIPOINT"},
      {kNoMZT, "z value list or m value list or type list is not allowed for MULTIPOINT"}}},
    {SHP_POINTZ,
     {{kOnePoint, "More than one points for POINTZ"},
      {kNeedM, "missing m value list for POINTZ"},
      {kNeedZ, "missing z value list for POINTZ"},
      {kNoTypes, "type list is not allowed for POINTZ"}}},
    {SHP_POLYLINEZ,
     {{kNeedM, "missing m value list for POLYLINEZ"},
      {kNeedZ, "missing z value list for POLYLINEZ"},
      {kNoTypes, "type list is not allowed for POLYLINEZ"}}},
    {SHP_POLYGONZ,
     {{kNeedM, "missing m value list for POLYGONZ"},
      {kNeedZ, "missing z value list for POLYGONZ"},
      {kNoTypes, "type list is not allowed for POLYGONZ"}}},
    {SHP_MULTIPOINTZ,
     {{kMultipointParts, "Invalid part specification for MULTIPOINTZ"},
      {kNeedZ, "missing z value list for MULTIPOINTZ"},
      {kNeedM, "missing m value list for MULTIPOINTZ"}}},
    {SHP_POINTM,
     {{kOnePoint, "More than one points for POINTM"},
      {kNeedM, "missing m value list for POINTM"},
      {kNoZT, "z value list or type list is not allowed for POINTM"}}},
    {SHP_POLYLINEM,
     {{kNeedM, "missing m value list for POLYLINEM"},
      {kNoZT, "z value list or type list is not allowed for POLYLINEM"}}},
    {SHP_POLYGONM,
     {{kNeedM, "missing m value list for POLYGONM"}, {kNoZT, "z value list or type list is not allowed for POLYGONM"}}},
    {SHP_MULTIPOINTM,
     {{kMultipointParts, "Invalid part specification for MULTIPOINTM"},
      {kNeedM, "missing m value list for MULTIPOINTM"},
      {kNoZT, "z value list or type list is not allowed for MULTIPOINTM"}}},
    {SHP_MULTIPATCH,
     {{kNeedM, "missing m value list for MULTIPATCH"},
      {kNeedZ, "missing z value list for MULTIPATCH"},
      {kNeedTypes, "missing type list for MULTIPATCH"}}},
};

bool rulePasses(RuleTest test, const RecordLists &r)
{
    switch (test) {
    case kOnePoint: return r.n == 1 && r.nParts() <= 1;
    case kMultipointParts: return !r.hasParts || r.parts.empty() || (r.nParts() == 1 && r.parts[0] == 0);
    case kNoMZT: return !r.hasM && !r.hasZ && !r.hasTypes;
    case kNoZT: return !r.hasZ && !r.hasTypes;
    case kNeedM: return r.hasM;
    case kNeedZ: return r.hasZ;
    case kNeedTypes: return r.hasTypes;
    case kNoTypes: return !r.hasTypes;
    }
    return true;
}

/* The first rule of the type that the lists break, or NULL. */
const char *brokenRule(int type, const RecordLists &r)
{
    for (const TypeRule &row : kTypeRules) {
        if (row.type != type) {
            continue;
        }
        for (const RuleCheck &check : row.checks) {
            if (check.message != nullptr && !rulePasses(check.test, r)) {
                return check.message;
            }
        }
    }
    return nullptr;
}

/* Reads the lists from argv[first] on (one to five of them) and checks them
 * against the set's type; false with the message in the result. */
bool readRecordLists(ShapeCall &c, int first, RecordLists &r)
{
    Tcl_Interp *interp = c.interp;
    int given = c.argc - first;
    if (!readDoubles(interp, c.argv[first], r.xy) || r.xy.size() % 2 != 0) {
        c.error("Error in parsing verticeList");
        return false;
    }
    r.n = static_cast<int>(r.xy.size() / 2);
    if (given > 1) {
        r.hasParts = true;
        if (!readInts(c.argv[first + 1], r.parts)) {
            c.error("Error in parsing partList");
            return false;
        }
        long long sum = 0;
        for (int count : r.parts) {
            sum += count;
            if (count < 0 || sum > r.n) {
                c.error("Invalid part sepcification");
                return false;
            }
        }
    }
    if (given > 2) {
        r.hasM = true;
        if (!readDoubles(interp, c.argv[first + 2], r.m)) {
            c.error("Error in parsing mvalueList");
            return false;
        }
        if (static_cast<int>(r.m.size()) != r.n) {
            c.error("Unequal numbers of veritces and m values");
            return false;
        }
    }
    if (given > 3) {
        r.hasZ = true;
        if (!readDoubles(interp, c.argv[first + 3], r.z)) {
            c.error("Error in parsing zvalueList");
            return false;
        }
        if (static_cast<int>(r.z.size()) != r.n) {
            c.error("Unequal numbers of veritces and z values");
            return false;
        }
    }
    if (given > 4) {
        r.hasTypes = true;
        if (!readInts(c.argv[first + 4], r.types)) {
            c.error("Error in parsing typeList");
            return false;
        }
        if (r.types.size() != r.parts.size()) {
            c.error("Unequal numbers of types and parts");
            return false;
        }
    }
    int type = shapeFileType(c.set);
    if (const char *message = brokenRule(type, r)) {
        c.error(message);
        return false;
    }
    if (!shapeValidateGeometry(type, r.xy.data(), r.n, r.hasParts, r.parts.data(), r.nParts())) {
        c.error("Error in parsing verticeList");
        return false;
    }
    return true;
}

/* Builds a record from argv[first..] with build (append, insert or replace). */
template <class Build>
int buildRecord(ShapeCall &c, int first, Build build)
{
    RecordLists r;
    if (!readRecordLists(c, first, r)) {
        return TCL_ERROR;
    }
    auto data = [](auto &v, bool given) { return given && !v.empty() ? v.data() : nullptr; };
    const int *parts = data(r.parts, r.hasParts);
    if (build(r.xy.data(), r.n, parts, parts != nullptr ? r.nParts() : 0, data(r.z, r.hasZ), data(r.m, r.hasM),
              data(r.types, r.hasTypes)) == nullptr) {
        Tcl_AppendResult(c.interp, "Error in ", c.name(), " ", c.word(), nullptr);
        return TCL_ERROR;
    }
    return c.changed();
}

constexpr const char *kRecordUsage = " verticeList partList mvalueList zvalueList typeList";
constexpr const char *kIndexRecordUsage = " index verticeList partList mvalueList zvalueList typeList";

int wordAddRecord(ShapeCall &c)
{
    if (c.argc < 3 || c.argc > 7) {
        return c.usageOf(kRecordUsage);
    }
    return buildRecord(c, 2,
                       [&](const double *xy, int n, const int *p, int np, const double *z, const double *m,
                           const int *t) { return appendShapeRecord(c.set, 0, xy, n, p, np, z, m, t); });
}

int wordInsertRecord(ShapeCall &c)
{
    if (c.argc < 4 || c.argc > 8) {
        return c.usageOf(kIndexRecordUsage);
    }
    int i;
    if (!readClampedDecimal(c.argv[2], &i)) {
        return c.invalidIndex();
    }
    i = i < 0 ? 0 : (i > c.set->count ? c.set->count : i);
    return buildRecord(c, 3,
                       [&](const double *xy, int n, const int *p, int np, const double *z, const double *m,
                           const int *t) { return insertShapeRecord(c.set, i, 0, xy, n, p, np, z, m, t); });
}

int wordSetRecord(ShapeCall &c)
{
    if (c.argc < 4 || c.argc > 8) {
        return c.usageOf(kIndexRecordUsage);
    }
    int i;
    if (!c.index(2, &i)) {
        return c.invalidIndex();
    }
    return buildRecord(c, 3,
                       [&](const double *xy, int n, const int *p, int np, const double *z, const double *m,
                           const int *t) { return replaceShapeRecord(c.set, i, 0, xy, n, p, np, z, m, t); });
}

/* ---- Value setters ---- */

enum SetterValues { kSetPoints, kSetM, kSetZ, kSetPatchTypes };

struct ValueSetter {
    SetterValues values;
    const char *usageWords;
    int (*typeHas)(int type);
    const char *typeMissing; /* appended to the object's name */
    const char *parseError;
    const char *countError;
};

int isMultipatch(int type)
{
    return type == SHP_MULTIPATCH;
}

constexpr ValueSetter kSetters[] = {
    {kSetPoints, " setvertex index vertexList [offset]", nullptr, nullptr, "Error in parsing vertexList",
     "Invalid number of vertices"},
    {kSetM, " setmvalue index mvalueList [offset]", shapeTypeHasM, " has no measurement values",
     "Error in parsing mvalueList", "Invalid number of measurements"},
    {kSetZ, " setzvalues index zvalueList [offset]", shapeTypeHasZ, " has no z values", "Error in parsing zvalueList",
     "Invalid number of zvalues"},
    {kSetPatchTypes, " setpatchtypes index patchTypeList [offset]", isMultipatch, " has no patch values",
     "Error in parsing patchTypeList", "Invalid number of patch types"},
};

int setValues(ShapeCall &c, const ValueSetter &s)
{
    if (c.argc != 4 && c.argc != 5) {
        return c.usage(s.usageWords);
    }
    if (s.typeHas != nullptr && !s.typeHas(shapeFileType(c.set))) {
        Tcl_AppendResult(c.interp, c.name(), s.typeMissing, nullptr);
        return TCL_ERROR;
    }
    int i;
    if (!c.index(2, &i)) {
        return c.invalidIndex();
    }
    ShapeRecord *rec = shapeRecordAt(c.set, i);
    int limit = 0;
    if (s.values == kSetPatchTypes) {
        shapeRecordPatchTypes(rec, &limit);
    } else {
        shapeRecordPoints(rec, &limit);
    }
    int offset = 0;
    if (c.argc == 5 && !readDecimal(c.argv[4], &offset)) {
        offset = -1;
    }
    if (offset < 0 || offset >= limit) {
        return c.error("Invalid offset");
    }
    std::vector<double> values;
    std::vector<int> types;
    bool parsed = s.values == kSetPatchTypes ? readInts(c.argv[3], types) : readDoubles(c.interp, c.argv[3], values);
    if (!parsed) {
        return c.error(s.parseError);
    }
    long long count =
        s.values == kSetPatchTypes ? static_cast<long long>(types.size()) : static_cast<long long>(values.size());
    if (s.values == kSetPoints) {
        if (count % 2 != 0) {
            return c.error(s.countError);
        }
        count /= 2;
    }
    if (count + offset > limit) {
        return c.error(s.countError);
    }
    int n = static_cast<int>(count);
    switch (s.values) {
    case kSetPoints: shapeSetPoints(rec, values.data(), offset, n); break;
    case kSetM: shapeSetMValues(rec, values.data(), offset, n); break;
    case kSetZ: shapeSetZValues(rec, values.data(), offset, n); break;
    case kSetPatchTypes: shapeSetPatchTypes(rec, types.data(), offset, n); break;
    }
    c.set->modified = 1;
    Tcl_ResetResult(c.interp);
    return c.changed();
}

int wordSetVertices(ShapeCall &c)
{
    return setValues(c, kSetters[kSetPoints]);
}
int wordSetMValues(ShapeCall &c)
{
    return setValues(c, kSetters[kSetM]);
}
int wordSetZValues(ShapeCall &c)
{
    return setValues(c, kSetters[kSetZ]);
}
int wordSetPatchTypes(ShapeCall &c)
{
    return setValues(c, kSetters[kSetPatchTypes]);
}

/* ---- Removal and upkeep ---- */

int wordInitialize(ShapeCall &c)
{
    if (c.argc != 3) {
        return c.usage(" initialize shapeID");
    }
    int type = shapeTypeByName(c.argv[2]);
    if (type < 0) {
        Tcl_AppendResult(c.interp, "Invalid shapeID. Should be", nullptr);
        for (int code = 0; code <= SHP_MULTIPATCH; code++) {
            if (const char *name = shapeTypeName(code)) {
                Tcl_AppendResult(c.interp, " ", name, nullptr);
            }
        }
        return TCL_ERROR;
    }
    ShapeFile *set = newShapeFile(type, nullptr, nullptr, 0);
    if (set == nullptr) {
        Tcl_AppendResult(c.interp, "Error in ", c.name(), " ", c.word(), nullptr);
        return TCL_ERROR;
    }
    if (c.obj->payload != nullptr) {
        c.obj->freePayload(c.obj->payload);
    }
    c.obj->payload = set;
    return c.changed();
}

int wordEraseRecord(ShapeCall &c)
{
    if (c.argc != 3) {
        return c.usageOf(" index");
    }
    int i;
    if (!readClampedDecimal(c.argv[2], &i)) {
        return c.invalidIndex();
    }
    if (c.set->count > 0) {
        i = i < 0 ? 0 : (i >= c.set->count ? c.set->count - 1 : i);
        removeShapeRecords(c.set, i, i);
    }
    return c.changed();
}

int wordPurge(ShapeCall &c)
{
    purgeShapeRecords(c.set);
    return c.changed();
}

int wordSetRange(ShapeCall &c)
{
    computeShapeBoxes(c.set, 1);
    return TCL_OK;
}

/* ---- Matching ---- */

struct ShapeWord {
    const char *name;
    bool whole; /* matches only when spelled out in full */
    ShapeWordProc *proc;
};

/* Within a letter, the first row that matches wins. */
constexpr ShapeWord kShapeWords[] = {
    {"addrecord", false, wordAddRecord},
    {"area", false, shapeAreaWord},
    {"aselect", false, wordASelect},
    {"bbox", false, wordBBox},
    {"countselections", false, wordCountSelections},
    {"countdeletions", false, wordCountDeletions},
    {"centroid", false, shapeCentroidWord},
    {"deleteshape", false, wordDeleteShape},
    {"eraserecord", false, wordEraseRecord},
    {"initialize", false, wordInitialize},
    {"id", false, wordId},
    {"info", true, wordInfo},
    {"insertrecord", false, wordInsertRecord},
    {"isselected", false, wordIsSelected},
    {"langle", false, shapeLAngleWord},
    {"length", false, shapeLengthWord},
    {"match", false, wordMatch},
    {"mvalues", false, wordMValues},
    {"parts", false, wordParts},
    {"patchtypes", false, wordPatchTypes},
    {"projdef", false, shapeProjdefWord},
    {"projection", false, shapeProjectionWord},
    {"purge", true, wordPurge},
    {"select", false, wordSelect},
    {"selectonly", false, wordSelectOnly},
    {"setrange", false, wordSetRange},
    {"setvertices", false, wordSetVertices},
    {"setmvalues", false, wordSetMValues},
    {"setpatchtypes", false, wordSetPatchTypes},
    {"setzvalues", false, wordSetZValues},
    {"setrecord", false, wordSetRecord},
    {"type", false, wordType},
    {"undeleteshape", false, wordUndeleteShape},
    {"unselectonly", true, wordUnselectOnly},
    {"unselect", true, wordUnselect},
    {"vangle", false, shapeVAngleWord},
    {"vertex", false, wordVertex},
    {"vparts", false, wordVParts},
    {"zvalues", false, wordZValues},
};

/* The given word must be longer than this, by its first letter. */
size_t minimumLength(char letter)
{
    static const struct {
        char letter;
        unsigned char length;
    } kMinimum[] = {{'a', 2}, {'b', 2}, {'c', 5}, {'d', 3}, {'e', 3}, {'i', 1}, {'l', 3},
                    {'m', 3}, {'p', 3}, {'s', 4}, {'t', 3}, {'u', 4}, {'v', 3}, {'z', 3}};
    for (const auto &row : kMinimum) {
        if (row.letter == letter) {
            return row.length;
        }
    }
    return 0;
}

const ShapeWord *matchWord(const char *word)
{
    size_t n = std::strlen(word);
    if (n <= minimumLength(word[0])) {
        return nullptr;
    }
    for (const ShapeWord &row : kShapeWords) {
        if (row.name[0] != word[0]) {
            continue;
        }
        if (row.whole ? std::strcmp(row.name, word) == 0 : std::strncmp(row.name, word, n) == 0) {
            return &row;
        }
    }
    return nullptr;
}

constexpr const char *kObjectUsage =
    " [addrecord area aselect bbox centroid config cget class clone close count countdeletions "
    "countselections deleteshape id initialize info insertrecord isselected langle length match mvalues "
    "parts patchtypes projdef projection purge save select selectonly setmvalues setpatchtypes setrecord "
    "setvertices setzvalues setrange type undeleteshap unselect unselectonly vangle version vertex vparts "
    "zvalues]";

const RamObjKind kShapeKind = {
    RAMOBJ_SHAPE, shapeObjCount, nullptr,     shapeObjClass,    shapeObjClone, shapeObjSave,
    shapeObjLoad, shapeObjFree,  shapeObjCmd, shapeObjModified, &shapeOps,
};

int shapeCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, argv[0], " id options", nullptr);
        return TCL_ERROR;
    }
    return objCreate(interp, &kShapeKind, argc, argv);
}

int shapeInfoCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " shapeFile", nullptr);
        return TCL_ERROR;
    }
    int error = 0;
    ShapeHead *head = getShapeHead(argv[1], &error);
    if (head == nullptr) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    appendHead(interp, head);
    gmemFree(head);
    int count = 0;
    if (countShapeRecords(argv[1], &count)) {
        appendCount(interp, count);
    }
    return TCL_OK;
}

}  // namespace

bool shapeValidateGeometry(int type, const double *points, int nPoints, bool hasParts, const int *partCounts,
                           int nParts)
{
    bool polygon = shapeTypeIsPolygon(type);
    if (!shapeTypeHasParts(type)) {
        return true;
    }
    int least = polygon ? 4 : 2;
    auto closed = [points](int first, int last) {
        return points[2 * first] == points[2 * last] && points[2 * first + 1] == points[2 * last + 1];
    };
    if (!hasParts) {
        return nPoints >= least && (!polygon || closed(0, nPoints - 1));
    }
    if (nParts < 1) {
        return false;
    }
    long long start = 0;
    for (int k = 0; k < nParts; k++) {
        int count = partCounts[k];
        if (count < least || start + count > nPoints ||
            (polygon && !closed(static_cast<int>(start), static_cast<int>(start) + count - 1))) {
            return false;
        }
        start += count;
    }
    return start == nPoints;
}

int shapeObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], kObjectUsage, nullptr);
        return TCL_ERROR;
    }
    int code = objDefCommand(obj, interp, argc, argv);
    if (code != TCL_CONTINUE) {
        return code;
    }
    Tcl_ResetResult(interp);
    const ShapeWord *row = matchWord(argv[1]);
    ShapeCall call{interp, obj, static_cast<ShapeFile *>(obj->payload), argc, argv};
    if (row != nullptr && row->proc == wordInitialize) {
        return wordInitialize(call);
    }
    if (call.set == nullptr) {
        return call.error("Undefined object");
    }
    if (row == nullptr) {
        return call.error("Unknown command");
    }
    return row->proc(call);
}

int shapeCmdInit(Tcl_Interp *interp)
{
    if (Tcl_CreateCommand(interp, "shape.create", shapeCreateCmd, nullptr, nullptr) == nullptr ||
        Tcl_CreateCommand(interp, "shape.info", shapeInfoCmd, nullptr, nullptr) == nullptr) {
        return 1;
    }
    return 0;
}
