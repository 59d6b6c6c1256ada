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
 *	buffer and written at once.
 */
#include <algorithm>
#include <cmath>
#include <cstring>
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
        : x0(image->desc.x0), y0(image->desc.y0), dx(image->desc.dx), dy(image->desc.dy),
          columns(image->desc.columns), rows(image->desc.rows)
    {
    }
    double X(int c) const { return x0 + c * dx; }
    double Y(int r) const { return y0 - r * dy; }
};

/* Pixel vectors of n bands of one image. */
class Sampler {
public:
    Sampler(RamImage *image, int n) : image_(image), n_(n), p_(4 * static_cast<size_t>(n)) {}
    void at(int c, int r, float *out) { ramImageGetVector(image_, c, r, n_, nullptr, out); }
    /* The bilinear mix at (sc, sr), both inside; neighbours held at the last
     * column and row. */
    void bilinear(double sc, double sr, int columns, int rows, float *out)
    {
        int ic = static_cast<int>(sc), ir = static_cast<int>(sr);
        float fx = static_cast<float>(sc - ic), fy = static_cast<float>(sr - ir);
        int ic1 = std::min(ic + 1, columns - 1), ir1 = std::min(ir + 1, rows - 1);
        float *p = p_.data();
        at(ic, ir, p);
        at(ic, ir1, p + n_);
        at(ic1, ir, p + 2 * n_);
        at(ic1, ir1, p + 3 * n_);
        for (int b = 0; b < n_; b++) {
            out[b] = (1 - fx) * (1 - fy) * p[b] + (1 - fx) * fy * p[n_ + b] + (1 - fy) * fx * p[2 * n_ + b] +
                     fx * fy * p[3 * n_ + b];
        }
    }

private:
    RamImage *image_;
    int n_;
    std::vector<float> p_;
};

/* Paints vector into the size x size block at (c, r), clipped. */
void paintBlock(RamImage *des, int c, int r, int size, int n, const float *vector)
{
    int c1 = std::min(c + size, des->desc.columns), r1 = std::min(r + size, des->desc.rows);
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
    OperationMeter(const char *label, RamImage *des, int update) : label_(label), des_(des), update_(update), progress_(label)
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
    static bool inside(double sc, double sr, int columns, int rows)
    {
        return sc >= 0 && sc < columns && sr >= 0 && sr < rows;
    }
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
                       truncated(s_.in.yc), s_.in.f, s_.in.dx, s_.in.dy, pose_.ax, pose_.ay, pose_.az,
                       s_.off.axoffset, s_.off.ayoffset, s_.off.azoffset);
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
    static bool inside(double sc, double sr, int columns, int rows)
    {
        return sc >= 0 && sc <= columns - 1 && sr >= 0 && sr <= rows - 1;
    }
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

/* Acquisition: every destination pixel sampled from the ground image. */
template <class Geometry>
void acquire(const Geometry &g, const char *label, RamImage *src, RamImage *des)
{
    const SensorSettings &s = g.settings();
    int n = bandsOf(src, des), columns = des->desc.columns, rows = g.imageRows(des);
    Grid grid(src);
    Sampler sampler(src, n);
    std::vector<float> row(static_cast<size_t>(columns) * n);
    OperationMeter meter(label, des, s.update);
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < columns; c++) {
            float *out = &row[static_cast<size_t>(c) * n];
            double X = 0, Y = 0;
            double sc = -1, sr = -1;
            if (g.toGround(c, r, &X, &Y)) {
                sc = (X - grid.x0) / grid.dx;
                sr = (grid.y0 - Y) / grid.dy;
            }
            if (!(sc >= 0 && sc < grid.columns && sr >= 0 && sr < grid.rows)) {
                std::fill(out, out + n, 0.0f);
            } else if (s.resamplemode == 0) {
                sampler.at(static_cast<int>(sc), static_cast<int>(sr), out);
            } else {
                sampler.bilinear(sc, sr, grid.columns, grid.rows, out);
            }
        }
        writeFloatBIPData(des, r, 0, columns, n, nullptr, row.data());
        meter.row(r, rows);
    }
    std::string text = cutDescription(g.description());
    std::memcpy(des->desc.imgdes, text.c_str(), text.size() + 1);
    meter.finish(n);
}

/* Rectification: every ground pixel looked up in the sensor image. */
template <class Geometry>
void rectify(const Geometry &g, const char *label, RamImage *src, RamImage *dem, RamImage *des)
{
    const SensorSettings &s = g.settings();
    int n = bandsOf(src, des), columns = des->desc.columns, rows = des->desc.rows;
    int srcColumns = src->desc.columns, srcRows = src->desc.rows;
    Grid grid(des);
    SensorFootprint box = g.footprint();
    Sampler sampler(src, n);
    std::vector<float> row(static_cast<size_t>(columns) * n);
    OperationMeter meter(label, des, s.update);
    for (int r = 0; r < rows; r++) {
        std::fill(row.begin(), row.end(), 0.0f);
        double Y = grid.Y(r);
        if (!box.bounded || (Y >= box.minY && Y <= box.maxY)) {
            for (int c = 0; c < columns; c++) {
                double X = grid.X(c);
                if (box.bounded && !(X >= box.minX && X <= box.maxX)) {
                    continue;
                }
                double Z = dem != nullptr ? ramImageGetValue(dem, c, r, 0) : 0.0;
                double sc = 0, sr = 0;
                if (!g.toImage(X, Y, Z, &sc, &sr) || !Geometry::inside(sc, sr, srcColumns, srcRows)) {
                    continue;
                }
                float *out = &row[static_cast<size_t>(c) * n];
                if (s.resamplemode == 0) {
                    sampler.at(std::min(roundToInt(sc), srcColumns - 1), std::min(roundToInt(sr), srcRows - 1), out);
                } else {
                    sampler.bilinear(sc, sr, srcColumns, srcRows, out);
                }
            }
        }
        writeFloatBIPData(des, r, 0, columns, n, nullptr, row.data());
        meter.row(r, rows);
    }
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
            if (k >= 2) {
                std::fill(sum.begin(), sum.end(), 0.0f);
                for (int j = 0; j < 9; j++) {
                    if (!(d[j] <= radius)) {
                        continue;
                    }
                    int column = c - 1 + j % 3, sourceRow = r - 1 + j / 3;
                    column = column < 0 ? 0 : column >= columns ? c : column;
                    sourceRow = sourceRow < 0 ? 0 : sourceRow >= rows ? r : sourceRow;
                    sampler.at(column, sourceRow, vector.data());
                    /* all at distance 0: an equal mix */
                    double weight = S > 0 ? (S - d[j]) / ((k - 1) * S) : 1.0 / k;
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
int runOperation(Tcl_Interp *interp, SensorOperation op, const Geometry &g, const char *const labels[4],
                 RamImage *src, RamImage *des, RamImage *dem)
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
