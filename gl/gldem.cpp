/*
 * gldem.cpp --
 *
 *	Elevation grids drawn in one command: glexWireDem (a line strip along
 *	every row, then along every column) and glexSolidDem (triangle fans
 *	around every other grid point, one fan a cell on a last band of an
 *	even number of rows). Each grid point gets a colour, from a draped
 *	surface image or a five-colour height ramp, and an unnormalised normal
 *	from the heights of its cell. Listed in oglDemCommands for the command
 *	table.
 *
 *	The vertices go to GL through client arrays a band of rows at a time,
 *	in buffers sized by the band, never by the grid: one multi-draw of line
 *	strips a band (wire), and the fans of a band as one list of the
 *	triangles GL splits them into, so that GL shades each grid point about
 *	once a band instead of once a fan (solid; the fans themselves where
 *	triangles could draw otherwise). The primitives GL rasterises and
 *	reports in feedback, their vertex order and every vertex's values are
 *	those of the immediate-mode drawing (glBegin, glColor3fv, glNormal3fv,
 *	glVertex4f a vertex), which stays as the path taken when the client
 *	attribute stack is full or a band cannot be had. The array state is
 *	pushed and popped around the draws, and the last vertex's colour and
 *	normal are set at the end, so GL is left as immediate mode leaves it.
 */
#define GL_GLEXT_PROTOTYPES 1
#include "gl/ogl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr char kNoEnoughPoints[] = "No enough points";
constexpr char kParseDem[] = "Error in parse DEM";
constexpr char kParseSurface[] = "Error in parse surface image";

/* Grids of this many points or more are refused. */
constexpr int64_t kMaxPoints = int64_t(1) << 31;
/* Vertices a band buffer aims at: what one draw hands GL. */
constexpr int64_t kBandVertices = 32768;
/* The largest band buffer, in vertices (a single wire row or column of a
 * very long grid); beyond it the drawing goes through immediate mode. */
constexpr int64_t kMaxBandVertices = int64_t(1) << 24;

/* ---------------------------------------------------------------------
 * Colours
 * ------------------------------------------------------------------- */

/* The height ramp: blue, cyan, green, yellow and red at entries 0, 63,
 * 127, 191 and 255, every entry between two of them the blend of the two
 * by its position between them. */
struct Ramp {
    GLfloat rgb[256][3];
};

Ramp makeRamp()
{
    static const int knots[5] = {0, 63, 127, 191, 255};
    static const GLfloat colours[5][3] = {{0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    Ramp ramp{};
    for (int k = 0; k < 4; k++) {
        const int from = knots[k], to = knots[k + 1];
        for (int i = from; i <= to; i++) {
            const GLfloat t = GLfloat(i - from) / GLfloat(to - from);
            for (int j = 0; j < 3; j++) {
                ramp.rgb[i][j] = colours[k][j] + (colours[k + 1][j] - colours[k][j]) * t;
            }
        }
    }
    return ramp;
}

const Ramp &heightRamp()
{
    static const Ramp ramp = makeRamp();
    return ramp;
}

/* The float of each byte value of a surface image: byte / 255. */
struct ByteScale {
    GLfloat value[256];
};

const ByteScale &byteScale()
{
    static const ByteScale scale = [] {
        ByteScale s{};
        for (int i = 0; i < 256; i++) {
            s.value[i] = GLfloat(i) / 255.0f;
        }
        return s;
    }();
    return scale;
}

/* ---------------------------------------------------------------------
 * The grid and its vertices
 * ------------------------------------------------------------------- */

/* One command's grid, with everything its vertices are computed from. */
struct DemGrid {
    const GLfloat *heights; /* ncols × nrows, row 0 first */
    int64_t ncols, nrows;   /* at least 2 each */
    const GLubyte *image;   /* the surface's first pixel (image row 0), or nullptr */
    int64_t imageStride;    /* bytes from one image row to the next */
    GLfloat dx, dy, zscale; /* spacings and height scale, as given */
    GLfloat halfWidth;      /* (ncols - 1) × dx / 2 */
    GLfloat halfHeight;     /* (nrows - 1) × dy / 2 */
    GLfloat scale;          /* the homogeneous w: the larger extent */
    GLfloat normalX;        /* 2 / dx */
    GLfloat normalY;        /* -2 / dy */
    GLfloat hmin, hrange;   /* least height and greatest less least (ramp) */
    bool flat;              /* no spread of heights: every point ramp entry 0 */
};

/* The ramp entry of a height: trunc((h - hmin) / (hmax - hmin) × 256)
 * clamped to 0 .. 255; 0 for a NaN. */
inline int rampEntry(const DemGrid &g, GLfloat h)
{
    const GLfloat t = (h - g.hmin) / g.hrange * 256.0f;
    return t >= 0.0f ? (t < 255.0f ? int(t) : 255) : 0;
}

/* Computes the vertices of grid points (r, c0) .. (r, c1 - 1) into
 * consecutive elements of pos (x, y, z, w), colour (r, g, b) and normal
 * (nx, ny, 1). Every vertex, in arrays or immediate mode, comes from here.
 * The loops run over contiguous rows: heights, then normals, then
 * colours. */
void fillRow(const DemGrid &g, int64_t r, int64_t c0, int64_t c1, GLfloat *pos, GLfloat *colour, GLfloat *normal)
{
    const int64_t n = c1 - c0;
    const GLfloat *row = g.heights + r * g.ncols;
    const GLfloat y = g.halfHeight - GLfloat(r) * g.dy;
    for (int64_t i = 0; i < n; i++) {
        pos[4 * i] = GLfloat(c0 + i) * g.dx - g.halfWidth;
        pos[4 * i + 1] = y;
        pos[4 * i + 2] = row[c0 + i] * g.zscale;
        pos[4 * i + 3] = g.scale;
    }

    /* The cell whose top-left corner is (r', c'): one row up on the last
     * row, one column left on the last column. */
    const GLfloat *top = g.heights + (r < g.nrows - 1 ? r : r - 1) * g.ncols;
    const GLfloat *bottom = top + g.ncols;
    auto cellNormal = [&](int64_t c, GLfloat *out) {
        const GLfloat a = top[c], b = top[c + 1], d = bottom[c + 1], e = bottom[c];
        out[0] = (a - b + e - d) * g.normalX * g.zscale;
        out[1] = (a + b - e - d) * g.normalY * g.zscale;
        out[2] = 1.0f;
    };
    const int64_t inner = std::max<int64_t>(std::min(c1, g.ncols - 1) - c0, 0);
    for (int64_t i = 0; i < inner; i++) {
        cellNormal(c0 + i, normal + 3 * i);
    }
    for (int64_t i = inner; i < n; i++) {
        cellNormal(g.ncols - 2, normal + 3 * i);
    }

    if (g.image != nullptr) {
        /* Image row 0 is the last grid row. */
        const GLubyte *src = g.image + (g.nrows - 1 - r) * g.imageStride + 3 * c0;
        const GLfloat *bytes = byteScale().value;
        for (int64_t i = 0; i < 3 * n; i++) {
            colour[i] = bytes[src[i]];
        }
    } else if (g.flat) {
        const GLfloat *blue = heightRamp().rgb[0];
        for (int64_t i = 0; i < n; i++) {
            colour[3 * i] = blue[0];
            colour[3 * i + 1] = blue[1];
            colour[3 * i + 2] = blue[2];
        }
    } else {
        const Ramp &ramp = heightRamp();
        for (int64_t i = 0; i < n; i++) {
            const GLfloat *rgb = ramp.rgb[rampEntry(g, row[c0 + i])];
            colour[3 * i] = rgb[0];
            colour[3 * i + 1] = rgb[1];
            colour[3 * i + 2] = rgb[2];
        }
    }
}

/* One vertex as immediate mode gives it. */
struct Vertex {
    GLfloat pos[4], colour[3], normal[3];
};

Vertex gridVertex(const DemGrid &g, int64_t r, int64_t c)
{
    Vertex v;
    fillRow(g, r, c, c + 1, v.pos, v.colour, v.normal);
    return v;
}

/* The grid point the drawing ends with (its colour and normal are GL's
 * current ones afterwards). */
void lastPoint(const DemGrid &g, bool solid, int64_t *r, int64_t *c)
{
    const int64_t ncols = g.ncols, nrows = g.nrows;
    if (!solid || nrows % 2 == 0) {
        /* The last column strip, or the last band's last cell. */
        *r = nrows - 1;
        *c = ncols - 1;
    } else if (ncols % 2 == 0) {
        /* The half fan on the last column ends above its centre. */
        *r = nrows - 3;
        *c = ncols - 1;
    } else {
        /* A full fan ends below its centre. */
        *r = nrows - 1;
        *c = ncols - 2;
    }
}

/* ---------------------------------------------------------------------
 * Immediate mode
 * ------------------------------------------------------------------- */

void emit(const DemGrid &g, int64_t r, int64_t c)
{
    const Vertex v = gridVertex(g, r, c);
    glColor3fv(v.colour);
    glNormal3fv(v.normal);
    glVertex4f(v.pos[0], v.pos[1], v.pos[2], v.pos[3]);
}

void wireImmediate(const DemGrid &g)
{
    for (int64_t r = 0; r < g.nrows; r++) {
        glBegin(GL_LINE_STRIP);
        for (int64_t c = 0; c < g.ncols; c++) {
            emit(g, r, c);
        }
        glEnd();
    }
    for (int64_t c = 0; c < g.ncols; c++) {
        glBegin(GL_LINE_STRIP);
        for (int64_t r = 0; r < g.nrows; r++) {
            emit(g, r, c);
        }
        glEnd();
    }
}

void solidImmediate(const DemGrid &g)
{
    int64_t r = 1;
    for (; r < g.nrows - 1; r += 2) {
        for (int64_t c = 1; c < g.ncols; c += 2) {
            glBegin(GL_TRIANGLE_FAN);
            emit(g, r, c);
            emit(g, r + 1, c);
            emit(g, r + 1, c - 1);
            emit(g, r, c - 1);
            emit(g, r - 1, c - 1);
            emit(g, r - 1, c);
            if (c != g.ncols - 1) {
                emit(g, r - 1, c + 1);
                emit(g, r, c + 1);
                emit(g, r + 1, c + 1);
                emit(g, r + 1, c);
            }
            glEnd();
        }
    }
    if (r == g.nrows - 1) {
        for (int64_t c = 0; c < g.ncols - 1; c++) {
            glBegin(GL_TRIANGLE_FAN);
            emit(g, r, c);
            emit(g, r - 1, c);
            emit(g, r - 1, c + 1);
            emit(g, r, c + 1);
            glEnd();
        }
    }
}

/* ---------------------------------------------------------------------
 * Client arrays
 * ------------------------------------------------------------------- */

/* Vertex buffers of one band, reused band after band. */
struct Band {
    GLfloat *pos;
    GLfloat *colour;
    GLfloat *normal;
};

/* true when a band of count vertices may be had: checked before anything
 * sized by the band is allocated. */
bool bandFits(int64_t count)
{
    return count >= 1 && count <= kMaxBandVertices;
}

/* Band buffers of count vertices in the command's temporaries; false when
 * they cannot be had. */
bool makeBand(int64_t count, Band *band)
{
    if (!bandFits(count)) {
        return false;
    }
    band->pos = static_cast<GLfloat *>(oglTempAlloc(count * 4 * int64_t(sizeof(GLfloat))));
    band->colour = static_cast<GLfloat *>(oglTempAlloc(count * 3 * int64_t(sizeof(GLfloat))));
    band->normal = static_cast<GLfloat *>(oglTempAlloc(count * 3 * int64_t(sizeof(GLfloat))));
    return band->pos != nullptr && band->colour != nullptr && band->normal != nullptr;
}

/* A temporary array of count T, or nullptr. */
template <typename T>
T *tempArray(int64_t count)
{
    return count >= 1 && count < kOglMaxBytes / int64_t(sizeof(T))
               ? static_cast<T *>(oglTempAlloc(count * int64_t(sizeof(T))))
               : nullptr;
}

/* Fills band rows from grid row first on, each of the whole width. */
void fillRows(const DemGrid &g, const Band &band, int64_t first, int64_t rows)
{
    for (int64_t k = 0; k < rows; k++) {
        const int64_t v = k * g.ncols;
        fillRow(g, first + k, 0, g.ncols, band.pos + 4 * v, band.colour + 3 * v, band.normal + 3 * v);
    }
}

/* Points GL's vertex, colour and normal arrays at the band; no other
 * array stays enabled. */
void useBand(const Band &band)
{
    glVertexPointer(4, GL_FLOAT, 0, band.pos);
    glColorPointer(3, GL_FLOAT, 0, band.colour);
    glNormalPointer(GL_FLOAT, 0, band.normal);
}

/* Saves GL's client array state and enables the three arrays; false (and
 * nothing changed) when the client attribute stack has no room or GL
 * answers no query (between glBegin and glEnd, no context). */
bool pushArrays()
{
    GLint depth = -1, most = 0;
    glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &depth);
    glGetIntegerv(GL_MAX_CLIENT_ATTRIB_STACK_DEPTH, &most);
    if (depth < 0 || depth >= most) {
        return false;
    }
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    for (GLenum off :
         {GL_INDEX_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_EDGE_FLAG_ARRAY, GL_SECONDARY_COLOR_ARRAY, GL_FOG_COORD_ARRAY}) {
        glDisableClientState(off);
    }
    for (GLenum on : {GL_VERTEX_ARRAY, GL_COLOR_ARRAY, GL_NORMAL_ARRAY}) {
        glEnableClientState(on);
    }
    return true;
}

/* Row strips a band of rows at a time, then column strips a group of
 * columns at a time; false when the buffers cannot be had (nothing drawn). */
bool wireArrays(const DemGrid &g)
{
    const int64_t ncols = g.ncols, nrows = g.nrows;
    const int64_t bandRows = std::clamp<int64_t>(kBandVertices / ncols, 1, nrows);
    const int64_t groupCols = std::clamp<int64_t>(kBandVertices / nrows, 1, ncols);
    const int64_t bandVertices = std::max(bandRows * ncols, groupCols * nrows);
    if (!bandFits(bandVertices)) {
        return false;
    }
    Band band;
    GLint *firsts = tempArray<GLint>(bandRows);
    GLsizei *counts = tempArray<GLsizei>(std::max(bandRows, groupCols));
    GLuint *indices = tempArray<GLuint>(groupCols * nrows);
    const void **starts = tempArray<const void *>(groupCols);
    if (!makeBand(bandVertices, &band) || firsts == nullptr || counts == nullptr || indices == nullptr ||
        starts == nullptr) {
        return false;
    }
    if (!pushArrays()) {
        return false;
    }
    useBand(band);

    for (int64_t k = 0; k < bandRows; k++) {
        firsts[k] = GLint(k * ncols);
        counts[k] = GLsizei(ncols);
    }
    for (int64_t r = 0; r < nrows; r += bandRows) {
        const int64_t rows = std::min(bandRows, nrows - r);
        fillRows(g, band, r, rows);
        glMultiDrawArrays(GL_LINE_STRIP, firsts, counts, GLsizei(rows));
    }

    /* A group's points lie row by row, groupCols to a row; column j's strip
     * reads elements j, j + groupCols, ... */
    for (int64_t j = 0; j < groupCols; j++) {
        for (int64_t r = 0; r < nrows; r++) {
            indices[j * nrows + r] = GLuint(r * groupCols + j);
        }
        counts[j] = GLsizei(nrows);
        starts[j] = indices + j * nrows;
    }
    for (int64_t c = 0; c < ncols; c += groupCols) {
        const int64_t cols = std::min(groupCols, ncols - c);
        for (int64_t r = 0; r < nrows; r++) {
            const int64_t v = r * groupCols;
            fillRow(g, r, c, c + cols, band.pos + 4 * v, band.colour + 3 * v, band.normal + 3 * v);
        }
        glMultiDrawElements(GL_LINE_STRIP, counts, GL_UNSIGNED_INT, starts, GLsizei(cols));
    }
    glPopClientAttrib();
    return true;
}

/* The fans around fan rows 0 .. fanRows - 1 of a band whose row 0 lies
 * above the first fan row's centres (fan row j centred on band row
 * 2j + 1), as index lists into the band: the immediate-mode order. */
int64_t fanIndices(int64_t ncols, int64_t fanRows, GLuint *indices, GLsizei *counts, const void **starts)
{
    GLuint *p = indices;
    int64_t fans = 0;
    for (int64_t j = 0; j < fanRows; j++) {
        const int64_t base = 2 * j * ncols;
        auto at = [&](int64_t row, int64_t col) { return GLuint(base + row * ncols + col); };
        for (int64_t c = 1; c < ncols; c += 2) {
            GLuint *start = p;
            *p++ = at(1, c);
            *p++ = at(2, c);
            *p++ = at(2, c - 1);
            *p++ = at(1, c - 1);
            *p++ = at(0, c - 1);
            *p++ = at(0, c);
            if (c != ncols - 1) {
                *p++ = at(0, c + 1);
                *p++ = at(1, c + 1);
                *p++ = at(2, c + 1);
                *p++ = at(2, c);
            }
            counts[fans] = GLsizei(p - start);
            starts[fans] = start;
            fans++;
        }
    }
    return fans;
}

/* The triangles GL makes of the fans listed in counts and starts: (first
 * vertex, k-th, (k + 1)-th) for k = 1 .. count - 2, fan after fan, into
 * out; answers the number of indices written. */
int64_t fanTriangles(const GLsizei *counts, const void *const *starts, int64_t fans, GLuint *out)
{
    GLuint *p = out;
    for (int64_t f = 0; f < fans; f++) {
        const GLuint *fan = static_cast<const GLuint *>(starts[f]);
        for (GLsizei k = 1; k + 1 < counts[f]; k++) {
            *p++ = fan[0];
            *p++ = fan[k];
            *p++ = fan[k + 1];
        }
    }
    return p - out;
}

/* true when independent triangles, in the order GL splits the fans into,
 * draw exactly what the fans draw (and give the same feedback): triangles
 * follow the current edge flag where fans draw every edge, so it must be
 * GL_TRUE; and no display list is being compiled, which could replay
 * under another flag. Triangles share their vertices within a draw, so
 * GL shades each grid point far fewer times. */
bool trianglesDrawFans()
{
    GLboolean edge = GL_FALSE;
    GLint list = -1;
    glGetBooleanv(GL_EDGE_FLAG, &edge);
    glGetIntegerv(GL_LIST_INDEX, &list);
    return edge == GL_TRUE && list == 0;
}

/* Draws the first fans of the lists in counts and starts, or the first
 * triangles of their triangle list when there is one. */
void drawFans(const GLsizei *counts, const void *const *starts, int64_t fans, const GLuint *triangles,
              int64_t triangleIndices)
{
    if (triangles != nullptr) {
        glDrawElements(GL_TRIANGLES, GLsizei(triangleIndices), GL_UNSIGNED_INT, triangles);
    } else {
        glMultiDrawElements(GL_TRIANGLE_FAN, counts, GL_UNSIGNED_INT, starts, GLsizei(fans));
    }
}

/* The fans a band of fan rows at a time (2 × fan rows + 1 grid rows), then
 * the last band of cells of an even number of rows; false when the
 * buffers cannot be had (nothing drawn). */
bool solidArrays(const DemGrid &g)
{
    const int64_t ncols = g.ncols, nrows = g.nrows;
    const int64_t allFanRows = (nrows - 1) / 2;
    const int64_t fansPerRow = ncols / 2;
    const int64_t bandFanRows = std::clamp<int64_t>(kBandVertices / (2 * ncols), 1, std::max<int64_t>(allFanRows, 1));
    const int64_t fanCount = std::max(bandFanRows * fansPerRow, ncols - 1);
    const int64_t bandVertices = std::max(2 * bandFanRows + 1, int64_t(2)) * ncols;
    if (!bandFits(bandVertices)) {
        return false;
    }
    Band band;
    GLuint *indices = tempArray<GLuint>(10 * fanCount);
    GLuint *triangles = tempArray<GLuint>(24 * fanCount);
    GLsizei *counts = tempArray<GLsizei>(fanCount);
    const void **starts = tempArray<const void *>(fanCount);
    if (!makeBand(bandVertices, &band) || indices == nullptr || triangles == nullptr || counts == nullptr ||
        starts == nullptr) {
        return false;
    }
    if (!pushArrays()) {
        return false;
    }
    if (!trianglesDrawFans()) {
        triangles = nullptr;
    }
    useBand(band);

    if (allFanRows > 0) {
        /* Every full band draws the same lists; a last, shorter band the
         * first of them (fan row after fan row). */
        const int64_t fans = fanIndices(ncols, bandFanRows, indices, counts, starts);
        const int64_t rowIndices =
            triangles != nullptr ? fanTriangles(counts, starts, fans, triangles) / bandFanRows : 0;
        for (int64_t j = 0; j < allFanRows; j += bandFanRows) {
            const int64_t fanRows = std::min(bandFanRows, allFanRows - j);
            fillRows(g, band, 2 * j, 2 * fanRows + 1);
            drawFans(counts, starts, fanRows * fansPerRow, triangles, fanRows * rowIndices);
        }
    }
    if (nrows % 2 == 0) {
        /* One fan a cell between the last two rows (band rows 0 and 1). */
        for (int64_t c = 0; c < ncols - 1; c++) {
            GLuint *p = indices + 4 * c;
            p[0] = GLuint(ncols + c);
            p[1] = GLuint(c);
            p[2] = GLuint(c + 1);
            p[3] = GLuint(ncols + c + 1);
            counts[c] = 4;
            starts[c] = p;
        }
        const int64_t cellIndices = triangles != nullptr ? fanTriangles(counts, starts, ncols - 1, triangles) : 0;
        fillRows(g, band, nrows - 2, 2);
        drawFans(counts, starts, ncols - 1, triangles, cellIndices);
    }
    glPopClientAttrib();
    return true;
}

/* Draws the grid, through client arrays when it can, and leaves the last
 * vertex's colour and normal current. */
void drawGrid(const DemGrid &g, bool solid)
{
    const bool drawn = solid ? solidArrays(g) : wireArrays(g);
    if (!drawn) {
        if (solid) {
            solidImmediate(g);
        } else {
            wireImmediate(g);
        }
        return;
    }
    int64_t r = 0, c = 0;
    lastPoint(g, solid, &r, &c);
    const Vertex last = gridVertex(g, r, c);
    glColor3fv(last.colour);
    glNormal3fv(last.normal);
}

/* ---------------------------------------------------------------------
 * Commands
 * ------------------------------------------------------------------- */

/* The least and greatest of count heights, NaNs passed over; false when
 * no two differ (all equal, or no number among them). */
bool heightSpread(const GLfloat *h, int64_t count, GLfloat *least, GLfloat *greatest)
{
    GLfloat lo = INFINITY, hi = -INFINITY;
    for (int64_t i = 0; i < count; i++) {
        lo = h[i] < lo ? h[i] : lo;
        hi = h[i] > hi ? h[i] : hi;
    }
    *least = lo;
    *greatest = hi;
    return hi > lo;
}

/* glexWireDem / glexSolidDem ncols nrows dx dy zscale dem ?surface? */
int demCmd(bool solid, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 7 && objc != 8) {
        return oglSyntaxError(interp);
    }
    const GLint ncols = oglObjInt(objv[1]), nrows = oglObjInt(objv[2]);
    if (ncols < 2 || nrows < 2) {
        return oglFail(interp, kNoEnoughPoints);
    }
    DemGrid g{};
    g.ncols = ncols;
    g.nrows = nrows;
    g.dx = GLfloat(oglObjDouble(objv[3]));
    g.dy = GLfloat(oglObjDouble(objv[4]));
    g.zscale = GLfloat(oglObjDouble(objv[5]));
    const GLfloat width = GLfloat(ncols - 1) * g.dx, height = GLfloat(nrows - 1) * g.dy;
    g.normalX = 2.0f / g.dx;
    g.normalY = -2.0f / g.dy;
    /* A zero or infinite spacing puts vertices or normals at infinity. */
    if (g.dx == 0.0f || g.dy == 0.0f || !std::isfinite(g.normalX) || !std::isfinite(g.normalY) ||
        !std::isfinite(width) || !std::isfinite(height) || int64_t(ncols) * nrows >= kMaxPoints) {
        return oglFail(interp, kParseDem);
    }
    g.halfWidth = width / 2.0f;
    g.halfHeight = height / 2.0f;
    g.scale = width >= height ? width : height;

    OglTemps temps;
    const int64_t points = int64_t(ncols) * nrows;
    g.heights = oglArgFloats(Tcl_GetString(objv[6]), points);
    if (g.heights == nullptr) {
        return oglFail(interp, kParseDem);
    }
    if (objc == 8) {
        /* The image is read as GL would unpack it: the whole unpack state
         * (alignment, row length, skipped rows and pixels) sizes the word
         * and places each row, so the two always agree. */
        OglPixelLayout layout;
        const void *pixels = oglPixelArg(Tcl_GetString(objv[7]), GL_RGB, GL_UNSIGNED_BYTE, ncols, nrows);
        if (pixels == nullptr || !oglPixelLayout(false, GL_RGB, GL_UNSIGNED_BYTE, ncols, nrows, &layout)) {
            return oglFail(interp, kParseSurface);
        }
        g.image = static_cast<const GLubyte *>(pixels) + layout.offsetBytes;
        g.imageStride = layout.strideBytes;
    } else {
        GLfloat hmax = 0;
        g.flat = !heightSpread(g.heights, points, &g.hmin, &hmax);
        g.hrange = hmax - g.hmin;
    }
    drawGrid(g, solid);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int wireDemCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return demCmd(false, interp, objc, objv);
}

int solidDemCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return demCmd(true, interp, objc, objv);
}

}  // namespace

const OglCommandDef oglDemCommands[] = {
    {"glexWireDem", wireDemCmd},
    {"glexSolidDem", solidDemCmd},
    {nullptr, nullptr},
};
