/*
 * codes.h --
 *
 *	The name tables of the descriptor's codes (image types, pixel types,
 *	image functions, map ids) with lookups both ways, and the georeference
 *	comment that carries the map id and georeference in GIF and JPEG files:
 *	"tesk proj:%s x0:%.32g y0:%.32g dx:%.32g dy:%.32g".
 */
#ifndef TESK_IMAGESTORE_CODES_H
#define TESK_IMAGESTORE_CODES_H

#include <cstddef>
#include "tesk_image.h"

int imgIdCode(const char *name); /* 0..30, -1: none */
const char *imgIdName(int code); /* codes 0..30; "UNKNOWN" otherwise */
int imgIdCount();                /* 31 */
int isMemoryImgId(int code);     /* 1 for 21..30 */

int pixelIdCode(const char *name); /* 1..9, -1 for UNKNOWN and unlisted */
const char *pixelIdName(int code); /* codes 0..9; "UNKNOWN" otherwise */
int pixelIdCount();                /* 10 */
int pixelIdBits(int code);         /* bits per sample; 0 outside 0..9 */

int imgTypeCode(const char *name); /* 0..6, -1: none */
const char *imgTypeName(int code); /* 0..6 and 100..102; else "UNKNOWN" */
int imgTypeCount();                /* 7 */

int mapIdCode(const char *name); /* 1..183, PCS numbers 20000..65535, -1 */
const char *mapIdName(int code); /* PCS codes in a static buffer */
int mapIdCount();                /* 184 */

/* Writes the georeference comment of desc into text (size bytes, at least
 * 256 is ample); answers its length plus one. */
int formatGeoComment(const ImageDesc *desc, char *text, std::size_t size);
/* 1 and desc updated when text is a complete comment, else 0. */
int parseGeoComment(ImageDesc *desc, const char *text);

#endif /* TESK_IMAGESTORE_CODES_H */
