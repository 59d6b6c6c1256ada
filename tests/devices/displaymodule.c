/*
 * displaymodule.c --
 *
 *	The display driver as a display module sees it: only the public
 *	headers, the real Tcl and Tk libraries, and libtesk.so started through
 *	Tesk_Init. Makes a 200 x 100 virtual display, draws into it through
 *	the R_ functions and reads its pixels back; asks for a location and
 *	fills a form through the application's procedures; and checks that
 *	nothing is touched without an open display or once the interpreter is
 *	gone. Prints each failed check and exits non-zero when any failed.
 */
#include <stdio.h>
#include <string.h>
#include <tcl.h>
#include <tk.h>
#include "tesk.h"
#include "tesk_display.h"
#include "tesk_image.h"

static int failures = 0;
static Tcl_Interp *interp;
static RamImage *image;

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            fprintf(stderr, "displaymodule.c:%d: check failed: %s\n", __LINE__, #cond);                               \
            failures++;                                                                                                \
        }                                                                                                              \
    } while (0)

static int eval(const char *script)
{
    int code = Tcl_Eval(interp, script);
    if (code != TCL_OK) {
        fprintf(stderr, "displaymodule.c: %s: %s\n", script, Tcl_GetStringResult(interp));
        failures++;
    }
    return code;
}

static int pixel(int x, int y)
{
    unsigned char value = 0;
    ramImageGetBytes(image, y, x, 1, 0, &value);
    return value;
}

/* Fills the display with 9 and makes the open display's point (0, 0). */
static void fresh(void)
{
    unsigned char row[200];
    int y;
    memset(row, 9, sizeof row);
    for (y = 0; y < 100; y++) {
        ramImagePutBytes(image, y, 0, 200, 0, row);
    }
    R_move_abs(0, 0);
    R_color(255);
}

static void rasters(void)
{
    static const int values[3] = {5, 0, 258};
    static const struct {
        int withzeros;
        int middle;
    } cases[] = {{0, 9}, {1, 1}};
    size_t i;
    for (i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        fresh();
        R_move_abs(10, 20);
        R_raster(3, 2, cases[i].withzeros, values);
        CHECK(pixel(10, 20) == 5 && pixel(10, 21) == 5);
        CHECK(pixel(11, 20) == cases[i].middle && pixel(11, 21) == cases[i].middle);
        CHECK(pixel(12, 20) == 2 && pixel(12, 21) == 2);
        CHECK(pixel(10, 22) == 9 && pixel(13, 20) == 9);
        CHECK(R_curx() == 10 && R_cury() == 20);
    }
    {
        /* RGB table entries summed: red of 1, green of 2, blue of 0 */
        unsigned char red[256], green[256], blue[256], r[2] = {1, 0}, g[2] = {2, 0}, b[2] = {0, 0};
        int k;
        for (k = 0; k < 256; k++) {
            red[k] = (unsigned char)(10 * k);
            green[k] = (unsigned char)(100 * k);
            blue[k] = 0;
        }
        fresh();
        R_set_RGB_color(red, green, blue);
        R_move_abs(3, 4);
        R_RGB_raster(2, 1, r, g, b, 0);
        CHECK(pixel(3, 4) == 210 && pixel(4, 4) == 9);
        R_RGB_color(257, 2, 0); /* indices by their low byte */
        R_cont_abs(3, 6);
        CHECK(pixel(3, 6) == 210);
    }
}

static void linesAndPoints(void)
{
    static const int dx[2] = {1, 3}, dy[2] = {2, 4};
    static const int bx[3] = {50, 60, 60}, by[3] = {50, 50, 60};
    fresh();
    R_move_abs(10, 10);
    R_color(7 + 256);
    R_polyline_rel(dx, dy, 2);
    CHECK(R_curx() == 14 && R_cury() == 16);
    CHECK(pixel(11, 12) == 7 && pixel(14, 16) == 7 && pixel(10, 10) == 9);

    fresh();
    R_color(3);
    R_box_abs(0, 0, 4, 3);
    CHECK(R_curx() == 4 && R_cury() == 3);
    CHECK(pixel(0, 0) == 3 && pixel(4, 3) == 3 && pixel(2, 3) == 3 && pixel(0, 2) == 3 && pixel(2, 1) == 9);

    fresh();
    R_color(4);
    R_polydots_abs(bx, by, 3);
    CHECK(pixel(50, 50) == 4 && pixel(60, 60) == 4 && pixel(55, 50) == 9);
    CHECK(R_curx() == 60 && R_cury() == 60);
    R_polygon_abs(bx, by, 3);
    CHECK(pixel(58, 52) == 4 && pixel(52, 58) == 9);

    /* vertices past 16 bits: clipped, not wrapped (65546 would wrap to 10) */
    {
        static const int wx[4] = {10, 65546, 65546, 10}, wy[4] = {10, 10, 20, 20};
        static const int tx[3] = {-100000, 100000, 0}, ty[3] = {-1000, -1000, 99999};
        fresh();
        R_color(6);
        R_polygon_abs(wx, wy, 4);
        CHECK(pixel(10, 10) == 6 && pixel(199, 19) == 6 && pixel(9, 15) == 9 && pixel(100, 20) == 9);
        CHECK(R_curx() == 10 && R_cury() == 20);
        fresh();
        R_color(6);
        R_polygon_abs(tx, ty, 3); /* covers the whole image */
        CHECK(pixel(0, 0) == 6 && pixel(199, 99) == 6 && pixel(100, 50) == 6);
    }

    /* no points: nothing drawn, the point stays */
    fresh();
    R_move_abs(5, 6);
    R_polyline_abs(bx, by, 0);
    R_polydots_rel(dx, dy, -1);
    R_polygon_rel(dx, dy, 0);
    R_polygon_abs(bx, by, -2);
    CHECK(R_curx() == 5 && R_cury() == 6);

    /* points outside the image are left out */
    {
        static const int ox[2] = {-5, 250}, oy[2] = {50, 500};
        R_polydots_abs(ox, oy, 2);
        CHECK(R_curx() == 250 && R_cury() == 500);
    }

    R_erase();
    CHECK(pixel(0, 0) == 0 && pixel(199, 99) == 0 && pixel(100, 50) == 0);
    CHECK(R_screen_rite() == 199 && R_screen_bot() == 99 && R_screen_top() == 0);
}

static void colours(void)
{
    unsigned char before[256][3];
    memcpy(before, image->desc.palette, sizeof before);
    CHECK(R_reset_color(10, 20, 30, 300) == 1);
    CHECK(R_get_num_colors() == 300);
    CHECK(R_reset_color(10, 20, 30, -1) == 1);
    CHECK(memcmp(before, image->desc.palette, sizeof before) == 0);
    CHECK(R_reset_color(10, 20, 30, 44) == 1);
    CHECK(image->desc.palette[44][0] == 10 && image->desc.palette[44][2] == 30);
    CHECK(R_get_num_colors() == 300);
    CHECK(R_color_offset(5) == 0 && R_color_offset(0) == 5);
}

static void location(void)
{
    int x = 1, y = 2, button = 1;
    eval("proc vdisp.get.point {w b x y} {set ::asked [list $w $b $x $y]; return {3 40 50}}");
    CHECK(R_get_location_with_pointer(&x, &y, &button) == 3);
    CHECK(button == 3 && x == 40 && y == 50);
    CHECK(strcmp(Tcl_GetVar(interp, "asked", TCL_GLOBAL_ONLY), ".v 1 1 2") == 0);
    eval("proc vdisp.get.line {args} {error no}");
    CHECK(R_get_location_with_line(0, 0, &x, &y, &button) == TCL_ERROR);
    CHECK(x == 40 && y == 50 && button == 3);
}

/* A form laid out in a frame that returns without running it. */
static void abandonedForm(void)
{
    int local = 3;
    V_clear();
    V_ques(&local, 'i', 1, 2, 5);
}

static void form(void)
{
    long big = 0;
    char text[] = "a {b} c";
    eval("proc _vask.clear {} {}\n"
         "proc _vask.const {args} {set ::const $args}\n"
         "proc _vask.ques {args} {set ::ques $args; return .}\n"
         "proc _vask.call {} {\n"
         "    set ::_vask(1) 4000000000; set ::typed [catch {_vask.parseInput 1 l 12}]\n"
         "    set ::_vask(1) 99999999999999999999; lappend ::typed [catch {_vask.parseInput 1 l 12}]\n"
         "    set ::_vask(return) 2\n"
         "}");
    V_clear();
    CHECK(V_const(text, 's', 1, 2, 7) == TCL_OK);
    eval("set n [llength $::const]; set w [lindex $::const 0]");
    CHECK(strcmp(Tcl_GetVar(interp, "n", TCL_GLOBAL_ONLY), "5") == 0);
    CHECK(strcmp(Tcl_GetVar(interp, "w", TCL_GLOBAL_ONLY), "a {b} c") == 0);
    V_ques(&big, 'l', 1, 2, 12);
    eval("set ::_vask(1) 5");
    CHECK(Tcl_Eval(interp, "_vask.parseInput 1 l 12") == TCL_ERROR); /* laid out, not yet run */
    CHECK(big == 0);
    CHECK(V_call() == 2);
    CHECK(strcmp(Tcl_GetVar(interp, "typed", TCL_GLOBAL_ONLY), "0 1") == 0);
    CHECK(big == 4000000000L);
    CHECK(Tcl_Eval(interp, "_vask.parseInput 1 l 12") == TCL_ERROR); /* forgotten after the form */

    /* the frame of a form never run is gone: its id reaches nothing */
    abandonedForm();
    eval("set ::_vask(1) 77");
    CHECK(Tcl_Eval(interp, "_vask.parseInput 1 i 5") == TCL_ERROR);
}

int main(int argc, char **argv)
{
    static const int values[1] = {77};
    int x = 0, y = 0, button = 0;
    (void)argc;
    Tcl_FindExecutable(argv[0]);
    interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK || Tk_Init(interp) != TCL_OK) {
        fprintf(stderr, "displaymodule: cannot start Tcl and Tk: %s\n", Tcl_GetStringResult(interp));
        return 2;
    }
    Tcl_SetVar(interp, "teskAppScripts", "", TCL_GLOBAL_ONLY);
    if (Tesk_Init(interp) != TCL_OK) {
        fprintf(stderr, "displaymodule: Tesk_Init failed: %s\n", Tcl_GetStringResult(interp));
        return 2;
    }
    if (eval("rimage create overwrite -file vd -imgid MBSQ -pixel BYTE -rows 100 -columns 200 -nbands 1\n"
             "image create gimg vdimg -file vd\n"
             "array set _comb {.v,class vdisp .v,rimage vd .v,-image vdimg}\n"
             "set virtural_display .v\n"
             "grass driver open_driver") != TCL_OK) {
        return 1;
    }
    image = tesk_getRAMImageByTag("vd");
    CHECK(image != NULL);
    if (image == NULL) {
        return 1;
    }
    rasters();
    linesAndPoints();
    colours();
    location();
    form();

    /* closed: nothing is touched */
    CHECK(R_close_driver() == 1);
    CHECK(R_close_driver() == 0);
    fresh();
    R_raster(1, 1, 0, values);
    CHECK(pixel(0, 0) == 9 && R_curx() == 0 && R_get_num_colors() == 0);

    /* a deleted interpreter is forgotten */
    eval("grass driver open_driver");
    R_move_abs(7, 8);
    CHECK(R_curx() == 7);
    Tcl_DeleteInterp(interp);
    CHECK(R_curx() == 0 && R_raster(1, 1, 0, values) == 0);
    CHECK(R_get_location_with_pointer(&x, &y, &button) == 0 && V_clear() == 0 && V_call() == 0);
    return failures != 0;
}
