/*
 * oglm.cpp --
 *
 *	The oglm command: polygon models read from OBJ files (oglmfile.cpp),
 *	kept in one process-wide table by name, fitted into a cube around the
 *	origin, given normals, smoothed, reversed, inspected and edited by
 *	group and material, drawn into the current OpenGL context in
 *	immediate mode and written back.
 */
#include "gl/oglm.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>
#include <sys/stat.h>
#include "gl/ogl.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/startup.h"
#include "runtime/subcmd.h"
#include "tesk_stdio.h"

namespace {

/* ---------------------------------------------------------------------
 * Small vector arithmetic
 * ------------------------------------------------------------------- */

/* (x, y, z) divided by the square root of x² + y² + z² + 1e-32. */
OglmVec3 unitVector(double x, double y, double z)
{
    const double length = std::sqrt(x * x + y * y + z * z + 1e-32);
    return {static_cast<float>(x / length), static_cast<float>(y / length), static_cast<float>(z / length)};
}

/* The unit normal of the triangle (p0, p1, p2): (p1 - p0) × (p2 - p0). */
OglmVec3 triangleNormal(const OglmVec3 &p0, const OglmVec3 &p1, const OglmVec3 &p2)
{
    const double ax = p1[0] - p0[0], ay = p1[1] - p0[1], az = p1[2] - p0[2];
    const double bx = p2[0] - p0[0], by = p2[1] - p0[1], bz = p2[2] - p0[2];
    return unitVector(ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx);
}

double dot(const OglmVec3 &a, const OglmVec3 &b)
{
    return double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2];
}

size_t cornerTotal(const OglmMesh &mesh)
{
    size_t total = 0;
    for (const OglmGroup &group : mesh.groups) {
        total += group.vertexIndex.size();
    }
    return total;
}

/* The group's material, or fallback when its index is out of the table. */
const OglmMaterial &groupMaterial(const OglmMesh &mesh, const OglmGroup &group, const OglmMaterial &fallback)
{
    return group.material >= 0 && group.material < static_cast<int>(mesh.materials.size())
               ? mesh.materials[group.material]
               : fallback;
}

/* Fits points into -zoom .. zoom along their largest extent, centred on
 * the origin. Coordinates that are not finite stay out of the box (an axis
 * without finite ones is centred on 0); points that all coincide are only
 * centred. */
void fitPoints(std::vector<OglmVec3> &points, double zoom)
{
    if (points.empty()) {
        return;
    }
    if (std::fabs(zoom) < 1e-12) {
        zoom = std::copysign(1e-12, zoom);
    }
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const OglmVec3 &p : points) {
        for (int a = 0; a < 3; a++) {
            if (std::isfinite(p[a])) {
                low[a] = std::min(low[a], double(p[a]));
                high[a] = std::max(high[a], double(p[a]));
            }
        }
    }
    double size = 0, centre[3];
    for (int a = 0; a < 3; a++) {
        const bool measured = low[a] <= high[a];
        size = measured ? std::max(size, high[a] - low[a]) : size;
        centre[a] = measured ? (low[a] + high[a]) / 2 : 0.0;
    }
    const double scale = size > 0 ? size / (2 * zoom) : 1.0;
    for (OglmVec3 &p : points) {
        for (int a = 0; a < 3; a++) {
            p[a] = static_cast<float>((p[a] - centre[a]) / scale);
        }
    }
}

/* ---------------------------------------------------------------------
 * Normals
 *
 * New normals are made apart from the mesh, in a NormalSet, and swapped
 * in only when whole: running out of memory half way leaves the mesh as
 * it was.
 * ------------------------------------------------------------------- */

struct NormalSet {
    std::vector<OglmVec3> normals;
    std::vector<std::vector<int>> indices; /* per group: one per corner, or empty */
};

/* Swaps set into the mesh (the mesh's old normals end in set). */
void installNormals(OglmMesh &mesh, NormalSet &set) noexcept
{
    mesh.normals.swap(set.normals);
    for (size_t g = 0; g < mesh.groups.size() && g < set.indices.size(); g++) {
        mesh.groups[g].normalIndex.swap(set.indices[g]);
    }
}

/* The normal indices of group g: pending's when given, else the mesh's. */
const std::vector<int> &normalIndices(const OglmMesh &mesh, const NormalSet *pending, size_t g)
{
    return pending != nullptr ? pending->indices[g] : mesh.groups[g].normalIndex;
}

/* The corner normals of one face of vertex indices v[0 .. n-1] by mode 1
 * (fan) or 2 (corner sums), appended to normals. A face of fewer than 3
 * corners (never kept by the reader) gets zero normals. */
void faceNormals(const std::vector<OglmVec3> &points, const int *v, int n, int mode, std::vector<OglmVec3> &normals)
{
    if (n < 3) {
        for (int k = 0; k < n; k++) {
            normals.push_back({0.0f, 0.0f, 0.0f});
        }
        return;
    }
    if (mode == 1 || n == 3) {
        const OglmVec3 first = triangleNormal(points[v[0]], points[v[1]], points[v[2]]);
        normals.push_back(first);
        normals.push_back(first);
        for (int k = 2; k <= n - 2; k++) {
            normals.push_back(triangleNormal(points[v[0]], points[v[k]], points[v[k + 1]]));
        }
        /* the last corner takes the last triangle's normal: (0, 1, 2) for
         * a triangle, (0, n-2, n-1) else */
        normals.push_back(normals.back());
        return;
    }
    for (int k = 0; k < n; k++) {
        const OglmVec3 &p = points[v[k]];
        double sx = 0, sy = 0, sz = 0;
        for (int j = 1; j < n; j++) {
            const OglmVec3 &q = points[v[(k + j) % n]];
            const OglmVec3 &r = points[v[(k + j + 1) % n]];
            const double ax = q[0] - p[0], ay = q[1] - p[1], az = q[2] - p[2];
            const double bx = r[0] - p[0], by = r[1] - p[1], bz = r[2] - p[2];
            sx += ay * bz - az * by;
            sy += az * bx - ax * bz;
            sz += ax * by - ay * bx;
        }
        normals.push_back(unitVector(sx, sy, sz));
    }
}

/* The normals of mode for the mesh's faces over points (the mesh's
 * vertices or a refitted copy of them) into set; false, with set left
 * alone, when mode 0 keeps the normals the mesh has. */
bool computeNormals(const OglmMesh &mesh, const std::vector<OglmVec3> &points, int mode, NormalSet &set)
{
    if (mode == 0 && !mesh.normals.empty()) {
        return false;
    }
    if (mode == 0) {
        mode = 1;
    }
    set.normals.clear();
    set.indices.assign(mesh.groups.size(), std::vector<int>());
    if (mode != 1 && mode != 2) {
        return true;
    }
    set.normals.reserve(cornerTotal(mesh));
    const int vertexCount = static_cast<int>(points.size());
    for (size_t g = 0; g < mesh.groups.size(); g++) {
        const OglmGroup &group = mesh.groups[g];
        std::vector<int> &indices = set.indices[g];
        indices.resize(group.vertexIndex.size());
        for (int face = 0; face < group.faceCount(); face++) {
            const int first = group.faceStart[face], n = group.faceStart[face + 1] - first;
            const int *v = group.vertexIndex.data() + first;
            const bool valid = std::all_of(v, v + n, [vertexCount](int i) { return i >= 0 && i < vertexCount; });
            const int base = static_cast<int>(set.normals.size());
            faceNormals(points, v, valid ? n : 0, mode, set.normals);
            if (!valid) {
                set.normals.resize(base + n, OglmVec3{0.0f, 0.0f, 0.0f});
            }
            for (int k = 0; k < n; k++) {
                indices[first + k] = base + k;
            }
        }
    }
    return true;
}

/* Every corner that has a normal, in group order, with what smoothing
 * asks of it. */
struct SmoothCorner {
    int vertex; /* vertex index, -1 when not a valid one */
    int group;  /* smoothing group; -1 for every face of a file without "s" lines */
    OglmVec3 normal;
};

/* The corners of the groups that have normals, their normals taken from
 * normals through the indices of pending (or the mesh's own). */
std::vector<SmoothCorner> smoothCorners(const OglmMesh &mesh, const std::vector<OglmVec3> &normals,
                                        const NormalSet *pending)
{
    std::vector<SmoothCorner> corners;
    corners.reserve(cornerTotal(mesh));
    const int vertexCount = static_cast<int>(mesh.vertices.size());
    const int normalCount = static_cast<int>(normals.size());
    for (size_t g = 0; g < mesh.groups.size(); g++) {
        const OglmGroup &group = mesh.groups[g];
        const std::vector<int> &indices = normalIndices(mesh, pending, g);
        if (indices.size() != group.vertexIndex.size()) {
            continue;
        }
        const bool grouped = mesh.hadSmoothing && static_cast<int>(group.smoothing.size()) == group.faceCount();
        for (int face = 0; face < group.faceCount(); face++) {
            const int smoothing = grouped ? group.smoothing[face] : -1;
            for (int c = group.faceStart[face]; c < group.faceStart[face + 1]; c++) {
                const int v = group.vertexIndex[c];
                const int n = indices[c];
                SmoothCorner corner;
                corner.vertex = v >= 0 && v < vertexCount ? v : -1;
                corner.group = smoothing;
                corner.normal = n >= 0 && n < normalCount ? normals[n] : OglmVec3{0.0f, 0.0f, 0.0f};
                corners.push_back(corner);
            }
        }
    }
    return corners;
}

/* Corner numbers sorted by vertex (a counting sort): the corners of
 * vertex v are order[start[v] .. start[v+1]-1]; corners without a valid
 * vertex are left out. */
void cornersByVertex(const std::vector<SmoothCorner> &corners, size_t vertexCount, std::vector<int> &start,
                     std::vector<int> &order)
{
    start.assign(vertexCount + 1, 0);
    for (const SmoothCorner &corner : corners) {
        if (corner.vertex >= 0) {
            start[corner.vertex + 1]++;
        }
    }
    for (size_t v = 0; v < vertexCount; v++) {
        start[v + 1] += start[v];
    }
    order.assign(start[vertexCount], 0);
    std::vector<int> next(start.begin(), start.end() - 1);
    for (size_t i = 0; i < corners.size(); i++) {
        if (corners[i].vertex >= 0) {
            order[next[corners[i].vertex]++] = static_cast<int>(i);
        }
    }
}

/* The bits of a normal, so that corners with bit-identical normals in one
 * smoothing group can be taken as one. */
struct NormalKey {
    int group;
    uint32_t bits[3];

    explicit NormalKey(const SmoothCorner &corner) : group(corner.group)
    {
        std::memcpy(bits, corner.normal.data(), sizeof bits);
    }
    bool operator<(const NormalKey &other) const
    {
        if (group != other.group) {
            return group < other.group;
        }
        return std::lexicographical_compare(bits, bits + 3, other.bits, other.bits + 3);
    }
    bool operator==(const NormalKey &other) const
    {
        return group == other.group && std::equal(bits, bits + 3, other.bits);
    }
};

/* Corners of one vertex that share a smoothing group and a normal:
 * order[begin .. end-1] after sorting by NormalKey. */
struct DistinctNormal {
    int group;
    OglmVec3 normal;
    int begin, end;
};

/* Mode-2 smoothing of the corners of one vertex, order[first .. last-1],
 * into smoothed. Corners with the same smoothing group and bit-identical
 * normals are taken once, weighted by their number, so a vertex with many
 * corners of few normals costs what those few cost. */
void smoothVertex(const std::vector<SmoothCorner> &corners, int *first, int *last, double limit,
                  std::vector<DistinctNormal> &distinct, std::vector<OglmVec3> &smoothed)
{
    std::sort(first, last, [&corners](int a, int b) { return NormalKey(corners[a]) < NormalKey(corners[b]); });
    distinct.clear();
    const int count = static_cast<int>(last - first);
    for (int i = 0; i < count;) {
        const NormalKey key(corners[first[i]]);
        int j = i + 1;
        while (j < count && NormalKey(corners[first[j]]) == key) {
            j++;
        }
        distinct.push_back({key.group, corners[first[i]].normal, i, j});
        i = j;
    }
    /* the distinct normals of one smoothing group are neighbours */
    for (size_t runStart = 0; runStart < distinct.size();) {
        size_t runEnd = runStart + 1;
        while (runEnd < distinct.size() && distinct[runEnd].group == distinct[runStart].group) {
            runEnd++;
        }
        if (distinct[runStart].group != 0) {
            for (size_t a = runStart; a < runEnd; a++) {
                const DistinctNormal &own = distinct[a];
                double sx = 0, sy = 0, sz = 0;
                for (size_t b = runStart; b < runEnd; b++) {
                    const DistinctNormal &other = distinct[b];
                    /* a normal always counts itself, whatever rounding does
                     * to its dot product with itself */
                    if (b == a || dot(other.normal, own.normal) >= limit) {
                        const double weight = other.end - other.begin;
                        sx += weight * other.normal[0];
                        sy += weight * other.normal[1];
                        sz += weight * other.normal[2];
                    }
                }
                const OglmVec3 result = unitVector(sx, sy, sz);
                for (int k = own.begin; k < own.end; k++) {
                    smoothed[first[k]] = result;
                }
            }
        }
        runStart = runEnd;
    }
}

/* The normals smoothed by smoothMode into set, from pending (normals just
 * computed) or, without it, from the mesh's own; false, with set left
 * alone, when there is nothing to smooth or the mode leaves the normals. */
bool smoothNormals(const OglmMesh &mesh, const NormalSet *pending, int smoothMode, double smoothness, NormalSet &set)
{
    const std::vector<OglmVec3> &normals = pending != nullptr ? pending->normals : mesh.normals;
    if (normals.empty() || (smoothMode != 1 && smoothMode != 2)) {
        return false;
    }
    const std::vector<SmoothCorner> corners = smoothCorners(mesh, normals, pending);
    NormalSet result;
    result.indices.resize(mesh.groups.size());
    if (smoothMode == 1) {
        /* one normal per vertex: the normalised sum over its corners */
        std::vector<double> sums(mesh.vertices.size() * 3, 0.0);
        for (const SmoothCorner &corner : corners) {
            if (corner.vertex >= 0) {
                for (int a = 0; a < 3; a++) {
                    sums[corner.vertex * 3 + a] += corner.normal[a];
                }
            }
        }
        result.normals.reserve(mesh.vertices.size());
        for (size_t v = 0; v < mesh.vertices.size(); v++) {
            result.normals.push_back(unitVector(sums[v * 3], sums[v * 3 + 1], sums[v * 3 + 2]));
        }
        for (size_t g = 0; g < mesh.groups.size(); g++) {
            const OglmGroup &group = mesh.groups[g];
            if (normalIndices(mesh, pending, g).size() == group.vertexIndex.size()) {
                result.indices[g] = group.vertexIndex;
            }
        }
    } else {
        /* each corner its own normal, smoothed among the corners of its
         * vertex that share its smoothing group and lie within the angle;
         * corners of smoothing group 0 keep theirs */
        const double limit = std::cos(smoothness * M_PI / 180.0);
        result.normals.resize(corners.size());
        for (size_t i = 0; i < corners.size(); i++) {
            result.normals[i] = corners[i].normal;
        }
        std::vector<int> start, order;
        cornersByVertex(corners, mesh.vertices.size(), start, order);
        std::vector<DistinctNormal> distinct;
        for (size_t v = 0; v < mesh.vertices.size(); v++) {
            smoothVertex(corners, order.data() + start[v], order.data() + start[v + 1], limit, distinct,
                         result.normals);
        }
        int next = 0;
        for (size_t g = 0; g < mesh.groups.size(); g++) {
            const OglmGroup &group = mesh.groups[g];
            if (normalIndices(mesh, pending, g).size() == group.vertexIndex.size()) {
                std::vector<int> &indices = result.indices[g];
                indices.resize(group.vertexIndex.size());
                for (int &index : indices) {
                    index = next++;
                }
            }
        }
    }
    std::swap(set, result);
    return true;
}

}  // namespace

/* ---------------------------------------------------------------------
 * Geometry
 * ------------------------------------------------------------------- */

void oglmFit(OglmMesh &mesh, double zoom)
{
    fitPoints(mesh.vertices, zoom);
}

void oglmComputeNormals(OglmMesh &mesh, int mode)
{
    NormalSet set;
    if (computeNormals(mesh, mesh.vertices, mode, set)) {
        installNormals(mesh, set);
    }
}

void oglmSmooth(OglmMesh &mesh, int smoothMode, double smoothness)
{
    NormalSet set;
    if (smoothNormals(mesh, nullptr, smoothMode, smoothness, set)) {
        installNormals(mesh, set);
    }
}

/* Reverses in place: it allocates nothing, so it cannot stop half way. */
void oglmReverse(OglmMesh &mesh)
{
    if (mesh.normals.empty()) {
        return;
    }
    for (OglmGroup &group : mesh.groups) {
        for (int face = 0; face < group.faceCount(); face++) {
            const int first = group.faceStart[face], last = group.faceStart[face + 1];
            for (std::vector<int> *indices : {&group.vertexIndex, &group.textureIndex, &group.normalIndex}) {
                if (static_cast<int>(indices->size()) >= last) {
                    std::reverse(indices->begin() + first, indices->begin() + last);
                }
            }
        }
    }
    for (OglmVec3 &normal : mesh.normals) {
        normal = {-normal[0], -normal[1], -normal[2]};
    }
}

void oglmDraw(const OglmMesh &mesh)
{
    if (mesh.vertices.empty()) {
        return;
    }
    const OglmMaterial fallback = oglmDefaultMaterial();
    const int vertexCount = static_cast<int>(mesh.vertices.size());
    const int normalCount = static_cast<int>(mesh.normals.size());
    const int textureCount = static_cast<int>(mesh.texcoords.size());
    glDisable(GL_COLOR_MATERIAL);
    for (auto group = mesh.groups.rbegin(); group != mesh.groups.rend(); ++group) {
        const OglmMaterial &material = groupMaterial(mesh, *group, fallback);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material.ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material.diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material.specular);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, material.emission);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, static_cast<GLfloat>(material.shininess * 0.001 * 128));
        const bool normals = group->normalIndex.size() == group->vertexIndex.size();
        const bool textures = group->textureIndex.size() == group->vertexIndex.size();
        for (int face = 0; face < group->faceCount(); face++) {
            glBegin(GL_TRIANGLE_FAN);
            for (int c = group->faceStart[face]; c < group->faceStart[face + 1]; c++) {
                const int v = group->vertexIndex[c];
                if (v < 0 || v >= vertexCount) {
                    continue;
                }
                if (normals && group->normalIndex[c] >= 0 && group->normalIndex[c] < normalCount) {
                    glNormal3fv(mesh.normals[group->normalIndex[c]].data());
                }
                if (textures && group->textureIndex[c] >= 0 && group->textureIndex[c] < textureCount) {
                    glTexCoord2fv(mesh.texcoords[group->textureIndex[c]].data());
                }
                glVertex3fv(mesh.vertices[v].data());
            }
            glEnd();
        }
    }
}

/* ---------------------------------------------------------------------
 * The command
 * ------------------------------------------------------------------- */

namespace {

/* The process-wide model table (name -> OglmModel made with new), made
 * by the first Glm_Init and emptied by the exit handler. */
Tcl_HashTable *modelTable = nullptr;

#define OGLM_OPT(field) static_cast<int>(offsetof(OglmOptions, field))

Tk_ConfigSpec oglmConfigSpecs[] = {
    {TK_CONFIG_UID, "-file", "file", "File", "", OGLM_OPT(file), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-reverse", "reverse", "Reverse", "0", OGLM_OPT(reverse), 0, nullptr},
    {TK_CONFIG_INT, "-normal", "normal", "Normal", "2", OGLM_OPT(normal), 0, nullptr},
    {TK_CONFIG_INT, "-smoothmode", "smoothmode", "Smoothmode", "2", OGLM_OPT(smoothMode), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-smoothness", "smoothness", "Smoothness", "60", OGLM_OPT(smoothness), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-zoom", "zoom", "Zoom", "1.0", OGLM_OPT(zoom), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef OGLM_OPT

/* The largest -zoom magnitude taken: beyond it the fitted coordinates
 * leave the float range. */
constexpr double kMostZoom = 1e30;

/* The model called name, or nullptr. */
OglmModel *findModel(const char *name)
{
    if (modelTable == nullptr) {
        return nullptr;
    }
    Tcl_HashEntry *entry = Tcl_FindHashEntry(modelTable, name);
    return entry != nullptr ? static_cast<OglmModel *>(Tcl_GetHashValue(entry)) : nullptr;
}

void oglmExitHandler(ClientData)
{
    if (modelTable == nullptr) {
        return;
    }
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(modelTable, &search); entry != nullptr;
         entry = Tcl_NextHashEntry(&search)) {
        delete static_cast<OglmModel *>(Tcl_GetHashValue(entry));
    }
    Tcl_DeleteHashTable(modelTable);
    delete modelTable;
    modelTable = nullptr;
}

/* The name a loaded file is kept under: its resolved path, so that it
 * still names the same file after the working directory changes, or the
 * name itself when it cannot be resolved. */
std::string loadedName(const char *name)
{
    char *resolved = realpath(name, nullptr);
    std::string kept = resolved != nullptr ? resolved : name;
    free(resolved);
    return kept;
}

/* true when name is the file loaded (kept as loadedName made it): the
 * same device and inode, or, when either cannot be resolved, the same
 * name. */
bool sameFile(const std::string &loaded, const char *name)
{
    if (loaded.empty()) {
        return false;
    }
    struct stat a, b;
    if (stat(loaded.c_str(), &a) == 0 && stat(name, &b) == 0) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }
    return loaded == name;
}

/* true when one of the option words (at even places) names -file; Tk
 * takes any prefix of at least "-f" for it. */
bool fileGiven(int objc, Tcl_Obj *const objv[])
{
    for (int i = 0; i < objc; i += 2) {
        const char *word = Tcl_GetString(objv[i]);
        const size_t length = strlen(word);
        if (length >= 2 && length <= 5 && strncmp(word, "-file", length) == 0) {
            return true;
        }
    }
    return false;
}

/* ---- messages ---- */

int syntaxError(Tcl_Interp *interp)
{
    return oglFail(interp, "Error in oglm command syntax.");
}

int missingModel(Tcl_Interp *interp)
{
    return oglFail(interp, "Non-existing oglm object.");
}

int resultError(Tcl_Interp *interp, const char *message, const char *more = nullptr)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, message, more, nullptr);
    return TCL_ERROR;
}

/* The error of an option word the table refuses or a value the model
 * cannot use. */
int configureError(Tcl_Interp *interp)
{
    return resultError(interp, "Error in oglm configure.\n");
}

/* An integer word of a subcommand; false (a syntax error) for another. */
bool intWord(Tcl_Interp *interp, Tcl_Obj *word, int *value)
{
    if (Tcl_GetIntFromObj(nullptr, word, value) != TCL_OK) {
        syntaxError(interp);
        return false;
    }
    return true;
}

/*
 * loadModel --
 *	Reads file into a new mesh, fitted, given normals, smoothed and
 *	reversed as options say, and makes it the model's data. false, with
 *	the model's data untouched, when the file cannot be read or memory
 *	runs out.
 */
bool loadModel(OglmModel *model, const char *file, const OglmOptions &options)
{
    try {
        OglmMesh loaded;
        if (!oglmReadObj(file, loaded)) {
            return false;
        }
        loaded.fileName = loadedName(file);
        oglmFit(loaded, options.zoom);
        oglmComputeNormals(loaded, options.normal);
        oglmSmooth(loaded, options.smoothMode, options.smoothness);
        if (options.reverse) {
            oglmReverse(loaded);
        }
        model->mesh = std::move(loaded);
        return true;
    } catch (const std::exception &) {
        tesk_fprintf(stderr, "Error in load obj: not enough memory for %s\n", file);
        return false;
    }
}

/*
 * changeModel --
 *	Acts on the option changes from old to options on a model with
 *	vertices: a -zoom change fits again, a -normal, -smoothmode or
 *	-smoothness change recomputes the normals and smooths, a -reverse
 *	change reverses. What can fail (memory) is made apart and swapped in
 *	at the end, so a std::bad_alloc thrown here leaves the model as it was.
 */
void changeModel(OglmMesh &mesh, const OglmOptions &old, const OglmOptions &options)
{
    const bool refit = options.zoom != old.zoom;
    const bool renormal =
        options.normal != old.normal || options.smoothMode != old.smoothMode || options.smoothness != old.smoothness;
    std::vector<OglmVec3> fitted;
    if (refit) {
        fitted = mesh.vertices;
        fitPoints(fitted, options.zoom);
    }
    NormalSet computed, smoothed;
    bool haveComputed = false, haveSmoothed = false;
    if (renormal) {
        haveComputed = computeNormals(mesh, refit ? fitted : mesh.vertices, options.normal, computed);
        haveSmoothed =
            smoothNormals(mesh, haveComputed ? &computed : nullptr, options.smoothMode, options.smoothness, smoothed);
    }
    /* nothing below allocates */
    if (refit) {
        mesh.vertices.swap(fitted);
    }
    if (haveSmoothed) {
        installNormals(mesh, smoothed);
    } else if (haveComputed) {
        installNormals(mesh, computed);
    }
    if ((options.reverse != 0) != (old.reverse != 0)) {
        oglmReverse(mesh);
    }
}

/*
 * oglmConfigure --
 *	Applies option words to a copy of the model's options, then acts on
 *	what changed: a -file given that names another file than the one
 *	loaded (at create, any -file) is read into a new mesh that replaces
 *	the model's data; otherwise a model with vertices takes the changes
 *	(changeModel). On failure the model keeps its data and options; the
 *	message is in the result. A std::bad_alloc of a change other than a
 *	load reaches the caller, the model untouched.
 */
int oglmConfigure(Tcl_Interp *interp, OglmModel *model, int objc, Tcl_Obj *const objv[], int flags)
{
    Tk_Window mainWindow = teskMainWindowOf(interp);
    if (mainWindow == nullptr) {
        return configureError(interp);
    }
    OglmOptions options = model->options;
    if (teskConfigureWidget(interp, mainWindow, oglmConfigSpecs, objc, oglOptionWords(objv),
                           reinterpret_cast<char *>(&options), flags | TK_CONFIG_OBJS) != TCL_OK ||
        !std::isfinite(options.zoom) || std::fabs(options.zoom) > kMostZoom || !std::isfinite(options.smoothness)) {
        return configureError(interp);
    }
    const char *file = options.file != nullptr ? options.file : "";
    OglmMesh &mesh = model->mesh;
    const bool creating = (flags & TK_CONFIG_ARGV_ONLY) == 0;
    if (*file != '\0' && (creating || fileGiven(objc, objv)) && !sameFile(mesh.fileName, file)) {
        if (!loadModel(model, file, options)) {
            return resultError(interp, "Error in load obj.\n");
        }
    } else if (!mesh.vertices.empty()) {
        changeModel(mesh, model->options, options);
    }
    model->options = options;
    return TCL_OK;
}

/* ---- info ---- */

/* One Tcl list element as it is written inside a list. */
std::string listElement(const std::string &text)
{
    const char *argv[] = {text.c_str()};
    char *merged = Tcl_Merge(1, argv);
    std::string element = merged;
    Tcl_Free(merged);
    return element;
}

std::string formatFloats(const float *values, int count)
{
    std::string text;
    char number[TCL_DOUBLE_SPACE + 320];
    for (int i = 0; i < count; i++) {
        snprintf(number, sizeof number, i == 0 ? "%f" : " %f", values[i]);
        text += number;
    }
    return text;
}

/* The faces of a group as lists of one-based indices of one kind ("" for
 * a kind the group does not have). */
std::string faceLists(const OglmGroup &group, const std::vector<int> &indices)
{
    std::string text;
    if (indices.size() != group.vertexIndex.size()) {
        return text;
    }
    for (int face = 0; face < group.faceCount(); face++) {
        text += face == 0 ? "{" : " {";
        for (int c = group.faceStart[face]; c < group.faceStart[face + 1]; c++) {
            if (c > group.faceStart[face]) {
                text += ' ';
            }
            text += std::to_string(indices[c] + 1);
        }
        text += '}';
    }
    return text;
}

/* A material as its name, shininess, diffuse, specular, ambient and
 * emission. */
std::string materialList(const OglmMaterial &material)
{
    return listElement(material.name) + " " + formatFloats(&material.shininess, 1) + " {" +
           formatFloats(material.diffuse, 4) + "} {" + formatFloats(material.specular, 4) + "} {" +
           formatFloats(material.ambient, 4) + "} {" + formatFloats(material.emission, 4) + "}";
}

std::string modelSummary(const OglmMesh &mesh)
{
    if (mesh.vertices.empty()) {
        return "{}";
    }
    const OglmMaterial fallback = oglmDefaultMaterial();
    std::string text = "{";
    bool first = true;
    for (auto group = mesh.groups.rbegin(); group != mesh.groups.rend(); ++group) {
        if (group->faceCount() == 0) {
            continue;
        }
        text += first ? "{" : " {";
        text += listElement(group->name) + " " + listElement(groupMaterial(mesh, *group, fallback).name) + " " +
                std::to_string(group->faceCount()) + "}";
        first = false;
    }
    text += "}";
    if (!mesh.materials.empty()) {
        text += " {";
        for (size_t i = 0; i < mesh.materials.size(); i++) {
            text += (i == 0 ? "" : " ") + listElement(mesh.materials[i].name);
        }
        text += "}";
    }
    text += " {v3 " + std::to_string(mesh.vertices.size()) + "}";
    if (!mesh.texcoords.empty()) {
        text += " {t3 " + std::to_string(mesh.texcoords.size()) + "}";
    }
    if (!mesh.normals.empty()) {
        text += " {n3 " + std::to_string(mesh.normals.size()) + "}";
    }
    return text;
}

/* The group called name, the first in list order (newest first), or
 * nullptr. */
const OglmGroup *findGroup(const OglmMesh &mesh, const char *name)
{
    for (auto group = mesh.groups.rbegin(); group != mesh.groups.rend(); ++group) {
        if (group->name == name) {
            return &*group;
        }
    }
    return nullptr;
}

int infoCmd(Tcl_Interp *interp, OglmModel *, int objc, Tcl_Obj *const objv[])
{
    if (objc > 5) {
        return TCL_ERROR;
    }
    if (objc == 2) {
        Tcl_Obj *names = Tcl_NewListObj(0, nullptr);
        if (modelTable != nullptr) {
            Tcl_HashSearch search;
            for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(modelTable, &search); entry != nullptr;
                 entry = Tcl_NextHashEntry(&search)) {
                Tcl_ListObjAppendElement(
                    nullptr, names, Tcl_NewStringObj(static_cast<const char *>(Tcl_GetHashKey(modelTable, entry)), -1));
            }
        }
        Tcl_SetObjResult(interp, names);
        return TCL_OK;
    }
    const char *id = Tcl_GetString(objv[2]);
    OglmModel *model = findModel(id);
    if (model == nullptr) {
        return resultError(interp, "can't find ", id);
    }
    const OglmMesh &mesh = model->mesh;
    if (objc == 3) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(modelSummary(mesh).c_str(), -1));
        return TCL_OK;
    }
    const char *name = Tcl_GetString(objv[3]);
    const OglmGroup *group = findGroup(mesh, name);
    if (group == nullptr) {
        Tcl_AppendResult(interp, "can't find component: ", name, "\n", nullptr);
        return TCL_ERROR;
    }
    const OglmMaterial fallback = oglmDefaultMaterial();
    const OglmMaterial &material = groupMaterial(mesh, *group, fallback);
    std::string text;
    if (objc == 4) {
        text = "{" + faceLists(*group, group->vertexIndex) + "} {" + faceLists(*group, group->normalIndex) + "} {" +
               faceLists(*group, group->textureIndex) + "} {" + materialList(material) + "}";
    } else {
        const char *what = Tcl_GetString(objv[4]);
        if (strcmp(what, "vertex") == 0) {
            text = faceLists(*group, group->vertexIndex);
        } else if (strcmp(what, "normal") == 0) {
            text = faceLists(*group, group->normalIndex);
        } else if (strcmp(what, "texture") == 0) {
            text = faceLists(*group, group->textureIndex);
        } else if (strcmp(what, "material") == 0) {
            text = materialList(material);
        } else {
            return resultError(interp, "unknown oglm info option.\n");
        }
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
    return TCL_OK;
}

/* ---- material ---- */

/* The material attributes of `material set`, by the word's beginning. */
struct MaterialAttribute {
    const char *name;
    size_t offset; /* of the values in OglmMaterial */
    int count;     /* 4, or 1 for the shininess */
};

const MaterialAttribute kMaterialAttributes[] = {
    {"diffuse", offsetof(OglmMaterial, diffuse), 4},     {"specular", offsetof(OglmMaterial, specular), 4},
    {"ambient", offsetof(OglmMaterial, ambient), 4},     {"emission", offsetof(OglmMaterial, emission), 4},
    {"shininess", offsetof(OglmMaterial, shininess), 1},
};

/* Applies one attribute word to material, or appends the attribute's
 * values to the result when the word holds nothing after the name;
 * false for a word of no attribute. */
bool setMaterialAttribute(Tcl_Interp *interp, OglmMaterial &material, const char *word)
{
    for (const MaterialAttribute &attribute : kMaterialAttributes) {
        const size_t length = strlen(attribute.name);
        if (strncmp(word, attribute.name, length) != 0) {
            continue;
        }
        float *values = reinterpret_cast<float *>(reinterpret_cast<char *>(&material) + attribute.offset);
        const char *rest = word + length;
        if (rest[strspn(rest, " \t\r\n")] == '\0') {
            Tcl_AppendElement(interp, formatFloats(values, attribute.count).c_str());
            return true;
        }
        cScanNumbers(rest, values, attribute.count);  // the values not given keep theirs
        return true;
    }
    return false;
}

int materialCmd(Tcl_Interp *interp, OglmModel *, int objc, Tcl_Obj *const objv[])
{
    static const char usage[] = "Usage: oglm material objName set|bind|alloc mtlName ?options?\n";
    if (objc < 3) {
        return resultError(interp, usage);
    }
    const char *id = Tcl_GetString(objv[2]);
    OglmModel *model = findModel(id);
    if (model == nullptr) {
        return resultError(interp, "can't find ", id);
    }
    OglmMesh &mesh = model->mesh;
    if (objc == 3) {
        if (mesh.materials.empty()) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("{}", -1));
            return TCL_OK;
        }
        Tcl_Obj *names = Tcl_NewListObj(0, nullptr);
        for (const OglmMaterial &material : mesh.materials) {
            Tcl_ListObjAppendElement(nullptr, names, Tcl_NewStringObj(material.name.c_str(), -1));
        }
        Tcl_SetObjResult(interp, names);
        return TCL_OK;
    }
    const char *verb = Tcl_GetString(objv[3]);
    if (strcmp(verb, "alloc") == 0) {
        /* in list order, newest group first, as info and draw go */
        OglmMaterialIndex byName = oglmIndexMaterials(mesh);
        for (auto group = mesh.groups.rbegin(); group != mesh.groups.rend(); ++group) {
            if (group->faceCount() > 0 && group->material == 0) {
                group->material = oglmFindIndexed(mesh, byName, group->name);
            }
        }
        return TCL_OK;
    }
    const bool set = strcmp(verb, "set") == 0, bind = strcmp(verb, "bind") == 0;
    if (!set && !bind) {
        return resultError(interp, "Syntax error.");
    }
    if (objc < 5) {
        return resultError(interp, usage);
    }
    const char *name = Tcl_GetString(objv[4]);
    if (set) {
        const int index = oglmFindMaterial(mesh, name);
        for (int i = 5; i < objc; i++) {
            if (!setMaterialAttribute(interp, mesh.materials[index], Tcl_GetString(objv[i]))) {
                return resultError(interp, "Unknown material attribute.");
            }
        }
        return TCL_OK;
    }
    /* bind: every named group must exist before anything changes; the
     * first group of a name in list order takes it */
    std::unordered_map<std::string, OglmGroup *> groupByName;
    for (auto group = mesh.groups.rbegin(); group != mesh.groups.rend(); ++group) {
        groupByName.emplace(group->name, &*group);
    }
    std::vector<OglmGroup *> groups;
    for (int i = objc > 5 ? 5 : 4; i < objc; i++) {
        const char *groupName = Tcl_GetString(objv[i]);
        auto found = groupByName.find(groupName);
        if (found == groupByName.end()) {
            return resultError(interp, "Unknown component: ", groupName);
        }
        groups.push_back(found->second);
    }
    const int index = oglmFindMaterial(mesh, name);
    for (OglmGroup *group : groups) {
        group->material = index;
    }
    return TCL_OK;
}

/* ---- the subcommands ---- */

int createCmd(Tcl_Interp *interp, OglmModel *, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        return resultError(interp, "Usage: oglm create id ?options?\n");
    }
    const char *id = Tcl_GetString(objv[2]);
    if (findModel(id) != nullptr) {
        return resultError(interp, "oglm object already exists");
    }
    OglmModel *model = new (std::nothrow) OglmModel();
    if (model == nullptr || modelTable == nullptr) {
        delete model;
        return resultError(interp, "Error in oglm alloc.");
    }
    int code;
    try {
        code = oglmConfigure(interp, model, objc - 3, objv + 3, 0);
    } catch (const std::exception &) {
        code = resultError(interp, "Error in oglm alloc.");
    }
    if (code != TCL_OK) {
        delete model;
        return TCL_ERROR;
    }
    int isNew = 0;
    Tcl_SetHashValue(Tcl_CreateHashEntry(modelTable, id, &isNew), model);
    Tcl_SetObjResult(interp, objv[2]);
    return TCL_OK;
}

int cgetCmd(Tcl_Interp *interp, OglmModel *model, int, Tcl_Obj *const objv[])
{
    Tk_Window mainWindow = teskMainWindowOf(interp);
    if (mainWindow == nullptr) {
        return configureError(interp);
    }
    return Tk_ConfigureValue(interp, mainWindow, oglmConfigSpecs, reinterpret_cast<char *>(&model->options),
                             Tcl_GetString(objv[3]), 0);
}

int configureCmd(Tcl_Interp *interp, OglmModel *model, int objc, Tcl_Obj *const objv[])
{
    if (objc > 4) {
        return oglmConfigure(interp, model, objc - 3, objv + 3, TK_CONFIG_ARGV_ONLY);
    }
    Tk_Window mainWindow = teskMainWindowOf(interp);
    if (mainWindow == nullptr) {
        return configureError(interp);
    }
    return Tk_ConfigureInfo(interp, mainWindow, oglmConfigSpecs, reinterpret_cast<char *>(&model->options),
                            objc == 4 ? Tcl_GetString(objv[3]) : nullptr, 0);
}

int deleteCmd(Tcl_Interp *, OglmModel *, int, Tcl_Obj *const objv[])
{
    Tcl_HashEntry *entry = modelTable != nullptr ? Tcl_FindHashEntry(modelTable, Tcl_GetString(objv[2])) : nullptr;
    if (entry != nullptr) {
        delete static_cast<OglmModel *>(Tcl_GetHashValue(entry));
        Tcl_DeleteHashEntry(entry);
    }
    return TCL_OK;
}

int drawCmd(Tcl_Interp *, OglmModel *model, int, Tcl_Obj *const[])
{
    oglmDraw(model->mesh);
    return TCL_OK;
}

/* Recomputes the normals by the mode; it does not smooth them. */
int normalCmd(Tcl_Interp *interp, OglmModel *model, int objc, Tcl_Obj *const objv[])
{
    int mode = 1;
    if (objc == 4 && !intWord(interp, objv[3], &mode)) {
        return TCL_ERROR;
    }
    mode = mode >= 0 && mode <= 2 ? mode : 0;
    oglmComputeNormals(model->mesh, mode);
    model->options.normal = mode;
    return TCL_OK;
}

int reverseCmd(Tcl_Interp *, OglmModel *model, int, Tcl_Obj *const[])
{
    model->options.reverse = !model->options.reverse;
    oglmReverse(model->mesh);
    return TCL_OK;
}

int smoothCmd(Tcl_Interp *interp, OglmModel *model, int objc, Tcl_Obj *const objv[])
{
    int mode = 2;
    double smoothness = model->options.smoothness;
    if (objc >= 4 && !intWord(interp, objv[3], &mode)) {
        return TCL_ERROR;
    }
    if (objc == 5 && (cGetDoubleFromObj(nullptr, objv[4], &smoothness) != TCL_OK || !std::isfinite(smoothness))) {
        return syntaxError(interp);
    }
    mode = mode >= 0 && mode <= 2 ? mode : 0;
    oglmSmooth(model->mesh, mode, smoothness);
    model->options.smoothMode = mode;
    model->options.smoothness = smoothness;
    return TCL_OK;
}

int saveCmd(Tcl_Interp *interp, OglmModel *model, int objc, Tcl_Obj *const objv[])
{
    int flags = 0;
    if (objc == 5 && !intWord(interp, objv[4], &flags)) {
        return TCL_ERROR;
    }
    if (!oglmWrite(model->mesh, Tcl_GetString(objv[3]), flags)) {
        return resultError(interp, "Error in save.");
    }
    return TCL_OK;
}

/* One subcommand: its name, the letters a word needs at least, the word
 * counts it takes (the command's name counted; create, info and material
 * check their own), whether objv[2] must name a model, and its procedure
 * (given that model, else nullptr). */
struct OglmSubcommand {
    const char *name;
    int minLength;
    int leastWords, mostWords;
    bool onModel;
    int (*proc)(Tcl_Interp *interp, OglmModel *model, int objc, Tcl_Obj *const objv[]);
};

constexpr OglmSubcommand kOglmSubcommands[] = {
    {"create", 3, 0, INT_MAX, false, createCmd},
    {"cget", 3, 4, 4, true, cgetCmd},
    {"configure", 3, 3, INT_MAX, true, configureCmd},
    {"delete", 3, 3, 3, false, deleteCmd},
    {"draw", 3, 3, 3, true, drawCmd},
    {"info", 3, 0, INT_MAX, false, infoCmd},
    {"material", 4, 0, INT_MAX, false, materialCmd},
    {"normal", 3, 3, 4, true, normalCmd},
    {"reverse", 3, 3, 3, true, reverseCmd},
    {"smooth", 3, 3, 5, true, smoothCmd},
    {"save", 3, 4, 5, true, saveCmd},
};

int oglmCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: ", Tcl_GetString(objv[0]),
                         " create|cget|config|delete|draw|info|material|normal|reverse|smooth|save ?options?\n",
                         nullptr);
        return TCL_OK;
    }
    const int which = findSubcommand(kOglmSubcommands, Tcl_GetString(objv[1]));
    if (which < 0) {
        return oglFail(interp, "Unknown oglm command.");
    }
    const OglmSubcommand &row = kOglmSubcommands[which];
    if (objc < row.leastWords || objc > row.mostWords) {
        return syntaxError(interp);
    }
    OglmModel *model = nullptr;
    if (row.onModel && (model = findModel(Tcl_GetString(objv[2]))) == nullptr) {
        return missingModel(interp);
    }
    Tcl_ResetResult(interp);
    /* no exception leaves the command; what throws leaves the model as it was */
    try {
        return row.proc(interp, model, objc, objv);
    } catch (const std::exception &) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Error in oglm ", row.name, ": not enough memory.", nullptr);
        return TCL_ERROR;
    }
}

}  // namespace

int Glm_Init(Tcl_Interp *interp)
{
    if (modelTable == nullptr) {
        modelTable = new (std::nothrow) Tcl_HashTable;
        if (modelTable == nullptr) {
            return 1;
        }
        Tcl_InitHashTable(modelTable, TCL_STRING_KEYS);
        Tcl_CreateExitHandler(oglmExitHandler, nullptr);
    }
    return Tcl_CreateObjCommand(interp, "oglm", oglmCmd, modelTable, nullptr) != nullptr ? 0 : 1;
}
