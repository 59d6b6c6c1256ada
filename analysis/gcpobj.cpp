/*
 * gcpobj.cpp --
 *
 *	Ground control point objects. gcp.create makes a data object of type
 *	GCP whose payload is a control point calculator (gcpcalc.h); its
 *	command answers the words every object shares, then its own: points
 *	are set, listed, selected and deleted by ID or index, a polynomial of
 *	a given power is fitted over the selected points, points are mapped
 *	through the fit, and the fit is saved as a georectification parameter
 *	file (the points themselves through the shared save, as a GCPOBJ
 *	file). Registered by gcpCmdInit.
 */
#include "analysis/gcpobj.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/gcpcalc.h"
#include "analysis/georect.h"
#include "runtime/cnumber.h"
#include "runtime/subcmd.h"
#include "tesk.h"

namespace {

constexpr const char *kUsage =
    " [calc config cget class clone close count delete error function get id modified reverse save savefunction "
    "select set setxy setuv unselect version]";

/* The class code every gcp object answers. */
constexpr int kGcpClass = 256;

GcpCalc *calcOf(RAMOBJ *obj)
{
    return static_cast<GcpCalc *>(obj->payload);
}

int fail(Tcl_Interp *interp, const char *message)
{
    Tcl_SetResult(interp, const_cast<char *>(message), TCL_VOLATILE);
    return TCL_ERROR;
}

int usage(Tcl_Interp *interp, const char *name, const char *words)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Usage: ", name, words, nullptr);
    return TCL_ERROR;
}

/* An empty calculator in place of a missing payload (an object whose
 * -file was configured empty); false when memory runs out. */
bool ensurePayload(RAMOBJ *obj)
{
    if (obj->payload == nullptr) {
        obj->payload = gcpCalcCreate(nullptr);
    }
    return obj->payload != nullptr;
}

/* ---- Procedures of the kind ---- */

int gcpObjCount(RAMOBJ *obj)
{
    const GcpCalc *calc = calcOf(obj);
    return calc != nullptr ? calc->count : 0;
}

/* 1 when index is a point and that point is selected. */
int gcpObjIsValid(RAMOBJ *obj, int index)
{
    const GcpCalc *calc = calcOf(obj);
    return calc != nullptr && index >= 0 && index < calc->count && calc->records[index].selected != 0 ? 1 : 0;
}

int gcpObjClass(RAMOBJ *)
{
    return kGcpClass;
}

/* A copy of the calculator; without selectedOnly every copied point is
 * selected, with it the copy is exact. NULL when memory runs out. */
void *gcpObjClone(void *payload, int selectedOnly)
{
    GcpCalc *copy = gcpCalcCreate(static_cast<const GcpCalc *>(payload));
    if (copy != nullptr && !selectedOnly) {
        for (int k = 0; k < copy->count; k++) {
            copy->records[k].selected = 1;
        }
    }
    return copy;
}

/* The points as a GCPOBJ file; a selected-only save writes them all too. */
int gcpObjSaveProc(RAMOBJ *obj, const char *fileName, int)
{
    GcpCalc *calc = calcOf(obj);
    return calc != nullptr && gcpObjSave(calc, fileName) ? 1 : 0;
}

void *gcpObjLoadProc(const char *fileName, void **)
{
    return gcpObjLoad(fileName);
}

void gcpObjFree(void *payload)
{
    gcpCalcFree(static_cast<GcpCalc *>(payload));
}

int gcpObjModified(RAMOBJ *obj)
{
    const GcpCalc *calc = calcOf(obj);
    return calc != nullptr ? calc->modified : 0;
}

/* ---- Words ----
 * Index, ID and power words are integers and coordinates real numbers;
 * anything else is refused with Tcl's message, before the points change.
 */

bool intWord(Tcl_Interp *interp, const char *word, int *value)
{
    return Tcl_GetInt(interp, word, value) == TCL_OK;
}

bool realWord(Tcl_Interp *interp, const char *word, double *value)
{
    if (cGetDouble(interp, word, value, cAllowInfinite) != TCL_OK) {
        return false;
    }
    if (!std::isfinite(*value)) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "expected finite number but got \"", word, "\"", nullptr);
        return false;
    }
    return true;
}

/* The words from argv[2] on: every point (empty numbers, all set) for the
 * single word "all", else each word as an integer. False with Tcl's
 * message when a word is no integer. */
bool numberWords(Tcl_Interp *interp, int argc, const char **argv, std::vector<int> &numbers, bool &all)
{
    all = argc == 3 && std::strcmp(argv[2], "all") == 0;
    numbers.clear();
    if (all) {
        return true;
    }
    for (int k = 2; k < argc; k++) {
        int value;
        if (!intWord(interp, argv[k], &value)) {
            return false;
        }
        numbers.push_back(value);
    }
    return true;
}

/* The point indices of words 2..: each index word, or every point for
 * "all". */
bool indexWords(const GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv, std::vector<int> &indices)
{
    bool all;
    if (!numberWords(interp, argc, argv, indices, all)) {
        return false;
    }
    for (int k = 0; all && k < calc->count; k++) {
        indices.push_back(k);
    }
    return true;
}

void appendText(Tcl_Obj *list, const std::string &text)
{
    Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
}

/* The words of one list argument {id a b ...}; split answers false unless
 * the text is a well-formed list of exactly n words. */
struct WordList {
    int count = 0;
    const char **words = nullptr;
    ~WordList()
    {
        if (words != nullptr) {
            Tcl_Free(reinterpret_cast<char *>(words));
        }
    }
    bool split(const char *text, int n) { return Tcl_SplitList(nullptr, text, &count, &words) == TCL_OK && count == n; }
};

/* ---- Subcommands ---- */

/* calc x y: the fitted (X2, Y2) of the point (x, y), whose fractions are
 * cut off. */
int calcPoint(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4) {
        return usage(interp, argv[0], " calc x y");
    }
    double x, y;
    if (!realWord(interp, argv[2], &x) || !realWord(interp, argv[3], &y)) {
        return TCL_ERROR;
    }
    double i, j;
    if (!gcpTransform(calc, std::trunc(x), std::trunc(y), &i, &j)) {
        return fail(interp, "No function is available");
    }
    std::string text = cFormat("%.12g %.12g", j, i);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
    return TCL_OK;
}

/* delete index */
int deletePoint(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " delete index");
    }
    int index;
    if (!intWord(interp, argv[2], &index)) {
        return TCL_ERROR;
    }
    if (index < 0 || index >= calc->count) {
        return fail(interp, "Invalid index");
    }
    gcpDeleteRecord(calc, index);
    return TCL_OK;
}

/* error id ...|all: "ID DX DY" of every point or of each given ID. */
int listResiduals(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        return usage(interp, argv[0], " error ?id? ...|all");
    }
    std::vector<int> ids;
    bool all;
    if (!numberWords(interp, argc, argv, ids, all)) {
        return TCL_ERROR;
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    auto add = [&](const GcpRecord &r) { appendText(list, cFormat("%d %-.12g %-.12g", r.id, r.dx, r.dy)); };
    if (all) {
        for (int k = 0; k < calc->count; k++) {
            add(calc->records[k]);
        }
    }
    for (int id : ids) {
        int index;
        if (gcpFindById(calc, id, &index)) {
            add(calc->records[index]);
        }
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

/* function power: fits the polynomials; MSR, J and I coefficients. */
int fitFunction(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " power");
    }
    int power;
    if (!intWord(interp, argv[2], &power)) {
        return TCL_ERROR;
    }
    if (power < 0) {
        power = 0;
    }
    if (power > GEORECT_MAX_POWER) {
        return fail(interp, "The power of the polynomial must be 0 to 10");
    }
    if (!gcpFit(calc, power)) {
        return fail(interp, "No enough GCPs");
    }
    std::vector<char> text(32 * (GEORECT_MAX_TERMS + 1));
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    gcpFormatMsr(calc, "%.12g", text.data());
    appendText(list, text.data());
    gcpFormatJCoef(calc, "%.12g", text.data());
    appendText(list, text.data());
    gcpFormatICoef(calc, "%.12g", text.data());
    appendText(list, text.data());
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

/* get index ...|all: "ID X1 Y1 X2 Y2" of every point or of each index
 * inside the points. */
int listPoints(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        return usage(interp, argv[0], " get ?index? ...|all");
    }
    std::vector<int> indices;
    if (!indexWords(calc, interp, argc, argv, indices)) {
        return TCL_ERROR;
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int index : indices) {
        if (index >= 0 && index < calc->count) {
            const GcpRecord &r = calc->records[index];
            appendText(list, cFormat("%d %-.12g %-.12g %-.12g %-.12g", r.id, r.x1, r.y1, r.x2, r.y2));
        }
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

/* id index ...|all: the IDs; an index outside the points gives an empty
 * element. */
int listIds(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        return usage(interp, argv[0], " id ?index? ...|all");
    }
    std::vector<int> indices;
    if (!indexWords(calc, interp, argc, argv, indices)) {
        return TCL_ERROR;
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int index : indices) {
        appendText(list, index >= 0 && index < calc->count ? cFormat("%d", calc->records[index].id) : "");
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

/* select / unselect id ...|all */
int selectPoints(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv, int selected)
{
    if (argc < 3) {
        return usage(interp, argv[0], selected ? " select ?id? ...|all" : " unselect ?id? ...|all");
    }
    std::vector<int> ids;
    bool all;
    if (!numberWords(interp, argc, argv, ids, all)) {
        return TCL_ERROR;
    }
    if (all) {
        for (int k = 0; k < calc->count; k++) {
            calc->records[k].selected = selected;
        }
    }
    for (int id : ids) {
        int index;
        if (gcpFindById(calc, id, &index)) {
            calc->records[index].selected = selected;
        }
    }
    calc->modified = 1;
    return TCL_OK;
}

/* set {id x y u v}: moves the point of that ID, or appends it selected. */
int setPoint(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    WordList w;
    if (argc != 3 || !w.split(argv[2], 5)) {
        return usage(interp, argv[0], " set {id x y u v}");
    }
    int id;
    double v[4];
    if (!intWord(interp, w.words[0], &id)) {
        return TCL_ERROR;
    }
    for (int k = 0; k < 4; k++) {
        if (!realWord(interp, w.words[k + 1], &v[k])) {
            return TCL_ERROR;
        }
    }
    if (id <= 0) {
        return fail(interp, "id must be greater than 0");
    }
    int index;
    if (!gcpFindById(calc, id, &index)) {
        if (calc->count >= GCP_CAPACITY || calc->count >= calc->capacity) {
            return fail(interp, "GCP number overflow");
        }
        GcpRecord &r = calc->records[calc->count++];
        r = GcpRecord{};
        r.selected = 1;
        r.id = id;
    }
    GcpRecord &r = calc->records[index];
    r.x1 = v[0], r.y1 = v[1], r.x2 = v[2], r.y2 = v[3];
    calc->modified = 1;
    return TCL_OK;
}

/* setxy {id x y} and setuv {id u v}: one side of an existing point. */
int setSide(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv, bool source)
{
    WordList w;
    if (argc != 3 || !w.split(argv[2], 3)) {
        return usage(interp, argv[0], source ? " setxy {id x y}" : " setuv {id u v}");
    }
    int id;
    double a, b;
    if (!intWord(interp, w.words[0], &id) || !realWord(interp, w.words[1], &a) || !realWord(interp, w.words[2], &b)) {
        return TCL_ERROR;
    }
    int index;
    if (!gcpFindById(calc, id, &index)) {
        return fail(interp, "can't find specified GCP");
    }
    GcpRecord &r = calc->records[index];
    if (source) {
        r.x1 = a, r.y1 = b;
    } else {
        r.x2 = a, r.y2 = b;
    }
    calc->modified = 1;
    return TCL_OK;
}

/* savefunction fileName */
int saveFunction(GcpCalc *calc, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        return usage(interp, argv[0], " savefuntion fileName");
    }
    if (!gcpSaveGeorect(calc, argv[2])) {
        return fail(interp, "Error in saving");
    }
    return TCL_OK;
}

enum GcpWord {
    kCalc,
    kDelete,
    kError,
    kFunction,
    kGet,
    kId,
    kReverse,
    kSelect,
    kSet,
    kSetxy,
    kSetuv,
    kSavefunction,
    kUnselect
};

struct GcpSubcommand {
    const char *name;
    int minLength; /* the whole name for words that must be typed in full */
    GcpWord word;
};

constexpr GcpSubcommand kGcpSubcommands[] = {
    {"calc", 4, kCalc},         {"delete", 3, kDelete}, {"error", 5, kError},     {"function", 8, kFunction},
    {"get", 1, kGet},           {"id", 2, kId},         {"reverse", 7, kReverse}, {"select", 6, kSelect},
    {"set", 3, kSet},           {"setxy", 5, kSetxy},   {"setuv", 5, kSetuv},     {"savefunction", 5, kSavefunction},
    {"unselect", 8, kUnselect},
};

const RamObjKind kGcpKind = {
    RAMOBJ_GCP,     gcpObjCount, gcpObjIsValid, gcpObjClass,    gcpObjClone, gcpObjSaveProc,
    gcpObjLoadProc, gcpObjFree,  gcpObjCmd,     gcpObjModified, nullptr,
};

/* gcp.create id ?option value ...? */
int gcpCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, argv[0], " id options", nullptr);
        return TCL_ERROR;
    }
    if (objCreate(interp, &kGcpKind, argc, argv) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, argv[1], &info) || !ensurePayload(static_cast<RAMOBJ *>(info.clientData))) {
        Tcl_DeleteCommand(interp, argv[1]);
        return fail(interp, "Error in create gcp obj");
    }
    Tcl_SetResult(interp, const_cast<char *>(argv[1]), TCL_VOLATILE);
    return TCL_OK;
}

}  // namespace

/*
 * gcpObjCmd --
 *	The command of a gcp object: the shared words first, then the kind's
 *	words told apart by their first letter. A word of one of the kind's
 *	letters that names none of its subcommands answers nothing; a word of
 *	any other letter gets the usage list.
 */
int gcpObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    if (argc < 2) {
        return usage(interp, argv[0], kUsage);
    }
    ensurePayload(obj);
    int code = objDefCommand(obj, interp, argc, argv);
    if (code != TCL_CONTINUE) {
        return code;
    }
    Tcl_ResetResult(interp);
    const char *word = argv[1];
    if (word[0] == '\0' || std::strchr("cdefgirsu", word[0]) == nullptr) {
        return usage(interp, argv[0], kUsage);
    }
    int row = findSubcommand(kGcpSubcommands, word);
    if (row < 0) {
        return TCL_OK;
    }
    GcpCalc *calc = calcOf(obj);
    if (calc == nullptr) {
        return fail(interp, "Error in create gcp obj");
    }
    switch (kGcpSubcommands[row].word) {
    case kCalc: return calcPoint(calc, interp, argc, argv);
    case kDelete: return deletePoint(calc, interp, argc, argv);
    case kError: return listResiduals(calc, interp, argc, argv);
    case kFunction: return fitFunction(calc, interp, argc, argv);
    case kGet: return listPoints(calc, interp, argc, argv);
    case kId: return listIds(calc, interp, argc, argv);
    case kReverse: gcpExchange(calc); return TCL_OK;
    case kSelect: return selectPoints(calc, interp, argc, argv, 1);
    case kUnselect: return selectPoints(calc, interp, argc, argv, 0);
    case kSet: return setPoint(calc, interp, argc, argv);
    case kSetxy: return setSide(calc, interp, argc, argv, true);
    case kSetuv: return setSide(calc, interp, argc, argv, false);
    case kSavefunction: return saveFunction(calc, interp, argc, argv);
    }
    return TCL_OK;
}

int gcpCmdInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "gcp.create", gcpCreateCmd, nullptr, nullptr) == nullptr ? TCL_ERROR : TCL_OK;
}
