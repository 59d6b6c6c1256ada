/*
 * filedata.h --
 *
 *	Whole blocks of data read from and written to open files in pieces of
 *	at most 32,768 bytes, for the feature files, the pixel tables and the
 *	tool modules. Failures are reported on standard error and answered to
 *	the caller; neither routine ends the process.
 */
#ifndef TESK_IMAGESTORE_FILEDATA_H
#define TESK_IMAGESTORE_FILEDATA_H

#include <sys/types.h>

/*
 * getFileData --
 *	Reads count bytes into buffer: from offset when it is not negative
 *	(the file position then moves there), else from the current position.
 *	Answers the bytes read: count when all were, 0 after "lseek in
 *	getFileData: ..." when the seek failed, and the bytes read so far
 *	after "read in getFileData: ..." when a piece came short. fatal is
 *	kept for the callers that once had the process end on failure: they
 *	get the same answer and must compare it with count.
 */
long getFileData(int fd, void *buffer, long count, off_t offset, int fatal);

/*
 * putFileData --
 *	Writes count bytes of buffer at offset (not negative) or at the
 *	current position, leaving the position after them. Answers the bytes
 *	written: 0 after "getFileData error in lseek\n" when the seek failed,
 *	the bytes written so far after "putFileData error in write\n" when a
 *	piece was cut short; quiet set keeps both messages back.
 */
long putFileData(int fd, const void *buffer, long count, off_t offset, int quiet);

#endif /* TESK_IMAGESTORE_FILEDATA_H */
