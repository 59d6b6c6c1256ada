/*
 * readers.cpp --
 *
 *	The registry of user image readers: two lists, one asked before the
 *	built-in formats and one after them. Readers come from C modules
 *	(addImageReader, removeImageReader) and from commands such as gpz;
 *	detectImageFile asks them, the package exit handler frees them.
 */
#include "imagestore/formats/formats.h"

#include <cstdio>
#include "tesk_stdio.h"

namespace {

/* One registered reader; nodes come from gmemAlloc and belong to a list. */
struct ReaderNode {
    ImageReaderProc *proc; /* the reader, never NULL */
    ReaderNode *next;      /* next reader of the same list, NULL at the end */
};

ReaderNode *firstList = nullptr;  /* asked before the built-in formats, head first */
ReaderNode *secondList = nullptr; /* asked after them, head first */

/* Unlinks and frees the first node of proc in list; true when there was one. */
bool unlinkReader(ReaderNode **list, ImageReaderProc *proc)
{
    for (ReaderNode **link = list; *link != nullptr; link = &(*link)->next) {
        if ((*link)->proc == proc) {
            ReaderNode *node = *link;
            *link = node->next;
            gmemFree(node);
            return true;
        }
    }
    return false;
}

void freeList(ReaderNode **list)
{
    while (*list != nullptr) {
        ReaderNode *node = *list;
        *list = node->next;
        gmemFree(node);
    }
}

}  // namespace

/*
 * addImageReader --
 *	Registers proc: at the head of the first list when last is 0, at the
 *	tail of the second otherwise. A procedure stands at most once in the
 *	registry, so an earlier registration is dropped first.
 */
extern "C" void addImageReader(ImageReaderProc *proc, int last)
{
    if (proc == nullptr) {
        return;
    }
    while (unlinkReader(&firstList, proc) || unlinkReader(&secondList, proc)) {
    }
    auto *node = static_cast<ReaderNode *>(gmemAlloc(sizeof(ReaderNode)));
    if (node == nullptr) {
        tesk_fprintf(stderr, "Error in addImageReader: out of memory\n");
        return;
    }
    node->proc = proc;
    node->next = nullptr;
    if (last == 0) {
        node->next = firstList;
        firstList = node;
        return;
    }
    ReaderNode **link = &secondList;
    while (*link != nullptr) {
        link = &(*link)->next;
    }
    *link = node;
}

/* Drops proc from the first list, then from the second; an unknown
 * procedure is no error. */
extern "C" void removeImageReader(ImageReaderProc *proc)
{
    unlinkReader(&firstList, proc);
    unlinkReader(&secondList, proc);
}

void clearImageReaders()
{
    freeList(&firstList);
    freeList(&secondList);
}

/*
 * askImageReaders --
 *	Asks the readers of one list (second when last is non-zero) in order.
 *	Answers the first positive answer, -1 when a reader asked to stop, 0
 *	when none took the file. A reader may unregister itself while asked.
 */
int askImageReaders(int last, int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    ReaderNode *node = last == 0 ? firstList : secondList;
    while (node != nullptr) {
        ReaderNode *next = node->next;
        int answer = node->proc(fd, fileName, desc, priv);
        if (answer != 0) {
            return answer > 0 ? answer : -1;
        }
        node = next;
    }
    return 0;
}
