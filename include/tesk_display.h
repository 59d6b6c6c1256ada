/*
 * tesk_display.h --
 *
 *	Public C interface of the raster display driver: display modules
 *	linked against libtesk.so draw into the open virtual display (a RAM
 *	image shown by a gimg, opened by "grass driver open_driver") through
 *	the R_ functions, draw stroke-font text, and ask for values through
 *	the V_ form functions, which call the application's _vask.* Tcl
 *	procedures.
 *
 *	Coordinates are image columns (x) and rows (y); pixel values are one
 *	byte. Arrays are the caller's. Every function answers 0 and does
 *	nothing while no display is open (the V_ functions: while the
 *	interpreter lives).
 */
#ifndef TESK_DISPLAY_H
#define TESK_DISPLAY_H

#if defined(__GNUC__)
#define TESK_DISPLAY_API __attribute__((visibility("default")))
#else
#define TESK_DISPLAY_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Driver and colours -------------------------------------------------- */

/* Saves the display's state into _comb and closes it; 1, or 0 when none is
 * open. */
TESK_DISPLAY_API int R_close_driver(void);
TESK_DISPLAY_API int R_color_table_fixed(void);
TESK_DISPLAY_API int R_color_table_float(void);
/* Palette entry index (0..255) of the display's image; an index above the
 * colour count raises the count to it. */
TESK_DISPLAY_API int R_reset_color(int red, int green, int blue, int index);
TESK_DISPLAY_API int R_reset_colors(int min, int max, const unsigned char *red, const unsigned char *green,
                                    const unsigned char *blue);
/* Set the current colour; answer the previous one. */
TESK_DISPLAY_API int R_color(int color);
TESK_DISPLAY_API int R_standard_color(int color);
/* Current colour = red of RGB entry r + green of entry g + blue of entry b
 * (indices by their low byte). */
TESK_DISPLAY_API int R_RGB_color(int r, int g, int b);
TESK_DISPLAY_API int R_get_num_colors(void);
TESK_DISPLAY_API int R_color_offset(int offset);
/* Loads the 256 entries of the RGB table. */
TESK_DISPLAY_API int R_set_RGB_color(const unsigned char *red, const unsigned char *green, const unsigned char *blue);

/* ---- Screen and current point ------------------------------------------- */

TESK_DISPLAY_API int R_screen_top(void);
TESK_DISPLAY_API int R_screen_bot(void);
TESK_DISPLAY_API int R_screen_left(void);
TESK_DISPLAY_API int R_screen_rite(void);
TESK_DISPLAY_API int R_move_abs(int x, int y);
TESK_DISPLAY_API int R_move_rel(int dx, int dy);
TESK_DISPLAY_API int R_curx(void);
TESK_DISPLAY_API int R_cury(void);
/* Stores the clip window; drawing is not clipped by it. */
TESK_DISPLAY_API int R_set_window(int top, int bottom, int left, int right);

/* ---- Drawing (band 0, the low byte of the current colour) ----------------- */

TESK_DISPLAY_API int R_cont_abs(int x, int y);
TESK_DISPLAY_API int R_cont_rel(int dx, int dy);
TESK_DISPLAY_API int R_box_abs(int x1, int y1, int x2, int y2);
TESK_DISPLAY_API int R_box_rel(int dx, int dy);
/* Sets every pixel of every band to 0. */
TESK_DISPLAY_API int R_erase(void);
TESK_DISPLAY_API int R_flush(void);
/* Tells the gimg views of the display that it changed. */
TESK_DISPLAY_API int R_stabilize(void);
/* Points, polylines and polygons of n points (nothing for n <= 0); the
 * current point ends at the last point. */
TESK_DISPLAY_API int R_polydots_abs(const int *x, const int *y, int n);
TESK_DISPLAY_API int R_polydots_rel(const int *dx, const int *dy, int n);
TESK_DISPLAY_API int R_polyline_abs(const int *x, const int *y, int n);
TESK_DISPLAY_API int R_polyline_rel(const int *dx, const int *dy, int n);
TESK_DISPLAY_API int R_polygon_abs(const int *x, const int *y, int n);
TESK_DISPLAY_API int R_polygon_rel(const int *dx, const int *dy, int n);
/* num values on nrows rows from the current point; value 0 is skipped, or
 * written as 1 when withzeros is non-zero. */
TESK_DISPLAY_API int R_raster(int num, int nrows, int withzeros, const int *values);
TESK_DISPLAY_API int R_RGB_raster(int num, int nrows, const unsigned char *red, const unsigned char *green,
                                  const unsigned char *blue, int withzeros);

/* ---- Locations asked of the application (vdisp.get.*) ------------------- */

/* Answer the number of values read, or the Tcl code of a failing script. */
TESK_DISPLAY_API int R_get_location_with_pointer(int *x, int *y, int *button);
TESK_DISPLAY_API int R_get_location_with_line(int x0, int y0, int *x, int *y, int *button);
TESK_DISPLAY_API int R_get_location_with_box(int x0, int y0, int *x, int *y, int *button);

/* ---- Stroke-font text ----------------------------------------------------- */

/* Makes the named font current; 1, or 0 when there is none of that name. */
TESK_DISPLAY_API int R_font(const char *name);
TESK_DISPLAY_API int R_text_size(int width, int height);
/* angle in radians */
TESK_DISPLAY_API int R_text_rotation(double angle);
TESK_DISPLAY_API int R_text(const char *text);
TESK_DISPLAY_API int R_get_text_box(const char *text, int *top, int *bottom, int *left, int *right);
/* The font names, separated by ",", as many as fit in size bytes. */
TESK_DISPLAY_API char *grassFont(char *buffer, int size);

/* ---- Pads and panels: not kept, each prints a trace line ---------------- */

TESK_DISPLAY_API int R_panel_save(const char *name, int top, int bottom, int left, int right);
TESK_DISPLAY_API int R_panel_delete(const char *name);
TESK_DISPLAY_API int R_panel_restore(const char *name);
TESK_DISPLAY_API int R_pad_append_item(const char *item, const char *value, int replace);
TESK_DISPLAY_API int R_pad_create(const char *pad);
TESK_DISPLAY_API int R_pad_current(char *name);
TESK_DISPLAY_API int R_pad_delete(void);
TESK_DISPLAY_API int R_pad_delete_item(const char *name);
TESK_DISPLAY_API int R_pad_freelist(char **list, int count);
TESK_DISPLAY_API int R_pad_get_item(const char *name, char ***list, int *count);
TESK_DISPLAY_API int R_pad_invent(char *pad);
TESK_DISPLAY_API int R_pad_list(char ***list, int *count);
TESK_DISPLAY_API int R_pad_select(const char *pad);
TESK_DISPLAY_API int R_pad_set_item(const char *name, const char *value);
TESK_DISPLAY_API int R_pad_perror(const char *message, int code);

/* ---- Vask forms ------------------------------------------------------------
 * Type letters: 'i' int, 'l' long, 'f' float, 'd' double, 's' a char array
 * of len + 1 bytes. The variables of V_ques must stay in place until V_call
 * returns; V_clear and V_call forget them.
 */
TESK_DISPLAY_API int V_clear(void);
TESK_DISPLAY_API int V_line(int row, const char *text);
TESK_DISPLAY_API int V_const(void *value, char type, int row, int column, int len);
TESK_DISPLAY_API int V_ques(void *value, char type, int row, int column, int len);
TESK_DISPLAY_API int V_float_accuracy(int decimals);
/* Runs the form; the application's _vask(return). */
TESK_DISPLAY_API int V_call(void);
TESK_DISPLAY_API int V_intrpt_GD_OK(void);
TESK_DISPLAY_API int V_intrpt_msg(const char *message);

#ifdef __cplusplus
}
#endif

#endif /* TESK_DISPLAY_H */
