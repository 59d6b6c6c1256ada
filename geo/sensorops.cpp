/*
 * sensorops.cpp --
 *
 *	The whole-image operations of the camera and pushbroom objects over
 *	RAM images: acquisition of a sensor image from a georeferenced ground
 *	image (sampling, or over a DEM projecting the ground with hidden
 *	surfaces removed), rectification onto a ground grid, and forward
 *	normalisation (plain or neighbourhood-weighted). Each runs over a copy
 *	of the sensor's geometry, so that a callback that reconfigures or
 *	destroys the object frees nothing it reads; rows are assembled in one
 *	buffer and written at once. Acquisition and rectification work in
 *	tiles whose source window is read once as floats.
 */
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "geo/sensorobj.h"
#include "imagestore/codes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "runtime/progress.h"
#include "tesk_stdio.h"

namespace {

/* v rounded (roundToInt) when the result lies in 0 .. limit - 1. */
bool roundedIndex(double v, int limit, int *index)
{
    if (!(v > -0.5 && v < limit - 0.5)) {
        return false;
    }
    *index = roundToInt(v);
    return true;
}

/* The ground grid of a georeferenced image. */
struct Grid {
    double x0, y0, dx, dy;
    int columns, rows;
    explicit Grid(const RamImage *image)
        : x0(image->desc.x0), y0(image->desc.y0), dx(image->desc.dx), dy(image->desc.dy), columns(image->desc.columns),
          rows(image->desc.rows)
    {}
    double X(int c) const { return x0 + c * dx; }
    double Y(int r) const { return y0 - r * dy; }
};

/* Pixel vectors of n bands of one image. */
class Sampler {
public:
    Sampler(RamImage *image, int n) : image_(image), n_(n) {}
    void at(int c, int r, float *out) { ramImageGetVector(image_, c, r, n_, nullptr, out); }

private:
    RamImage *image_;
    int n_;
};

/* Paints vector into the size x size block at (c, r), clipped to des (the
 * far sides found in 64 bits, so that any size is clipped). */
void paintBlock(RamImage *des, int c, int r, int size, int n, const float *vector)
{
    int c1 = static_cast<int>(std::min<int64_t>(int64_t{c} + size, des->desc.columns));
    int r1 = static_cast<int>(std::min<int64_t>(int64_t{r} + size, des->desc.rows));
    for (int y = r; y < r1; y++) {
        for (int x = c; x < c1; x++) {
            ramImagePutVector(des, x, y, n, nullptr, vector);
        }
    }
}

/* The meter of an operation, with the clients of des told at each mark
 * when update is set (common steps 1 to 4). */
class OperationMeter {
public:
    OperationMeter(const char *label, RamImage *des, int update)
        : label_(label), des_(des), update_(update), progress_(label)
    {
        if (update_ != 0) {
            progress_.onMark(notice, des_);
        }
    }
    void row(int i, int count) { progress_.reached(static_cast<float>(i) / static_cast<float>(count)); }
    void finish(int n)
    {
        meterSet(label_, 1.0f);
        if (update_ != 0) {
            for (int b = 0; b < n && des_->stats != nullptr && b < des_->desc.nbands; b++) {
                statReset(&des_->stats[b]);
            }
            ramImageNotifyClients(des_, 0, RAMIMG_CONFIG);
        }
        meterReset();
    }

private:
    static void notice(void *data) { ramImageNotifyClients(static_cast<RamImage *>(data), 0, RAMIMG_CONFIG); }
    const char *label_;
    RamImage *des_;
    int update_;
    ToolProgress progress_;
};

int memoryError(Tcl_Interp *interp)
{
    Tcl_SetResult(interp, const_cast<char *>("Error in memory allocation"), TCL_STATIC);
    return TCL_ERROR;
}

std::string cutDescription(const std::string &text)
{
    return text.substr(0, sizeof(ImageDesc{}.imgdes) - 1);
}

/* The geometry of a frame camera: one pose and matrix for every row. */
class CameraGeometry {
public:
    CameraGeometry(const SensorSettings &s, const SensorPose &pose, const double *m) : s_(s), pose_(pose)
    {
        std::memcpy(m_, m, sizeof m_);
    }
    const SensorSettings &settings() const { return s_; }
    int imageRows(const RamImage *image) const { return image->desc.rows; }
    bool toGround(double c, int r, double *X, double *Y) const
    {
        return sensorImageToGround(m_, pose_, s_.in, c, r, X, Y);
    }
    bool toImage(double X, double Y, double Z, double *sc, double *sr) const
    {
        return sensorGroundToImage(m_, pose_, s_.in, X, Y, Z, sc, sr);
    }
    static constexpr bool kClosedEnd = false; /* rectify: sc < columns inside */
    SensorFootprint footprint() const { return cameraFootprint(s_, pose_, m_); }
    double radius() const
    {
        double gx = s_.in.dx * pose_.z / s_.in.f, gy = s_.in.dy * pose_.z / s_.in.f;
        return std::fabs(std::hypot(gx, gy) * s_.neighborhood);
    }
    std::string description() const
    {
        return cFormat("-lat %.16g -lon %.16g -mapid %s -x %.4g -y %.4g -z %.4g -xc %d -yc %d -f %.4g -dx %.6g "
                       "-dy %.6g -ax %.6g -ay %.6g -az %.6g -axoffset %.6g -ayoffset %.6g -azoffset %.6g",
                       s_.lat, s_.lon, mapIdName(s_.mapid), pose_.x, pose_.y, pose_.z, truncated(s_.in.xc),
                       truncated(s_.in.yc), s_.in.f, s_.in.dx, s_.in.dy, pose_.ax, pose_.ay, pose_.az, s_.off.axoffset,
                       s_.off.ayoffset, s_.off.azoffset);
    }
    static int truncated(double v) { return std::fabs(v) < 2147483647.0 ? static_cast<int>(v) : 0; }

private:
    SensorSettings s_;
    SensorPose pose_;
    double m_[9];
};

/* The geometry of a line scanner: image row i is scan line i at its row 0. */
class PushbroomGeometry {
public:
    PushbroomGeometry(const SensorSettings &s, const SensorLines &lines) : s_(s), lines_(lines) {}
    const SensorSettings &settings() const { return s_; }
    int lineCount() const { return static_cast<int>(lines_.poses.size()); }
    int imageRows(const RamImage *image) const { return std::min(image->desc.rows, lineCount()); }
    bool toGround(double c, int i, double *X, double *Y) const
    {
        return sensorImageToGround(matrix(i), lines_.poses[i], s_.in, c, 0, X, Y);
    }
    /* The source column and row of a ground point: the bracketing lines
     * found by bisection, the row interpolated between them. */
    bool toImage(double X, double Y, double Z, double *sc, double *sr) const
    {
        struct End {
            int line;
            double v;
        };
        auto rowAt = [&](int i) { return sensorGroundToImageRow(matrix(i), lines_.poses[i], s_.in, X, Y, Z); };
        End lo = {0, rowAt(0)}, hi = {lineCount() - 1, rowAt(lineCount() - 1)};
        while (std::abs(hi.line - lo.line) > 1) {
            int mid = (lo.line + hi.line) / 2;
            double v = rowAt(mid);
            if (lo.v * v < 0) {
                hi = {mid, v};
            } else if (hi.v * v < 0) {
                lo = {mid, v};
            } else if (std::fabs(v) < std::fabs(lo.v)) {
                lo = {mid, v};
            } else if (std::fabs(v) < std::fabs(hi.v)) {
                hi = {mid, v};
            } else {
                break;
            }
        }
        if (!(lo.v * hi.v <= 0)) {
            return false; /* both ends on one side, or a line that cannot see it */
        }
        const End &chosen = std::fabs(lo.v) >= std::fabs(hi.v) ? hi : lo;
        *sr = lo.v == hi.v ? chosen.line : lo.line + (hi.line - lo.line) * lo.v / (lo.v - hi.v);
        *sc = sensorGroundToImageColumn(matrix(chosen.line), lines_.poses[chosen.line], s_.in, X, Y, Z);
        return std::isfinite(*sc) && std::isfinite(*sr);
    }
    static constexpr bool kClosedEnd = true; /* rectify: sc <= columns - 1 inside */
    SensorFootprint footprint() const { return pushbroomFootprint(s_, lines_); }
    double radius() const
    {
        double across = 0, along = 0;
        pushbroomGridSize(s_, lines_, &across, &along);
        return std::fabs(std::hypot(across, along) * s_.neighborhood);
    }
    std::string description() const
    {
        return cFormat("-lat %.16g -lon %.16g -mapid %s -xc %d -yc %d -f %.4g -dx %.6g -dy %.6g -axoffset %.6g "
                       "-ayoffset %.6g -azoffset %.6g",
                       s_.lat, s_.lon, mapIdName(s_.mapid), CameraGeometry::truncated(s_.in.xc),
                       CameraGeometry::truncated(s_.in.yc), s_.in.f, s_.in.dx, s_.in.dy, s_.off.axoffset,
                       s_.off.ayoffset, s_.off.azoffset);
    }

private:
    const double *matrix(int i) const { return &lines_.matrices[9 * static_cast<size_t>(i)]; }
    SensorSettings s_;
    SensorLines lines_;
};

int bandsOf(RamImage *a, RamImage *b)
{
    return std::min(a->desc.nbands, b->desc.nbands);
}

/* How a destination pixel samples the source at (sc, sr): the positions
 * inside the source, and the pixel nearest neighbour takes. */
struct SampleRule {
    bool closedEnd; /* inside: sc <= columns - 1 (else sc < columns), the same for rows */
    bool rounded;   /* nearest neighbour: rounded and held at the last (else truncated) */
    bool bilinear;  /* the bilinear mix instead of the nearest neighbour */
};

/* A rectangle of destination pixels. */
struct Block {
    int column, row, columns, rows;
};

constexpr int kTileSide = 128;             /* destination tiles, pixels a side */
constexpr int64_t kWindowBudget = 1 << 24; /* bytes of one source window */

/*
 * BlockResampler --
 *	Fills rows of destination pixels from the source: each tile's source
 *	positions are found first, then the window of source pixels they need
 *	is read once as floats (a tile whose window exceeds the budget is
 *	split), and the pixels are sampled from it. Position(c, r, &sc, &sr)
 *	answers false for a pixel that sees nothing (it stays 0).
 */
template <class Position>
class BlockResampler {
public:
    BlockResampler(RamImage *src, int n, const SampleRule &rule, const Position &position)
        : src_(src), n_(n), columns_(src->desc.columns), rows_(src->desc.rows), rule_(rule), position_(position)
    {}
    /* Destination rows first .. first + count - 1 of width columns into
     * out (count rows of width pixel vectors), zeros where nothing is seen. */
    void fill(int first, int count, int width, float *out)
    {
        std::fill(out, out + static_cast<size_t>(count) * width * n_, 0.0f);
        for (int c = 0; c < width; c += kTileSide) {
            block(Block{c, first, std::min(kTileSide, width - c), count}, first, width, out);
        }
    }

private:
    bool inside(double sc, double sr) const
    {
        return rule_.closedEnd ? sc >= 0 && sc <= columns_ - 1 && sr >= 0 && sr <= rows_ - 1
                               : sc >= 0 && sc < columns_ && sr >= 0 && sr < rows_;
    }
    /* The source pixel of nearest neighbour along one axis. */
    int nearest(double v, int limit) const
    {
        return rule_.rounded ? std::min(roundToInt(v), limit - 1) : static_cast<int>(v);
    }
    void block(const Block &b, int first, int width, float *out)
    {
        size_t count = static_cast<size_t>(b.columns) * b.rows;
        std::vector<double> at(2 * count, -1.0);
        int lo[2] = {columns_, rows_}, hi[2] = {-1, -1};
        for (int r = 0; r < b.rows; r++) {
            for (int c = 0; c < b.columns; c++) {
                double *p = &at[2 * (static_cast<size_t>(r) * b.columns + c)];
                double sc = 0, sr = 0;
                if (!position_(b.column + c, b.row + r, &sc, &sr) || !inside(sc, sr)) {
                    continue;
                }
                p[0] = sc;
                p[1] = sr;
                int ic = rule_.bilinear ? static_cast<int>(sc) : nearest(sc, columns_);
                int ir = rule_.bilinear ? static_cast<int>(sr) : nearest(sr, rows_);
                lo[0] = std::min(lo[0], ic);
                lo[1] = std::min(lo[1], ir);
                hi[0] = std::max(hi[0], rule_.bilinear ? std::min(ic + 1, columns_ - 1) : ic);
                hi[1] = std::max(hi[1], rule_.bilinear ? std::min(ir + 1, rows_ - 1) : ir);
            }
        }
        if (hi[0] < 0) {
            return;
        }
        int64_t wc = hi[0] - lo[0] + 1, wr = hi[1] - lo[1] + 1;
        if (wc * wr * n_ * static_cast<int64_t>(sizeof(float)) > kWindowBudget && count > 1) {
            Block a = b, c = b;
            if (b.columns >= b.rows) {
                a.columns = b.columns / 2;
                c.column += a.columns;
                c.columns -= a.columns;
            } else {
                a.rows = b.rows / 2;
                c.row += a.rows;
                c.rows -= a.rows;
            }
            block(a, first, width, out);
            block(c, first, width, out);
            return;
        }
        /* the window, band by band */
        window_.resize(static_cast<size_t>(wc * wr * n_));
        for (int band = 0; band < n_; band++) {
            for (int64_t y = 0; y < wr; y++) {
                ramImageGetFloat(src_, lo[1] + static_cast<int>(y), lo[0], static_cast<int>(wc), band,
                                 &window_[static_cast<size_t>((band * wr + y) * wc)]);
            }
        }
        auto value = [&](int band, int c, int r) {
            return window_[static_cast<size_t>((band * wr + (r - lo[1])) * wc + (c - lo[0]))];
        };
        for (int r = 0; r < b.rows; r++) {
            float *row = out + (static_cast<size_t>(b.row + r - first) * width + b.column) * n_;
            for (int c = 0; c < b.columns; c++) {
                const double *p = &at[2 * (static_cast<size_t>(r) * b.columns + c)];
                if (p[0] < 0) {
                    continue;
                }
                float *v = row + static_cast<size_t>(c) * n_;
                if (!rule_.bilinear) {
                    int ic = nearest(p[0], columns_), ir = nearest(p[1], rows_);
                    for (int band = 0; band < n_; band++) {
                        v[band] = value(band, ic, ir);
                    }
                    continue;
                }
                int ic = static_cast<int>(p[0]), ir = static_cast<int>(p[1]);
                float fx = static_cast<float>(p[0] - ic), fy = static_cast<float>(p[1] - ir);
                int ic1 = std::min(ic + 1, columns_ - 1), ir1 = std::min(ir + 1, rows_ - 1);
                for (int band = 0; band < n_; band++) {
                    v[band] = (1 - fx) * (1 - fy) * value(band, ic, ir) + (1 - fx) * fy * value(band, ic, ir1) +
                              (1 - fy) * fx * value(band, ic1, ir) + fx * fy * value(band, ic1, ir1);
                }
            }
        }
    }

    RamImage *src_;
    int n_, columns_, rows_;
    SampleRule rule_;
    const Position &position_;
    std::vector<float> window_;
};

/* Destination rows resampled block by block of kTileSide rows, each row
 * written whole and counted on the meter. */
template <class Position>
void resampleRows(RamImage *src, RamImage *des, int rows, int n, const SampleRule &rule, const Position &position,
                  OperationMeter &meter, const std::function<void(int first, int count)> &prepare)
{
    int columns = des->desc.columns;
    BlockResampler<Position> resampler(src, n, rule, position);
    std::vector<float> out(static_cast<size_t>(kTileSide) * columns * n);
    for (int first = 0; first < rows; first += kTileSide) {
        int count = std::min(kTileSide, rows - first);
        prepare(first, count);
        resampler.fill(first, count, columns, out.data());
        for (int r = 0; r < count; r++) {
            writeFloatBIPData(des, first + r, 0, columns, n, nullptr, &out[static_cast<size_t>(r) * columns * n]);
            meter.row(first + r, rows);
        }
    }
}

/* Acquisition: every destination pixel sampled from the ground image. */
template <class Geometry>
void acquire(const Geometry &g, const char *label, RamImage *src, RamImage *des)
{
    const SensorSettings &s = g.settings();
    int n = bandsOf(src, des);
    Grid grid(src);
    auto position = [&](int c, int r, double *sc, double *sr) {
        double X = 0, Y = 0;
        if (!g.toGround(c, r, &X, &Y)) {
            return false;
        }
        *sc = (X - grid.x0) / grid.dx;
        *sr = (grid.y0 - Y) / grid.dy;
        return true;
    };
    OperationMeter meter(label, des, s.update);
    resampleRows(src, des, g.imageRows(des), n, SampleRule{false, false, s.resamplemode != 0}, position, meter,
                 [](int, int) {});
    std::string text = cutDescription(g.description());
    std::memcpy(des->desc.imgdes, text.c_str(), text.size() + 1);
    meter.finish(n);
}

/* Rectification: every ground pixel inside the footprint looked up in the
 * sensor image, at the DEM's height when there is one. */
template <class Geometry>
void rectify(const Geometry &g, const char *label, RamImage *src, RamImage *dem, RamImage *des)
{
    const SensorSettings &s = g.settings();
    int n = bandsOf(src, des), columns = des->desc.columns;
    Grid grid(des);
    SensorFootprint box = g.footprint();
    std::vector<float> heights(dem != nullptr ? static_cast<size_t>(kTileSide) * columns : 0);
    int firstRow = 0;
    auto position = [&](int c, int r, double *sc, double *sr) {
        double X = grid.X(c), Y = grid.Y(r);
        if (box.bounded && !(X >= box.minX && X <= box.maxX && Y >= box.minY && Y <= box.maxY)) {
            return false;
        }
        double Z = dem != nullptr ? heights[static_cast<size_t>(r - firstRow) * columns + c] : 0.0;
        return g.toImage(X, Y, Z, sc, sr);
    };
    auto prepare = [&](int first, int count) {
        firstRow = first;
        for (int r = 0; dem != nullptr && r < count; r++) {
            ramImageGetFloat(dem, first + r, 0, columns, 0, &heights[static_cast<size_t>(r) * columns]);
        }
    };
    OperationMeter meter(label, des, s.update);
    resampleRows(src, des, des->desc.rows, n, SampleRule{Geometry::kClosedEnd, true, s.resamplemode != 0}, position,
                 meter, prepare);
    meter.finish(n);
}

/* Plain normalisation: every source pixel painted where its ground point
 * falls. */
template <class Geometry>
void normalize(const Geometry &g, const char *label, RamImage *src, RamImage *des)
{
    const SensorSettings &s = g.settings();
    int n = bandsOf(src, des), columns = src->desc.columns, rows = g.imageRows(src);
    Grid grid(des);
    Sampler sampler(src, n);
    std::vector<float> vector(n);
    OperationMeter meter(label, des, s.update);
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < columns; c++) {
            double X = 0, Y = 0;
            int dc = 0, dr = 0;
            if (g.toGround(c, r, &X, &Y) && roundedIndex((X - grid.x0) / grid.dx, grid.columns, &dc) &&
                roundedIndex((grid.y0 - Y) / grid.dy, grid.rows, &dr)) {
                sampler.at(c, r, vector.data());
                paintBlock(des, dc, dr, s.fillfactor, n, vector.data());
            }
        }
        meter.row(r, rows);
    }
    meter.finish(n);
}

/* Neighbourhood-weighted normalisation: each source pixel's value mixed
 * from the neighbours whose ground points lie near the centre of the
 * destination pixel it falls in. */
template <class Geometry>
void advancedNormalize(const Geometry &g, const char *label, RamImage *src, RamImage *des)
{
    const SensorSettings &s = g.settings();
    int n = bandsOf(src, des), columns = src->desc.columns, rows = g.imageRows(src);
    Grid grid(des);
    double radius = g.radius();
    Sampler sampler(src, n);
    std::vector<float> sum(n), vector(n);
    /* ground points of columns -1 .. columns of three rows (NaN: none) */
    std::vector<double> lines[3];
    auto fill = [&](std::vector<double> &line, int r) {
        line.assign(2 * (static_cast<size_t>(columns) + 2), std::nan(""));
        for (int c = -1; c <= columns; c++) {
            g.toGround(c, r, &line[2 * (c + 1)], &line[2 * (c + 1) + 1]);
        }
    };
    fill(lines[0], 0);
    fill(lines[1], 0);
    OperationMeter meter(label, des, s.update);
    for (int r = 0; r < rows; r++) {
        const std::vector<double> *rowsAround[3] = {&lines[r % 3], &lines[(r + 1) % 3], &lines[(r + 2) % 3]};
        fill(lines[(r + 2) % 3], r + 1 < rows ? r + 1 : r);
        const std::vector<double> &current = *rowsAround[1];
        for (int c = 0; c < columns; c++) {
            double X = current[2 * (c + 1)], Y = current[2 * (c + 1) + 1];
            int dc = 0, dr = 0;
            if (!roundedIndex((X - grid.x0) / grid.dx, grid.columns, &dc) ||
                !roundedIndex((grid.y0 - Y) / grid.dy, grid.rows, &dr)) {
                continue;
            }
            double tx = dc * grid.dx + grid.x0, ty = grid.y0 - dr * grid.dy;
            double d[9];
            int k = 0;
            double S = 0;
            for (int j = 0; j < 9; j++) {
                const std::vector<double> &line = *rowsAround[j / 3];
                int column = c - 1 + j % 3;
                d[j] = std::hypot(line[2 * (column + 1)] - tx, line[2 * (column + 1) + 1] - ty);
                if (d[j] <= radius) {
                    k++;
                    S += d[j];
                }
            }
            /* fewer than two in reach, or all at distance 0: the pixel's own vector */
            if (k >= 2 && S > 0) {
                std::fill(sum.begin(), sum.end(), 0.0f);
                for (int j = 0; j < 9; j++) {
                    if (!(d[j] <= radius)) {
                        continue;
                    }
                    int column = c - 1 + j % 3, sourceRow = r - 1 + j / 3;
                    column = column < 0 ? 0 : column >= columns ? c : column;
                    sourceRow = sourceRow < 0 ? 0 : sourceRow >= rows ? r : sourceRow;
                    sampler.at(column, sourceRow, vector.data());
                    double weight = (S - d[j]) / ((k - 1) * S);
                    for (int b = 0; b < n; b++) {
                        sum[b] += static_cast<float>(weight * vector[b]);
                    }
                }
            } else {
                sampler.at(c, r, sum.data());
            }
            ramImagePutVector(des, dc, dr, n, nullptr, sum.data());
            paintBlock(des, dc, dr, s.fillfactor, n, sum.data());
        }
        meter.row(r, rows);
    }
    meter.finish(n);
}

/* Image taking over a DEM: every ground pixel projected into the photo, the
 * highest one painting its block. */
int takeImage(Tcl_Interp *interp, const CameraGeometry &g, RamImage *src, RamImage *des, RamImage *dem)
{
    const SensorSettings &s = g.settings();
    int n = bandsOf(src, des), columns = src->desc.columns, rows = src->desc.rows;
    int desColumns = des->desc.columns, desRows = des->desc.rows;
    Grid grid(src);
    std::vector<float> heights, vector(n);
    try {
        heights.assign(static_cast<size_t>(desColumns) * static_cast<size_t>(desRows), -3.4028234663852886e38f);
    } catch (const std::bad_alloc &) {
        return memoryError(interp);
    }
    Sampler sampler(src, n);
    OperationMeter meter("Camera takeimage", des, s.update);
    for (int r = 0; r < rows; r++) {
        double Y = grid.Y(r);
        for (int c = 0; c < columns; c++) {
            float Z = ramImageGetValue(dem, c, r, 0);
            double column = 0, row = 0;
            int dc = 0, dr = 0;
            if (!g.toImage(grid.X(c), Y, Z, &column, &row) || !roundedIndex(column, desColumns, &dc) ||
                !roundedIndex(row, desRows, &dr)) {
                continue;
            }
            sampler.at(c, r, vector.data());
            float &height = heights[static_cast<size_t>(dr) * desColumns + dc];
            if (Z > height) {
                height = Z;
                paintBlock(des, dc, dr, s.fillfactor, n, vector.data());
            }
        }
        meter.row(r, rows);
    }
    meter.finish(n);
    return TCL_OK;
}

template <class Geometry>
int runOperation(Tcl_Interp *interp, SensorOperation op, const Geometry &g, const char *const labels[4], RamImage *src,
                 RamImage *des, RamImage *dem)
{
    try {
        switch (op) {
        case SENSOR_ACQUIRE: acquire(g, labels[0], src, des); break;
        case SENSOR_RECTIFY: rectify(g, labels[1], src, dem, des); break;
        default:
            if (g.settings().resamplemode == 0) {
                normalize(g, labels[2], src, des);
            } else {
                advancedNormalize(g, labels[3], src, des);
            }
            break;
        }
    } catch (const std::bad_alloc &) {
        meterReset();
        return memoryError(interp);
    }
    return TCL_OK;
}

}  // namespace

void SensorFootprint::add(double X, double Y)
{
    if (!bounded) {
        bounded = true;
        minX = maxX = X;
        minY = maxY = Y;
        return;
    }
    minX = std::min(minX, X);
    maxX = std::max(maxX, X);
    minY = std::min(minY, Y);
    maxY = std::max(maxY, Y);
}

SensorFootprint cameraFootprint(const SensorSettings &s, const SensorPose &pose, const double *m)
{
    int W = roundToInt(2 * s.in.xc), H = roundToInt(2 * s.in.yc);
    const int corners[4][2] = {{W, H}, {0, 0}, {W, 0}, {0, H}};
    SensorFootprint box;
    for (const auto &corner : corners) {
        double X = 0, Y = 0;
        if (!sensorImageToGround(m, pose, s.in, corner[0], corner[1], &X, &Y)) {
            return SensorFootprint{};
        }
        box.add(X, Y);
    }
    return box;
}

SensorFootprint pushbroomFootprint(const SensorSettings &s, const SensorLines &lines)
{
    int W = roundToInt(2 * s.in.xc);
    SensorFootprint box;
    for (size_t i = 0; i < lines.poses.size(); i++) {
        for (int c : {0, W}) {
            double X = 0, Y = 0;
            if (!sensorImageToGround(&lines.matrices[9 * i], lines.poses[i], s.in, c, 0, &X, &Y)) {
                return SensorFootprint{};
            }
            box.add(X, Y);
        }
    }
    return box;
}

const char *pushbroomGridSize(const SensorSettings &s, const SensorLines &lines, double *across, double *along)
{
    size_t count = lines.poses.size();
    if (count < 2) {
        return "Need at least two scan lines";
    }
    int W = roundToInt(2 * s.in.xc);
    if (W < 2) {
        return "Need at least two columns";
    }
    std::vector<double> ends(4 * count);
    for (size_t i = 0; i < count; i++) {
        const double *m = &lines.matrices[9 * i];
        if (!sensorImageToGround(m, lines.poses[i], s.in, 0, 0, &ends[4 * i], &ends[4 * i + 1]) ||
            !sensorImageToGround(m, lines.poses[i], s.in, W, 0, &ends[4 * i + 2], &ends[4 * i + 3])) {
            return "Footprint reaches the horizon";
        }
    }
    double sumAcross = 0, sumAlong = 0;
    for (size_t i = 0; i < count; i++) {
        const double *e = &ends[4 * i];
        sumAcross += std::hypot(e[2] - e[0], e[3] - e[1]);
        if (i > 0) {
            sumAlong += std::hypot(e[0] - e[-4], e[1] - e[-3]) + std::hypot(e[2] - e[-2], e[3] - e[-1]);
        }
    }
    *across = sumAcross / ((W - 1.0) * static_cast<double>(count));
    *along = sumAlong / (2.0 * (static_cast<double>(count) - 1.0));
    return nullptr;
}

int cameraOperation(Tcl_Interp *interp, SensorOperation op, const SensorSettings &s, const SensorPose &pose,
                    const double *m, RamImage *src, RamImage *des, RamImage *dem)
{
    static const char *const labels[4] = {"Camera acquire", "Camera rectify", "Camera normalize",
                                          "Camera advanced normalization"};
    CameraGeometry g(s, pose, m);
    if (op == SENSOR_TAKEIMAGE) {
        return takeImage(interp, g, src, des, dem);
    }
    return runOperation(interp, op, g, labels, src, des, dem);
}

int pushbroomOperation(Tcl_Interp *interp, SensorOperation op, const SensorSettings &s, const SensorLines &lines,
                       RamImage *src, RamImage *des, RamImage *dem)
{
    int count = static_cast<int>(lines.poses.size());
    const char *labels[4] = {"Pushbroom acquire",
                             s.resamplemode != 0 ? "Pushbroom bi-linear resampling"
                                                 : "Pushbroom nearest neighborhood resampling",
                             "Pushbroom normalize", "Pushbroom advanced normalization"};
    if (op == SENSOR_NORMALIZE && s.resamplemode != 0 && count < 2) {
        tesk_fprintf(stderr, "Error in pushbroomAdvancedNormalization: Need at least two scan lines.\n");
        return TCL_OK;
    }
    if (count < 1) {
        return TCL_OK;
    }
    try {
        PushbroomGeometry g(s, lines);
        return runOperation(interp, op, g, labels, src, des, dem);
    } catch (const std::bad_alloc &) {
        return memoryError(interp);
    }
}
