/*
 * itemindex.cpp --
 *
 *	The item index of the geo canvas: the boxes, ids, states and first
 *	tags of all items copied into arrays in display order, so that the
 *	find searches read contiguous memory instead of walking the item
 *	records. Rebuilt lazily, on the first use after a change marked it
 *	stale (gcanvasMarkIndexStale).
 */
#include "canvas/canvasint.h"
#include "canvas/itemopts.h"

namespace {

void rebuild(GcanvasWidget *canvas, GcanvasItemIndex *index)
{
    size_t n = static_cast<size_t>(canvas->idTable.numEntries);
    index->boxes.clear();
    index->ids.clear();
    index->items.clear();
    index->flags.clear();
    index->tags.clear();
    index->boxes.reserve(4 * n);
    index->ids.reserve(n);
    index->items.reserve(n);
    index->flags.reserve(n);
    index->tags.reserve(3 * n);
    Tk_Uid current = Tk_GetUid("current");
    for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
        index->boxes.insert(index->boxes.end(), {item->x1, item->y1, item->x2, item->y2});
        index->ids.push_back(item->id);
        index->items.push_back(item);
        unsigned char flags = 0;
        if (gcanvasItemHidden(canvas, item)) {
            flags |= GCANVAS_ROW_HIDDEN;
        }
        if (gcanvasItemState(canvas, item) == GCANVAS_STATE_DISABLED) {
            flags |= GCANVAS_ROW_DISABLED;
        }
        Tk_Uid kept[3] = {nullptr, nullptr, nullptr};
        int count = 0;
        for (int i = 0; i < item->numTags; i++) {
            if (item->tags[i] == current) {
                continue;
            }
            if (count == 3) {
                flags |= GCANVAS_ROW_MANY_TAGS;
                break;
            }
            kept[count++] = item->tags[i];
        }
        index->tags.insert(index->tags.end(), kept, kept + 3);
        index->flags.push_back(flags);
    }
    index->count = index->ids.size();
}

}  // namespace

const GcanvasItemIndex *gcanvasItemIndex(GcanvasWidget *canvas)
{
    if (canvas->itemIndex == nullptr) {
        canvas->itemIndex = new GcanvasItemIndex{};
        canvas->flags |= GCANVAS_INDEX_STALE;
    }
    if (canvas->flags & GCANVAS_INDEX_STALE) {
        rebuild(canvas, canvas->itemIndex);
        canvas->flags &= ~GCANVAS_INDEX_STALE;
    }
    return canvas->itemIndex;
}

void gcanvasFreeItemIndex(GcanvasWidget *canvas)
{
    delete canvas->itemIndex;
    canvas->itemIndex = nullptr;
}
