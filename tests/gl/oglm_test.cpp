/*
 * oglm_test.cpp --
 *
 *	What the oglm command does to a model's mesh, on small meshes built
 *	here: fitting, fan and corner normals, smoothing per vertex, by angle
 *	and by smoothing group, and reversing. Every expected value is worked
 *	out by hand in the comments.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "gl/oglm.h"

namespace {

using Points = std::vector<OglmVec3>;

/* A mesh of the given vertices and one group "g" of the given faces. */
OglmMesh meshOf(const Points &vertices, const std::vector<std::vector<int>> &faces)
{
    OglmMesh mesh;
    mesh.vertices = vertices;
    OglmGroup group;
    group.name = "g";
    for (const std::vector<int> &face : faces) {
        group.vertexIndex.insert(group.vertexIndex.end(), face.begin(), face.end());
        group.faceStart.push_back(static_cast<int>(group.vertexIndex.size()));
    }
    mesh.groups.push_back(group);
    return mesh;
}

/* got equals want within 1e-5 (NaN equals NaN). */
::testing::AssertionResult near(const Points &got, const Points &want)
{
    bool same = got.size() == want.size();
    for (size_t i = 0; same && i < want.size(); i++) {
        for (int a = 0; a < 3; a++) {
            same &= std::isnan(want[i][a]) ? std::isnan(got[i][a])
                                           : got[i][a] == want[i][a] || std::fabs(got[i][a] - want[i][a]) <= 1e-5;
        }
    }
    if (same) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    for (const OglmVec3 &p : got) {
        failure << "(" << p[0] << ", " << p[1] << ", " << p[2] << ") ";
    }
    return failure;
}

/* The normals of the first group's corners. */
Points cornerNormals(const OglmMesh &mesh)
{
    Points normals;
    for (int index : mesh.groups[0].normalIndex) {
        normals.push_back(mesh.normals.at(index));
    }
    return normals;
}

const float infinite = std::numeric_limits<float>::infinity(), notNumber = std::nanf("");
const float r3 = 1 / std::sqrt(3.0f), r6 = 1 / std::sqrt(6.0f);
const float s15 = std::sin(M_PI / 12), c15 = std::cos(M_PI / 12), c30 = std::cos(M_PI / 6);

/* A non-planar quad: triangle (0, 1, 2) has normal (0, 0, 1), triangle
 * (0, 2, 3) has (1, 1, 0) × (0, 1, 1) = (1, -1, 1). */
const OglmMesh bentQuad = meshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}}, {{0, 1, 2, 3}});

/* Two triangles on the edge (0,0,0)-(0,1,0): A = (2, 0, 1) in z = 0,
 * normal (0, 0, 1); B = (0, 3, 1) with vertex 3 at (cos 30°, 0, sin 30°),
 * normal (-sin 30°, 0, cos 30°): the faces meet at 30 degrees, and their
 * normals' sum points at 15 degrees, (-sin 15°, 0, cos 15°). */
const OglmMesh hinge = meshOf({{0, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {c30, 0, 0.5f}}, {{2, 0, 1}, {0, 3, 1}});
const OglmVec3 upA = {0, 0, 1}, upB = {-0.5f, 0, c30}, bisector = {-s15, 0, c15};

}  // namespace

TEST(OglmFit, TheLargestExtentDecidesTheScaleAroundTheBoxCentre)
{
    const Points box = {{0, 0, 0}, {4, 2, 1}, {1, 1, 1}};
    const Points cube = {{0, 0, 0}, {10, 10, 10}, {infinite, notNumber, 7.5f}};
    const Points cubeFitted = {{-1, -1, -1}, {1, 1, 1}, {infinite, notNumber, 0.5f}};
    struct {
        Points in;
        double zoom, unit; /* the fitted vertices are out times unit */
        Points out;
    } cases[] = {
        /* box 0..4 × 0..2 × 0..1: centre (2, 1, 0.5), scale 4 / (2 × 1) = 2 */
        {box, 1, 1, {{-1, -0.5f, -0.25f}, {1, 0.5f, 0.25f}, {-0.5f, 0, 0.25f}}},
        {box, -1, -1, {{-1, -0.5f, -0.25f}, {1, 0.5f, 0.25f}, {-0.5f, 0, 0.25f}}},
        /* coordinates that are not finite stay out of the box: centre 5, scale 5 */
        {cube, 1, 1, cubeFitted},
        /* zoom 0 becomes 1e-12 and -0 becomes -1e-12: no infinity, no NaN */
        {cube, 0.0, 1e-12, cubeFitted},
        {cube, -0.0, -1e-12, cubeFitted},
        /* vertices that all coincide are only centred */
        {{{3, -2, 7}, {3, -2, 7}}, 1, 1, {{0, 0, 0}, {0, 0, 0}}},
    };
    for (const auto &test : cases) {
        OglmMesh mesh = meshOf(test.in, {{0, 1, 1}});
        oglmFit(mesh, test.zoom);
        for (OglmVec3 &p : mesh.vertices) {
            for (float &value : p) {
                value /= test.unit;
            }
        }
        EXPECT_TRUE(near(mesh.vertices, test.out)) << "zoom " << test.zoom;
    }
}

TEST(OglmNormals, FanAndCornerNormalsByMode)
{
    const OglmMesh flatTriangle = meshOf({{0, 0, 0}, {0, 2, 0}, {0, 0, 3}}, {{0, 1, 2}});
    const OglmMesh degenerate = meshOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {{0, 1, 2}});
    struct {
        const OglmMesh &mesh;
        int mode;
        Points want;
    } cases[] = {
        /* fan: corners 0 and 1 take the first triangle, the last corner the last */
        {bentQuad, 1, {{0, 0, 1}, {0, 0, 1}, {r3, -r3, r3}, {r3, -r3, r3}}},
        /* mode 0 without normals in the file computes them as 1 */
        {bentQuad, 0, {{0, 0, 1}, {0, 0, 1}, {r3, -r3, r3}, {r3, -r3, r3}}},
        /* corner 0: (0,0,1) + (1,-1,1) + 0 = (1,-1,2); every corner sums to
         * the same vector area (worked corner by corner) */
        {bentQuad, 2, {{r6, -r6, 2 * r6}, {r6, -r6, 2 * r6}, {r6, -r6, 2 * r6}, {r6, -r6, 2 * r6}}},
        {flatTriangle, 2, {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}}},
        /* a degenerate face gets a zero normal, not NaN */
        {degenerate, 1, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    };
    for (const auto &test : cases) {
        OglmMesh mesh = test.mesh;
        oglmComputeNormals(mesh, test.mode);
        EXPECT_TRUE(near(cornerNormals(mesh), test.want)) << "mode " << test.mode;
        EXPECT_EQ(mesh.normals.size(), test.want.size()) << "every corner its own entry";
    }
    /* mode 0 keeps the normals there are; mode 3 drops them */
    OglmMesh mesh = bentQuad;
    mesh.normals = {{0, 1, 0}};
    mesh.groups[0].normalIndex = {0, 0, 0, 0};
    oglmComputeNormals(mesh, 0);
    EXPECT_TRUE(near(cornerNormals(mesh), {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}}));
    oglmComputeNormals(mesh, 3);
    EXPECT_TRUE(mesh.normals.empty());
    EXPECT_TRUE(mesh.groups[0].normalIndex.empty());
}

TEST(OglmSmooth, CornersShareNormalsByModeAngleAndSmoothingGroup)
{
    const Points kept = {upA, upA, upA, upB, upB, upB};
    const Points shared = {upA, bisector, bisector, bisector, upB, bisector};
    struct {
        int mode;
        double degrees;
        std::vector<int> smoothing; /* per face; empty when the file had none */
        Points want;
    } cases[] = {
        /* faces at 30 degrees share on the common edge at 60, not at 20;
         * smoothing groups decide when the file had them; mode 1 gives one
         * normal per vertex whatever the angle; other modes leave them */
        {2, 60, {}, shared},   {2, 20, {}, kept},  {2, 60, {1, 1}, shared}, {2, 60, {1, 2}, kept},
        {2, 60, {0, 0}, kept}, {1, 0, {}, shared}, {0, 60, {}, kept},       {7, 60, {}, kept},
    };
    for (const auto &test : cases) {
        OglmMesh mesh = hinge;
        mesh.hadSmoothing = !test.smoothing.empty();
        mesh.groups[0].smoothing = test.smoothing;
        oglmComputeNormals(mesh, 2);
        oglmSmooth(mesh, test.mode, test.degrees);
        EXPECT_TRUE(near(cornerNormals(mesh), test.want)) << "mode " << test.mode << " at " << test.degrees;
        if (test.mode == 1) {
            EXPECT_EQ(mesh.normals.size(), 4u);
            EXPECT_EQ(mesh.groups[0].normalIndex, mesh.groups[0].vertexIndex);
        }
    }
    /* a corner alone at its vertex is normalised, but not in smoothing group 0 */
    for (int smoothing : {-1, 0}) {
        OglmMesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
        mesh.normals = {{0, 0, 2}, {0, 3, 0}, {4, 0, 0}};
        mesh.groups[0].normalIndex = {0, 1, 2};
        if (smoothing == 0) {
            mesh.hadSmoothing = true;
            mesh.groups[0].smoothing = {0};
        }
        oglmSmooth(mesh, 2, 60);
        const float k = smoothing == 0;
        EXPECT_TRUE(near(cornerNormals(mesh), {{0, 0, 1 + k}, {0, 1 + 2 * k, 0}, {1 + 3 * k, 0, 0}})) << smoothing;
    }
}

TEST(OglmReverse, FacesRunBackwardsAndNormalsPointTheOtherWay)
{
    OglmMesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}});
    mesh.texcoords = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    mesh.groups[0].textureIndex = {3, 2, 1, 0, 1, 2};
    oglmComputeNormals(mesh, 1);
    oglmReverse(mesh);
    const OglmGroup &group = mesh.groups[0];
    EXPECT_EQ(group.vertexIndex, (std::vector<int>{2, 1, 0, 2, 3, 1}));
    EXPECT_EQ(group.textureIndex, (std::vector<int>{1, 2, 3, 2, 1, 0}));
    EXPECT_EQ(group.normalIndex, (std::vector<int>{2, 1, 0, 5, 4, 3}));
    const Points down(6, {0, 0, -1});
    EXPECT_TRUE(near(cornerNormals(mesh), down));
    /* recomputed after reversing, the normals agree with the negated ones */
    oglmComputeNormals(mesh, 1);
    EXPECT_TRUE(near(cornerNormals(mesh), down));
    /* a mesh without normals is left alone */
    OglmMesh bare = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    oglmReverse(bare);
    EXPECT_EQ(bare.groups[0].vertexIndex, (std::vector<int>{0, 1, 2}));
}
