/*
 * toolutil.h --
 *
 *	What several image tools share: the reading of whole-number option
 *	values, and the label image that the classifiers create when their
 *	output does not open.
 */
#ifndef TESK_ANALYSIS_TOOLS_TOOLUTIL_H
#define TESK_ANALYSIS_TOOLS_TOOLUTIL_H

#include <cstddef>
#include <string>

#include "tesk_image.h"

/* Prints a tool's usage text on standard output: the first line formats
 * the program name; with newlines set, every line is followed by one (the
 * lines then hold none of their own). */
void printToolUsage(const char *programName, const char *const *lines, size_t count, bool newlines);
template <size_t N>
void printToolUsage(const char *programName, const char *const (&lines)[N], bool newlines = false)
{
    printToolUsage(programName, lines, N, newlines);
}

/* The leading integer of text held to the int range, 0 when there is none
 * (atoi's reading of an option value). */
int toolInt(const char *text);

/*
 * createLabelImage --
 *	Makes the image out, which did not open: a copy of in's descriptor
 *	with one band of BYTE pixels and a palette of 256 entries, as a file of
 *	the type imgid names (DIB when NULL; one of BSQ, BIL, BIP, DIB, TIFF,
 *	GEOTIFF, BSQD, BILD, BIPD). An existing file that did not open as an
 *	image is never overwritten. NULL after "Invalid imgid.\n" or openError
 *	(a format taking out), with *error the store's code to report (left
 *	as the failed open's when nothing was tried); *error is 0 on success.
 */
RamImage *createLabelImage(const RamImage *in, const char *out, const char *imgid, const char *openError, int *error);

/* Gives back the use of *image the run holds (the last release of an
 * output writes its rows) and empties *image; nothing when it is NULL. */
void releaseImage(RamImage **image);

/* What a tool's set-up made for its output, taken away again when the run
 * is refused: a new file, or a memory image defined in the store (its tag). */
struct MadeOutput {
    std::string file;
    std::string memory;
};

/* Takes away what made names, once the run has given its own use of the
 * image back: the name removed when it is a file the run made anew
 * (ramImageMadeAnew; a name that existed before, a symbolic link above
 * all, is never removed), the memory image's definition closed. made is
 * emptied. */
void dropMadeOutput(MadeOutput *made);

#endif /* TESK_ANALYSIS_TOOLS_TOOLUTIL_H */
