/*
 * oglm_test.cpp --
 *
 *	What the oglm command does to a model's mesh, on small meshes built
 *	here: fitting into the cube around the origin, fan and corner normals,
 *	smoothing per vertex and by angle and smoothing group, and reversing;
 *	and, with operator new made to fail on demand, that running out of
 *	memory leaves the mesh and the command's models as they were.
 *	Every expected value is worked out by hand in the comments.
 */
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <dlfcn.h>

#include "gl/ogl.h"
#include "gl/oglm.h"
#include "support/test_interp.h"

/* Allocation failure on demand: while failAfter is 0 or more, the next
 * operator new on this thread once failAfter more have succeeded throws
 * std::bad_alloc (the nothrow form answers nullptr), once. Allocation
 * itself is left to the operator new these replace (found with dlsym), so
 * that every delete still matches its new. */
static thread_local long failAfter = -1;

static void *allocate(std::size_t size)
{
    static std::atomic<void *(*)(std::size_t)> next{nullptr};
    if (failAfter == 0) {
        failAfter = -1;
        throw std::bad_alloc();
    }
    if (failAfter > 0) {
        failAfter--;
    }
    if (next.load() == nullptr) {
        next.store(reinterpret_cast<void *(*)(std::size_t)>(dlsym(RTLD_NEXT, "_Znwm")));
    }
    return next.load()(size);
}

void *operator new(std::size_t size)
{
    return allocate(size);
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

namespace {

/* A mesh of the given vertices and one group "g" of the given faces. */
OglmMesh meshOf(std::initializer_list<OglmVec3> vertices, std::initializer_list<std::vector<int>> faces)
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

/* The normal of corner c of the first group. */
OglmVec3 cornerNormal(const OglmMesh &mesh, int c)
{
    return mesh.normals.at(mesh.groups[0].normalIndex.at(c));
}

::testing::AssertionResult near(const OglmVec3 &got, double x, double y, double z)
{
    if (std::fabs(got[0] - x) < 1e-5 && std::fabs(got[1] - y) < 1e-5 && std::fabs(got[2] - z) < 1e-5) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "(" << got[0] << ", " << got[1] << ", " << got[2] << ") is not (" << x
                                         << ", " << y << ", " << z << ")";
}

/* The corners of a 10-unit cube at (5, 5, 5), its six faces outward. */
OglmMesh cube()
{
    return meshOf({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 10}, {10, 0, 10}, {10, 10, 10}, {0, 10, 10}},
                  {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}});
}

/* A non-planar quad: triangle (0, 1, 2) has normal (0, 0, 1), triangle
 * (0, 2, 3) has (1, 1, 0) × (0, 1, 1) = (1, -1, 1). */
OglmMesh bentQuad()
{
    return meshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}}, {{0, 1, 2, 3}});
}

/* Two triangles on the edge (0,0,0)-(0,1,0): A = (2, 0, 1) in the plane
 * z = 0, normal (0, 0, 1); B = (0, 3, 1) with vertex 3 at (cos 30°, 0,
 * sin 30°), normal (c, 0, s) × (0, 1, 0) = (-sin 30°, 0, cos 30°): the
 * faces meet at 30 degrees. */
OglmMesh hinge()
{
    const float c = static_cast<float>(std::cos(M_PI / 6)), s = 0.5f;
    return meshOf({{0, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {c, 0, s}}, {{2, 0, 1}, {0, 3, 1}});
}

}  // namespace

TEST(OglmFit, ACubeOfSideTenAtFiveSpansMinusZoomToZoom)
{
    for (double zoom : {1.0, 2.0}) {
        OglmMesh mesh = cube();
        oglmFit(mesh, zoom);
        for (const OglmVec3 &p : mesh.vertices) {
            for (float value : p) {
                EXPECT_FLOAT_EQ(std::fabs(value), zoom);
            }
        }
        EXPECT_TRUE(near(mesh.vertices[6], zoom, zoom, zoom));
    }
}

TEST(OglmFit, TheLargestExtentDecidesTheScaleAndTheBoxIsCentred)
{
    /* box 0..4 × 0..2 × 0..1: centre (2, 1, 0.5), scale 4 / (2 × 1) = 2 */
    OglmMesh mesh = meshOf({{0, 0, 0}, {4, 2, 1}, {1, 1, 1}}, {{0, 1, 2}});
    oglmFit(mesh, 1.0);
    EXPECT_TRUE(near(mesh.vertices[0], -1, -0.5, -0.25));
    EXPECT_TRUE(near(mesh.vertices[1], 1, 0.5, 0.25));
    EXPECT_TRUE(near(mesh.vertices[2], -0.5, 0, 0.25));
    /* a negative zoom mirrors through the centre */
    oglmFit(mesh, -1.0);
    EXPECT_TRUE(near(mesh.vertices[1], -1, -0.5, -0.25));
}

TEST(OglmFit, CoincidentVerticesAreOnlyCentredAndATinyZoomKeepsItsSign)
{
    OglmMesh same = meshOf({{3, -2, 7}, {3, -2, 7}, {3, -2, 7}}, {{0, 1, 2}});
    oglmFit(same, 1.0);
    for (const OglmVec3 &p : same.vertices) {
        EXPECT_TRUE(near(p, 0, 0, 0));
    }
    /* zoom 0 becomes 1e-12 and -0 becomes -1e-12: no infinity, no NaN */
    for (double zoom : {0.0, -0.0}) {
        OglmMesh mesh = cube();
        oglmFit(mesh, zoom);
        const double expected = std::signbit(zoom) ? -1e-12 : 1e-12;
        EXPECT_NEAR(mesh.vertices[6][0], expected, 1e-18);
        EXPECT_NEAR(mesh.vertices[0][2], -expected, 1e-18);
    }
}

TEST(OglmNormals, FanNormalsTakeTheFirstTriangleForCornersZeroAndOneAndTheLastForTheLastCorner)
{
    OglmMesh mesh = bentQuad();
    oglmComputeNormals(mesh, 1);
    ASSERT_EQ(mesh.normals.size(), 4u);
    const double r3 = 1 / std::sqrt(3.0);
    EXPECT_TRUE(near(cornerNormal(mesh, 0), 0, 0, 1));
    EXPECT_TRUE(near(cornerNormal(mesh, 1), 0, 0, 1));
    EXPECT_TRUE(near(cornerNormal(mesh, 2), r3, -r3, r3));
    EXPECT_TRUE(near(cornerNormal(mesh, 3), r3, -r3, r3));
    /* every corner its own entry */
    EXPECT_EQ(mesh.groups[0].normalIndex, (std::vector<int>{0, 1, 2, 3}));
}

TEST(OglmNormals, CornerNormalsOfAPolygonSumTheCrossProductsAroundEachCorner)
{
    /* corner 0: (0,0,1) + (1,-1,1) + 0 = (1,-1,2); the other corners' sums
     * come to the same vector area (worked corner by corner) */
    OglmMesh mesh = bentQuad();
    oglmComputeNormals(mesh, 2);
    ASSERT_EQ(mesh.normals.size(), 4u);
    const double r6 = 1 / std::sqrt(6.0);
    for (int c = 0; c < 4; c++) {
        EXPECT_TRUE(near(cornerNormal(mesh, c), r6, -r6, 2 * r6)) << "corner " << c;
    }
    /* a triangle takes its plane's normal at all three corners */
    OglmMesh triangle = meshOf({{0, 0, 0}, {0, 2, 0}, {0, 0, 3}}, {{0, 1, 2}});
    oglmComputeNormals(triangle, 2);
    for (int c = 0; c < 3; c++) {
        EXPECT_TRUE(near(cornerNormal(triangle, c), 1, 0, 0));
    }
}

TEST(OglmNormals, ModeZeroKeepsNormalsItHasAndOtherModesDropThem)
{
    OglmMesh mesh = bentQuad();
    mesh.normals = {{0, 1, 0}};
    mesh.groups[0].normalIndex = {0, 0, 0, 0};
    oglmComputeNormals(mesh, 0);
    ASSERT_EQ(mesh.normals.size(), 1u);
    EXPECT_TRUE(near(cornerNormal(mesh, 3), 0, 1, 0));

    OglmMesh none = bentQuad();
    oglmComputeNormals(none, 0);
    EXPECT_TRUE(near(cornerNormal(none, 0), 0, 0, 1));
    EXPECT_EQ(none.normals.size(), 4u);

    oglmComputeNormals(mesh, 3);
    EXPECT_TRUE(mesh.normals.empty());
    EXPECT_TRUE(mesh.groups[0].normalIndex.empty());
}

TEST(OglmNormals, ADegenerateFaceGetsAZeroNormalNotNaN)
{
    OglmMesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {{0, 1, 2}});
    oglmComputeNormals(mesh, 1);
    EXPECT_TRUE(near(cornerNormal(mesh, 0), 0, 0, 0));
}

TEST(OglmSmooth, TwoFacesAtThirtyDegreesShareTheirBisectorOnTheCommonEdgeOnly)
{
    OglmMesh mesh = hinge();
    oglmComputeNormals(mesh, 2);
    oglmSmooth(mesh, 2, 60);
    /* (0,0,1) + (-1/2, 0, cos 30°) points at 15 degrees: (-sin 15°, 0, cos 15°) */
    const double s15 = std::sin(M_PI / 12), c15 = std::cos(M_PI / 12);
    EXPECT_TRUE(near(cornerNormal(mesh, 1), -s15, 0, c15)); /* A's vertex 0 */
    EXPECT_TRUE(near(cornerNormal(mesh, 2), -s15, 0, c15)); /* A's vertex 1 */
    EXPECT_TRUE(near(cornerNormal(mesh, 3), -s15, 0, c15)); /* B's vertex 0 */
    EXPECT_TRUE(near(cornerNormal(mesh, 5), -s15, 0, c15)); /* B's vertex 1 */
    EXPECT_TRUE(near(cornerNormal(mesh, 0), 0, 0, 1));      /* A's own vertex */
    EXPECT_TRUE(near(cornerNormal(mesh, 4), -0.5, 0, std::cos(M_PI / 6)));
    /* below the faces' angle nothing is shared */
    OglmMesh sharp = hinge();
    oglmComputeNormals(sharp, 2);
    oglmSmooth(sharp, 2, 20);
    EXPECT_TRUE(near(cornerNormal(sharp, 1), 0, 0, 1));
    EXPECT_TRUE(near(cornerNormal(sharp, 3), -0.5, 0, std::cos(M_PI / 6)));
}

TEST(OglmSmooth, SmoothingGroupsDecideWhenTheFileHadThem)
{
    const double s15 = std::sin(M_PI / 12), c15 = std::cos(M_PI / 12);
    struct Case {
        int a, b;    /* the faces' smoothing groups */
        bool shared; /* A's corner at vertex 0 takes the bisector */
    } cases[] = {{1, 1, true}, {1, 2, false}, {0, 0, false}};
    for (const Case &test : cases) {
        OglmMesh mesh = hinge();
        mesh.hadSmoothing = true;
        mesh.groups[0].smoothing = {test.a, test.b};
        oglmComputeNormals(mesh, 2);
        oglmSmooth(mesh, 2, 60);
        if (test.shared) {
            EXPECT_TRUE(near(cornerNormal(mesh, 1), -s15, 0, c15)) << test.a << " " << test.b;
        } else {
            EXPECT_TRUE(near(cornerNormal(mesh, 1), 0, 0, 1)) << test.a << " " << test.b;
        }
    }
}

TEST(OglmSmooth, ModeOneGivesEveryVertexOneNormalAndOtherModesLeaveThem)
{
    OglmMesh mesh = hinge();
    oglmComputeNormals(mesh, 2);
    oglmSmooth(mesh, 1, 0);
    ASSERT_EQ(mesh.normals.size(), 4u);
    EXPECT_EQ(mesh.groups[0].normalIndex, mesh.groups[0].vertexIndex);
    const double s15 = std::sin(M_PI / 12), c15 = std::cos(M_PI / 12);
    EXPECT_TRUE(near(mesh.normals[0], -s15, 0, c15));
    EXPECT_TRUE(near(mesh.normals[2], 0, 0, 1));
    EXPECT_TRUE(near(mesh.normals[3], -0.5, 0, std::cos(M_PI / 6)));

    OglmMesh other = hinge();
    oglmComputeNormals(other, 2);
    oglmSmooth(other, 0, 60);
    oglmSmooth(other, 7, 60);
    EXPECT_TRUE(near(cornerNormal(other, 1), 0, 0, 1));
    EXPECT_EQ(other.normals.size(), 6u);
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
    for (const OglmVec3 &normal : mesh.normals) {
        EXPECT_TRUE(near(normal, 0, 0, -1));
    }
    /* recomputed after reversing, the normals agree with the negated ones */
    oglmComputeNormals(mesh, 1);
    EXPECT_TRUE(near(cornerNormal(mesh, 0), 0, 0, -1));

    /* a mesh without normals is left alone */
    OglmMesh bare = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    oglmReverse(bare);
    EXPECT_EQ(bare.groups[0].vertexIndex, (std::vector<int>{0, 1, 2}));
}

TEST(OglmFit, CoordinatesThatAreNotFiniteStayOutOfTheBox)
{
    /* the cube alone decides: centre (5, 5, 5), scale 5 */
    OglmMesh mesh = cube();
    const float inf = std::numeric_limits<float>::infinity();
    mesh.vertices.push_back({inf, std::nanf(""), 7.5f});
    oglmFit(mesh, 1.0);
    EXPECT_TRUE(near(mesh.vertices[6], 1, 1, 1));
    EXPECT_TRUE(near(mesh.vertices[0], -1, -1, -1));
    EXPECT_FLOAT_EQ(mesh.vertices[8][2], 0.5f);
    EXPECT_TRUE(std::isinf(mesh.vertices[8][0]));
}

TEST(OglmSmooth, ALoneCornerIsNormalisedUnlessInSmoothingGroupZero)
{
    for (int smoothing : {-1, 0}) {
        OglmMesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
        mesh.normals = {{0, 0, 2}, {0, 3, 0}, {4, 0, 0}};
        mesh.groups[0].normalIndex = {0, 1, 2};
        if (smoothing == 0) {
            mesh.hadSmoothing = true;
            mesh.groups[0].smoothing = {0};
        }
        oglmSmooth(mesh, 2, 60);
        const double scale = smoothing == 0 ? 1 : 0;
        EXPECT_TRUE(near(cornerNormal(mesh, 0), 0, 0, 1 + scale)) << smoothing;
        EXPECT_TRUE(near(cornerNormal(mesh, 1), 0, 1 + 2 * scale, 0)) << smoothing;
        EXPECT_TRUE(near(cornerNormal(mesh, 2), 1 + 3 * scale, 0, 0)) << smoothing;
    }
}

TEST(OglmSmooth, AFanOfFortyThousandTrianglesRoundOneVertexSmoothsInWellUnderASecond)
{
    /* a flat disc: every corner's normal is (0, 0, 1) */
    const int n = 40000;
    OglmMesh mesh;
    mesh.vertices.push_back({0, 0, 0});
    OglmGroup group;
    for (int i = 0; i < n; i++) {
        const double angle = 2 * M_PI * i / n;
        mesh.vertices.push_back({static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)), 0});
        group.vertexIndex.insert(group.vertexIndex.end(), {0, 1 + i, 1 + (i + 1) % n});
        group.faceStart.push_back(3 * (i + 1));
    }
    mesh.groups.push_back(group);
    oglmComputeNormals(mesh, 2);
    const auto begin = std::chrono::steady_clock::now();
    oglmSmooth(mesh, 2, 60);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    /* the pairwise comparison of every two corners took seconds */
    EXPECT_LT(took.count(), 1.0);
    ASSERT_EQ(mesh.normals.size(), 3u * n);
    for (const OglmVec3 &normal : mesh.normals) {
        ASSERT_TRUE(near(normal, 0, 0, 1));
    }
}

namespace {

bool sameNormals(const OglmMesh &a, const OglmMesh &b)
{
    if (a.normals.size() != b.normals.size() || a.groups.size() != b.groups.size()) {
        return false;
    }
    for (size_t i = 0; i < a.normals.size(); i++) {
        if (a.normals[i] != b.normals[i]) {
            return false;
        }
    }
    for (size_t g = 0; g < a.groups.size(); g++) {
        if (a.groups[g].normalIndex != b.groups[g].normalIndex) {
            return false;
        }
    }
    return true;
}

void writeText(const std::string &path, const char *text)
{
    FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text, f);
    std::fclose(f);
}

/* Runs change on copies of mesh with the n-th allocation failing, for n
 * = 0, 1, ... until it succeeds; each failure must leave the copy as mesh
 * was. Answers the number of failures. */
template <class Change>
int failEachAllocation(const OglmMesh &mesh, Change change)
{
    for (int n = 0;; n++) {
        OglmMesh copy = mesh;
        failAfter = n;
        try {
            change(copy);
            failAfter = -1;
            return n;
        } catch (const std::bad_alloc &) {
            failAfter = -1;
            EXPECT_TRUE(sameNormals(copy, mesh)) << "allocation " << n;
        }
    }
}

}  // namespace

TEST(OglmMemory, NormalsAndSmoothingThatRunOutOfMemoryLeaveTheMeshAsItWas)
{
    OglmMesh mesh = cube();
    oglmComputeNormals(mesh, 1);
    EXPECT_GT(failEachAllocation(mesh, [](OglmMesh &m) { oglmComputeNormals(m, 2); }), 0);
    EXPECT_GT(failEachAllocation(mesh, [](OglmMesh &m) { oglmSmooth(m, 2, 60); }), 0);
    EXPECT_GT(failEachAllocation(mesh, [](OglmMesh &m) { oglmSmooth(m, 1, 60); }), 0);
}

TEST(OglmMemory, TheCommandAnswersAnErrorAndKeepsTheModel)
{
    Tcl_Interp *interp = testTkInterp();
    if (Tcl_FindCommand(interp, "oglm", nullptr, 0) == nullptr) {
        ASSERT_EQ(Glm_Init(interp), 0);
    }
    const std::string dir = ::testing::TempDir();
    const std::string cubeFile = dir + "oglm-memory-cube.obj", triangleFile = dir + "oglm-memory-triangle.obj";
    writeText(cubeFile, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                        "g cube\nf 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 3 4 8 7\n");
    writeText(triangleFile, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    int code;
    failAfter = 0;
    EXPECT_EQ(testEval(interp, "oglm create mem", &code), "Error in oglm alloc.");
    failAfter = -1;
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(testEval(interp, "lsearch [oglm info] mem"), "-1");
    testEval(interp, "oglm create mem -file " + cubeFile, &code);
    ASSERT_EQ(code, TCL_OK);

    const std::string state = "list [oglm info mem] [oglm info mem cube normal] [oglm configure mem]";
    const std::pair<std::string, const char *> cases[] = {
        {"oglm normal mem 1", "Error in oglm normal: not enough memory."},
        {"oglm smooth mem 2 30", "Error in oglm smooth: not enough memory."},
        {"oglm configure mem -smoothness 20", "Error in oglm configure: not enough memory."},
        {"oglm configure mem -file " + triangleFile, "Error in load obj.\n"},
    };
    for (const auto &[script, message] : cases) {
        int failures = 0;
        for (int n = 0; failures < 1000; n++) {
            const std::string before = testEval(interp, state);
            failAfter = n;
            const std::string result = testEval(interp, script, &code);
            failAfter = -1;
            if (code == TCL_OK) {
                break;
            }
            failures++;
            EXPECT_EQ(result, message) << script << ", allocation " << n;
            EXPECT_EQ(testEval(interp, state), before) << script << ", allocation " << n;
        }
        EXPECT_GT(failures, 0) << script;
    }
    testEval(interp, "oglm delete mem");
    std::remove(cubeFile.c_str());
    std::remove(triangleFile.c_str());
}
