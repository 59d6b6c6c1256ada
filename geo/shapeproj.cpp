/*
 * shapeproj.cpp --
 *
 *	The coordinate system of a shape set: its definition (projdef), kept
 *	with the set, and the reprojection of every point (projection). A
 *	definition is "longlat" (longitude, latitude in degrees), "latlong"
 *	(latitude first), or the words of a projection; "inverse" as a target
 *	asks for geographic coordinates.
 */
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "geo/projlib.h"
#include "geo/shapecall.h"

namespace {

constexpr double kRadians = M_PI / 180;

/* A projection opened from definition words, released with the holder. */
struct OpenProjection {
    ProjHandle *handle = nullptr;
    bool reversed = false;
    OpenProjection() = default;
    OpenProjection(const OpenProjection &) = delete;
    OpenProjection &operator=(const OpenProjection &) = delete;
    ~OpenProjection() { projFree(handle); }

    /* Splits and opens text; 0 when it opened, 1 when it is no list, 2 when
     * the projection layer refuses it. */
    int open(const char *text)
    {
        SplitList words;
        if (!words.split(nullptr, text)) {
            return 1;
        }
        handle = projInit(words.count, words.items);
        if (handle == nullptr) {
            return 2;
        }
        /* Latitude comes first when a flag word such as "-r" says so; the
         * last such word counts. */
        for (int k = words.count - 1; k >= 0; k--) {
            if (words.items[k][0] == '-' && std::strchr(words.items[k], 'r') != nullptr) {
                reversed = true;
                break;
            }
        }
        return 0;
    }
};

bool geographic(const char *definition, bool *reversed)
{
    *reversed = std::strcmp(definition, "latlong") == 0;
    return *reversed || std::strcmp(definition, "longlat") == 0;
}

constexpr size_t kDefinitionBytes = sizeof(ShapeFile::projection);

int tooLong(ShapeCall &c)
{
    Tcl_SetObjResult(c.interp, Tcl_ObjPrintf("projection definition longer than %d characters",
                                             static_cast<int>(kDefinitionBytes - 1)));
    return TCL_ERROR;
}

/* The message of a refused definition: usual, or the one naming PROJ's
 * own file when that was the cause. */
const char *refusal(const char *usual)
{
    const char *fault = projOwnFileFault();
    return fault != nullptr ? fault : usual;
}

}  // namespace

int shapeProjdefWord(ShapeCall &c)
{
    if (c.argc == 2) {
        Tcl_SetObjResult(c.interp, Tcl_NewStringObj(c.set->projection, -1));
        return TCL_OK;
    }
    if (c.argc > 3) {
        return c.usageOf(" proj_definition");
    }
    const char *definition = c.argv[2];
    bool reversed;
    if (!geographic(definition, &reversed)) {
        OpenProjection p;
        switch (p.open(definition)) {
        case 1: return c.error("Error in parsing projection definition");
        case 2: return c.error(refusal("Invalid projectin definition"));
        }
    }
    if (std::strlen(definition) >= kDefinitionBytes) {
        return tooLong(c);
    }
    std::strcpy(c.set->projection, definition);
    return TCL_OK;
}

int shapeProjectionWord(ShapeCall &c)
{
    if (c.argc != 3) {
        return c.usageOf(" proj_definition");
    }
    const char *definition = c.argv[2];
    if (std::strcmp(definition, c.set->projection) == 0) {
        return TCL_OK;
    }
    bool toGeographic = std::strcmp(definition, "inverse") == 0;
    OpenProjection target;
    if (!toGeographic) {
        switch (target.open(definition)) {
        case 1: return c.error("Error in parsing projection definition");
        case 2: return c.error(refusal("Invalid projection definition"));
        }
    }
    bool currentReversed;
    bool fromGeographic = geographic(c.set->projection, &currentReversed);
    OpenProjection current;
    if (fromGeographic) {
        if (toGeographic) {
            return TCL_OK;
        }
    } else {
        if (current.open(c.set->projection) != 0) {
            return c.error(refusal("The current projection is unknown"));
        }
        currentReversed = current.reversed;
        if (!projHasInverse(current.handle)) {
            return c.error("The current projection is not invertible");
        }
    }
    const char *stored = toGeographic ? "longlat" : definition;
    if (std::strlen(stored) >= kDefinitionBytes) {
        return tooLong(c);
    }

    /* Every point is converted into a copy first: a point that cannot be
     * converted is reported and leaves the layer as it was. */
    bool swap = target.reversed != currentReversed;
    std::vector<double> out;
    long long total = 0;
    for (int i = 0; i < c.set->count; i++) {
        int n = 0;
        shapeRecordPoints(shapeRecordAt(c.set, i), &n);
        total += n;
    }
    out.reserve(2 * static_cast<size_t>(total));
    for (int i = 0; i < c.set->count; i++) {
        int n = 0;
        const double *xy = shapeRecordPoints(shapeRecordAt(c.set, i), &n);
        for (int k = 0; xy != nullptr && k < n; k++) {
            double x = xy[2 * k], y = xy[2 * k + 1], u, v;
            if (fromGeographic) {
                u = x * kRadians;
                v = y * kRadians;
            } else {
                projInv(current.handle, x, y, &u, &v);
            }
            if (toGeographic) {
                u *= kRadToDeg;
                v *= kRadToDeg;
            } else if (std::isfinite(u) && std::isfinite(v)) {
                if (swap) {
                    std::swap(u, v);
                }
                projFwd(target.handle, u, v, &u, &v);
            }
            if (!std::isfinite(u) || !std::isfinite(v)) {
                const char *why = projErrorText();
                Tcl_SetObjResult(c.interp, Tcl_ObjPrintf("point %d of record %d (%.12g %.12g) cannot be projected%s%s",
                                                         k, i, x, y, *why ? ": " : "", why));
                return TCL_ERROR;
            }
            out.push_back(u);
            out.push_back(v);
        }
    }
    size_t at = 0;
    for (int i = 0; i < c.set->count; i++) {
        ShapeRecord *rec = shapeRecordAt(c.set, i);
        int n = 0;
        if (shapeRecordPoints(rec, &n) != nullptr) {
            shapeSetPoints(rec, out.data() + at, 0, n);
            at += 2 * static_cast<size_t>(n);
        }
    }
    std::strcpy(c.set->projection, stored);
    computeShapeBoxes(c.set, 1);
    c.set->modified = 1;
    return c.changed();
}
