/*
 * grass.h --
 *
 *	The raster display driver over virtual displays: the state of the one
 *	open display, the interpreter the driver evaluates in, the stroke-font
 *	store and the vask form registry, shared by the grass command and the
 *	exported R_ and V_ functions (include/tesk_display.h).
 *
 *	A virtual display is a combined widget of class vdisp: its picture is
 *	the RAM image tagged _comb(path,rimage), shown by the gimg named
 *	_comb(path,-image); its state lives in _comb(path,cf-*) and
 *	_comb(path,RGB) while no driver has it open.
 */
#ifndef TESK_DEVICES_GRASS_GRASS_H
#define TESK_DEVICES_GRASS_GRASS_H

#include <tcl.h>
#include "display/gimg.h"
#include "tesk_image.h"

struct GrassDriverState {
    char name[128];       /* path of the virtual display */
    RamImage *image;      /* its picture; the open display holds a use */
    GimgMaster *master;   /* the gimg that shows it, or NULL */
    int color;            /* pixels take its low byte */
    int curX, curY;       /* current point */
    int clipLeft, clipRight, clipTop, clipBottom; /* stored, not applied */
    double textScaleX, textScaleY; /* pixels per stroke-font unit */
    double textAngle;     /* radians */
    double sine, cosine;  /* of textAngle */
    int colorCount;       /* RGB entries loaded (R_reset_color may raise it) */
    int colorOffset;
    unsigned char rgb[256][3];
};

/* The module init (module table row "grass"): the stroke-font store and the
 * commands grass and _vask.parseInput; 0, or 1 when a command cannot be
 * made. */
int grassInit(Tcl_Interp *interp);

/* Frees the stroke fonts and forgets the interpreter (exit handler). */
void grassExit(ClientData clientData);

/* Loads the display named by the global virtural_display and makes it
 * current; 1, or 0 (a message on standard error, no display open). */
int grassOpenDriver();

/* The open display, or NULL. */
GrassDriverState *grassState();

/* Sets the text angle (radians) with its sine and cosine. */
void grassSetTextAngle(GrassDriverState *state, double angle);

/* The interpreter the driver evaluates in, or NULL once it is deleted. */
Tcl_Interp *grassInterp();

/* Evaluates the command made of words (never re-parsed) at global level in
 * the driver's interpreter; TCL_ERROR when there is none. */
int grassEvalWords(int objc, Tcl_Obj *const objv[]);

/* Stroke fonts (strokefont.cpp). */
bool strokeFontsInit();
void strokeFontsFree();
int grassFontCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

/* Vask forms (vask.cpp). */
int vaskParseInputCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int vaskTestCmd(Tcl_Interp *interp);
void vaskForget();

#endif
