/*
 * detect.cpp --
 *
 *	Format detection and new image files. No file format is registered in
 *	this build yet: every file answers "not a known format", and new files
 *	cannot be made.
 */
#include "imagestore/formats/detect.h"

int detectImageFile(int, const char *, ImageDesc *, void **priv)
{
    *priv = nullptr;
    return 0;
}

int newImageFile(ImageDesc *)
{
    return -1;
}

int ramImageStoredStats(RamImage *, BandStat *)
{
    return 0;
}
