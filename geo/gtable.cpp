/*
 * gtable.cpp --
 *
 *	Table objects. gtable.create makes a TABLE data object over a dBase
 *	table; its command answers the words every object shares, then its
 *	own: field edits, records, the selection and deletion flags, cells
 *	and blocks of cells, and match, which runs a Tcl predicate over every
 *	record, its markers each a read of a variable where the placer
 *	(matchscript.cpp) proves the value is used as a value. gtable.info lists the
 *	fields of a file. Shape objects read the table's selection through
 *	the object's count and itemSelected slots.
 */
#include "geo/gtable.h"

#include <tclTomMath.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "geo/dbase.h"
#include "geo/matchscript.h"
#include "geo/shapecall.h"
#include "runtime/subcmd.h"
#include "runtime/util.h"
#include "tesk.h"

namespace {

constexpr const char *kObjectUsage =
    " [addfields addrecord aselect config cget class clone close count countdeletions countselections "
    "deletefields deleterecords eraserecords getdatablock getfield getindex getrecord getstatus info "
    "insertfields insertrecords isselected match modified purge recordsize renamefield select selectonly "
    "setblank setdatablock setfield setrecord undeleterecords unselect unselectonly version]";

/* ---- Object slots ---- */

DBaseTable *tableOf(RAMOBJ *obj)
{
    return static_cast<DBaseTable *>(obj->payload);
}

int gtableObjCount(RAMOBJ *obj)
{
    return obj->payload != nullptr ? dBaseRecordCount(tableOf(obj)) : 0;
}

int gtableObjIsSelected(RAMOBJ *obj, int i)
{
    return obj->payload != nullptr ? dBaseIsSelected(tableOf(obj), i) : 0;
}

int gtableObjClass(RAMOBJ *)
{
    return 256;
}

void *gtableObjClone(void *payload, int selectedOnly)
{
    auto *t = static_cast<DBaseTable *>(payload);
    return selectedOnly ? clonedBase(t) : copydBase(t, 0, nullptr, 0);
}

int gtableObjSave(RAMOBJ *obj, const char *fileName, int selectedOnly)
{
    int error = 0;
    std::string why;
    if (obj->payload == nullptr) {
        return 0;
    }
    if (!writedBase(fileName, tableOf(obj), selectedOnly, &error, &why)) {
        objSaveFailed(why);
        return 0;
    }
    return 1;
}

void *gtableObjLoad(const char *fileName, void **)
{
    int error = 0;
    return readdBase(fileName, &error);
}

void gtableObjFree(void *payload)
{
    freedBase(static_cast<DBaseTable *>(payload));
}

int gtableObjModified(RAMOBJ *obj)
{
    return obj->payload != nullptr ? dBaseModified(tableOf(obj)) : 0;
}

int gtableObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

const RamObjKind kTableKind = {
    RAMOBJ_TABLE,  gtableObjCount, gtableObjIsSelected, gtableObjClass,    gtableObjClone, gtableObjSave,
    gtableObjLoad, gtableObjFree,  gtableObjCmd,        gtableObjModified, nullptr,
};

/* ---- One call of the object command ---- */

struct TableCall {
    Tcl_Interp *interp;
    RAMOBJ *obj;
    DBaseTable *t;
    int argc;
    const char **argv;

    int error(const char *message) const
    {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
        return TCL_ERROR;
    }
    /* "Usage: " objName " " subcommand words. */
    int usage(const char *words) const
    {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], words, nullptr);
        return TCL_ERROR;
    }
    /* argv[k] as an integer; false when the word holds none. */
    bool integer(int k, int *out) const { return readDecimal(argv[k], out); }
    /* argv[k] as a record number of the table. */
    bool record(int k, int *out) const { return integer(k, out) && *out >= 0 && *out < t->recordCount; }
    int changed() const
    {
        objUpdate(obj);
        return TCL_OK;
    }
    int ok(int value) const
    {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(value));
        return TCL_OK;
    }
};

typedef int(TableWordProc)(TableCall &c);

/* Holds the object and its table while scripts run (match, the dialog of
 * setdatablock): the object record stays alive even when its command is
 * deleted, a purge waits, and a table dropped meanwhile is freed here. */
struct TableHold {
    RAMOBJ *obj;
    DBaseTable *t;
    TableHold(RAMOBJ *o, DBaseTable *table) : obj(o), t(table)
    {
        objAcquire(obj, nullptr, nullptr);
        t->busy++;
    }
    ~TableHold()
    {
        if (--t->busy == 0) {
            if (t->orphaned) {
                t->orphaned = 0;
                freedBase(t);
            } else if (t->purgePending) {
                purgedBase(t);
            }
        }
        closeObject(obj);
    }
    /* The table is still the object's payload. */
    bool current() const { return obj->payload == t && !t->orphaned; }
    TableHold(const TableHold &) = delete;
    TableHold &operator=(const TableHold &) = delete;
};

/* Field numbers of a list of names; false at a split error (split) or an
 * unknown name (name). */
enum ListFailure { kListOk, kListSplit, kListName };
ListFailure fieldNumbers(const DBaseTable *t, const char *text, std::vector<int> &out)
{
    SplitList list;
    if (!list.split(nullptr, text)) {
        return kListSplit;
    }
    out.clear();
    for (int k = 0; k < list.count; k++) {
        int j = dBaseFieldIndex(t, list.items[k]);
        if (j < 0) {
            return kListName;
        }
        out.push_back(j);
    }
    return kListOk;
}

/* Calls visit(i) for every record (no index words) or each index word from
 * argv[2] on; `bad` is the message of an index outside the records. */
template <class Visit>
int eachIndex(TableCall &c, const char *bad, Visit visit)
{
    if (c.argc < 3) {
        for (int i = 0; i < c.t->recordCount; i++) {
            visit(i);
        }
        return TCL_OK;
    }
    for (int k = 2; k < c.argc; k++) {
        int i;
        if (!c.record(k, &i)) {
            objUpdate(c.obj);
            return c.error(bad);
        }
        visit(i);
    }
    return TCL_OK;
}

/* True when every index word from argv[2] on names a record; else false
 * with `bad` as the message. The words that change records read their
 * whole list first, so that a bad index changes nothing. */
bool allIndices(TableCall &c, const char *bad)
{
    for (int k = 2; k < c.argc; k++) {
        int i;
        if (!c.record(k, &i)) {
            c.error(bad);
            return false;
        }
    }
    return true;
}

/* ---- Field definitions ---- */

/* A descriptor from a fieldDef, the four-word list "name type length
 * decimals"; false when it is no such list or is refused. */
bool readFieldDef(const char *text, DBaseField *out)
{
    SplitList words;
    return words.split(nullptr, text) && words.count == 4 &&
           dBaseParseFieldDef(out, words.items[0], words.items[1], words.items[2], words.items[3]);
}

/* True when two of the descriptors share a name. */
bool repeatsName(const std::vector<DBaseField> &defs)
{
    for (size_t k = 0; k < defs.size(); k++) {
        for (size_t m = 0; m < k; m++) {
            if (dBaseFieldNameText(defs[k].bytes) == dBaseFieldNameText(defs[m].bytes)) {
                return true;
            }
        }
    }
    return false;
}

/* Appends "name type length decimals" of each of a header's n fields to
 * list. */
void appendFieldDefs(Tcl_Obj *list, const unsigned char *head, int n)
{
    for (int j = 0; j < n; j++) {
        const unsigned char *d = dBaseHeadField(head, j);
        std::string name = dBaseFieldNameText(d);
        Tcl_ListObjAppendElement(
            nullptr, list,
            Tcl_ObjPrintf("%s %c %d %d", name.c_str(), dBaseFieldType(d), dBaseFieldLength(d), dBaseFieldDecimals(d)));
    }
}

/* The descriptors of a fieldDefList, refusing names the table has and
 * repeated names; the message is set on failure. */
bool parseFieldDefs(TableCall &c, const char *text, std::vector<DBaseField> &out)
{
    SplitList defs;
    if (!defs.split(nullptr, text)) {
        c.error("Error in parsing fieldDefList");
        return false;
    }
    out.assign(static_cast<size_t>(defs.count), DBaseField{});
    for (int k = 0; k < defs.count; k++) {
        if (!readFieldDef(defs.items[k], &out[static_cast<size_t>(k)])) {
            c.error("Error in parsing fieldDef");
            return false;
        }
    }
    for (const DBaseField &d : out) {
        if (dBaseFieldIndex(c.t, dBaseFieldNameText(d.bytes).c_str()) >= 0) {
            c.error("Field alreay exists");
            return false;
        }
    }
    if (repeatsName(out)) {
        c.error("Can't add duplicated fields");
        return false;
    }
    return true;
}

/* addfields / insertfields from argv[defAt] (and argv[defAt + 1], the values). */
int addFields(TableCall &c, int defAt, int position)
{
    std::vector<DBaseField> defs;
    if (!parseFieldDefs(c, c.argv[defAt], defs)) {
        return TCL_ERROR;
    }
    SplitList values;
    std::vector<std::string> encoded;
    std::vector<DBaseValue> raw;
    if (c.argc > defAt + 1) {
        if (!values.split(nullptr, c.argv[defAt + 1]) || values.count != static_cast<int>(defs.size())) {
            return c.error("Error in parsing fieldList");
        }
        for (int k = 0; k < values.count; k++) {
            encoded.emplace_back();
            if (!dBaseEncodeText(c.t, values.items[k], &encoded.back()) ||
                encoded.back().size() > defs[static_cast<size_t>(k)].bytes[16]) {
                return c.error("Error in parsing fieldList");
            }
        }
        for (const std::string &value : encoded) {
            raw.push_back({value.data(), value.size()});
        }
    }
    if (defs.empty()) {
        return TCL_OK;
    }
    int n = static_cast<int>(defs.size());
    const DBaseValue *v = raw.empty() ? nullptr : raw.data();
    if (!insertdBaseFieldsAt(c.t, defs.data(), n, v, position)) {
        return c.error("Error in adding fields");
    }
    return TCL_OK;
}

int wordAddFields(TableCall &c)
{
    if (c.argc < 3 || c.argc > 4) {
        return c.usage(" fieldDefList [fieldList]");
    }
    return addFields(c, 2, c.t->fieldCount);
}

int wordInsertFields(TableCall &c)
{
    if (c.argc < 4 || c.argc > 5) {
        return c.usage(" position fieldDefList [fieldList]");
    }
    int position;
    if (!c.integer(2, &position) || position < 0 || position > c.t->fieldCount) {
        return c.error("Invalid position to insert fields");
    }
    return addFields(c, 3, position);
}

int wordDeleteFields(TableCall &c)
{
    if (c.argc < 3) {
        return c.usage(" ?fieldNames?");
    }
    std::vector<int> fields;
    for (int k = 2; k < c.argc; k++) {
        int j = dBaseFieldIndex(c.t, c.argv[k]);
        if (j < 0) {
            return c.error("Invalid fieldName");
        }
        fields.push_back(j);
    }
    if (!deletedBaseFields(c.t, static_cast<int>(fields.size()), fields.data())) {
        return c.error("Error in deleting fields");
    }
    return c.changed();
}

int wordRenameField(TableCall &c)
{
    if (c.argc != 4) {
        return c.usage(" fieldName newFieldName");
    }
    int j = dBaseFieldIndex(c.t, c.argv[2]);
    if (j < 0) {
        Tcl_AppendResult(c.interp, "can't find field ", c.argv[2], nullptr);
        return TCL_ERROR;
    }
    if (std::strlen(c.argv[3]) > DBASE_NAME_MAX) {
        return c.error("the new field name is too large");
    }
    int holder = dBaseFieldIndex(c.t, c.argv[3]);
    if (holder >= 0 && holder != j) {
        return c.error("Field alreay exists");
    }
    if (!dBaseRenameField(c.t, j, c.argv[3])) {
        return c.error("Error in parsing fieldDef");
    }
    return TCL_OK;
}

int wordInfo(TableCall &c)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    appendFieldDefs(list, c.t->head, c.t->fieldCount);
    Tcl_SetObjResult(c.interp, list);
    return TCL_OK;
}

int wordRecordSize(TableCall &c)
{
    return c.ok(c.t->recordLength);
}

/* ---- Records ---- */

/* A record image built from a list of F texts over blanks; the message is
 * set on failure. */
bool recordImage(TableCall &c, const char *text, std::vector<unsigned char> &image)
{
    SplitList list;
    if (!list.split(nullptr, text) || list.count != c.t->fieldCount) {
        c.error("Error in parsing fieldList");
        return false;
    }
    image.assign(static_cast<size_t>(c.t->recordLength), ' ');
    if (!dBaseFormatCells(c.t, image.data(), list.count, list.items)) {
        c.error("Error in parsing fields");
        return false;
    }
    return true;
}

int wordAddRecord(TableCall &c)
{
    if (c.argc > 3) {
        return c.usage(" [record]");
    }
    std::vector<unsigned char> image;
    if (c.argc == 3 && !recordImage(c, c.argv[2], image)) {
        return TCL_ERROR;
    }
    if (!adddBaseRecord(c.t, image.empty() ? nullptr : image.data(), 1)) {
        return c.error("Error in adding record");
    }
    dBaseSortIndex(c.t, 1);
    return TCL_OK;
}

int wordInsertRecords(TableCall &c)
{
    if (c.argc < 3) {
        return c.usage(" position ?nRecords? ?recordList?");
    }
    int position, n = 1;
    if (!c.integer(2, &position) || (c.argc > 3 && !c.integer(3, &n)) || n < 1 || position < 0 ||
        position > c.t->recordCount || c.argc - 4 > n) {
        return c.error("Invalid record number or position");
    }
    std::vector<std::vector<unsigned char>> images(static_cast<size_t>(std::max(0, c.argc - 4)));
    for (int k = 4; k < c.argc; k++) {
        if (!recordImage(c, c.argv[k], images[static_cast<size_t>(k - 4)])) {
            return TCL_ERROR;
        }
    }
    if (!insertdBaseRecordsAt(c.t, nullptr, n, position)) {
        return c.error("Error in inserting record");
    }
    dBaseSortIndex(c.t, 1);
    for (size_t k = 0; k < images.size(); k++) {
        std::memcpy(dBaseRecordAt(c.t, position + static_cast<int>(k)), images[k].data(), images[k].size());
    }
    return TCL_OK;
}

int wordSetRecord(TableCall &c)
{
    if (c.argc != 4) {
        return c.usage(" recIndex fieldList");
    }
    int i;
    if (!c.record(2, &i)) {
        return c.error("Invalid index");
    }
    SplitList list;
    if (!list.split(nullptr, c.argv[3]) || list.count != c.t->fieldCount) {
        return c.error("Error in parsing fieldList");
    }
    unsigned char *rec = dBaseRecordAt(c.t, i);
    std::vector<unsigned char> image(rec, rec + c.t->recordLength);
    if (!dBaseFormatCells(c.t, image.data(), list.count, list.items)) {
        return c.error("Error in parsing fieldList");
    }
    if (c.t->fieldCount > 0) {
        dBaseSetRawFields(c.t, i, 0, c.t->fieldCount, image.data() + 1);
    }
    return TCL_OK;
}

int wordEraseRecords(TableCall &c)
{
    if (c.argc < 3 || c.argc > 4) {
        Tcl_AppendResult(c.interp, c.argv[0], " ", c.argv[1], " position ?nRecords?", nullptr);
        return TCL_ERROR;
    }
    int position, n = 1;
    if (!c.record(2, &position) || (c.argc == 4 && !readClampedDecimal(c.argv[3], &n))) {
        return c.error("Invalid record position");
    }
    long long last = static_cast<long long>(position) + n - 1;
    last = std::max<long long>(position, std::min<long long>(last, c.t->recordCount - 1));
    erasedBaseRecords(c.t, position, static_cast<int>(last));
    return TCL_OK;
}

int wordPurge(TableCall &c)
{
    purgedBase(c.t);
    return TCL_OK;
}

/* ---- Flags ---- */

int wordSelect(TableCall &c)
{
    if (!allIndices(c, "Invalid index")) {
        return TCL_ERROR;
    }
    if (c.argc < 3) {
        dBaseSelectAll(c.t);
        return c.changed();
    }
    int code = eachIndex(c, "Invalid index", [&](int i) { dBaseSelect(c.t, i); });
    return code == TCL_OK ? c.changed() : code;
}

int wordUnselect(TableCall &c)
{
    if (!allIndices(c, "Invalid index")) {
        return TCL_ERROR;
    }
    if (c.argc < 3) {
        dBaseUnselectAll(c.t);
        return c.changed();
    }
    int code = eachIndex(c, "Invalid index", [&](int i) { dBaseUnselect(c.t, i); });
    return code == TCL_OK ? c.changed() : code;
}

int wordSelectOnly(TableCall &c)
{
    if (!allIndices(c, "Invalid index")) {
        return TCL_ERROR;
    }
    dBaseUnselectAll(c.t);
    if (c.argc < 3) {
        return c.changed();
    }
    int code = eachIndex(c, "Invalid index", [&](int i) { dBaseSelect(c.t, i); });
    return code == TCL_OK ? c.changed() : code;
}

int wordUnselectOnly(TableCall &c)
{
    if (!allIndices(c, "Invalid index")) {
        return TCL_ERROR;
    }
    dBaseSelectAll(c.t);
    if (c.argc < 3) {
        return c.changed();
    }
    int code = eachIndex(c, "Invalid index", [&](int i) { dBaseUnselect(c.t, i); });
    return code == TCL_OK ? c.changed() : code;
}

int wordASelect(TableCall &c)
{
    int code = eachIndex(c, "Invalid index", [&](int i) { dBaseToggleSelect(c.t, i); });
    return code == TCL_OK ? c.changed() : code;
}

int wordDeleteRecords(TableCall &c)
{
    if (!allIndices(c, "Invalid record index")) {
        return TCL_ERROR;
    }
    int code = eachIndex(c, "Invalid record index", [&](int i) { dBaseDelete(c.t, i); });
    if (code != TCL_OK) {
        return code;
    }
    dBaseSortIndex(c.t, 0);
    return c.changed();
}

int wordUndeleteRecord(TableCall &c)
{
    if (!allIndices(c, "Invalid index")) {
        return TCL_ERROR;
    }
    int code = eachIndex(c, "Invalid index", [&](int i) { dBaseUndelete(c.t, i); });
    if (code != TCL_OK) {
        return code;
    }
    dBaseSortIndex(c.t, 1);
    return c.changed();
}

int wordCountSelections(TableCall &c)
{
    return c.ok(dBaseCountSelected(c.t));
}

int wordCountDeletions(TableCall &c)
{
    return c.ok(dBaseCountDeleted(c.t));
}

int wordIsSelected(TableCall &c)
{
    if (c.argc != 3) {
        return c.usage(" index");
    }
    int i;
    if (!c.record(2, &i)) {
        return c.error("Invalid index");
    }
    return c.ok(dBaseIsSelected(c.t, i));
}

int wordGetStatus(TableCall &c)
{
    if (c.argc > 3) {
        return c.usage(" [index]");
    }
    int i = 0;
    if ((c.argc == 3 && !c.record(2, &i)) || i >= c.t->recordCount) {
        return c.error("Invalid index");
    }
    return c.ok(c.t->flags[i]);
}

int wordGetIndex(TableCall &c)
{
    if (c.argc > 3) {
        return c.usage(" [index]");
    }
    if (c.argc == 2) {
        return TCL_OK;
    }
    int k;
    if (!c.record(2, &k)) {
        return c.error("Invalid index");
    }
    return c.ok(c.t->order[k]);
}

/* ---- Cells ---- */

int wordGetField(TableCall &c)
{
    if (c.argc != 4) {
        return c.usage(" recordIndex fieldIndex");
    }
    int i, j;
    if (!c.record(2, &i) || !c.integer(3, &j) || j < 0 || j >= c.t->fieldCount) {
        return c.error("Invalid index");
    }
    std::string cell;
    int n = dBaseFieldText(c.t, i, j, cell);
    Tcl_SetObjResult(c.interp, Tcl_NewStringObj(cell.data(), n));
    return TCL_OK;
}

int wordGetRecord(TableCall &c)
{
    if (c.argc > 3) {
        return c.usage(" [index]");
    }
    int i = 0;
    if ((c.argc == 3 && !c.record(2, &i)) || i >= c.t->recordCount) {
        return c.error("Invalid index");
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    std::string cell;
    for (int j = 0; j < c.t->fieldCount; j++) {
        int n = dBaseFieldText(c.t, i, j, cell);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(cell.data(), n));
    }
    Tcl_SetObjResult(c.interp, list);
    return TCL_OK;
}

int wordSetField(TableCall &c)
{
    if (c.argc < 5) {
        return c.usage(" recIndex fieldIndex ?fieldItems?");
    }
    int i, j, n = c.argc - 4;
    if (!c.record(2, &i) || !c.integer(3, &j) || j < 0 || j > c.t->fieldCount - n) {
        return c.error("Invalid index");
    }
    if (!dBaseSetFields(c.t, i, j, n, c.argv + 4)) {
        return c.error("Error in setting fields");
    }
    return TCL_OK;
}

int wordSetBlank(TableCall &c)
{
    if (c.argc != 6) {
        return c.usage(" x0 y0 x1 y1");
    }
    int x0, y0, x1, y1;
    if (!c.integer(2, &x0) || !c.integer(3, &y0) || !c.integer(4, &x1) || !c.integer(5, &y1)) {
        return c.error("Invalid index");
    }
    dBaseSetBlank(c.t, y0, x0, y1, x1);
    return TCL_OK;
}

int wordGetDataBlock(TableCall &c)
{
    if (c.argc != 5) {
        return c.usage(" firstRecord lastRecord fieldList");
    }
    int first, last; /* held to the records below */
    if (!readClampedDecimal(c.argv[2], &first) || !readClampedDecimal(c.argv[3], &last)) {
        return c.error("Invalid index");
    }
    std::vector<int> fields;
    switch (fieldNumbers(c.t, c.argv[4], fields)) {
    case kListSplit: return c.error("Error in spliting fieldList");
    case kListName: return c.error("Error in parsing fields");
    default: break;
    }
    first = std::max(first, 0);
    last = std::min(last, c.t->recordCount - 1);
    std::string text, cell;
    for (int i = first; i <= last; i++) {
        if (i > first) {
            text.push_back('\n');
        }
        for (size_t k = 0; k < fields.size(); k++) {
            if (k > 0) {
                text.push_back('\t');
            }
            dBaseFieldText(c.t, i, fields[k], cell);
            text += cell;
        }
    }
    Tcl_SetObjResult(c.interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
    return TCL_OK;
}

/* Asks the application whether to skip a refused cell: true for Skip. */
bool askSkip(TableCall &c, const std::string &message)
{
    Tcl_Obj *words[] = {Tcl_NewStringObj("tesk.dialog", -1), Tcl_NewStringObj(".gtable_dialog", -1),
                        Tcl_NewStringObj("gtable", -1),      Tcl_NewStringObj(message.c_str(), -1),
                        Tcl_NewStringObj("question", -1),    Tcl_NewStringObj("0", -1),
                        Tcl_NewStringObj("Skip", -1),        Tcl_NewStringObj("Abort", -1)};
    for (Tcl_Obj *w : words) {
        Tcl_IncrRefCount(w);
    }
    Tcl_ResetResult(c.interp);
    Tcl_EvalObjv(c.interp, 8, words, TCL_EVAL_GLOBAL);
    bool skip = Tcl_GetStringResult(c.interp)[0] == '0';
    for (Tcl_Obj *w : words) {
        Tcl_DecrRefCount(w);
    }
    Tcl_ResetResult(c.interp);
    Tcl_EvalEx(c.interp, "_busyIcon", -1, TCL_EVAL_GLOBAL);
    Tcl_ResetResult(c.interp);
    return skip;
}

int wordSetDataBlock(TableCall &c)
{
    if (c.argc != 5) {
        return c.usage(" firstRecord fieldList dataBlock");
    }
    int first; /* held to the records below */
    if (!readClampedDecimal(c.argv[2], &first)) {
        return c.error("Invalid index");
    }
    std::vector<int> fields;
    switch (fieldNumbers(c.t, c.argv[3], fields)) {
    case kListSplit: return c.error("Error in spliting fieldList");
    case kListName: return c.error("Error in parsing fields");
    default: break;
    }
    TableHold hold(c.obj, c.t);
    DBaseTable *t = c.t;
    int rec = std::min(std::max(first, 0), t->recordCount);
    auto ensure = [&]() {
        if (rec < t->recordCount) {
            return true;
        }
        if (!insertdBaseRecordsAt(t, nullptr, 1, t->recordCount)) {
            return false;
        }
        rec = t->recordCount - 1;
        return true;
    };
    if (!ensure()) {
        return c.error("Error in inserting record");
    }
    std::string cell;
    int column = 0;
    /* Writes the cell of this column; false when the run is to stop. */
    auto put = [&]() {
        if (column < static_cast<int>(fields.size()) && fields[static_cast<size_t>(column)] < t->fieldCount &&
            !dBaseSetField(t, rec, fields[static_cast<size_t>(column)], cell.c_str())) {
            int j = fields[static_cast<size_t>(column)];
            std::string name = dBaseFieldNameText(dBaseField(t, j));
            char place[64];
            std::snprintf(place, sizeof place, " at(%d,%d) for value:", j, rec);
            std::string message = "Error in parsing cell " + name + place + cell;
            if (!askSkip(c, message)) {
                c.error(message.c_str());
                return false;
            }
            if (!hold.current()) {
                c.error("Error in setdatablock: the table was replaced");
                return false;
            }
        }
        cell.clear();
        return true;
    };
    for (const char *p = c.argv[4]; *p != '\0'; p++) {
        if (*p == '\t') {
            if (!put()) {
                return TCL_ERROR;
            }
            column++;
        } else if (*p == '\n') {
            if (!put()) {
                return TCL_ERROR;
            }
            column = 0;
            rec++;
            if (!ensure()) {
                return c.error("Error in inserting record");
            }
        } else {
            cell.push_back(*p);
        }
    }
    if (!cell.empty() && !put()) {
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---- Match ---- */

/* The predicate's markers are placed by matchscript.cpp: every marker is a
 * read of an element of the match's array, and the placed script is the
 * same for every record, so that Tcl compiles it once. Here the record
 * loop sets the elements and evaluates it. */

/* Field numbers of the markers (-1 for the record number and the whole
 * record); false, with why ("%X names no field", and what to write
 * instead when it can tell), when a marker names no field of the table. */
bool resolveFields(const DBaseTable *t, const MatchScript &placed, std::vector<int> &fields, std::string &why)
{
    fields.assign(placed.markers.size(), -1);
    for (size_t k = 0; k < placed.markers.size(); k++) {
        const MatchMarker &marker = placed.markers[k];
        if (marker.kind == MatchMarker::kField && (fields[k] = dBaseFieldIndex(t, marker.field.c_str())) < 0) {
            /* no name longer than a field descriptor's 11 bytes names a field */
            why = matchNoField(marker, [t](std::string_view name) {
                return name.size() <= DBASE_NAME_MAX + 1 && dBaseFieldIndex(t, std::string(name).c_str()) >= 0;
            });
            return false;
        }
    }
    return true;
}

/* Every field of record i as a list value: each field's read-back text
 * (a blank number is an empty element). */
Tcl_Obj *recordList(const DBaseTable *t, int i, std::string &cell)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int j = 0; j < t->fieldCount; j++) {
        dBaseFieldText(t, i, j, cell);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(cell.data(), static_cast<int>(cell.size())));
    }
    return list;
}

/* Holds one reference to a Tcl object. */
class ObjHold {
public:
    ObjHold() = default;
    ObjHold(const ObjHold &) = delete;
    ObjHold &operator=(const ObjHold &) = delete;
    ~ObjHold() { reset(nullptr); }
    void reset(Tcl_Obj *obj)
    {
        if (obj != nullptr) {
            Tcl_IncrRefCount(obj);
        }
        if (obj_ != nullptr) {
            Tcl_DecrRefCount(obj_);
        }
        obj_ = obj;
    }
    Tcl_Obj *get() const { return obj_; }

private:
    Tcl_Obj *obj_ = nullptr;
};

/* The value of a marker for record i: the record number, the whole record
 * as a list, or the field's read-back text (blank: the empty string). */
Tcl_Obj *markerValue(const DBaseTable *t, int i, MatchMarker::Kind kind, int field, std::string &cell)
{
    switch (kind) {
    case MatchMarker::kIndex: return Tcl_NewIntObj(i);
    case MatchMarker::kRecord: return recordList(t, i, cell);
    case MatchMarker::kField: break;
    }
    dBaseFieldText(t, i, field, cell);
    return Tcl_NewStringObj(cell.data(), static_cast<int>(cell.size()));
}

/* The global array through which a match hands each record's values to
 * its script: element k holds the value of marker k. A match run from
 * inside another's script gets an array of its own, and each array is
 * unset when its match ends. */
class MatchArray {
public:
    explicit MatchArray(Tcl_Interp *interp) : interp_(interp), name_("::gtableMatch" + std::to_string(++depth_))
    {
        nameObj_.reset(Tcl_NewStringObj(name_.c_str(), -1));
        Tcl_UnsetVar2(interp_, name_.c_str(), nullptr, TCL_GLOBAL_ONLY);
    }
    MatchArray(const MatchArray &) = delete;
    MatchArray &operator=(const MatchArray &) = delete;
    ~MatchArray()
    {
        Tcl_UnsetVar2(interp_, name_.c_str(), nullptr, TCL_GLOBAL_ONLY);
        for (Tcl_Obj *element : elements_) {
            Tcl_DecrRefCount(element);
        }
        depth_--;
    }

    /* The array's global name, "::gtableMatch" and the depth. */
    const std::string &name() const { return name_; }

    /* Sets marker k's value (a new object, freed on failure); false with
       the error in the result when the variable refuses it. */
    bool set(size_t k, Tcl_Obj *value)
    {
        while (elements_.size() <= k) {
            elements_.push_back(Tcl_NewIntObj(static_cast<int>(elements_.size())));
            Tcl_IncrRefCount(elements_.back());
        }
        return Tcl_ObjSetVar2(interp_, nameObj_.get(), elements_[k], value, TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG) !=
               nullptr;
    }

    /* Marker k's value as the array holds it, or null. */
    Tcl_Obj *get(size_t k) const
    {
        return k < elements_.size() ? Tcl_ObjGetVar2(interp_, nameObj_.get(), elements_[k], TCL_GLOBAL_ONLY) : nullptr;
    }

private:
    static thread_local int depth_; /* matches running on this thread */
    Tcl_Interp *interp_;
    std::string name_;
    ObjHold nameObj_;
    std::vector<Tcl_Obj *> elements_; /* the element names 0, 1, ..., one reference each */
};

thread_local int MatchArray::depth_ = 0;

/* Unsets, when the match ends, the variables its predicate made: the
 * placer took only names that were no variable where they are set. */
class PredicateVariables {
public:
    PredicateVariables(Tcl_Interp *interp, const std::vector<MatchVariable> &variables)
        : interp_(interp), variables_(variables)
    {}
    PredicateVariables(const PredicateVariables &) = delete;
    PredicateVariables &operator=(const PredicateVariables &) = delete;
    ~PredicateVariables()
    {
        for (const MatchVariable &v : variables_) {
            Tcl_UnsetVar2(interp_, v.name.c_str(), nullptr, v.global ? TCL_GLOBAL_ONLY : 0);
        }
    }

private:
    Tcl_Interp *interp_;
    const std::vector<MatchVariable> &variables_;
};

/* True when a predicate that ended by return ended as a procedure's body
 * does with its value: a return of level 1 and code ok. */
bool returnedNormally(Tcl_Interp *interp)
{
    Tcl_Obj *options = Tcl_GetReturnOptions(interp, TCL_RETURN);
    Tcl_IncrRefCount(options);
    int level = -1, code = -1;
    Tcl_Obj *key = Tcl_NewStringObj("-level", -1), *value = nullptr;
    Tcl_IncrRefCount(key);
    if (Tcl_DictObjGet(nullptr, options, key, &value) == TCL_OK && value != nullptr) {
        Tcl_GetIntFromObj(nullptr, value, &level);
    }
    Tcl_SetStringObj(key, "-code", -1);
    if (Tcl_DictObjGet(nullptr, options, key, &value) == TCL_OK && value != nullptr) {
        Tcl_GetIntFromObj(nullptr, value, &code);
    }
    Tcl_DecrRefCount(key);
    Tcl_DecrRefCount(options);
    return level == 1 && code == TCL_OK;
}

/* Fails the match with "Error in parse scripts: " and why the predicate
 * is refused. */
int refused(TableCall &c, const std::string &why)
{
    std::string message = "Error in parse scripts: " + why;
    return c.error(message.c_str());
}

/* Whether Tcl's big-integer routines are there (set up with the table
 * commands). */
bool bignumReady = false;

/* The first decimal digit of a positive integer of bits bits (more than
 * 64) whose top 64 bits are top, when the magnitude tells it surely
 * (every integer of those top bits has the same first digit, and none
 * lies near where the digit changes: the logarithms are good to some 16
 * digits); else -1. */
int firstDigit(uint64_t top, int bits)
{
    long double shift = static_cast<long double>(bits - 64) * std::log10(2.0L);
    int digit[2];
    for (int k = 0; k < 2; k++) {
        long double x = std::log10(static_cast<long double>(top) + k) + shift;
        long double lead = std::pow(10.0L, x - std::floor(x)); /* in [1, 10) */
        if (std::fabs(lead - std::round(lead)) < 1e-9L * lead) {
            return -1; /* at an edge: 9.999... or 2.000... */
        }
        digit[k] = static_cast<int>(lead);
    }
    return digit[0] == digit[1] && digit[0] >= 1 && digit[0] <= 9 ? digit[0] : -1;
}

/* True when a predicate's answer starts with "1". The answer is read
 * through its object (it may be long, and is never copied); an integer
 * larger than a cell could hold is not turned into text (which takes time
 * in the square of its length): its first digit comes from its
 * magnitude, its text only at the edge of a power of ten. */
bool answersOne(Tcl_Obj *answer)
{
    if (bignumReady && answer->bytes == nullptr && answer->typePtr != nullptr &&
        std::strcmp(answer->typePtr->name, "bignum") == 0) {
        mp_int big;
        if (Tcl_GetBignumFromObj(nullptr, answer, &big) == TCL_OK) {
            int bits = mp_count_bits(&big);
            int digit = -1;
            if (big.sign == MP_NEG) {
                digit = 0; /* '-' */
            } else if (bits > 1024) {
                mp_int top;
                if (mp_init(&top) == MP_OKAY) {
                    if (mp_div_2d(&big, bits - 64, &top, nullptr) == MP_OKAY) {
                        digit = firstDigit(mp_get_mag_ull(&top), bits);
                    }
                    mp_clear(&top);
                }
            }
            mp_clear(&big);
            if (digit >= 0) {
                return digit == 1;
            }
        }
    }
    int length = 0;
    const char *text = Tcl_GetStringFromObj(answer, &length);
    return length > 0 && text[0] == '1';
}

enum MatchAction { kActSelect, kActUnselect, kActASelect, kActSelectOnly, kActUnselectOnly, kActList };

/* Acts on record i for the predicate's answer. */
void actOn(DBaseTable *t, int i, MatchAction action, bool yes)
{
    switch (action) {
    case kActSelect:
        if (yes) {
            dBaseSelect(t, i);
        }
        break;
    case kActUnselect:
        if (yes) {
            dBaseUnselect(t, i);
        }
        break;
    case kActASelect:
        if (yes) {
            dBaseToggleSelect(t, i);
        }
        break;
    case kActSelectOnly:
    case kActList: yes ? dBaseSelect(t, i) : dBaseUnselect(t, i); break;
    case kActUnselectOnly: yes ? dBaseUnselect(t, i) : dBaseSelect(t, i); break;
    }
}

int wordMatch(TableCall &c)
{
    if (c.argc < 3 || c.argc > 4) {
        return c.usage(" predicateScript action (select unselect selectonly unselectonly aselect list)");
    }
    static const struct {
        const char *name;
        MatchAction action;
    } kActions[] = {{"select", kActSelect},         {"unselect", kActUnselect},         {"aselect", kActASelect},
                    {"selectonly", kActSelectOnly}, {"unselectonly", kActUnselectOnly}, {"list", kActList}};
    MatchAction action = kActList;
    if (c.argc == 4) {
        bool found = false;
        for (const auto &row : kActions) {
            if (std::strcmp(row.name, c.argv[3]) == 0) {
                action = row.action;
                found = true;
            }
        }
        if (!found) {
            return c.error("Unknown action");
        }
    }
    MatchArray values(c.interp);
    MatchScript placed;
    std::vector<int> fields;
    std::string why;
    bool ok = matchScriptPlace(c.interp, c.argv[2], values.name(), placed, why);
    /* a marker that names no field is the first reason, wherever it stands */
    if (!resolveFields(c.t, placed, fields, why) || !ok) {
        return refused(c, why);
    }
    PredicateVariables own(c.interp, placed.variables);

    TableHold hold(c.obj, c.t);
    DBaseTable *t = c.t;
    unsigned generation = t->generation;
    ObjHold script;
    script.reset(Tcl_NewStringObj(placed.script.data(), static_cast<int>(placed.script.size())));
    /* Ends the match as a failed evaluation does, after why (or the error
       already in the result), with the predicate as its values expand it. */
    auto failed = [&](const char *why) {
        if (why != nullptr) {
            c.error(why);
        }
        std::string shown = placed.text[0];
        for (size_t k = 0; k < placed.markers.size(); k++) {
            shown += placed.markers[k].kind == MatchMarker::kIndex ? "" : "{";
            if (Tcl_Obj *value = values.get(k)) {
                shown += Tcl_GetString(value);
            }
            shown += placed.markers[k].kind == MatchMarker::kIndex ? "" : "}";
            shown += placed.text[k + 1];
        }
        Tcl_AppendResult(c.interp, "\nError in eval: ", shown.c_str(), nullptr);
        return TCL_ERROR;
    };
    std::string cell;
    int count = 0;
    for (int i = 0; hold.current() && i < t->recordCount; i++) {
        if (t->generation != generation) { /* the script changed the fields */
            if (!resolveFields(t, placed, fields, why)) {
                return refused(c, why);
            }
            generation = t->generation;
        }
        for (size_t k = 0; k < fields.size(); k++) {
            if (!values.set(k, markerValue(t, i, placed.markers[k].kind, fields[k], cell))) {
                return failed(nullptr);
            }
            if (!hold.current() || t->generation != generation || i >= t->recordCount) {
                /* a trace on the array changed the table: nothing more is
                   read from it */
                return failed("Error in match: the table changed while its values were set");
            }
        }
        int code = Tcl_EvalObjEx(c.interp, script.get(), 0);
        if (code != TCL_OK && !(code == TCL_RETURN && returnedNormally(c.interp))) {
            return failed(nullptr);
        }
        bool yes = answersOne(Tcl_GetObjResult(c.interp));
        Tcl_ResetResult(c.interp);
        if (!hold.current() || i >= t->recordCount) {
            break;
        }
        count += yes ? 1 : 0;
        actOn(t, i, action, yes);
    }
    if (!hold.current()) {
        return c.error("Error in match: the table was replaced");
    }
    if (action != kActList) {
        return c.ok(count);
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < t->recordCount; i++) {
        if (t->flags[i] & DBASE_SELECTED) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewIntObj(i));
        }
    }
    Tcl_SetObjResult(c.interp, list);
    return TCL_OK;
}

/* ---- Dispatch ---- */

struct TableWord {
    const char *name;
    int minLength; /* 0: the word must be given whole */
    TableWordProc *proc;
};

/* Within a letter the first row that matches wins. */
constexpr TableWord kWords[] = {
    {"addfields", 3, wordAddFields},
    {"addrecord", 4, wordAddRecord},
    {"aselect", 3, wordASelect},
    {"countselections", 6, wordCountSelections},
    {"countdeletions", 6, wordCountDeletions},
    {"deletefields", 7, wordDeleteFields},
    {"deleterecords", 7, wordDeleteRecords},
    {"eraserecords", 5, wordEraseRecords},
    {"getdatablock", 4, wordGetDataBlock},
    {"getfield", 4, wordGetField},
    {"getrecord", 4, wordGetRecord},
    {"getindex", 4, wordGetIndex},
    {"getstatus", 4, wordGetStatus},
    {"info", 0, wordInfo},
    {"insertfields", 7, wordInsertFields},
    {"insertrecords", 7, wordInsertRecords},
    {"isselected", 5, wordIsSelected},
    {"match", 3, wordMatch},
    {"purge", 4, wordPurge},
    {"recordsize", 4, wordRecordSize},
    {"renamefield", 0, wordRenameField},
    {"select", 0, wordSelect},
    {"selectonly", 0, wordSelectOnly},
    {"setblank", 0, wordSetBlank},
    {"setdatablock", 7, wordSetDataBlock},
    {"setfield", 0, wordSetField},
    {"setrecord", 0, wordSetRecord},
    {"undeleterecord", 5, wordUndeleteRecord},
    {"unselect", 5, wordUnselect},
    {"unselectonly", 9, wordUnselectOnly},
};

const TableWord *findWord(const char *word)
{
    for (const TableWord &row : kWords) {
        bool whole = row.minLength == 0;
        if (whole ? std::strcmp(row.name, word) == 0 : subcommandMatches(row.name, row.minLength, word)) {
            return &row;
        }
    }
    return nullptr;
}

/* `define` ?fieldDef ...?: a new empty table of the defined fields. */
int defineTable(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " define ?fieldDefs?", nullptr);
        return TCL_ERROR;
    }
    std::vector<DBaseField> defs(static_cast<size_t>(argc - 2));
    for (int k = 2; k < argc; k++) {
        if (!readFieldDef(argv[k], &defs[static_cast<size_t>(k - 2)])) {
            Tcl_SetResult(interp, const_cast<char *>("Error in parsing field definition"), TCL_STATIC);
            return TCL_ERROR;
        }
    }
    if (repeatsName(defs)) {
        Tcl_SetResult(interp, const_cast<char *>("Error in parsing field definition"), TCL_STATIC);
        return TCL_ERROR;
    }
    DBaseTable *t = newdBase();
    if (t == nullptr || !adddBaseField(t, defs.data(), static_cast<int>(defs.size()), nullptr)) {
        freedBase(t);
        Tcl_SetResult(interp, const_cast<char *>("Error in parsing field definition"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (obj->payload != nullptr) {
        obj->freePayload(obj->payload);
    }
    obj->payload = t;
    return TCL_OK;
}

int gtableObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
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
    if (std::strcmp(argv[1], "define") == 0) {
        return defineTable(obj, interp, argc, argv);
    }
    TableCall call{interp, obj, tableOf(obj), argc, argv};
    if (call.t == nullptr) {
        return call.error("Undefined object");
    }
    const TableWord *row = findWord(argv[1]);
    if (row == nullptr) {
        if (argv[1][0] == 'r' && std::strlen(argv[1]) >= 4) {
            return TCL_OK;
        }
        return call.error("Unknown command");
    }
    return row->proc(call);
}

int gtableCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, argv[0], " id options", nullptr);
        return TCL_ERROR;
    }
    return objCreate(interp, &kTableKind, argc, argv);
}

int gtableInfoCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " fileName", nullptr);
        return TCL_ERROR;
    }
    size_t headBytes = 0;
    int error = 0;
    unsigned char *head = readdBaseInfo(argv[1], &headBytes, &error);
    if (head == nullptr) {
        return TCL_OK;
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj("dBase", -1));
    appendFieldDefs(list, head, dBaseHeadFieldCount(head, headBytes));
    freedBaseHead(head);
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

}  // namespace

int gtableCmdInit(Tcl_Interp *interp)
{
    bignumReady = Tcl_TomMath_InitStubs(interp, "8.6") != nullptr;
    if (matchScriptInit(interp) != 0 ||
        Tcl_CreateCommand(interp, "gtable.create", gtableCreateCmd, nullptr, nullptr) == nullptr ||
        Tcl_CreateCommand(interp, "gtable.info", gtableInfoCmd, nullptr, nullptr) == nullptr) {
        return 1;
    }
    return 0;
}
