/*
 * photolink.h --
 *
 *	Links between RAM images and Tk photo images: a photo copied into a new
 *	memory image, a photo read from a file through Tk's photo formats and
 *	copied, a new photo paired with a new memory image, and a RAM image put
 *	into a photo. Serves rimage's open forms and every module that shows a
 *	RAM image through a photo.
 *
 *	For rimage open: when a NAME (or, in "open TAG TYPE FILE", the FILE)
 *	cannot be opened as a file, call
 *
 *	    RamImage *image = photoToRAMImage(interp, NAME, defaults, tag);
 *
 *	with tag NULL for "open NAME" (the image is tagged "NAME.photo") or
 *	TAG for "open TAG TYPE FILE", and defaults the command's default
 *	descriptor (only read). A NULL answer leaves a message in the
 *	interpreter's result (reset it before writing open's own message). A
 *	non-NULL answer holds one use for the caller: give it back with
 *	ramImageRelease(image, NULL), or turn it into a script open (use
 *	count down, open count up).
 */
#ifndef TESK_DISPLAY_PHOTOLINK_H
#define TESK_DISPLAY_PHOTOLINK_H

#include <cstddef>
#include <string>
#include <tk.h>
#include "tesk_image.h"

/* The client data of the Tcl command name: the object procedure's when the
 * command was made as an object command, else the string procedure's.
 * NULL when no command has that name. */
ClientData getCmdClientData(Tcl_Interp *interp, const char *name);

/* Evaluates "image delete name", keeping the interpreter's result and
 * error state as they were. */
void deletePhoto(Tcl_Interp *interp, const std::string &name);

/* The photo image called name, or NULL when there is none or interp has no
 * Tk main window. Leaves the result as it was. */
Tk_PhotoHandle findPhoto(Tcl_Interp *interp, const char *name);

/*
 * photoToRAMImage --
 *	Copies the photo photoName into a memory image tagged tag (NULL or
 *	empty: "photoName.photo"), made from a copy of desc with the photo's
 *	columns and rows, three BYTE bands (red, green, blue; alpha dropped),
 *	type MBSQ, block = columns, no palette, no transparent index, and the
 *	tag as its file name. A memory image of that tag is made again in place
 *	and its clients are told; a file image or a locked one under the tag is
 *	refused. Answers the image holding one use for the caller, or NULL with
 *	a message in the result (no such photo, an empty photo, the store's
 *	refusal).
 */
RamImage *photoToRAMImage(Tcl_Interp *interp, const char *photoName, const ImageDesc *desc, const char *tag);

/*
 * photoFileToRAMImage --
 *	Evaluates "image create photo" followed by the argc option words of
 *	argv (such as "-file" NAME "-format" FMT), copies the new photo with
 *	photoToRAMImage under "PHOTO.photo" and deletes the photo again. The
 *	first word must be an option: the words never name (and so never
 *	replace or delete) an image of the caller's. Answers the image holding
 *	one use for the caller, or NULL; the result is reset either way.
 */
RamImage *photoFileToRAMImage(Tcl_Interp *interp, int argc, const char *const *argv, const ImageDesc *desc);

/*
 * photoDataToRAMImage --
 *	The picture that text holds, copied as photoFileToRAMImage does:
 *	the bytes of a GIF, PNG or binary PPM/PGM file as they are, anything
 *	else as the file's bytes in strict base64 (see base64Decode); a text
 *	the decoder refuses makes no photo. The header is weighed first
 *	(pictureDataFits): a picture it refuses never reaches Tk's reader and
 *	sets *refused. Answers the image holding one use for the caller, or
 *	NULL; the result is reset.
 */
RamImage *photoDataToRAMImage(Tcl_Interp *interp, const char *text, const ImageDesc *desc, bool *refused);

/*
 * createPhotoRAMImage --
 *	Makes a photo image (named name when name is not empty, else named by
 *	Tk), writes the photo's name into name (nameSize bytes, terminated),
 *	and makes a memory image tagged "PHOTO.ramimg" from desc (which should
 *	be of a memory type; its file name becomes the tag). The photo keeps
 *	Tk's empty size until ramImageToPhoto fills it. Answers the image
 *	holding one use for the caller, or NULL with a message in the result;
 *	a photo this call made is deleted again on failure.
 */
RamImage *createPhotoRAMImage(Tcl_Interp *interp, char *name, std::size_t nameSize, const ImageDesc *desc);

/*
 * ramImageToPhoto --
 *	Sizes the photo photoName to the image and puts every pixel into it: a
 *	palette image maps band 1 through its palette; any other image shows
 *	bands 1, 2 and 3 as red, green and blue bytes (a one-band image as
 *	grey, a missing third band as 0). Answers TCL_OK, or TCL_ERROR with a
 *	message when no photo has that name or Tk cannot hold the pixels.
 */
int ramImageToPhoto(Tcl_Interp *interp, RamImage *image, const char *photoName);

#endif /* TESK_DISPLAY_PHOTOLINK_H */
