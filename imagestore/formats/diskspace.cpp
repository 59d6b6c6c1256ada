/*
 * diskspace.cpp --
 *
 *	The free-space test that the writers of large image files make before
 *	they write: statvfs on the file's folder, or its nearest existing
 *	parent, through the runtime's diskFreeForPath; and the test of the raw
 *	band writers, which counts the whole file of a descriptor.
 */
#include "imagestore/formats/formats.h"

#include <cstdio>
#include <string>
#include "imagestore/codes.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* The decimal digits of a byte count of any size. */
std::string decimalText(RequestBytes value)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

}  // namespace

/*
 * checkDiskSpace --
 *	True when bytes fit in the free space of fileName's file system. When
 *	they do not, message is printed to standard error with the requested
 *	bytes (decimal text) and the free bytes (double), and the answer is
 *	false. A file system that cannot be asked (diskFreeForPath has said so)
 *	does not stop the writer: a real shortage then shows as a short write.
 */
bool checkDiskSpace(const char *fileName, RequestBytes bytes, const char *message)
{
    double available = diskFreeForPath(fileName);
    if (available < 0.0 || static_cast<long double>(bytes) <= static_cast<long double>(available)) {
        return true;
    }
    tesk_fprintf(stderr, message, decimalText(bytes).c_str(), available);
    return false;
}

bool rawImageFitsOnDisk(const ImageDesc *desc, RequestBytes headerBytes)
{
    if (desc->rows < 1 || desc->columns < 1 || desc->nbands < 1) {
        return true;
    }
    RequestBytes line = (static_cast<RequestBytes>(desc->columns) * pixelIdBits(desc->pixel) + 7) / 8;
    RequestBytes bytes =
        line * static_cast<RequestBytes>(desc->nbands) * static_cast<RequestBytes>(desc->rows) + headerBytes;
    return checkDiskSpace(desc->file, bytes, "Insufficient disk space. Requested:%s Available:%.f\n");
}
