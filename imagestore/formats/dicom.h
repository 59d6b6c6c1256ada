/*
 * dicom.h --
 *
 *	The DICOM element parser and the element table of an opened DICOM
 *	image, for the detector (dicom.cpp) and the dicom command
 *	(dicomcmd.cpp). A table is keyed by group x 65536 + element; each
 *	value heads a chain of DicomElement records (tesk.h) whose value bytes
 *	and a zero byte follow the record. The pixel data record holds, in
 *	place of a value, the 64-bit offset where the pixels begin, and links
 *	the basic offset table of encapsulated frames.
 */
#ifndef TESK_IMAGESTORE_FORMATS_DICOM_H
#define TESK_IMAGESTORE_FORMATS_DICOM_H

#include <cstdint>
#include "tesk.h"
#include "tesk_image.h"

/* Value representations by index: 0 RT, 1 AE, ... 26 UT. */
constexpr int kDicomVrCount = 27;
/* The index of a two-letter code (its first two characters), 0 unknown. */
int dicomVrIndex(const char *code);
/* The name of an index, "??" outside 0..26. */
const char *dicomVrName(int index);

/* Parses a file up to its pixel data element: the table, or NULL for a
 * file that is no readable DICOM file. The file position is untouched. */
HashTable dicomParse(int fd, int64_t *pixelOffset);
DicomElement *dicomFindElement(HashTable table, int group, int element);
/* Frees the detector's private data (the element table with it). */
void dicomFreePrivate(void *priv);
/* The element table of an opened DICOM image, NULL for other images. */
HashTable dicomImageTable(const RamImage *image);

int dicomDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);

/* Frees the dicom command's dictionary of element names (the command's
 * delete procedure and the package exit handler). */
void dicomCmdDelete();

#endif /* TESK_IMAGESTORE_FORMATS_DICOM_H */
