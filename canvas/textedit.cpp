/*
 * textedit.cpp --
 *
 *	The editable text of the canvas's text-bearing items (textedit.h):
 *	insertion, deletion, the cursor, the selected bytes and the index
 *	forms, with the canvas's selection kept on its characters.
 */
#include "canvas/textedit.h"

#include <cstring>
#include "canvas/coords.h"

namespace {

/* Byte offset of character index in text. */
int byteOf(const char *text, int index)
{
    return static_cast<int>(Tcl_UtfAtIndex(text, index) - text);
}

const char *textOf(const GcanvasEditText *edit)
{
    return edit->text != nullptr ? edit->text : "";
}

/* Whether word is a prefix of at least min characters of full. */
bool prefixOf(const char *word, size_t length, const char *full, size_t min)
{
    return length >= min && std::strncmp(word, full, length) == 0;
}

}  // namespace

void gcanvasTextRecount(GcanvasTextInfo *info, GcanvasItem *item, GcanvasEditText *edit)
{
    const char *text = textOf(edit);
    edit->numBytes = static_cast<int>(std::strlen(text));
    edit->numChars = Tcl_NumUtfChars(text, edit->numBytes);
    if (info->selItemPtr == item) {
        if (info->selectFirst >= edit->numChars) {
            info->selItemPtr = nullptr;
        } else {
            if (info->selectLast >= edit->numChars) {
                info->selectLast = edit->numChars - 1;
            }
            if (info->anchorItemPtr == item && info->selectAnchor >= edit->numChars) {
                info->selectAnchor = edit->numChars - 1;
            }
        }
    }
    if (edit->insertPos >= edit->numChars) {
        edit->insertPos = edit->numChars;
    }
}

int gcanvasTextInsert(GcanvasTextInfo *info, GcanvasItem *item, GcanvasEditText *edit, int index, Tcl_Obj *string)
{
    int addBytes;
    const char *add = Tcl_GetStringFromObj(string, &addBytes);
    if (addBytes == 0) {
        return 1;
    }
    index = index < 0 ? 0 : index > edit->numChars ? edit->numChars : index;
    const char *text = textOf(edit);
    int at = byteOf(text, index);
    char *fresh = static_cast<char *>(attemptckalloc(static_cast<unsigned>(edit->numBytes) + addBytes + 1));
    if (fresh == nullptr) {
        return 0;
    }
    std::memcpy(fresh, text, static_cast<size_t>(at));
    std::memcpy(fresh + at, add, static_cast<size_t>(addBytes));
    std::memcpy(fresh + at + addBytes, text + at, static_cast<size_t>(edit->numBytes - at) + 1);
    if (edit->text != nullptr) {
        ckfree(edit->text);
    }
    edit->text = fresh;
    const int added = Tcl_NumUtfChars(add, addBytes);
    edit->numChars += added;
    edit->numBytes += addBytes;
    if (info->selItemPtr == item) {
        if (info->selectFirst >= index) {
            info->selectFirst += added;
        }
        if (info->selectLast >= index) {
            info->selectLast += added;
        }
        if (info->anchorItemPtr == item && info->selectAnchor >= index) {
            info->selectAnchor += added;
        }
    }
    if (edit->insertPos >= index) {
        edit->insertPos += added;
    }
    return 1;
}

int gcanvasTextDelete(GcanvasTextInfo *info, GcanvasItem *item, GcanvasEditText *edit, int first, int last)
{
    first = first < 0 ? 0 : first;
    last = last >= edit->numChars ? edit->numChars - 1 : last;
    if (first > last) {
        return 1;
    }
    const int removed = last + 1 - first;
    const char *text = textOf(edit);
    int from = byteOf(text, first);
    int bytes = byteOf(text + from, removed);
    char *fresh = static_cast<char *>(attemptckalloc(static_cast<unsigned>(edit->numBytes - bytes) + 1));
    if (fresh == nullptr) {
        return 0;
    }
    std::memcpy(fresh, text, static_cast<size_t>(from));
    std::memcpy(fresh + from, text + from + bytes, static_cast<size_t>(edit->numBytes - from - bytes) + 1);
    if (edit->text != nullptr) {
        ckfree(edit->text);
    }
    edit->text = fresh;
    edit->numChars -= removed;
    edit->numBytes -= bytes;
    if (info->selItemPtr == item) {
        if (info->selectFirst > first) {
            info->selectFirst -= removed;
            if (info->selectFirst < first) {
                info->selectFirst = first;
            }
        }
        if (info->selectLast >= first) {
            info->selectLast -= removed;
            if (info->selectLast < first - 1) {
                info->selectLast = first - 1;
            }
        }
        if (info->selectFirst > info->selectLast) {
            info->selItemPtr = nullptr;
        }
        if (info->anchorItemPtr == item && info->selectAnchor > first) {
            info->selectAnchor -= removed;
            if (info->selectAnchor < first) {
                info->selectAnchor = first;
            }
        }
    }
    if (edit->insertPos > first) {
        edit->insertPos -= removed;
        if (edit->insertPos < first) {
            edit->insertPos = first;
        }
    }
    return 1;
}

void gcanvasTextSetCursor(GcanvasEditText *edit, int index)
{
    edit->insertPos = index < 0 ? 0 : index > edit->numChars ? edit->numChars : index;
}

int gcanvasTextSelection(const GcanvasTextInfo *info, const GcanvasEditText *edit, int offset, char *buffer,
                         int maxBytes)
{
    if (info->selectFirst < 0 || info->selectFirst > info->selectLast || offset < 0) {
        return 0;
    }
    const char *text = textOf(edit);
    const char *start = Tcl_UtfAtIndex(text, info->selectFirst);
    const char *end = Tcl_UtfAtIndex(start, info->selectLast + 1 - info->selectFirst);
    long count = static_cast<long>(end - start) - offset;
    if (count > maxBytes) {
        count = maxBytes;
    }
    if (count <= 0) {
        return 0;
    }
    std::memcpy(buffer, start + offset, static_cast<size_t>(count));
    buffer[count] = '\0';
    return static_cast<int>(count);
}

int gcanvasTextIndex(Tcl_Interp *interp, const GcanvasTextInfo *info, const GcanvasItem *item,
                     const GcanvasEditText *edit, Tcl_Obj *word, int *index, double *x, double *y)
{
    int length;
    const char *s = Tcl_GetStringFromObj(word, &length);
    const size_t n = static_cast<size_t>(length);
    const char c = s[0];
    if (c == 'e' && prefixOf(s, n, "end", 1)) {
        *index = edit->numChars;
        return TCL_OK;
    }
    if (c == 'i' && prefixOf(s, n, "insert", 1)) {
        *index = edit->insertPos;
        return TCL_OK;
    }
    const bool first = c == 's' && prefixOf(s, n, "sel.first", 5);
    if (first || (c == 's' && prefixOf(s, n, "sel.last", 5))) {
        if (info->selItemPtr != item) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("selection isn't in item", -1));
            return TCL_ERROR;
        }
        *index = first ? info->selectFirst : info->selectLast;
        return TCL_OK;
    }
    if (c == '@') {
        if (gcanvasParseAtPoint(s, x, y)) {
            return GCANVAS_INDEX_AT;
        }
    } else if (Tcl_GetIntFromObj(nullptr, word, index) == TCL_OK) {
        *index = *index < 0 ? 0 : *index > edit->numChars ? edit->numChars : *index;
        return TCL_OK;
    }
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad index \"%s\"", s));
    return TCL_ERROR;
}
