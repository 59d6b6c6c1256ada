/*
 * nolinks.c --
 *
 *	A preloaded library that refuses every hard link (link() and linkat()
 *	fail with EPERM), as a file system without hard links does: runs the
 *	file replacement tests along the paths that such a file system takes.
 */
#include <errno.h>

__attribute__((visibility("default"))) int link(const char *from, const char *to)
{
    (void)from;
    (void)to;
    errno = EPERM;
    return -1;
}

__attribute__((visibility("default"))) int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    (void)fromFolder;
    (void)from;
    (void)toFolder;
    (void)to;
    (void)flags;
    errno = EPERM;
    return -1;
}
