/*
 * printjob.h --
 *
 *	A print job: pages drawn as rasters at the printer's resolution, each
 *	sent as a PostScript Level 3 page (DSC comments, DeviceRGB image,
 *	FlateDecode) to a CUPS destination or into the file printer's file.
 *	Serves canvas printing.
 */
#ifndef TESK_DEVICES_PRINT_PRINTJOB_H
#define TESK_DEVICES_PRINT_PRINTJOB_H

#include <string>
#include <vector>
#include "devices/print/emf.h"
#include "devices/print/printdest.h"

class PrintJob {
public:
    /* A job of copies copies (at least 1) for dest (its capabilities
     * filled), titled title. */
    PrintJob(const PrintDest &dest, const std::string &title, int copies);

    /* The printable area in printer pixels (HORZRES, VERTRES). */
    int width() const { return width_; }
    int height() const { return height_; }

    /* Starts a page: the raster, white. False when it cannot be had. */
    bool startPage();
    /* Plays the bitmap of a metafile of ours stretched to the rectangle
     * (x, y, w, h) in printer pixels, clipped to it and to the page. False
     * for bytes that are not such a metafile. */
    bool playMetafile(const std::vector<unsigned char> &bytes, int x, int y, int w, int h);
    /* Ends the page: its PostScript joins the document. */
    bool endPage();
    /* Sends the document: the file printer's file replaced, or a CUPS job
     * made and finished. False with the reason in *message. */
    bool endDoc(std::string *message);

private:
    PrintDest dest_;
    std::string title_;
    int width_, height_;
    int copies_;
    int pages_ = 0;
    std::vector<unsigned char> raster_; /* rows top-down, red, green, blue */
    std::string body_;                  /* the pages' PostScript */
};

#endif /* TESK_DEVICES_PRINT_PRINTJOB_H */
