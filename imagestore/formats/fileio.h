/*
 * fileio.h --
 *
 *	Positioned file reads and writes that finish what they start, and the
 *	fixed-size header fields of the binary formats: what every reader and
 *	writer of this folder shares. None of these moves the file position.
 */
#ifndef TESK_IMAGESTORE_FORMATS_FILEIO_H
#define TESK_IMAGESTORE_FORMATS_FILEIO_H

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

/* Reads n bytes at offset, pread after pread (an interrupted one is asked
 * again). Answers the bytes read: short only at the end of the file or on
 * an error. */
size_t readAt(int fd, void *buffer, size_t n, off_t offset);
/* The same, answering true when all n bytes were read. */
bool readAllAt(int fd, void *buffer, size_t n, off_t offset);
/* Writes n bytes at offset, pwrite after pwrite (an interrupted one is
 * asked again); true when all were written. */
bool writeAt(int fd, const void *buffer, size_t n, off_t offset);

/* Header fields at p: least significant byte first, or most significant
 * byte first when msbf is true. Floats are the IEEE bits of that order. */
uint16_t getU16(const unsigned char *p, bool msbf = false);
int16_t getI16(const unsigned char *p, bool msbf = false);
uint32_t getU32(const unsigned char *p, bool msbf = false);
int32_t getI32(const unsigned char *p, bool msbf = false);
float getF32(const unsigned char *p, bool msbf = false);
double getF64(const unsigned char *p, bool msbf = false);

/* Header fields stored at p, least significant byte first. putF32 takes a
 * double: NaN stays NaN, values beyond the float range become infinities. */
void putU16(unsigned char *p, uint16_t v);
void putU32(unsigned char *p, uint32_t v);
void putI32(unsigned char *p, int32_t v);
void putF32(unsigned char *p, double v);
void putF64(unsigned char *p, double v);

#endif /* TESK_IMAGESTORE_FORMATS_FILEIO_H */
