/*
 * tagsearch.cpp --
 *
 *	Tag searches of the geo canvas: compiling a tagOrId, stepping through
 *	its matches (items may be deleted between steps), the find and addtag
 *	search forms, and restacking. The withtag, overlapping, enclosed and
 *	closest forms read the item index (itemindex.cpp) rather than the
 *	item records.
 */
#include "canvas/tagsearch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "tesk.h"

namespace {

struct Tokens {
    Tk_Uid all, current, andUid, orUid, xorUid, paren, negParen, endParen, tagUid, negTagUid;
};

const Tokens &tokens()
{
    static const Tokens t = {Tk_GetUid("all"), Tk_GetUid("current"), Tk_GetUid("&&"), Tk_GetUid("||"), Tk_GetUid("^"),
                             Tk_GetUid("("),   Tk_GetUid("!("),      Tk_GetUid(")"),  Tk_GetUid("!!"), Tk_GetUid("!")};
    return t;
}

bool hasTagIn(const Tk_Uid *tags, int numTags, Tk_Uid uid)
{
    for (int i = 0; i < numTags; i++) {
        if (tags[i] == uid) {
            return true;
        }
    }
    return false;
}

bool hasTag(const GcanvasItem *item, Tk_Uid uid)
{
    return hasTagIn(item->tags, item->numTags, uid);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/* The recursive descent over one level of an expression. */
struct Compiler {
    const std::string &text;
    size_t pos;
    std::vector<Tk_Uid> &out;
    const char *error = nullptr;

    /* Compiles until the end of the text or a ")"; false on error. */
    bool level()
    {
        const Tokens &t = tokens();
        bool lookingForTag = true, negate = false, found = false;
        while (pos < text.size()) {
            char c = text[pos];
            if (lookingForTag) {
                if (isBlank(c)) {
                    pos++;
                } else if (c == '!') {
                    if (negate) {
                        return fail("Too many '!' in tag search expression");
                    }
                    negate = true;
                    pos++;
                } else if (c == '(') {
                    out.push_back(negate ? t.negParen : t.paren);
                    pos++;
                    if (!level()) {
                        return false;
                    }
                    negate = false;
                    lookingForTag = false;
                    found = true;
                } else if (c == '"') {
                    std::string tag;
                    pos++;
                    while (pos < text.size() && text[pos] != '"') {
                        if (text[pos] == '\\' && pos + 1 < text.size()) {
                            pos++;
                        }
                        tag += text[pos++];
                    }
                    if (pos >= text.size()) {
                        return fail("Missing endquote in tag search expression");
                    }
                    pos++;
                    if (tag.empty()) {
                        return fail("Null quoted tag string in tag search expression");
                    }
                    operand(tag, negate);
                    negate = false;
                    lookingForTag = false;
                    found = true;
                } else if (c == '&' || c == '|' || c == '^' || c == ')') {
                    return fail("Unexpected operator in tag search expression");
                } else {
                    size_t start = pos;
                    while (pos < text.size() && std::strchr("!&|^()\"", text[pos]) == nullptr) {
                        pos++;
                    }
                    size_t end = pos;
                    while (end > start && isBlank(text[end - 1])) {
                        end--;
                    }
                    operand(text.substr(start, end - start), negate);
                    negate = false;
                    lookingForTag = false;
                    found = true;
                }
            } else {
                if (isBlank(c)) {
                    pos++;
                } else if (c == '&' || c == '|') {
                    if (pos + 1 >= text.size() || text[pos + 1] != c) {
                        return fail(c == '&' ? "Singleton '&' in tag search expression"
                                             : "Singleton '|' in tag search expression");
                    }
                    out.push_back(c == '&' ? t.andUid : t.orUid);
                    pos += 2;
                    lookingForTag = true;
                } else if (c == '^') {
                    out.push_back(t.xorUid);
                    pos++;
                    lookingForTag = true;
                } else if (c == ')') {
                    out.push_back(t.endParen);
                    pos++;
                    return true;
                } else {
                    return fail("Invalid boolean operator in tag search expression");
                }
            }
        }
        if (!found || lookingForTag) {
            return fail("Missing tag in tag search expression");
        }
        return true;
    }

    void operand(const std::string &tag, bool negate)
    {
        out.push_back(negate ? tokens().negTagUid : tokens().tagUid);
        out.push_back(Tk_GetUid(tag.c_str()));
    }

    bool fail(const char *message)
    {
        error = message;
        return false;
    }
};

/* Evaluates one level from expr->index over a set of tags; leaves the
 * index after it. */
bool evaluate(GcanvasTagExpr *expr, const Tk_Uid *tags, int numTags)
{
    const Tokens &t = tokens();
    const std::vector<Tk_Uid> &u = expr->uids;
    bool value = false, negateNext = false;
    while (expr->index < u.size()) {
        Tk_Uid token = u[expr->index++];
        bool operandValue;
        if (token == t.tagUid || token == t.negTagUid) {
            operandValue = hasTagIn(tags, numTags, u[expr->index++]);
            if (token == t.negTagUid) {
                operandValue = !operandValue;
            }
        } else if (token == t.paren || token == t.negParen) {
            operandValue = evaluate(expr, tags, numTags);
            if (token == t.negParen) {
                operandValue = !operandValue;
            }
        } else {
            continue;
        }
        value = negateNext ? (value ? !operandValue : operandValue) : operandValue;
        negateNext = false;
        /* The operator after the operand. */
        if (expr->index >= u.size()) {
            return value;
        }
        Tk_Uid op = u[expr->index++];
        if (op == t.endParen) {
            return value;
        }
        if ((op == t.andUid && !value) || (op == t.orUid && value)) {
            /* Decided: skip the rest of this level. */
            int depth = 0;
            while (expr->index < u.size()) {
                Tk_Uid skip = u[expr->index++];
                if (skip == t.paren || skip == t.negParen) {
                    depth++;
                } else if (skip == t.endParen) {
                    if (depth-- == 0) {
                        break;
                    }
                } else if (skip == t.tagUid || skip == t.negTagUid) {
                    expr->index++;
                }
            }
            return value;
        }
        negateNext = op == t.xorUid;
    }
    return value;
}

bool matches(GcanvasTagSearch *search, GcanvasItem *item)
{
    switch (search->type) {
    case 2: return true;
    case 3: return hasTag(item, search->expr.uid);
    case 4: search->expr.index = 0; return evaluate(&search->expr, item->tags, item->numTags);
    default: return false;
    }
}

/* Whether the index's tag copies can answer the search: a tag or an
 * expression that does not name "current" (which the copies leave out). */
bool indexable(const GcanvasTagSearch *search)
{
    if (search->type == 3) {
        return search->expr.uid != tokens().current;
    }
    if (search->type != 4) {
        return false;
    }
    for (Tk_Uid uid : search->expr.uids) {
        if (uid == tokens().current) {
            return false;
        }
    }
    return true;
}

/* A tag or an expression over a few tags as a truth table: the value for
 * each set of its operands a row can hold (bit j: operands[j]). */
struct TruthTable {
    std::vector<Tk_Uid> operands;     /* the distinct tags named */
    std::vector<unsigned char> value; /* 2^operands entries; empty: evaluate instead */
};

constexpr size_t kMaxTableOperands = 10;

void buildTruthTable(GcanvasTagSearch *search, TruthTable &table)
{
    if (search->type == 3) {
        table.operands = {search->expr.uid};
        table.value = {0, 1};
        return;
    }
    const Tokens &t = tokens();
    const std::vector<Tk_Uid> &u = search->expr.uids;
    for (size_t i = 0; i < u.size(); i++) {
        if (u[i] == t.tagUid || u[i] == t.negTagUid) {
            Tk_Uid tag = u[++i];
            if (std::find(table.operands.begin(), table.operands.end(), tag) == table.operands.end()) {
                table.operands.push_back(tag);
            }
        }
    }
    if (table.operands.size() > kMaxTableOperands) {
        return;
    }
    size_t sets = size_t{1} << table.operands.size();
    table.value.resize(sets);
    std::vector<Tk_Uid> held;
    for (size_t set = 0; set < sets; set++) {
        held.clear();
        for (size_t j = 0; j < table.operands.size(); j++) {
            if (set & (size_t{1} << j)) {
                held.push_back(table.operands[j]);
            }
        }
        search->expr.index = 0;
        table.value[set] = evaluate(&search->expr, held.data(), static_cast<int>(held.size()));
    }
}

/* matches() for row i of the index: its tag copy through the table, or
 * the item's own tags when it has more than the copy holds. */
bool rowMatches(GcanvasTagSearch *search, const TruthTable &table, const GcanvasItemIndex *index, size_t i)
{
    if (index->flags[i] & GCANVAS_ROW_MANY_TAGS) {
        return matches(search, index->items[i]);
    }
    const Tk_Uid *tags = &index->tags[3 * i];
    if (table.value.empty()) {
        search->expr.index = 0;
        return evaluate(&search->expr, tags, 3);
    }
    size_t set = 0;
    for (size_t j = 0; j < table.operands.size(); j++) {
        Tk_Uid uid = table.operands[j];
        if (tags[0] == uid || tags[1] == uid || tags[2] == uid) {
            set |= size_t{1} << j;
        }
    }
    return table.value[set] != 0;
}

}  // namespace

int gcanvasTagSearchScan(GcanvasWidget *canvas, Tcl_Obj *tagOrId, GcanvasTagSearch **slot)
{
    GcanvasTagSearch *search = *slot;
    if (search == nullptr) {
        search = new GcanvasTagSearch{};
        *slot = search;
    }
    search->canvas = canvas;
    search->type = 0;
    search->searchOver = false;
    search->current = search->last = nullptr;
    search->text = Tcl_GetString(tagOrId);
    search->expr.uids.clear();
    search->expr.index = 0;
    search->expr.uid = nullptr;
    const std::string &text = search->text;

    if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
        char *end;
        unsigned long id = std::strtoul(text.c_str(), &end, 0);
        if (*end == '\0') {
            search->type = 1;
            search->id = static_cast<int>(id);
            return TCL_OK;
        }
    }
    if (text.empty()) {
        return TCL_OK;
    }
    search->expr.uid = Tk_GetUid(text.c_str());
    bool expression = false;
    for (size_t i = 0; i < text.size() && !expression; i++) {
        if (text[i] == '"') {
            for (i++; i < text.size() && text[i] != '"'; i++) {
                if (text[i] == '\\') {
                    i++;
                }
            }
        } else if ((text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&') ||
                   (text[i] == '|' && i + 1 < text.size() && text[i + 1] == '|') || text[i] == '^' || text[i] == '!') {
            expression = true;
        }
    }
    if (!expression) {
        search->type = search->expr.uid == tokens().all ? 2 : 3;
        return TCL_OK;
    }
    Compiler compiler{text, 0, search->expr.uids};
    if (!compiler.level()) {
        Tcl_SetObjResult(canvas->interp, Tcl_NewStringObj(compiler.error, -1));
        search->expr.uids.clear();
        return TCL_ERROR;
    }
    search->type = 4;
    return TCL_OK;
}

GcanvasItem *gcanvasTagSearchFirst(GcanvasTagSearch *search)
{
    GcanvasWidget *canvas = search->canvas;
    search->current = search->last = nullptr;
    search->searchOver = false;
    if (search->type == 1) {
        search->searchOver = true;
        GcanvasItem *item = canvas->hotItem;
        if (item == nullptr || item->id != search->id || item->prev != canvas->hotPrevItem) {
            item = gcanvasItemById(canvas, search->id);
        }
        if (item != nullptr) {
            canvas->hotItem = item;
            canvas->hotPrevItem = item->prev;
            search->last = item->prev;
        }
        search->current = item;
        return item;
    }
    if (search->type == 0) {
        search->searchOver = true;
        return nullptr;
    }
    GcanvasItem *previous = nullptr;
    for (GcanvasItem *item = canvas->firstItem; item != nullptr; previous = item, item = item->next) {
        if (matches(search, item)) {
            search->last = previous;
            search->current = item;
            return item;
        }
    }
    search->searchOver = true;
    return nullptr;
}

GcanvasItem *gcanvasTagSearchNext(GcanvasTagSearch *search)
{
    if (search->searchOver) {
        return nullptr;
    }
    GcanvasWidget *canvas = search->canvas;
    /* Start after current when it is still in place, else after last. */
    GcanvasItem *previous = search->last;
    GcanvasItem *item = previous == nullptr ? canvas->firstItem : previous->next;
    if (item == search->current && item != nullptr) {
        previous = item;
        item = item->next;
    }
    for (; item != nullptr; previous = item, item = item->next) {
        if (matches(search, item)) {
            search->last = previous;
            search->current = item;
            return item;
        }
    }
    search->searchOver = true;
    return nullptr;
}

void gcanvasTagSearchDestroy(GcanvasTagSearch *search)
{
    delete search;
}

bool gcanvasTagExprMatches(GcanvasTagExpr *expr, const GcanvasItem *item)
{
    expr->index = 0;
    return evaluate(expr, item->tags, item->numTags);
}

bool gcanvasMatchingItems(GcanvasWidget *canvas, Tcl_Obj *tagOrId, std::vector<GcanvasItem *> &items)
{
    GcanvasTagSearch *search = nullptr;
    bool ok = gcanvasTagSearchScan(canvas, tagOrId, &search) == TCL_OK;
    if (ok) {
        for (GcanvasItem *item = gcanvasTagSearchFirst(search); item != nullptr; item = gcanvasTagSearchNext(search)) {
            items.push_back(item);
        }
    }
    gcanvasTagSearchDestroy(search);
    return ok;
}

GcanvasItem *gcanvasFirstMatch(GcanvasWidget *canvas, Tcl_Obj *tagOrId, bool *ok)
{
    GcanvasTagSearch *search = nullptr;
    *ok = gcanvasTagSearchScan(canvas, tagOrId, &search) == TCL_OK;
    GcanvasItem *item = *ok ? gcanvasTagSearchFirst(search) : nullptr;
    gcanvasTagSearchDestroy(search);
    return item;
}

void gcanvasDoItem(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tk_Uid tag)
{
    if (tag == nullptr) {
        Tcl_ListObjAppendElement(interp, Tcl_GetObjResult(interp), Tcl_NewIntObj(item->id));
        return;
    }
    if (hasTag(item, tag)) {
        return;
    }
    if (tag != tokens().current) {
        gcanvasMarkIndexStale(canvas);
    }
    if (item->numTags == item->tagSpace) {
        int space = item->tagSpace + 5;
        auto *tags = static_cast<Tk_Uid *>(gmemAlloc(sizeof(Tk_Uid) * static_cast<size_t>(space)));
        if (tags == nullptr) {
            return;
        }
        std::memcpy(tags, item->tags, sizeof(Tk_Uid) * static_cast<size_t>(item->numTags));
        if (item->tags != item->staticTagSpace) {
            gmemFree(item->tags);
        }
        item->tags = tags;
        item->tagSpace = space;
    }
    item->tags[item->numTags++] = tag;
}

namespace {

/* Hands the index rows found to the caller: their ids as one list in the
 * result, or the tag added to each of their items. */
void report(Tcl_Interp *interp, GcanvasWidget *canvas, const GcanvasItemIndex *index, const std::vector<size_t> &rows,
            Tk_Uid tag)
{
    if (tag != nullptr) {
        for (size_t i : rows) {
            gcanvasDoItem(interp, canvas, index->items[i], tag);
        }
        return;
    }
    std::vector<Tcl_Obj *> ids(rows.size());
    for (size_t k = 0; k < rows.size(); k++) {
        ids[k] = Tcl_NewIntObj(index->ids[rows[k]]);
    }
    Tcl_SetObjResult(interp, Tcl_NewListObj(static_cast<int>(ids.size()), ids.data()));
}

void doAll(Tcl_Interp *interp, GcanvasWidget *canvas, Tk_Uid tag)
{
    for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
        gcanvasDoItem(interp, canvas, item, tag);
    }
}

int closest(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], Tk_Uid tag,
            GcanvasTagSearch **search)
{
    double world[2], halo = 0;
    if (gcanvasGetCoordFromObj(interp, canvas, objv[0], &world[0]) != TCL_OK ||
        gcanvasGetCoordFromObj(interp, canvas, objv[1], &world[1]) != TCL_OK) {
        return TCL_ERROR;
    }
    if (objc > 2) {
        if (gcanvasGetCoordFromObj(interp, canvas, objv[2], &halo) != TCL_OK) {
            return TCL_ERROR;
        }
        if (halo < 0.0) {
            Tcl_AppendResult(interp, "can't have negative halo value \"", Tcl_GetString(objv[2]), "\"", nullptr);
            return TCL_ERROR;
        }
    }
    double p[2];
    worldToCanvasPoints(canvas, world, p, 1);
    GcanvasItem *first = nullptr;
    if (objc > 3) {
        if (gcanvasTagSearchScan(canvas, objv[3], search) != TCL_OK) {
            return TCL_ERROR;
        }
        first = gcanvasTagSearchFirst(*search);
    }
    /* Over the rows of the index: from the start item upwards, wrapping
     * from the top to the bottom, each candidate closer than the best so
     * far narrowing the box the next must touch. */
    const GcanvasItemIndex *index = gcanvasItemIndex(canvas);
    size_t n = index->count, start = 0;
    if (first != nullptr) {
        while (start < n && index->items[start] != first) {
            start++;
        }
    }
    while (start < n && (index->flags[start] & GCANVAS_ROW_HIDDEN)) {
        start++;
    }
    if (start >= n) {
        return TCL_OK;
    }
    GcanvasItem *best = index->items[start];
    double nearest = std::fmax(best->type->pointProc(canvas, best, p) - halo, 0.0);
    for (size_t i = start;;) {
        double x1 = gcanvasTruncToInt(p[0] - nearest - halo - 1), y1 = gcanvasTruncToInt(p[1] - nearest - halo - 1);
        double x2 = gcanvasTruncToInt(p[0] + nearest + halo + 1), y2 = gcanvasTruncToInt(p[1] + nearest + halo + 1);
        for (;;) {
            i = i + 1 < n ? i + 1 : 0;
            if (i == start) {
                gcanvasDoItem(interp, canvas, best, tag);
                return TCL_OK;
            }
            const double *b = &index->boxes[4 * i];
            if (b[0] >= x2 || b[2] <= x1 || b[1] >= y2 || b[3] <= y1 || (index->flags[i] & GCANVAS_ROW_HIDDEN)) {
                continue;
            }
            GcanvasItem *item = index->items[i];
            double d = std::fmax(item->type->pointProc(canvas, item, p) - halo, 0.0);
            if (d <= nearest) {
                best = item;
                nearest = d;
                break;
            }
        }
    }
}

int findArea(Tcl_Interp *interp, GcanvasWidget *canvas, Tcl_Obj *const objv[], Tk_Uid tag, bool enclosed)
{
    double r[4];
    for (int i = 0; i < 4; i++) {
        if (gcanvasGetCoordFromObj(interp, canvas, objv[i], &r[i]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    if (r[0] > r[2]) {
        std::swap(r[0], r[2]);
    }
    if (r[1] > r[3]) {
        std::swap(r[1], r[3]);
    }
    double x1 = gcanvasTruncToInt(r[0] - 1), y1 = gcanvasTruncToInt(r[1] - 1);
    double x2 = gcanvasTruncToInt(r[2] + 1), y2 = gcanvasTruncToInt(r[3] + 1);
    const GcanvasItemIndex *index = gcanvasItemIndex(canvas);
    std::vector<size_t> rows;
    const double *b = index->boxes.data();
    for (size_t i = 0; i < index->count; i++, b += 4) {
        /* The box first: it turns away nearly every item. */
        if (b[0] >= x2 || b[2] <= x1 || b[1] >= y2 || b[3] <= y1 || (index->flags[i] & GCANVAS_ROW_HIDDEN)) {
            continue;
        }
        GcanvasItem *item = index->items[i];
        if (item->type->areaProc(canvas, item, r) >= (enclosed ? 1 : 0)) {
            rows.push_back(i);
        }
    }
    report(interp, canvas, index, rows, tag);
    return TCL_OK;
}

}  // namespace

int gcanvasFindItems(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], Tcl_Obj *newTag,
                     int first, GcanvasTagSearch **search)
{
    static const char *const forms[] = {"above",    "all",         "below",   "closest", "component",
                                        "enclosed", "overlapping", "withtag", nullptr};
    static const char *const usages[] = {
        "tagOrId", nullptr, "tagOrId", "x y ?halo? ?start?", "tagOrId", "x1 y1 x2 y2", "x1 y1 x2 y2", "tagOrId"};
    static const int counts[][2] = {{1, 1}, {0, 0}, {1, 1}, {2, 4}, {1, 1}, {4, 4}, {4, 4}, {1, 1}};
    int form;
    if (Tcl_GetIndexFromObj(interp, objv[first], forms, "search command", 0, &form) != TCL_OK) {
        return TCL_ERROR;
    }
    int words = objc - first - 1;
    if (words < counts[form][0] || words > counts[form][1]) {
        Tcl_WrongNumArgs(interp, first + 1, objv, usages[form]);
        return TCL_ERROR;
    }
    Tk_Uid tag = newTag != nullptr ? Tk_GetUid(Tcl_GetString(newTag)) : nullptr;
    Tcl_Obj *const *args = objv + first + 1;
    switch (form) {
    case 0: { /* above: the item above the topmost match */
        if (gcanvasTagSearchScan(canvas, args[0], search) != TCL_OK) {
            return TCL_ERROR;
        }
        GcanvasItem *top = nullptr;
        for (GcanvasItem *item = gcanvasTagSearchFirst(*search); item != nullptr;
             item = gcanvasTagSearchNext(*search)) {
            top = item;
        }
        if (top != nullptr && top->next != nullptr) {
            gcanvasDoItem(interp, canvas, top->next, tag);
        }
        return TCL_OK;
    }
    case 1: doAll(interp, canvas, tag); return TCL_OK;
    case 2: { /* below: the item below the lowest match */
        if (gcanvasTagSearchScan(canvas, args[0], search) != TCL_OK) {
            return TCL_ERROR;
        }
        GcanvasItem *item = gcanvasTagSearchFirst(*search);
        if (item != nullptr && item->prev != nullptr) {
            gcanvasDoItem(interp, canvas, item->prev, tag);
        }
        return TCL_OK;
    }
    case 3: return closest(interp, canvas, words, args, tag, search);
    case 4: { /* component: the highlighted component's index */
        if (gcanvasTagSearchScan(canvas, args[0], search) != TCL_OK) {
            return TCL_ERROR;
        }
        GcanvasItem *item = gcanvasTagSearchFirst(*search);
        if (item != nullptr && item->type->getComponentProc != nullptr) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(item->type->getComponentProc(item)));
        }
        return TCL_OK;
    }
    case 5:
    case 6: return findArea(interp, canvas, args, tag, form == 5);
    default: { /* withtag */
        if (gcanvasTagSearchScan(canvas, args[0], search) != TCL_OK) {
            return TCL_ERROR;
        }
        if (indexable(*search)) {
            const GcanvasItemIndex *index = gcanvasItemIndex(canvas);
            TruthTable table;
            buildTruthTable(*search, table);
            std::vector<size_t> rows;
            for (size_t i = 0; i < index->count; i++) {
                if (rowMatches(*search, table, index, i)) {
                    rows.push_back(i);
                }
            }
            report(interp, canvas, index, rows, tag);
            return TCL_OK;
        }
        for (GcanvasItem *item = gcanvasTagSearchFirst(*search); item != nullptr;
             item = gcanvasTagSearchNext(*search)) {
            gcanvasDoItem(interp, canvas, item, tag);
        }
        return TCL_OK;
    }
    }
}

int gcanvasRelinkItems(GcanvasWidget *canvas, Tcl_Obj *tagOrId, GcanvasItem *prevPtr, GcanvasTagSearch **search)
{
    if (gcanvasTagSearchScan(canvas, tagOrId, search) != TCL_OK) {
        return TCL_ERROR;
    }
    gcanvasMarkIndexStale(canvas);
    GcanvasItem *blockFirst = nullptr, *blockLast = nullptr;
    for (GcanvasItem *item = gcanvasTagSearchFirst(*search); item != nullptr; item = gcanvasTagSearchNext(*search)) {
        if (item == prevPtr) {
            prevPtr = prevPtr->prev;
        }
        /* Unlink. */
        if (item->prev == nullptr) {
            canvas->firstItem = item->next;
        } else {
            item->prev->next = item->next;
        }
        if (item->next == nullptr) {
            canvas->lastItem = item->prev;
        } else {
            item->next->prev = item->prev;
        }
        /* Append to the block. */
        item->prev = blockLast;
        item->next = nullptr;
        if (blockLast == nullptr) {
            blockFirst = item;
        } else {
            blockLast->next = item;
        }
        blockLast = item;
        gcanvasEventuallyRedrawItem(canvas, item);
        canvas->flags |= GCANVAS_REPICK_NEEDED;
    }
    if (blockFirst == nullptr) {
        return TCL_OK;
    }
    GcanvasItem *after = prevPtr == nullptr ? canvas->firstItem : prevPtr->next;
    blockFirst->prev = prevPtr;
    blockLast->next = after;
    if (prevPtr == nullptr) {
        canvas->firstItem = blockFirst;
    } else {
        prevPtr->next = blockFirst;
    }
    if (after == nullptr) {
        canvas->lastItem = blockLast;
    } else {
        after->prev = blockLast;
    }
    return TCL_OK;
}
