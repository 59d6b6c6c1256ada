/*
 * The editable text of text-bearing items: insertion and deletion keep the
 * selection, its anchor and the cursor on their characters as Tk's canvas
 * text does, the selected bytes are copied from an offset, and index words
 * read as Tk reads them.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include "canvas/textedit.h"
#include "support/test_interp.h"

namespace {

/* A text with the selection first..last (anchor at anchor) in `item` and
 * the cursor at cursor. */
struct Edited {
    GcanvasItem item{}, other{};
    GcanvasTextInfo info{};
    GcanvasEditText edit{};

    Edited(const char *text, int first, int last, int anchor, int cursor)
    {
        edit.text = static_cast<char *>(ckalloc(static_cast<unsigned>(std::strlen(text)) + 1));
        std::strcpy(edit.text, text);
        gcanvasTextRecount(&info, &item, &edit);
        info.selItemPtr = first >= 0 ? &item : nullptr;
        info.anchorItemPtr = &item;
        info.selectFirst = first;
        info.selectLast = last;
        info.selectAnchor = anchor;
        edit.insertPos = cursor;
    }
    ~Edited() { ckfree(edit.text); }

    /* "text chars/bytes sel first-last anchor a cursor c" ("sel none"
     * when cleared). */
    std::string state() const
    {
        std::string sel = info.selItemPtr == &item
                              ? std::to_string(info.selectFirst) + "-" + std::to_string(info.selectLast)
                              : std::string("none");
        return std::string(edit.text) + " " + std::to_string(edit.numChars) + "/" + std::to_string(edit.numBytes) +
               " sel " + sel + " anchor " + std::to_string(info.selectAnchor) + " cursor " +
               std::to_string(edit.insertPos);
    }
};

TEST(TextEdit, InsertionMovesWhatLiesAtOrAfterItsIndex)
{
    const struct {
        int index;
        const char *add, *state;
    } rows[] = {
        {2, "XY", "h\xc3\xa9XYllo 7/8 sel 1-5 anchor 1 cursor 4"},
        {1, "XY", "hXY\xc3\xa9llo 7/8 sel 3-5 anchor 3 cursor 4"},
        {-5, "\xc3\xa9", "\xc3\xa9h\xc3\xa9llo 6/8 sel 2-4 anchor 2 cursor 3"},
        {99, "!", "h\xc3\xa9llo! 6/7 sel 1-3 anchor 1 cursor 2"},
        {0, "", "h\xc3\xa9llo 5/6 sel 1-3 anchor 1 cursor 2"},
    };
    for (const auto &r : rows) {
        Edited e("h\xc3\xa9llo", 1, 3, 1, 2);
        Tcl_Obj *add = Tcl_NewStringObj(r.add, -1);
        Tcl_IncrRefCount(add);
        EXPECT_EQ(gcanvasTextInsert(&e.info, &e.item, &e.edit, r.index, add), 1);
        Tcl_DecrRefCount(add);
        EXPECT_EQ(e.state(), r.state) << "insert at " << r.index;
    }
}

TEST(TextEdit, DeletionPullsTheSelectionAnchorAndCursorBack)
{
    const struct {
        int first, last;
        const char *state;
    } rows[] = {
        {0, 1, "cdefgh 6/6 sel 0-3 anchor 3 cursor 4"},   {3, 4, "abcfgh 6/6 sel 2-3 anchor 3 cursor 4"},
        {2, 5, "abgh 4/4 sel none anchor 2 cursor 2"},    {-3, 100, " 0/0 sel none anchor 0 cursor 0"},
        {5, 3, "abcdefgh 8/8 sel 2-5 anchor 5 cursor 6"}, {7, 7, "abcdefg 7/7 sel 2-5 anchor 5 cursor 6"},
    };
    for (const auto &r : rows) {
        Edited e("abcdefgh", 2, 5, 5, 6);
        EXPECT_EQ(gcanvasTextDelete(&e.info, &e.item, &e.edit, r.first, r.last), 1);
        EXPECT_EQ(e.state(), r.state) << "dchars " << r.first << " " << r.last;
    }
    /* Another item's selection stays as it is. */
    Edited e("abcdefgh", 2, 5, 5, 6);
    e.info.selItemPtr = &e.other;
    gcanvasTextDelete(&e.info, &e.item, &e.edit, 0, 3);
    EXPECT_EQ(e.info.selectFirst, 2);
    EXPECT_EQ(e.info.selectLast, 5);
}

TEST(TextEdit, ANewTextClipsTheSelectionAndCursor)
{
    const struct {
        int first, last, anchor, cursor;
        const char *state;
    } rows[] = {
        {1, 5, 5, 6, "ab 2/2 sel 1-1 anchor 1 cursor 2"},
        {2, 5, 0, 1, "ab 2/2 sel none anchor 0 cursor 1"},
    };
    for (const auto &r : rows) {
        Edited e("abcdefgh", r.first, r.last, r.anchor, r.cursor);
        std::strcpy(e.edit.text, "ab");
        gcanvasTextRecount(&e.info, &e.item, &e.edit);
        EXPECT_EQ(e.state(), r.state);
    }
}

TEST(TextEdit, SelectedBytesFromAnOffset)
{
    Edited e("h\xc3\xa9llo w\xc3\xb6rld", 1, 7, 1, 0);
    const struct {
        int offset, max;
        const char *bytes;
    } rows[] = {
        {0, 100, "\xc3\xa9llo w\xc3\xb6"},
        {3, 2, "lo"},
        {9, 100, ""},
        {0, 0, ""},
    };
    for (const auto &r : rows) {
        char buffer[101] = "unchanged";
        int n = gcanvasTextSelection(&e.info, &e.edit, r.offset, buffer, r.max);
        EXPECT_EQ(n, static_cast<int>(std::strlen(r.bytes))) << r.offset;
        EXPECT_EQ(std::string(buffer, static_cast<size_t>(n)), r.bytes) << r.offset;
    }
    e.info.selectFirst = -1;
    char buffer[10];
    EXPECT_EQ(gcanvasTextSelection(&e.info, &e.edit, 0, buffer, 9), 0);
}

TEST(TextEdit, IndexWordsReadAsTkReadsThem)
{
    Edited e("abcdef", 1, 3, 1, 4);
    const struct {
        const char *word;
        bool selectionHere;
        const char *answer;
    } rows[] = {
        {"end", true, "6"},
        {"e", true, "6"},
        {"insert", true, "4"},
        {"ins", true, "4"},
        {"sel.first", true, "1"},
        {"sel.f", true, "1"},
        {"sel.l", true, "3"},
        {"sel.f", false, "error selection isn't in item"},
        {"sel", true, "error bad index \"sel\""},
        {"ends", true, "error bad index \"ends\""},
        {"", true, "error bad index \"\""},
        {"7", true, "6"},
        {"-4", true, "0"},
        {"2", true, "2"},
        {"@3.5,-2", true, "at 3.5 -2"},
        {"@3", true, "error bad index \"@3\""},
        {"@3,", true, "error bad index \"@3,\""},
        {"@,3", true, "error bad index \"@,3\""},
        {"@1,2x", true, "error bad index \"@1,2x\""},
    };
    Tcl_Interp *interp = testInterp();
    for (const auto &r : rows) {
        e.info.selItemPtr = r.selectionHere ? &e.item : &e.other;
        Tcl_Obj *word = Tcl_NewStringObj(r.word, -1);
        Tcl_IncrRefCount(word);
        int index = -99;
        double x = 0, y = 0;
        int code = gcanvasTextIndex(interp, &e.info, &e.item, &e.edit, word, &index, &x, &y);
        Tcl_DecrRefCount(word);
        std::string answer = code == TCL_OK ? std::to_string(index)
                             : code == GCANVAS_INDEX_AT
                                 ? "at " + std::to_string(x).substr(0, 3) + " " + std::to_string(static_cast<int>(y))
                                 : std::string("error ") + Tcl_GetStringResult(interp);
        EXPECT_EQ(answer, r.answer) << r.word;
    }
}

}  // namespace
