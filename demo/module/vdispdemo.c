/*
 * vdispdemo.c --
 *
 *	An example display module: the "vdispdemo" command asks for a legend
 *	through a vask form, then draws into the open virtual display a shaded
 *	raster, a river and a grid of roads, and a framed legend in the
 *	current stroke font, and closes the driver. Written as a module
 *	written for the display-driver interface is: the R_ and V_ functions
 *	of tesk_display.h and nothing of the package's insides.
 *
 *	vdispdemo FONT    answers {form-answer legend}
 */
#include <string.h>
#include <tcl.h>
#include "tesk_display.h"

/* Rows of grey from dark at the top left to light at the bottom right. */
static void shade(int columns, int rows)
{
    int *values = (int *)ckalloc(sizeof(int) * (size_t)columns);
    int x, y;
    for (y = 0; y < rows; y++) {
        for (x = 0; x < columns; x++) {
            values[x] = 40 + 150 * x / (columns - 1) + 50 * y / (rows - 1);
        }
        R_move_abs(0, y);
        R_raster(columns, 1, 1, values);
    }
    ckfree(values);
}

/* A river (black, three strokes wide) and roads every 40 pixels (white). */
static void lines(int columns, int rows)
{
    static const int riverX[] = {0, 40, 90, 130, 180, 239}, riverY[] = {20, 35, 30, 60, 70, 100};
    int i, k;
    R_color(0);
    for (k = -1; k <= 1; k++) {
        int y[6];
        for (i = 0; i < 6; i++) {
            y[i] = riverY[i] + k;
        }
        R_polyline_abs(riverX, y, 6);
    }
    R_color(255);
    for (i = 40; i < columns; i += 40) {
        R_move_abs(i, 0);
        R_cont_rel(0, rows - 1);
    }
}

/* The legend's white box, framed, and its text in the current font (the
 * pen at the top left of the letters). */
static void legend(const char *text, int rows)
{
    const int x[4] = {4, 80, 80, 4}, y[4] = {rows - 28, rows - 28, rows - 4, rows - 4};
    R_color(255);
    R_polygon_abs(x, y, 4);
    R_color(0);
    R_box_abs(x[0], y[0], x[1], y[2]);
    R_text_size(16, 16);
    R_move_abs(9, rows - 26);
    R_text(text);
}

static int vdispdemoCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    char text[13] = "LO";
    int answer, columns, rows;
    Tcl_Obj *result[2];
    (void)data;
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "font");
        return TCL_ERROR;
    }
    columns = R_screen_rite() + 1;
    rows = R_screen_bot() + 1;
    if (columns < 2 || rows < 30) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("no virtual display open, or one too small", -1));
        return TCL_ERROR;
    }
    V_clear();
    V_line(1, "Legend of the map");
    V_ques(text, 's', 1, 20, 12);
    answer = V_call();
    shade(columns, rows);
    lines(columns, rows);
    if (answer != 0 && R_font(Tcl_GetString(objv[1]))) {
        legend(text, rows);
    }
    R_stabilize();
    R_close_driver();
    result[0] = Tcl_NewIntObj(answer);
    result[1] = Tcl_NewStringObj(text, -1);
    Tcl_SetObjResult(interp, Tcl_NewListObj(2, result));
    return TCL_OK;
}

__attribute__((visibility("default"))) int Vdispdemo_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == NULL) {
        return TCL_ERROR;
    }
    Tcl_CreateObjCommand(interp, "vdispdemo", vdispdemoCmd, NULL, NULL);
    return Tcl_PkgProvide(interp, "vdispdemo", "1.0");
}
