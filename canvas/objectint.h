/*
 * objectint.h --
 *
 *	What the files of the gcanvas object item share: the item record, a
 *	shape record as the item reads it, the buffers one drawing or test
 *	reuses, the frame that moves the canvas to the item's translation,
 *	and the functions the files call on one another. The item itself is
 *	in objectitem.cpp (type record, options, create, configure, delete),
 *	the reading of records in objectread.cpp, drawing in objectdraw.cpp,
 *	hit and area tests in objecthit.cpp, measures in objectmeasure.cpp,
 *	the split into plain items in disassemble.cpp.
 */
#ifndef TESK_CANVAS_OBJECTINT_H
#define TESK_CANVAS_OBJECTINT_H

#include <cstdint>
#include <vector>
#include "canvas/coords.h"
#include "canvas/gcanvas.h"
#include "canvas/outline.h"
#include "runtime/shapeapi.h"
#include "tesk.h"

namespace objectitem {

/* Most points a smoothed part may become. */
constexpr int64_t kSmoothLimit = 4000000;

enum SymbolType { SYMBOL_OVAL, SYMBOL_RECTANGLE, SYMBOL_DIAMOND, SYMBOL_CROSSHAIR, SYMBOL_HANDLE };
enum MarkerType { MARKER_POINT, MARKER_CROSS };

struct ObjectItem {
    GcanvasItem header;
    double x, y;          /* world translation of every record */
    Tk_Anchor anchor;     /* -anchor: kept, not used */
    Tk_TSOffset tsoffset; /* -offset: fill stipple origin */
    XColor *fillColor, *activeFillColor, *disabledFillColor;
    Pixmap fillStipple, activeFillStipple, disabledFillStipple;
    GC fillGC; /* fills and symbol bodies; NULL without a fill colour */
    GcanvasOutline outline;
    /* joinStyle, capStyle, splineSteps and smooth follow the outline
     * record in this order: code handed the outline record reads them. */
    int joinStyle;                     /* X join style */
    int capStyle;                      /* X cap style of the hit tests; round, as drawn */
    int splineSteps;                   /* 1..100 */
    const GcanvasSmoothMethod *smooth; /* NULL: not smoothed */
    char *objectName;                  /* -object (Tcl-allocated) or NULL */
    RAMOBJ *object;                    /* held with one use and a listener, or NULL */
    int highlighted;                   /* record drawn in the highlight colour, -1: none */
    int picked;                        /* record found by the last point test, -1: none */
    int unlit;                         /* record switched off, its redraw still owed, -1: none */
    bool unlitCheckPending;            /* an idle check of unlit is scheduled */
    GcanvasWidget *canvas;
    int symbolXSize, symbolYSize; /* pixels */
    int symbolType;               /* SymbolType */
    int markerType;               /* MarkerType */
    GC markerGC;                  /* NULL without a marker colour */
    XColor *markerColor;
    GC highlightGC;         /* the highlighted record's pen; NULL without a colour */
    XColor *highlightColor; /* -highlightcolor */
    /* The union of the record boxes in world units, read once for each
     * state of the object (moves, zooms and options do not read it again). */
    bool extentKnown; /* false: to be read from the records */
    bool extentAny;   /* some record has a box */
    double extent[4];
};

inline ObjectItem *asObject(GcanvasItem *item)
{
    return reinterpret_cast<ObjectItem *>(item);
}

/* The fill stipple the item's state chooses, or None (objectitem.cpp). */
Pixmap chosenFillStipple(const GcanvasWidget *canvas, const ObjectItem *o);

/* ---- records (objectread.cpp) ---- */

inline const ShapeOps *opsOf(RAMOBJ *obj)
{
    return static_cast<const ShapeOps *>(obj->extension);
}

/* One record as the item reads it. */
struct Record {
    int kind = 0;                   /* SHAPE_POINT, SHAPE_LINE, SHAPE_POLYGON, or 0 for none */
    const double *points = nullptr; /* world (x, y) pairs of all parts */
    int nPoints = 0;
    double box[4] = {0, 0, 0, 0}; /* world box, from the record or its points */
    std::vector<int> counts;      /* parts, each within the points; at least one point each */
};

/*
 * Reads record i into rec. Answers false for a record with nothing to
 * show: no points, a kind without geometry, or a non-finite box. Part
 * counts are held to the points the record has (a count past them is cut,
 * points past the parts are ignored); a point record is one part of all
 * its points.
 */
bool readRecord(RAMOBJ *obj, int i, Record &rec);

inline bool selected(RAMOBJ *obj, int i)
{
    return opsOf(obj)->isSelected(obj, i) != 0;
}

/* Moves the canvas's offsets for the time of a drawing or a test so that
 * record coordinates land at their translated place. */
class TranslatedFrame {
public:
    TranslatedFrame(GcanvasWidget *canvas, double x, double y)
        : canvas_(canvas), xOffset_(canvas->xOffset), yOffset_(canvas->yOffset)
    {
        canvas->xOffset -= x * canvas->mx;
        canvas->yOffset -= y * canvas->my;
    }
    ~TranslatedFrame()
    {
        canvas_->xOffset = xOffset_;
        canvas_->yOffset = yOffset_;
    }
    TranslatedFrame(const TranslatedFrame &) = delete;
    TranslatedFrame &operator=(const TranslatedFrame &) = delete;

private:
    GcanvasWidget *canvas_;
    double xOffset_, yOffset_;
};

/* The record's points in canvas units into out, with counts the points of
 * each part there. When the item is smoothed and the record has at least
 * recordMinimum points, parts of 3 points or more are smoothed; rings are
 * closed when closeRings asks. */
void canvasParts(const GcanvasWidget *canvas, const ObjectItem *o, const Record &rec, bool closeRings,
                 int recordMinimum, std::vector<double> &out, std::vector<int> &counts, std::vector<double> &work);

/* The record's box in canvas units (under the translated frame). */
void canvasBox(const GcanvasWidget *canvas, const Record &rec, double *out);

/* True when the boxes a and b (x1, y1, x2, y2) share a point. */
bool boxesMeet(const double *a, const double *b);

/* A selected record whose stored box may meet box (world units): the
 * cheap test before a record is read whole. Records without a box pass. */
bool candidate(RAMOBJ *obj, int i, const double *box);

/* Reused buffers of one drawing or test. */
struct Scratch {
    Record rec;
    std::vector<double> canvasPoints, work;
    std::vector<DrawablePoint> clipA, clipB;
    std::vector<int> counts;
    std::vector<XPoint> xpoints;
};

/* ---- the item type's procedures ---- */

/* objectread.cpp: the union of the record boxes, read once for each state
 * of the object, at the translated place and with the outline and
 * symbols' reach. */
void objectBbox(GcanvasWidget *canvas, GcanvasItem *item);
/* objectdraw.cpp */
void objectDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x, int y,
                   int width, int height);
/* objecthit.cpp */
double objectToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point);
/* Draws the picked record in the highlight colour (on) or no record
 * (off), redrawing the records' areas. */
void objectHighlightComponent(GcanvasWidget *canvas, GcanvasItem *item, int on);
/* Drops a pending redraw of a record switched off (the item's delete). */
void objectCancelUnlitCheck(ObjectItem *o);
int objectToArea(GcanvasWidget *canvas, GcanvasItem *item, double *rect);
/* objectmeasure.cpp */
double objectAreaMeasure(GcanvasWidget *canvas, GcanvasItem *item);
double objectLength(GcanvasWidget *canvas, GcanvasItem *item);
double objectCentroid(GcanvasWidget *canvas, GcanvasItem *item, double *x, double *y);
/* disassemble.cpp: one plain item for each record (a Tcl code). */
int objectDisassemble(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item);

}  // namespace objectitem

#endif /* TESK_CANVAS_OBJECTINT_H */
