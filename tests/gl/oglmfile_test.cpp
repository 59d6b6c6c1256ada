/*
 * oglmfile_test.cpp --
 *
 *	OBJ and MTL readers (what they keep and drop, long lines, keywords,
 *	files that are not regular) and the writer's text and failures.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "gl/oglm.h"
#include "support/stderr_capture.h"
#include "tesk_image.h"

namespace {

namespace fs = std::filesystem;
using Ints = std::vector<int>;

/* A scratch folder; errors() answers standard error since its last call. */
class OglmFile : public StderrCapture {
protected:
    void SetUp() override
    {
        StderrCapture::SetUp();
        char name[] = "/tmp/teskoglmXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        tesk_failWritesAfter(-1);
        StderrCapture::TearDown();
        fs::remove_all(folder);
    }
    std::string path(const std::string &name) const { return folder + "/" + name; }
    std::string errors()
    {
        std::string text = testEval(interp, "set ::err");
        testEval(interp, "set ::err {}");
        return text;
    }
    void put(const std::string &name, const std::string &text) { std::ofstream(path(name), std::ios::binary) << text; }
    std::string get(const std::string &name)
    {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t entries() { return std::distance(fs::directory_iterator(folder), fs::directory_iterator()); }
    OglmMesh read(const std::string &name)
    {
        OglmMesh mesh;
        EXPECT_TRUE(oglmReadObj(path(name).c_str(), mesh)) << name;
        return mesh;
    }
    std::string folder;
};

/* n vertices "v i 0 0", i = 0 .. n-1. */
std::string vertexLines(int n)
{
    std::string text;
    for (int i = 0; i < n; i++) {
        text += "v " + std::to_string(i) + " 0 0\n";
    }
    return text;
}

}  // namespace

TEST_F(OglmFile, FacesKeepTheirIndicesAndInvalidOnesAreDroppedWithTheirLine)
{
    std::string corners = vertexLines(9);
    for (int i = 0; i < 9; i++) {
        corners += "vt " + std::to_string(i) + " 0\nvn 1 0 0\n";
    }
    const std::string bad = "Invalid face definition: ";
    struct {
        std::string text, errors;
        std::vector<Ints> indices; /* vertex, texture, normal */
    } cases[] = {
        {corners + "f 1/2/3 4/5/6 7/8/9\n", "", {{0, 3, 6}, {1, 4, 7}, {2, 5, 8}}},
        /* vertex 9 of 8, texture 3 of 2, normal 2 of 1; the faces after them stay */
        {vertexLines(8) + "vt 0 0\nvt 1 1\nvn 0 0 1\nf 1 2 3\nf 1 2 9\r\nf 1/3 2/1 3/1\nf 1//1 2//2 3//1\nf 5 6 7 8\n",
         bad + "f 1 2 9\n" + bad + "f 1/3 2/1 3/1\n" + bad + "f 1//1 2//2 3//1\n",
         {{0, 1, 2, 4, 5, 6, 7}, {}, {}}},
        /* negative indices count back from the last vertex read so far (-1 -2
         * are 5 and 4 of five); 0, too far back, short, malformed, 2^32 + 1
         * (not wrapped to 1) are invalid; a bare slash names nothing */
        {vertexLines(3) + "f -3 -2 -1\nv 3 0 0\nv 4 0 0\nf -1 -2 1\nf 0 1 2\nf -6 1 2\nf 1 2\nf\nf 1 x 3\n"
                          "f 1/1 2 3\nf 4294967297 1 2\nf 1 2 3/\n",
         bad + "f 0 1 2\n" + bad + "f -6 1 2\n" + bad + "f 1 2\n" + bad + "f\n" + bad + "f 1 x 3\n" + bad +
             "f 1/1 2 3\n" + bad + "f 4294967297 1 2\n",
         {{0, 1, 2, 4, 3, 0, 0, 1, 2}, {}, {}}},
    };
    for (const auto &test : cases) {
        put("d.obj", test.text);
        OglmMesh mesh = read("d.obj");
        EXPECT_EQ(errors(), test.errors);
        ASSERT_EQ(mesh.groups.size(), 1u);
        const OglmGroup &g = mesh.groups[0];
        EXPECT_EQ((std::vector<Ints>{g.vertexIndex, g.textureIndex, g.normalIndex}), test.indices);
        EXPECT_TRUE(!mesh.hadSmoothing && g.smoothing.empty());  // no "s" lines
    }
}

TEST_F(OglmFile, GroupsAreFoundByNameAndKeepIndicesOnlyWhileEveryFaceGaveThem)
{
    put("g.obj", vertexLines(3) + "vt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 1\nvn 0 1 0\nvn 1 0 0\n"
                                  "g a\nf 1/1/1 2/2/2 3/3/3\ns 1\n"
                                  "g b\nf 1 2 3\nf 1/1 2/2 3/3\ns off\n"
                                  "g a\nf 3//3 2//2 1//1\ns 3\n"
                                  "gx c\nf 1 2 3\n"  // not a group line: the face goes to a
                                  "g n\nf 1//1 2//1 3//1\nf 3//1 2//1 1//1\n");
    OglmMesh mesh = read("g.obj");
    EXPECT_TRUE(mesh.hadSmoothing);
    ASSERT_EQ(mesh.groups.size(), 3u);
    const OglmGroup &a = mesh.groups[0], &b = mesh.groups[1], &n = mesh.groups[2];
    EXPECT_EQ(a.name + b.name + n.name, "abn");
    /* a's second face gave no texture, its third no normal, b's first neither */
    EXPECT_EQ(
        (std::vector<Ints>{a.faceStart, a.textureIndex, a.normalIndex, a.smoothing, b.faceStart, b.textureIndex,
                           b.smoothing, n.normalIndex, n.textureIndex, n.smoothing}),
        (std::vector<Ints>{{0, 3, 6, 9}, {}, {}, {0, 0, 3}, {0, 3, 6}, {}, {1, 1}, {0, 0, 0, 0, 0, 0}, {}, {3, 3}}));
}

TEST_F(OglmFile, ShortAndNotFiniteNumbersReadAsZero)
{
    put("nf.obj", "v 1 2\nv\nv 1 2 3 4\nv 1.5e1 +2 -3\nv 7 oops 9\nv 1e999 -1e999 2\nv nan inf 1\n"
                  "vt 0.5 0.25\nvt inf 0.5\nvn 0 1\nvn -nan 1 0\nvp 9 9 9\n");
    OglmMesh mesh = read("nf.obj");
    EXPECT_EQ(errors(), "");
    using Vecs = std::vector<OglmVec3>;
    EXPECT_EQ(mesh.vertices,
              (Vecs{{{1, 2, 0}}, {{0, 0, 0}}, {{1, 2, 3}}, {{15, 2, -3}}, {{7, 0, 0}}, {{0, 0, 2}}, {{0, 0, 1}}}));
    EXPECT_EQ(mesh.texcoords, (Vecs{{{0.5f, 0.25f, 0}}, {{0, 0.5f, 0}}}));
    EXPECT_EQ(mesh.normals, (Vecs{{{0, 1, 0}}, {{0, 1, 0}}}));
}

TEST_F(OglmFile, OnlyRegularFilesThatExistAreRead)
{
    fs::create_directory(path("folder"));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);  // no writer: opening must not wait
    for (std::string name : {path("folder"), std::string("/dev/zero"), path("fifo"), path("absent")}) {
        OglmMesh mesh;
        EXPECT_FALSE(oglmReadObj(name.c_str(), mesh)) << name;
        EXPECT_EQ(errors(), "Error in open " + name + "\n");
        EXPECT_FALSE(oglmReadMtl(name.c_str(), mesh)) << name;
        EXPECT_EQ(errors(), "Error in open material file: " + name + "\n");
    }
    /* a library that cannot be read is reported and the model still loads */
    put("dev.obj", "mtllib /dev/zero\nv 0 0 0\n");
    EXPECT_EQ(read("dev.obj").vertices.size(), 1u);
    EXPECT_EQ(errors(), "Error in open material file: /dev/zero\nError in loading mtl: /dev/zero\n");
}

TEST_F(OglmFile, ALineOfOverAMebibyteAcrossTheBufferEndIsOneLine)
{
    /* The reader starts with 1 MiB; the name starts inside it and ends far past it. */
    std::string name(1536 * 1024, 'n');
    name[700 * 1024] = ' ';
    name.replace(1100 * 1024, 7, "\rf 1 2 ");  // a carriage return inside is no line end
    put("big.obj", vertexLines(3) + std::string(1000 * 1024, '#') + "\ng " + name + "\nf 1 2 3\nv 5 5 5\n");
    OglmMesh mesh = read("big.obj");
    EXPECT_EQ(mesh.vertices.size(), 4u);
    ASSERT_EQ(mesh.groups.size(), 1u);
    EXPECT_TRUE(mesh.groups[0].name == name && mesh.groups[0].faceCount() == 1);
    EXPECT_EQ(errors(), "");
}

TEST_F(OglmFile, KeywordsAreWholeWordsAndNamesHaveAnyLength)
{
    std::string group = "a group name with blanks " + std::string(80, 'g');
    std::string material = std::string(40, 'm') + "_long";
    std::string spaced = "spaced " + std::string(300, 's');  // a MTL line of over 256 characters
    /* Ns before the first newmtl sets the default material's */
    put("k.mtl", "Ns 100\nnewmtl " + material + "\nKd 0.5 0.25\nKdx 0 0 0 0\nmap_Kd Kd.png\nNs 7\nnewmtl " + spaced +
                     "\nKe 1 1 1 1\n");
    /* usemtl before any group names a copy of the default for group "default" */
    put("k.obj", "maplib missing.mtl\nmtllib k.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtlx nothing\nusemtl paint\n"
                 "f 1 2 3\ng " +
                     group + "\nusemtl " + material + "\nf 1 2 3\ng other\nusemtl  " + spaced + " \nf 1 2 3\n");
    OglmMesh mesh = read("k.obj");
    EXPECT_EQ(errors(), "");  // maplib named no MTL file
    ASSERT_EQ(mesh.materials.size(), 4u);
    const OglmMaterial &m = mesh.materials[1];
    EXPECT_EQ(std::vector<std::string>({m.name, mesh.materials[2].name, mesh.materials[3].name}),
              std::vector<std::string>({material, spaced, "paint"}));
    EXPECT_EQ(std::vector<float>({mesh.materials[0].shininess, m.shininess, m.diffuse[0], m.diffuse[1], m.diffuse[2],
                                  m.diffuse[3], mesh.materials[2].emission[0], mesh.materials[3].shininess}),
              std::vector<float>({100, 7, 0.5f, 0.25f, 0.8f, 1, 1, 625}));
    ASSERT_EQ(mesh.groups.size(), 3u);
    EXPECT_EQ(mesh.groups[0].name + "|" + mesh.groups[1].name, "default|" + group);
    EXPECT_EQ(Ints({mesh.groups[0].material, mesh.groups[1].material, mesh.groups[2].material}), Ints({3, 1, 2}));
}

TEST_F(OglmFile, WritingGivesTheMaterialsThenTheModel)
{
    put("rt.mtl", "newmtl red paint\nKd 1 0 0.25 1\nKa 0.1 0.1 0.1 1\nKs 0.5 0.5 0.5 1\nKe 0 0 0 1\nNs 30\n");
    put("rt.obj", "mtllib rt.mtl\nv -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv 0 0.5 2.5\n"
                  "vt 0 0\nvt 1 0\nvt 1 1\nvt 0.5 0.75\nvn 0 0 -1\nvn 0.6 0 0.8\n"
                  "g base\nusemtl red paint\nf 4/4/1 3/3/1 2/2/1 1/1/1\n"
                  "g empty\ng roof\nf 1//2 2//2 5//2\nf 2//2 3//2 5//2\ng plain\nf 3/1 4/2 5/3\n");
    OglmMesh mesh = read("rt.obj");
    const std::string vertices = "\n# vertex 5\nv -1.000000 -1.000000 -1.000000\nv 1.000000 -1.000000 -1.000000\n"
                                 "v 1.000000 1.000000 -1.000000\nv -1.000000 1.000000 -1.000000\n"
                                 "v 0.000000 0.500000 2.500000\n";
    ASSERT_TRUE(oglmWrite(mesh, path("rt2").c_str(), 0));
    EXPECT_EQ(get("rt2.obj"), "mtllib rt2.mtl\n" + vertices +
                                  "\n# normal 2\nvn 0.000000 0.000000 -1.000000\nvn 0.600000 0.000000 0.800000\n"
                                  "\n# texture 4\nvt 0.000000 0.000000\nvt 1.000000 0.000000\n"
                                  "vt 1.000000 1.000000\nvt 0.500000 0.750000\n"
                                  "\n# faces\ng base\nusemtl red paint\nf 4/4/1 3/3/1 2/2/1 1/1/1\n"
                                  "g roof\nusemtl default\nf 1//2 2//2 5//2\nf 2//2 3//2 5//2\n"
                                  "g plain\nusemtl default\nf 3/1 4/2 5/3\n");
    EXPECT_EQ(get("rt2.mtl"), "newmtl default\nKd 0.800000 0.800000 0.800000 1.000000\n"
                              "Ks 0.000000 0.000000 0.000000 1.000000\nKa 0.200000 0.200000 0.200000 1.000000\n"
                              "Ke 0.000000 0.000000 0.000000 0.000000\nNs 625.000000\n\n"
                              "newmtl red paint\nKd 1.000000 0.000000 0.250000 1.000000\n"
                              "Ks 0.500000 0.500000 0.500000 1.000000\nKa 0.100000 0.100000 0.100000 1.000000\n"
                              "Ke 0.000000 0.000000 0.000000 1.000000\nNs 30.000000\n\n");
    /* flags 1: vertices and plain corners only; shininess 0 is written without Ns */
    mesh.materials[1].shininess = 0;
    ASSERT_TRUE(oglmWrite(mesh, path("plain").c_str(), 1));
    EXPECT_EQ(get("plain.obj"), "mtllib plain.mtl\n" + vertices +
                                    "\n# faces\ng base\nusemtl red paint\nf 4 3 2 1\ng roof\nusemtl default\n"
                                    "f 1 2 5\nf 2 3 5\ng plain\nusemtl default\nf 3 4 5\n");
    std::string mtl = get("rt2.mtl");
    EXPECT_EQ(get("plain.mtl"), mtl.erase(mtl.find("Ns 30"), 13));
}

TEST_F(OglmFile, AFailedWriteLeavesTheOldFilesWhole)
{
    put("m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n");
    OglmMesh mesh = read("m.obj");
    fs::remove(path("m.obj"));
    std::string missing = path("no/such/folder/m");
    EXPECT_FALSE(oglmWrite(mesh, missing.c_str(), 0));
    EXPECT_EQ(errors(), "Error in open " + missing + ".obj\n");
    EXPECT_FALSE(oglmWrite(OglmMesh(), path("none").c_str(), 0));
    EXPECT_EQ(errors(), "No vertex to save.\n");
    EXPECT_EQ(entries(), 0u);

    ASSERT_TRUE(oglmWrite(mesh, path("size").c_str(), 0));
    long long mtlBytes = static_cast<long long>(get("size.mtl").size());
    put("old.obj", "old obj\n");
    put("old.mtl", "old mtl\n");
    /* writes fail within the MTL file, then within the OBJ file */
    for (long long budget : {10LL, mtlBytes + 20}) {
        tesk_failWritesAfter(budget);
        EXPECT_FALSE(oglmWrite(mesh, path("old").c_str(), 0)) << budget;
        tesk_failWritesAfter(-1);
        EXPECT_EQ(errors().rfind("Error in writing " + path(budget == 10 ? "old.mtl" : "old.obj"), 0), 0u);
        EXPECT_EQ(get("old.obj") + get("old.mtl"), "old obj\nold mtl\n");
        EXPECT_EQ(entries(), 4u);  // old and size files, no temporary one left
    }
    /* an MTL file that cannot be made leaves the model without mtllib */
    fs::create_directory(path("x.mtl"));
    EXPECT_TRUE(oglmWrite(mesh, path("x").c_str(), 1));
    EXPECT_EQ(errors(), "Error in open: " + path("x") + ".mtl\n");
    EXPECT_EQ(get("x.obj").rfind("\n# vertex 3\n", 0), 0u);
}
