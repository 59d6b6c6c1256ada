/*
 * diskspace.cpp --
 *
 *	The free-space test that the writers of large image files make before
 *	they write: statvfs on the file's folder, or its nearest existing
 *	parent, through the runtime's diskFreeForPath.
 */
#include "imagestore/formats/formats.h"

#include <cstdio>
#include "runtime/util.h"
#include "tesk_stdio.h"

/*
 * checkDiskSpace --
 *	True when bytes fit in the free space of fileName's file system. When
 *	they do not, message is printed to standard error with the requested
 *	bytes (long long) and the free bytes (double), and the answer is false.
 *	A file system that cannot be asked (diskFreeForPath has said so) does
 *	not stop the writer: a real shortage then shows as a short write.
 */
bool checkDiskSpace(const char *fileName, int64_t bytes, const char *message)
{
    double available = diskFreeForPath(fileName);
    if (available < 0.0 || static_cast<double>(bytes) <= available) {
        return true;
    }
    tesk_fprintf(stderr, message, static_cast<long long>(bytes), available);
    return false;
}
