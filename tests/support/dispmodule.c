/*
 * dispmodule.c --
 *
 *	A display module loaded into the test shell (libdispmodule.so, linked
 *	-ltesk and bound to the package's loaded copy): the "dispmodule"
 *	command runs small module-like programs that draw through the R_
 *	functions and ask through the V_ functions, each ending with
 *	R_close_driver, and calls one export with given arguments. C99 on the
 *	public headers only.
 *
 *	dispmodule raster            a shaded raster over the whole display
 *	dispmodule vector SEED       seeded lines, boxes, dots and polygons;
 *	                             answers the calls it made
 *	dispmodule text FONT SIZE TEXT
 *	dispmodule where             points asked until button 3 (at most 50)
 *	dispmodule form              int, long, float, double, 12-character
 *	                             string; answers V_call's answer and them
 *	dispmodule call NAME ARGS    one export: its result, then its
 *	                             out-values (the pads and R_panel_save
 *	                             with fixed arguments; V_intrpt_msg_null
 *	                             calls V_intrpt_msg with none;
 *	                             V_form_never_run lays a one-field form
 *	                             out with V_clear and V_ques, no V_call)
 */
#include <string.h>
#include <tcl.h>
#include "tesk_display.h"

static int usage(Tcl_Interp *interp, const char *text)
{
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("usage: %s", text));
    return TCL_ERROR;
}

/* ---- programs ------------------------------------------------------------ */

/* Every row y: value (x + 2 y) mod 256 at x, 0 left out. */
static int rasterProgram(Tcl_Interp *interp)
{
    int columns = R_screen_rite() - R_screen_left() + 1, rows = R_screen_bot() - R_screen_top() + 1;
    int *values = (int *)ckalloc(sizeof(int) * (size_t)(columns > 0 ? columns : 1));
    int x, y;
    for (y = 0; y < rows; y++) {
        for (x = 0; x < columns; x++) {
            values[x] = (x + 2 * y) % 256;
        }
        R_move_abs(0, y);
        R_raster(columns, 1, 0, values);
    }
    ckfree(values);
    R_stabilize();
    R_close_driver();
    (void)interp;
    return TCL_OK;
}

/* The program's own generator: 0 .. limit - 1. */
static int next(unsigned long *state, int limit)
{
    *state = *state * 1103515245UL + 12345UL;
    return (int)((*state >> 16) % (unsigned long)limit);
}

static Tcl_Obj *intList(const int *v, int n)
{
    Tcl_Obj *list = Tcl_NewListObj(0, NULL);
    int i;
    for (i = 0; i < n; i++) {
        Tcl_ListObjAppendElement(NULL, list, Tcl_NewIntObj(v[i]));
    }
    return list;
}

/* Logs one call as {name color word...}. */
static void logCall(Tcl_Obj *log, const char *name, int color, int nwords, Tcl_Obj *const words[])
{
    Tcl_Obj *call = Tcl_NewListObj(0, NULL);
    int i;
    Tcl_ListObjAppendElement(NULL, call, Tcl_NewStringObj(name, -1));
    Tcl_ListObjAppendElement(NULL, call, Tcl_NewIntObj(color));
    for (i = 0; i < nwords; i++) {
        Tcl_ListObjAppendElement(NULL, call, words[i]);
    }
    Tcl_ListObjAppendElement(NULL, log, call);
}

/* Seeded polylines, boxes, dots and rectangles (as polygons), absolute and
 * relative, each in its own colour from the current point the call before
 * left; answers the calls as {name color current-x current-y x-list
 * y-list}. Absolute points reach a little past the display, relative
 * steps are small. */
static int vectorProgram(Tcl_Interp *interp, unsigned long seed)
{
    static const char *const names[] = {"polyline_abs", "polyline_rel", "box_abs", "polydots_abs",
                                        "polydots_rel", "polygon_abs", "polygon_rel"};
    Tcl_Obj *log = Tcl_NewListObj(0, NULL);
    int columns = R_screen_rite() + 1, rows = R_screen_bot() + 1;
    int k;
    R_move_abs(next(&seed, columns), next(&seed, rows));
    for (k = 0; k < 28; k++) {
        int kind = k % 7, n = 2 + next(&seed, 5), x[8], y[8], i, color = 1 + next(&seed, 255);
        int relative = kind == 1 || kind == 4 || kind == 6;
        Tcl_Obj *words[4];
        for (i = 0; i < n; i++) {
            x[i] = relative ? next(&seed, 41) - 20 : next(&seed, columns + 20) - 10;
            y[i] = relative ? next(&seed, 41) - 20 : next(&seed, rows + 20) - 10;
        }
        if (kind == 2) {
            n = 2;
        } else if (kind >= 5) {
            /* rectangles: corners x0 y0 and x1 y1, or a start then steps
             * of width x1 and height y1 */
            int cx = x[1], cy = y[1];
            n = 4;
            x[1] = cx;
            y[1] = kind == 5 ? y[0] : 0;
            x[2] = kind == 5 ? cx : 0;
            y[2] = cy;
            x[3] = kind == 5 ? x[0] : -cx;
            y[3] = kind == 5 ? cy : 0;
        }
        words[0] = Tcl_NewIntObj(R_curx());
        words[1] = Tcl_NewIntObj(R_cury());
        words[2] = intList(x, n);
        words[3] = intList(y, n);
        logCall(log, names[kind], color, 4, words);
        R_color(color);
        switch (kind) {
        case 0: R_polyline_abs(x, y, n); break;
        case 1: R_polyline_rel(x, y, n); break;
        case 2: R_box_abs(x[0], y[0], x[1], y[1]); break;
        case 3: R_polydots_abs(x, y, n); break;
        case 4: R_polydots_rel(x, y, n); break;
        case 5: R_polygon_abs(x, y, n); break;
        default: R_polygon_rel(x, y, n); break;
        }
    }
    R_stabilize();
    R_close_driver();
    Tcl_SetObjResult(interp, log);
    return TCL_OK;
}

static int textProgram(Tcl_Interp *interp, const char *font, int size, const char *text)
{
    if (!R_font(font)) {
        R_close_driver();
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("no font %s", font));
        return TCL_ERROR;
    }
    R_text_size(size, size);
    R_move_abs(20, 30);
    R_text(text);
    R_stabilize();
    R_close_driver();
    return TCL_OK;
}

/* Asks for points until button 3 comes (or 50 were asked): answers them
 * as {button x y}. */
static int whereProgram(Tcl_Interp *interp)
{
    Tcl_Obj *points = Tcl_NewListObj(0, NULL);
    int x = 0, y = 0, button = 0, asked;
    for (asked = 0; asked < 50 && button != 3; asked++) {
        int v[3];
        if (R_get_location_with_pointer(&x, &y, &button) <= 0) {
            break;
        }
        v[0] = button;
        v[1] = x;
        v[2] = y;
        Tcl_ListObjAppendElement(NULL, points, intList(v, 3));
    }
    R_close_driver();
    Tcl_SetObjResult(interp, points);
    return TCL_OK;
}

static int formProgram(Tcl_Interp *interp)
{
    int i = 3, answer;
    long l = 40000000000L;
    float f = 1.5f;
    double d = 0.25;
    char s[13] = "twelve chars";
    Tcl_Obj *words[6];
    V_clear();
    V_line(0, "dispmodule form");
    V_ques(&i, 'i', 1, 10, 5);
    V_ques(&l, 'l', 2, 10, 12);
    V_ques(&f, 'f', 3, 10, 8);
    V_ques(&d, 'd', 4, 10, 8);
    V_ques(s, 's', 5, 10, 12);
    answer = V_call();
    R_close_driver();
    words[0] = Tcl_NewIntObj(answer);
    words[1] = Tcl_NewIntObj(i);
    words[2] = Tcl_NewWideIntObj((Tcl_WideInt)l);
    words[3] = Tcl_NewDoubleObj(f);
    words[4] = Tcl_NewDoubleObj(d);
    words[5] = Tcl_NewStringObj(s, -1);
    Tcl_SetObjResult(interp, Tcl_NewListObj(6, words));
    return TCL_OK;
}

/* ---- calls of one export ------------------------------------------------ */

/* How the words after the name are read and the export called. */
enum Kind {
    INTS,       /* n ints */
    POINTS,     /* {x...} {y...}, n from the lists */
    RASTER,     /* num nrows withzeros {values} */
    RGB_RASTER, /* num nrows {red} {green} {blue} withzeros */
    COLORS,     /* min max {red} {green} {blue} */
    RGB_TABLE,  /* {red} {green} {blue} of 256 each */
    LOCATION,   /* x y button (pointer), x0 y0 x y button (line, box): out x y button */
    STRING,     /* one string */
    ROTATION,   /* one double */
    TEXT_BOX,   /* text: out top bottom left right */
    FONT_NAMES, /* buffer size: out the names */
    TEXT_CODE   /* a string and an int */
};

typedef struct {
    const char *name;
    enum Kind kind;
    int n; /* ints of INTS; 2 for the locations from a point */
    union {
        int (*f0)(void);
        int (*f1)(int);
        int (*f2)(int, int);
        int (*f3)(int, int, int);
        int (*f4)(int, int, int, int);
        int (*points)(const int *, const int *, int);
        int (*from)(int, int, int *, int *, int *);
        int (*text)(const char *);
        int (*textCode)(const char *, int);
    } fn;
} Export;

/* The pads and panels whose arguments are only printed or ignored, called
 * with fixed ones; the vask message without one. */
static int panelSave(void) { return R_panel_save("p1", 1, 2, 3, 4); }
static int padAppendItem(void) { return R_pad_append_item("i", "v", 0); }
static int padCreate(void) { return R_pad_create("p"); }
static int padCurrent(void) { char name[8] = ""; return R_pad_current(name); }
static int padDeleteItem(void) { return R_pad_delete_item("i"); }
static int padFreelist(void) { return R_pad_freelist(NULL, 0); }
static int padGetItem(void) { char **list = NULL; int n = 0; return R_pad_get_item("i", &list, &n); }
static int padInvent(void) { char name[8] = ""; return R_pad_invent(name); }
static int padList(void) { char **list = NULL; int n = 0; return R_pad_list(&list, &n); }
static int padSelect(void) { return R_pad_select("p"); }
static int padSetItem(void) { return R_pad_set_item("i", "v"); }
static int intrptMsgNull(void) { return V_intrpt_msg(NULL); }
/* A form laid out and never run: its one field is left with the registry
 * (static, so that a store through a stale id would land nowhere harmful). */
static int formNeverRun(void)
{
    static int field = 7;
    V_clear();
    return V_ques(&field, 'i', 1, 10, 5);
}

static const Export exports[] = {
    {"R_close_driver", INTS, 0, {.f0 = R_close_driver}},
    {"R_color_table_fixed", INTS, 0, {.f0 = R_color_table_fixed}},
    {"R_color_table_float", INTS, 0, {.f0 = R_color_table_float}},
    {"R_reset_color", INTS, 4, {.f4 = R_reset_color}},
    {"R_reset_colors", COLORS, 0, {NULL}},
    {"R_color", INTS, 1, {.f1 = R_color}},
    {"R_standard_color", INTS, 1, {.f1 = R_standard_color}},
    {"R_RGB_color", INTS, 3, {.f3 = R_RGB_color}},
    {"R_get_num_colors", INTS, 0, {.f0 = R_get_num_colors}},
    {"R_color_offset", INTS, 1, {.f1 = R_color_offset}},
    {"R_set_RGB_color", RGB_TABLE, 0, {NULL}},
    {"R_screen_top", INTS, 0, {.f0 = R_screen_top}},
    {"R_screen_bot", INTS, 0, {.f0 = R_screen_bot}},
    {"R_screen_left", INTS, 0, {.f0 = R_screen_left}},
    {"R_screen_rite", INTS, 0, {.f0 = R_screen_rite}},
    {"R_move_abs", INTS, 2, {.f2 = R_move_abs}},
    {"R_move_rel", INTS, 2, {.f2 = R_move_rel}},
    {"R_curx", INTS, 0, {.f0 = R_curx}},
    {"R_cury", INTS, 0, {.f0 = R_cury}},
    {"R_set_window", INTS, 4, {.f4 = R_set_window}},
    {"R_cont_abs", INTS, 2, {.f2 = R_cont_abs}},
    {"R_cont_rel", INTS, 2, {.f2 = R_cont_rel}},
    {"R_box_abs", INTS, 4, {.f4 = R_box_abs}},
    {"R_box_rel", INTS, 2, {.f2 = R_box_rel}},
    {"R_erase", INTS, 0, {.f0 = R_erase}},
    {"R_flush", INTS, 0, {.f0 = R_flush}},
    {"R_stabilize", INTS, 0, {.f0 = R_stabilize}},
    {"R_polydots_abs", POINTS, 0, {.points = R_polydots_abs}},
    {"R_polydots_rel", POINTS, 0, {.points = R_polydots_rel}},
    {"R_polyline_abs", POINTS, 0, {.points = R_polyline_abs}},
    {"R_polyline_rel", POINTS, 0, {.points = R_polyline_rel}},
    {"R_polygon_abs", POINTS, 0, {.points = R_polygon_abs}},
    {"R_polygon_rel", POINTS, 0, {.points = R_polygon_rel}},
    {"R_raster", RASTER, 0, {NULL}},
    {"R_RGB_raster", RGB_RASTER, 0, {NULL}},
    {"R_get_location_with_pointer", LOCATION, 0, {NULL}},
    {"R_get_location_with_line", LOCATION, 2, {.from = R_get_location_with_line}},
    {"R_get_location_with_box", LOCATION, 2, {.from = R_get_location_with_box}},
    {"R_font", STRING, 0, {.text = R_font}},
    {"R_text_size", INTS, 2, {.f2 = R_text_size}},
    {"R_text_rotation", ROTATION, 0, {NULL}},
    {"R_text", STRING, 0, {.text = R_text}},
    {"R_get_text_box", TEXT_BOX, 0, {NULL}},
    {"grassFont", FONT_NAMES, 0, {NULL}},
    {"R_panel_delete", STRING, 0, {.text = R_panel_delete}},
    {"R_panel_restore", STRING, 0, {.text = R_panel_restore}},
    {"R_panel_save", INTS, 0, {.f0 = panelSave}},
    {"R_pad_append_item", INTS, 0, {.f0 = padAppendItem}},
    {"R_pad_create", INTS, 0, {.f0 = padCreate}},
    {"R_pad_current", INTS, 0, {.f0 = padCurrent}},
    {"R_pad_delete", INTS, 0, {.f0 = R_pad_delete}},
    {"R_pad_delete_item", INTS, 0, {.f0 = padDeleteItem}},
    {"R_pad_freelist", INTS, 0, {.f0 = padFreelist}},
    {"R_pad_get_item", INTS, 0, {.f0 = padGetItem}},
    {"R_pad_invent", INTS, 0, {.f0 = padInvent}},
    {"R_pad_list", INTS, 0, {.f0 = padList}},
    {"R_pad_select", INTS, 0, {.f0 = padSelect}},
    {"R_pad_set_item", INTS, 0, {.f0 = padSetItem}},
    {"R_pad_perror", TEXT_CODE, 0, {.textCode = R_pad_perror}},
    {"V_float_accuracy", INTS, 1, {.f1 = V_float_accuracy}},
    {"V_intrpt_msg", STRING, 0, {.text = V_intrpt_msg}},
    {"V_intrpt_msg_null", INTS, 0, {.f0 = intrptMsgNull}},
    {"V_form_never_run", INTS, 0, {.f0 = formNeverRun}},
};

/* The ints of a list word into a new array of at least min values (NULL
 * with an error when it holds fewer, or a word that is no int). */
static int *intsOf(Tcl_Interp *interp, Tcl_Obj *word, int min, int *count)
{
    Tcl_Obj **items;
    int n, i, *out;
    if (Tcl_ListObjGetElements(interp, word, &n, &items) != TCL_OK) {
        return NULL;
    }
    if (n < min) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("list of %d values, %d needed", n, min));
        return NULL;
    }
    out = (int *)ckalloc(sizeof(int) * (size_t)(n > 0 ? n : 1));
    for (i = 0; i < n; i++) {
        if (Tcl_GetIntFromObj(interp, items[i], &out[i]) != TCL_OK) {
            ckfree(out);
            return NULL;
        }
    }
    if (count != NULL) {
        *count = n;
    }
    return out;
}

/* The same as bytes (each int's low byte). */
static unsigned char *bytesOf(Tcl_Interp *interp, Tcl_Obj *word, int min)
{
    int n = 0, i, *v = intsOf(interp, word, min, &n);
    unsigned char *out;
    if (v == NULL) {
        return NULL;
    }
    out = (unsigned char *)ckalloc((size_t)(n > 0 ? n : 1));
    for (i = 0; i < n; i++) {
        out[i] = (unsigned char)v[i];
    }
    ckfree(v);
    return out;
}

static int callExport(Tcl_Interp *interp, const Export *e, int objc, Tcl_Obj *const objv[])
{
    static const int wordsOf[] = {-1, 2, 4, 6, 5, 3, -1, 1, 1, 1, 1, 2};
    Tcl_Obj *result = Tcl_NewListObj(0, NULL);
    int a[5] = {0, 0, 0, 0, 0}, n = 0, r = 0, i, ok = 1;
    int *x = NULL, *y = NULL;
    unsigned char *c[3] = {NULL, NULL, NULL};
    int want = e->kind == INTS ? e->n : e->kind == LOCATION ? e->n + 3 : wordsOf[e->kind];
    if (objc != want) {
        Tcl_DecrRefCount(result);
        return usage(interp, "dispmodule call NAME ARGS (wrong number of arguments)");
    }
    if (e->kind == INTS || e->kind == LOCATION) {
        for (i = 0; i < objc && ok; i++) {
            ok = Tcl_GetIntFromObj(interp, objv[i], &a[i]) == TCL_OK;
        }
    }
    if (!ok) {
        Tcl_DecrRefCount(result);
        return TCL_ERROR;
    }
    switch (e->kind) {
    case INTS:
        r = e->n == 0 ? e->fn.f0() : e->n == 1 ? e->fn.f1(a[0]) : e->n == 2 ? e->fn.f2(a[0], a[1])
            : e->n == 3 ? e->fn.f3(a[0], a[1], a[2]) : e->fn.f4(a[0], a[1], a[2], a[3]);
        break;
    case POINTS:
        x = intsOf(interp, objv[0], 0, &n);
        y = x != NULL ? intsOf(interp, objv[1], n, NULL) : NULL;
        ok = y != NULL;
        if (ok) {
            r = e->fn.points(x, y, n);
        }
        break;
    case RASTER:
        ok = Tcl_GetIntFromObj(interp, objv[0], &a[0]) == TCL_OK && Tcl_GetIntFromObj(interp, objv[1], &a[1]) == TCL_OK &&
             Tcl_GetIntFromObj(interp, objv[2], &a[2]) == TCL_OK &&
             (x = intsOf(interp, objv[3], a[0], NULL)) != NULL;
        if (ok) {
            r = R_raster(a[0], a[1], a[2], x);
        }
        break;
    case RGB_RASTER:
        ok = Tcl_GetIntFromObj(interp, objv[0], &a[0]) == TCL_OK && Tcl_GetIntFromObj(interp, objv[1], &a[1]) == TCL_OK &&
             Tcl_GetIntFromObj(interp, objv[5], &a[2]) == TCL_OK;
        for (i = 0; i < 3 && ok; i++) {
            ok = (c[i] = bytesOf(interp, objv[2 + i], a[0])) != NULL;
        }
        if (ok) {
            r = R_RGB_raster(a[0], a[1], c[0], c[1], c[2], a[2]);
        }
        break;
    case COLORS:
        ok = Tcl_GetIntFromObj(interp, objv[0], &a[0]) == TCL_OK && Tcl_GetIntFromObj(interp, objv[1], &a[1]) == TCL_OK;
        for (i = 0; i < 3 && ok; i++) {
            ok = (c[i] = bytesOf(interp, objv[2 + i], a[1] >= a[0] ? a[1] - a[0] + 1 : 0)) != NULL;
        }
        if (ok) {
            r = R_reset_colors(a[0], a[1], c[0], c[1], c[2]);
        }
        break;
    case RGB_TABLE:
        for (i = 0; i < 3 && ok; i++) {
            ok = (c[i] = bytesOf(interp, objv[i], 256)) != NULL;
        }
        if (ok) {
            r = R_set_RGB_color(c[0], c[1], c[2]);
        }
        break;
    case LOCATION: {
        int *out = a + e->n;
        r = e->n == 0 ? R_get_location_with_pointer(&out[0], &out[1], &out[2])
                      : e->fn.from(a[0], a[1], &out[0], &out[1], &out[2]);
        Tcl_ResetResult(interp);
        for (i = 0; i < 3; i++) {
            Tcl_ListObjAppendElement(NULL, result, Tcl_NewIntObj(out[i]));
        }
        break;
    }
    case STRING:
        r = e->fn.text(Tcl_GetString(objv[0]));
        break;
    case ROTATION: {
        double angle;
        ok = Tcl_GetDoubleFromObj(interp, objv[0], &angle) == TCL_OK;
        if (ok) {
            r = R_text_rotation(angle);
        }
        break;
    }
    case TEXT_CODE:
        ok = Tcl_GetIntFromObj(interp, objv[1], &a[0]) == TCL_OK;
        if (ok) {
            r = e->fn.textCode(Tcl_GetString(objv[0]), a[0]);
        }
        break;
    case TEXT_BOX:
        r = R_get_text_box(Tcl_GetString(objv[0]), &a[0], &a[1], &a[2], &a[3]);
        for (i = 0; i < 4; i++) {
            Tcl_ListObjAppendElement(NULL, result, Tcl_NewIntObj(a[i]));
        }
        break;
    case FONT_NAMES: {
        char *buffer;
        ok = Tcl_GetIntFromObj(interp, objv[0], &n) == TCL_OK;
        if (ok && (n <= 0 || n > 65536)) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("buffer size 1 .. 65536", -1));
            ok = 0;
        }
        if (ok) {
            buffer = ckalloc((unsigned)n);
            memset(buffer, 0, (size_t)n);
            grassFont(buffer, n);
            r = (int)strlen(buffer);
            Tcl_ListObjAppendElement(NULL, result, Tcl_NewStringObj(buffer, -1));
            ckfree(buffer);
        }
        break;
    }
    }
    if (x != NULL) {
        ckfree(x);
    }
    if (y != NULL) {
        ckfree(y);
    }
    for (i = 0; i < 3; i++) {
        if (c[i] != NULL) {
            ckfree(c[i]);
        }
    }
    if (!ok) {
        Tcl_DecrRefCount(result);
        return TCL_ERROR;
    }
    Tcl_ListObjReplace(NULL, result, 0, 0, 1, (Tcl_Obj *[]){Tcl_NewIntObj(r)});
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

/* ---- the command -------------------------------------------------------- */

static int dispmoduleCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    const char *what = objc > 1 ? Tcl_GetString(objv[1]) : "";
    (void)data;
    if (strcmp(what, "raster") == 0 && objc == 2) {
        return rasterProgram(interp);
    }
    if (strcmp(what, "vector") == 0 && objc == 3) {
        int seed;
        if (Tcl_GetIntFromObj(interp, objv[2], &seed) != TCL_OK) {
            return TCL_ERROR;
        }
        return vectorProgram(interp, (unsigned long)(unsigned)seed);
    }
    if (strcmp(what, "text") == 0 && objc == 5) {
        int size;
        if (Tcl_GetIntFromObj(interp, objv[3], &size) != TCL_OK) {
            return TCL_ERROR;
        }
        return textProgram(interp, Tcl_GetString(objv[2]), size, Tcl_GetString(objv[4]));
    }
    if (strcmp(what, "where") == 0 && objc == 2) {
        return whereProgram(interp);
    }
    if (strcmp(what, "form") == 0 && objc == 2) {
        return formProgram(interp);
    }
    if (strcmp(what, "call") == 0 && objc >= 3) {
        const char *name = Tcl_GetString(objv[2]);
        size_t i;
        for (i = 0; i < sizeof exports / sizeof exports[0]; i++) {
            if (strcmp(exports[i].name, name) == 0) {
                return callExport(interp, &exports[i], objc - 3, objv + 3);
            }
        }
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("no export %s", name));
        return TCL_ERROR;
    }
    return usage(interp, "dispmodule raster|vector SEED|text FONT SIZE TEXT|where|form|call NAME ARGS");
}

__attribute__((visibility("default"))) int Dispmodule_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == NULL) {
        return TCL_ERROR;
    }
    Tcl_CreateObjCommand(interp, "dispmodule", dispmoduleCmd, NULL, NULL);
    return Tcl_PkgProvide(interp, "dispmodule", "1.0");
}
