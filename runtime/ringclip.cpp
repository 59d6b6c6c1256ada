/*
 * ringclip.cpp --
 *
 *	Clipping of closed rings in doubles to a box: see ringclip.h.
 */
#include "runtime/ringclip.h"

namespace {

/* One stage: the points of in whose coordinate axis (0: x, 1: y) lies on
 * the inner side of limit (<= it with below, >= it otherwise), with a point
 * where each edge crosses it, into out. */
void clipStage(const std::vector<RingPoint> &in, int axis, double limit, bool below, std::vector<RingPoint> &out)
{
    out.clear();
    if (in.empty()) {
        return;
    }
    auto coord = [axis](const RingPoint &p) { return axis == 0 ? p.x : p.y; };
    auto inside = [&](const RingPoint &p) { return below ? coord(p) <= limit : coord(p) >= limit; };
    auto crossing = [&](const RingPoint &a, const RingPoint &b) {
        double t = (limit - coord(a)) / (coord(b) - coord(a));
        return axis == 0 ? RingPoint{limit, a.y + t * (b.y - a.y)} : RingPoint{a.x + t * (b.x - a.x), limit};
    };
    RingPoint prev = in.back();
    bool prevInside = inside(prev);
    for (const RingPoint &cur : in) {
        bool curInside = inside(cur);
        if (curInside != prevInside) {
            out.push_back(crossing(prev, cur));
        }
        if (curInside) {
            out.push_back(cur);
        }
        prev = cur;
        prevInside = curInside;
    }
}

}  // namespace

void clipRingToBox(std::vector<RingPoint> &ring, std::vector<RingPoint> &scratch, const double *box)
{
    clipStage(ring, 0, box[0], false, scratch);
    clipStage(scratch, 0, box[2], true, ring);
    clipStage(ring, 1, box[1], false, scratch);
    clipStage(scratch, 1, box[3], true, ring);
}
