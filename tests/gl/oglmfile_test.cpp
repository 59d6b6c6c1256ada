/*
 * oglmfile_test.cpp --
 *
 *	OBJ and MTL files of the oglm models: what the readers keep of faces,
 *	groups, indices and materials (and the faces they drop, with their
 *	messages), lines of every ending and length, numbers that are not
 *	finite, files that are not regular, and the writer's text, its round
 *	trip and its failures, which leave the old files whole.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "gl/oglm.h"
#include "support/stderr_capture.h"
#include "tesk_image.h"

namespace {

/* A scratch folder, standard error taken by errors(). */
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
        EXPECT_EQ(std::system(("rm -rf " + folder).c_str()), 0);
    }
    std::string path(const std::string &name) const { return folder + "/" + name; }
    /* What standard error got since the last call. */
    std::string errors()
    {
        std::string text = StderrCapture::errors();
        testEval(interp, "set ::err {}");
        return text;
    }
    void put(const std::string &name, const std::string &text)
    {
        std::ofstream out(path(name), std::ios::binary);
        out << text;
    }
    std::string get(const std::string &name)
    {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    /* The folder's entries, sorted. */
    std::vector<std::string> entries()
    {
        std::vector<std::string> names;
        if (DIR *dir = opendir(folder.c_str())) {
            while (dirent *e = readdir(dir)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    /* Reads the OBJ file name of the folder into a fresh mesh. */
    OglmMesh read(const std::string &name, bool expectOk = true)
    {
        OglmMesh mesh;
        EXPECT_EQ(oglmReadObj(path(name).c_str(), mesh), expectOk) << name;
        return mesh;
    }
    std::string folder;
};

using Ints = std::vector<int>;

/* n vertices "v i 0 0", i = 0 .. n-1. */
std::string vertexLines(int n)
{
    std::string text;
    for (int i = 0; i < n; i++) text += "v " + std::to_string(i) + " 0 0\n";
    return text;
}

/* A triangle with a normal and texture coordinates, in a group using a
 * second material of shininess 0. */
OglmMesh handMadeTriangle()
{
    OglmMesh mesh;
    mesh.vertices = {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 0.5f, -2}}};
    mesh.normals = {{{0, 0, 1}}};
    mesh.texcoords = {{{0, 0, 0}}, {{1, 0, 0}}, {{0.25f, 1, 0}}};
    OglmMaterial flat = oglmDefaultMaterial();
    flat.name = "flat";
    flat.shininess = 0;
    flat.diffuse[0] = 1, flat.diffuse[1] = 0.5f, flat.diffuse[2] = 0.25f;
    mesh.materials = {oglmDefaultMaterial(), flat};
    OglmGroup g;
    g.name = "tri";
    g.material = 1;
    g.faceStart = {0, 3};
    g.vertexIndex = {0, 1, 2};
    g.textureIndex = {0, 1, 2};
    g.normalIndex = {0, 0, 0};
    mesh.groups.push_back(g);
    return mesh;
}

/* Reading faces and groups ------------------------------------------------------ */

TEST_F(OglmFile, CornersKeepTheirVertexTextureAndNormalIndicesAndAreWrittenBack)
{
    put("c.obj", vertexLines(9) + "vt 0 0\nvt 1 0\nvt 2 0\nvt 3 0\nvt 4 0\nvt 5 0\nvt 6 0\nvt 7 0\n" +
                     "vn 1 0 0\nvn 1 0 0\nvn 1 0 0\nvn 1 0 0\nvn 1 0 0\nvn 1 0 0\nvn 1 0 0\nvn 1 0 0\nvn 1 0 0\n"
                     "f 1/2/3 4/5/6 7/8/9\n");
    OglmMesh mesh = read("c.obj");
    EXPECT_EQ(errors(), "");
    ASSERT_EQ(mesh.groups.size(), 1u);
    const OglmGroup &g = mesh.groups[0];
    EXPECT_EQ(g.name, "default");
    EXPECT_EQ(g.faceStart, (Ints{0, 3}));
    EXPECT_EQ(g.vertexIndex, (Ints{0, 3, 6}));
    EXPECT_EQ(g.textureIndex, (Ints{1, 4, 7}));
    EXPECT_EQ(g.normalIndex, (Ints{2, 5, 8}));
    ASSERT_TRUE(oglmWrite(mesh, path("back").c_str(), 0));
    EXPECT_NE(get("back.obj").find("\ng default\nusemtl default\nf 1/2/3 4/5/6 7/8/9\n"), std::string::npos)
        << get("back.obj");
}

TEST_F(OglmFile, AFaceOutsideItsArraysIsDroppedWithItsLineAndLaterFacesStay)
{
    put("d.obj", vertexLines(8) + "vt 0 0\nvt 1 1\nvn 0 0 1\n"
                                  "f 1 2 3\n"
                                  "f 1 2 9\r\n"
                                  "f 1/3 2/1 3/1\n"     // texture 3 of 2
                                  "f 1//1 2//2 3//1\n"  // normal 2 of 1
                                  "f 5 6 7 8\n");
    OglmMesh mesh = read("d.obj");
    EXPECT_EQ(errors(), "Invalid face definition: f 1 2 9\n"
                        "Invalid face definition: f 1/3 2/1 3/1\n"
                        "Invalid face definition: f 1//1 2//2 3//1\n");
    ASSERT_EQ(mesh.groups.size(), 1u);
    EXPECT_EQ(mesh.groups[0].faceStart, (Ints{0, 3, 7}));
    EXPECT_EQ(mesh.groups[0].vertexIndex, (Ints{0, 1, 2, 4, 5, 6, 7}));
}

TEST_F(OglmFile, NegativeIndicesCountBackWhileZeroShortAndMalformedFacesAreInvalid)
{
    put("r.obj", vertexLines(3) + "f -3 -2 -1\n"
                                  "v 3 0 0\nv 4 0 0\n"
                                  "f -1 -2 1\n"  // vertices 5, 4 and 1 of the five read so far
                                  "f 0 1 2\n"
                                  "f -6 1 2\n"
                                  "f 1 2\n"
                                  "f\n"
                                  "f 1 x 3\n"
                                  "f 1/1 2 3\n"   // no texture coordinates at all
                                  "f 4294967297 1 2\n"  // 2^32 + 1: dropped, not wrapped to 1
                                  "f 1 2 3/\n");  // a bare slash names nothing
    OglmMesh mesh = read("r.obj");
    EXPECT_EQ(errors(), "Invalid face definition: f 0 1 2\n"
                        "Invalid face definition: f -6 1 2\n"
                        "Invalid face definition: f 1 2\n"
                        "Invalid face definition: f\n"
                        "Invalid face definition: f 1 x 3\n"
                        "Invalid face definition: f 1/1 2 3\n"
                        "Invalid face definition: f 4294967297 1 2\n");
    ASSERT_EQ(mesh.groups.size(), 1u);
    EXPECT_EQ(mesh.groups[0].vertexIndex, (Ints{0, 1, 2, 4, 3, 0, 0, 1, 2}));
    EXPECT_TRUE(mesh.groups[0].textureIndex.empty());
}

TEST_F(OglmFile, GroupsAreFoundByNameAndKeepIndicesOnlyWhileEveryFaceGaveThem)
{
    put("g.obj", vertexLines(3) + "vt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 1\nvn 0 1 0\nvn 1 0 0\n"
                                  "g a\nf 1/1/1 2/2/2 3/3/3\n"
                                  "g b\nf 1 2 3\nf 1/1 2/2 3/3\n"
                                  "g a\nf 3//3 2//2 1//1\n"
                                  "gx c\nf 1 2 3\n");  // not a group line: the face goes to a
    OglmMesh mesh = read("g.obj");
    ASSERT_EQ(mesh.groups.size(), 2u);
    const OglmGroup &a = mesh.groups[0];
    const OglmGroup &b = mesh.groups[1];
    EXPECT_EQ(a.name, "a");
    EXPECT_EQ(b.name, "b");
    EXPECT_EQ(a.faceStart, (Ints{0, 3, 6, 9}));
    EXPECT_TRUE(a.textureIndex.empty());  // the second face of a gave none
    EXPECT_TRUE(a.normalIndex.empty());   // nor did the third
    EXPECT_EQ(b.faceCount(), 2);
    EXPECT_TRUE(b.textureIndex.empty());  // the first face of b gave none
    EXPECT_FALSE(mesh.hadSmoothing);
    EXPECT_TRUE(a.smoothing.empty());

    put("n.obj", vertexLines(3) + "vn 0 0 1\nf 1//1 2//1 3//1\nf 3//1 2//1 1//1\n");
    OglmMesh normals = read("n.obj");
    ASSERT_EQ(normals.groups.size(), 1u);
    EXPECT_EQ(normals.groups[0].normalIndex, (Ints{0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(normals.groups[0].textureIndex.empty());
}

TEST_F(OglmFile, SmoothingGroupsAreKeptPerFaceWhenTheFileHasThem)
{
    put("s.obj", vertexLines(3) + "f 1 2 3\ns 1\nf 1 2 3\ns off\nf 1 2 3\ns 3\ng other\nf 1 2 3\ns\nf 1 2 3\n");
    OglmMesh mesh = read("s.obj");
    EXPECT_TRUE(mesh.hadSmoothing);
    ASSERT_EQ(mesh.groups.size(), 2u);
    EXPECT_EQ(mesh.groups[0].smoothing, (Ints{0, 1, 0}));
    EXPECT_EQ(mesh.groups[1].smoothing, (Ints{3, 0}));
}

TEST_F(OglmFile, ShortVertexLinesGiveZeroForTheMissingNumbers)
{
    put("v.obj", "v 1 2\nv\nv 1 2 3 4\nv 1.5e1 +2 -3\nv 7 oops 9\nvt 0.5 0.25\nvn 0 1\nvp 9 9 9\n");
    OglmMesh mesh = read("v.obj");
    ASSERT_EQ(mesh.vertices.size(), 5u);
    EXPECT_EQ(mesh.vertices[0], (OglmVec3{{1, 2, 0}}));
    EXPECT_EQ(mesh.vertices[1], (OglmVec3{{0, 0, 0}}));
    EXPECT_EQ(mesh.vertices[2], (OglmVec3{{1, 2, 3}}));
    EXPECT_EQ(mesh.vertices[3], (OglmVec3{{15, 2, -3}}));
    EXPECT_EQ(mesh.vertices[4], (OglmVec3{{7, 0, 0}}));
    ASSERT_EQ(mesh.texcoords.size(), 1u);
    EXPECT_EQ(mesh.texcoords[0], (OglmVec3{{0.5f, 0.25f, 0}}));
    ASSERT_EQ(mesh.normals.size(), 1u);
    EXPECT_EQ(mesh.normals[0], (OglmVec3{{0, 1, 0}}));
}

TEST_F(OglmFile, NumbersThatAreNotFiniteReadAsZeroAndKeepTheirEntry)
{
    put("nf.mtl", "newmtl odd\nKd 1e999 0.5 nan 1\nKa -inf 0.25 INF infinity\nNs 1e39\n");
    put("nf.obj", "mtllib nf.mtl\nv 1e999 -1e999 2\nv nan inf 1\nvn -nan 1 0\nvt inf 0.5\nv 3 4 5\nf 1 2 3\n");
    OglmMesh mesh = read("nf.obj");
    EXPECT_EQ(errors(), "");
    EXPECT_EQ(mesh.vertices, (std::vector<OglmVec3>{{{0, 0, 2}}, {{0, 0, 1}}, {{3, 4, 5}}}));
    EXPECT_EQ(mesh.normals, (std::vector<OglmVec3>{{{0, 1, 0}}}));
    EXPECT_EQ(mesh.texcoords, (std::vector<OglmVec3>{{{0, 0.5f, 0}}}));
    ASSERT_EQ(mesh.materials.size(), 2u);
    const OglmMaterial &m = mesh.materials[1];
    EXPECT_EQ(std::vector<float>(m.diffuse, m.diffuse + 4), (std::vector<float>{0, 0.5f, 0, 1}));
    EXPECT_EQ(std::vector<float>(m.ambient, m.ambient + 4), (std::vector<float>{0, 0.25f, 0, 0}));
    EXPECT_EQ(m.shininess, 0.0f);  // 1e39 is past the largest float
}

TEST_F(OglmFile, OnlyRegularFilesAreRead)
{
    ASSERT_EQ(mkdir(path("folder").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);  // no writer: opening must not wait
    for (std::string name : {path("folder"), std::string("/dev/zero"), path("fifo")}) {
        OglmMesh mesh;
        EXPECT_FALSE(oglmReadObj(name.c_str(), mesh)) << name;
        EXPECT_EQ(errors(), "Error in open " + name + "\n");
        EXPECT_FALSE(oglmReadMtl(name.c_str(), mesh)) << name;
        EXPECT_EQ(errors(), "Error in open material file: " + name + "\n");
    }
    put("dev.obj", "mtllib /dev/zero\nv 0 0 0\n");
    EXPECT_EQ(read("dev.obj").vertices.size(), 1u);
    EXPECT_EQ(errors(), "Error in open material file: /dev/zero\nError in loading mtl: /dev/zero\n");
}

/* Lines ------------------------------------------------------------------------------ */

TEST_F(OglmFile, CrLfLinesAndALastLineWithoutNewlineAreReadWhole)
{
    ASSERT_EQ(mkdir(path("sub").c_str(), 0777), 0);
    put("sub/m.mtl", "newmtl red\r\nKd 1 0 0 1\r\nNs 10\r\nnewmtl blue\r\nKd 0 0 1");
    put("sub/crlf.obj", "mtllib m.mtl\r\nv 0 0 0\r\nv 1 0 0\r\nv 0 1 0  \r\ng box \r\nusemtl red\r\nf 1 2 3");
    OglmMesh mesh = read("sub/crlf.obj");  // the MTL file is found beside the OBJ file, not in the working folder
    EXPECT_EQ(errors(), "");
    ASSERT_EQ(mesh.groups.size(), 1u);
    EXPECT_EQ(mesh.groups[0].name, "box");
    EXPECT_EQ(mesh.groups[0].faceCount(), 1);
    ASSERT_EQ(mesh.materials.size(), 3u);
    EXPECT_EQ(mesh.materials[0].name, "default");
    EXPECT_EQ(mesh.materials[1].name, "red");
    EXPECT_EQ(mesh.materials[2].name, "blue");
    EXPECT_EQ(mesh.groups[0].material, 1);
    EXPECT_EQ(mesh.materials[1].shininess, 10.0f);
    EXPECT_EQ(mesh.materials[2].diffuse[2], 1.0f);  // the last MTL line, without its newline

    put("last.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\ng g\nf 1 2 3\nusemtl blue");
    OglmMesh last = read("last.obj");
    ASSERT_EQ(last.groups.size(), 1u);
    EXPECT_EQ(last.materials.at(last.groups[0].material).name, "blue");
}

TEST_F(OglmFile, AFaceLineOfTenThousandCharactersIsOneFace)
{
    std::string face = "f";
    for (int i = 1000; i < 3000; i++) face += " " + std::to_string(i);
    ASSERT_GE(face.size(), 10000u);
    put("long.obj", vertexLines(3000) + face + "\nf 1 2 3\n");
    OglmMesh mesh = read("long.obj");
    EXPECT_EQ(errors(), "");
    ASSERT_EQ(mesh.groups.size(), 1u);
    const OglmGroup &g = mesh.groups[0];
    EXPECT_EQ(g.faceStart, (Ints{0, 2000, 2003}));
    EXPECT_EQ(g.vertexIndex[0], 999);
    EXPECT_EQ(g.vertexIndex[1999], 2998);
}

TEST_F(OglmFile, ALineOfOverAMebibyteAcrossTheBufferEndIsOneLine)
{
    /* The reader starts with 1 MiB; the name starts inside it and ends
     * far past it. */
    std::string name(1536 * 1024, 'n');
    name[700 * 1024] = ' ';
    name.replace(1100 * 1024, 7, "\rf 1 2 ");  // a carriage return inside is no line end
    put("big.obj", vertexLines(3) + std::string(1000 * 1024, '#') + "\ng " + name + "\nf 1 2 3\nv 5 5 5\n");
    OglmMesh mesh = read("big.obj");
    EXPECT_EQ(errors(), "");
    EXPECT_EQ(mesh.vertices.size(), 4u);
    ASSERT_EQ(mesh.groups.size(), 1u);
    EXPECT_EQ(mesh.groups[0].name, name);
    EXPECT_EQ(mesh.groups[0].faceCount(), 1);
}

TEST_F(OglmFile, KeywordsAreWholeWordsAndNamesHaveAnyLength)
{
    std::string group = "a group name with blanks " + std::string(80, 'g');
    std::string material = std::string(40, 'm') + "_long";
    std::string spaced = "spaced " + std::string(300, 's');  // a MTL line of over 256 characters
    /* Ns before the first newmtl sets the default material's. */
    std::string mtl = "Ns 100\nnewmtl " + material + "\nKd 0.5 0.25\nKdx 0 0 0 0\nmap_Kd Kd.png\nNs 7\n";
    put("k.mtl", mtl + "newmtl " + spaced + "\nKe 1 1 1 1\n");
    std::string obj = "maplib missing.mtl\nmtllib k.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtlx nothing\n";
    put("k.obj", obj + "g " + group + "\nusemtl " + material + "\nf 1 2 3\ng other\nusemtl  " + spaced + " \nf 1 2 3\n");
    OglmMesh mesh = read("k.obj");
    EXPECT_EQ(errors(), "");  // maplib named no MTL file
    ASSERT_EQ(mesh.materials.size(), 3u);
    EXPECT_EQ(mesh.materials[0].shininess, 100.0f);
    const OglmMaterial &m = mesh.materials[1];
    EXPECT_EQ(m.name, material);
    EXPECT_EQ(m.shininess, 7.0f);
    EXPECT_EQ(m.diffuse[0], 0.5f);
    EXPECT_EQ(m.diffuse[1], 0.25f);
    EXPECT_EQ(m.diffuse[2], 0.8f);  // not given: the default's
    EXPECT_EQ(m.diffuse[3], 1.0f);
    EXPECT_EQ(mesh.materials[2].name, spaced);
    EXPECT_EQ(mesh.materials[2].emission[0], 1.0f);
    ASSERT_EQ(mesh.groups.size(), 2u);
    EXPECT_EQ(mesh.groups[0].name, group);
    EXPECT_EQ(mesh.groups[0].material, 1);
    EXPECT_EQ(mesh.groups[1].material, 2);  // the whole name, blanks inside kept
}

TEST_F(OglmFile, UsemtlBeforeAnyGroupAndMissingFilesAreReported)
{
    put("u.obj", "mtllib none.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl paint\nf 1 2 3\n");
    OglmMesh mesh = read("u.obj");
    std::string mtl = path("none.mtl");
    EXPECT_EQ(errors(), "Error in open material file: " + mtl + "\nError in loading mtl: " + mtl + "\n");
    ASSERT_EQ(mesh.groups.size(), 1u);
    EXPECT_EQ(mesh.groups[0].name, "default");
    ASSERT_EQ(mesh.materials.size(), 2u);
    EXPECT_EQ(mesh.groups[0].material, 1);
    EXPECT_EQ(mesh.materials[1].name, "paint");
    EXPECT_EQ(mesh.materials[1].shininess, 625.0f);  // a copy of the default material
    EXPECT_EQ(mesh.materials[1].ambient[0], 0.2f);

    read("absent.obj", false);
    EXPECT_EQ(errors(), "Error in open " + path("absent.obj") + "\n");
}

/* Writing ---------------------------------------------------------------------------- */

TEST_F(OglmFile, WritingGivesTheMaterialsThenTheModelWithoutNsForShininessZero)
{
    std::string base = path("t");
    ASSERT_TRUE(oglmWrite(handMadeTriangle(), base.c_str(), 0));
    EXPECT_EQ(errors(), "");
    EXPECT_EQ(get("t.mtl"), "newmtl default\n"
                            "Kd 0.800000 0.800000 0.800000 1.000000\n"
                            "Ks 0.000000 0.000000 0.000000 1.000000\n"
                            "Ka 0.200000 0.200000 0.200000 1.000000\n"
                            "Ke 0.000000 0.000000 0.000000 0.000000\n"
                            "Ns 625.000000\n"
                            "\n"
                            "newmtl flat\n"
                            "Kd 1.000000 0.500000 0.250000 1.000000\n"
                            "Ks 0.000000 0.000000 0.000000 1.000000\n"
                            "Ka 0.200000 0.200000 0.200000 1.000000\n"
                            "Ke 0.000000 0.000000 0.000000 0.000000\n"
                            "\n");
    EXPECT_EQ(get("t.obj"), "mtllib t.mtl\n"
                            "\n# vertex 3\n"
                                "v 0.000000 0.000000 0.000000\n"
                                "v 1.000000 0.000000 0.000000\n"
                                "v 0.000000 0.500000 -2.000000\n"
                                "\n# normal 1\n"
                                "vn 0.000000 0.000000 1.000000\n"
                                "\n# texture 3\n"
                                "vt 0.000000 0.000000\n"
                                "vt 1.000000 0.000000\n"
                                "vt 0.250000 1.000000\n"
                                "\n# faces\n"
                                "g tri\n"
                                "usemtl flat\n"
                                "f 1/1/1 2/2/1 3/3/1\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"t.mtl", "t.obj"}));
}

TEST_F(OglmFile, FlagsWriteOnlyVerticesAndPlainCorners)
{
    std::string base = path("p");
    ASSERT_TRUE(oglmWrite(handMadeTriangle(), base.c_str(), 1));
    EXPECT_EQ(get("p.obj"), "mtllib p.mtl\n"
                            "\n# vertex 3\n"
                                "v 0.000000 0.000000 0.000000\n"
                                "v 1.000000 0.000000 0.000000\n"
                                "v 0.000000 0.500000 -2.000000\n"
                                "\n# faces\n"
                                "g tri\n"
                                "usemtl flat\n"
                                "f 1 2 3\n");
}

TEST_F(OglmFile, GroupsAreWrittenInCreationOrderWithTheCornerFormOfTheirIndices)
{
    put("o.obj", vertexLines(3) + "vt 0 0\nvn 0 0 1\n"
                                  "g first\nf 1//1 2//1 3//1\n"
                                  "g empty\n"
                                  "g second\nf 1/1 2/1 3/1\n"
                                  "g third\nf 3 2 1\n");
    ASSERT_TRUE(oglmWrite(read("o.obj"), path("o2").c_str(), 0));
    std::string text = get("o2.obj");
    std::string faces = text.substr(text.find("# faces\n"));
    EXPECT_EQ(faces, "# faces\n"
                     "g first\nusemtl default\nf 1//1 2//1 3//1\n"
                     "g second\nusemtl default\nf 1/1 2/1 3/1\n"
                     "g third\nusemtl default\nf 3 2 1\n");
}

TEST_F(OglmFile, AWrittenModelReadsBackTheSame)
{
    ASSERT_EQ(mkdir(path("out").c_str(), 0777), 0);
    put("rt.mtl", "newmtl red paint\nKd 1 0 0 1\nKa 0.1 0.1 0.1 1\nKs 0.5 0.5 0.5 1\nKe 0 0 0 1\nNs 30\n");
    put("rt.obj", "mtllib rt.mtl\n"
                  "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv 0 0 2.5\n"
                  "vt 0 0\nvt 1 0\nvt 1 1\nvt 0.5 0.75\n"
                  "vn 0 0 -1\nvn 0.6 0 0.8\n"
                  "g base\nusemtl red paint\nf 4/4/1 3/3/1 2/2/1 1/1/1\n"
                  "g roof\nf 1/1/2 2/2/2 5/4/2\nf 2/2/2 3/3/2 5/4/2\n"
                  "g plain\nusemtl chalk\nf 3 4 5\nf 4 1 5\n");
    OglmMesh first = read("rt.obj");
    ASSERT_TRUE(oglmWrite(first, path("out/rt2").c_str(), 0));  // its MTL file is found beside it
    OglmMesh second = read("out/rt2.obj");
    EXPECT_EQ(errors(), "");
    EXPECT_EQ(second.vertices, first.vertices);
    EXPECT_EQ(second.normals, first.normals);
    EXPECT_EQ(second.texcoords, first.texcoords);
    ASSERT_EQ(second.materials.size(), first.materials.size());
    for (std::size_t i = 0; i < first.materials.size(); i++) {
        const OglmMaterial &a = first.materials[i], &b = second.materials[i];
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.shininess, a.shininess);
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(b.diffuse[k], a.diffuse[k]) << a.name;
            EXPECT_EQ(b.ambient[k], a.ambient[k]) << a.name;
            EXPECT_EQ(b.specular[k], a.specular[k]) << a.name;
            EXPECT_EQ(b.emission[k], a.emission[k]) << a.name;
        }
    }
    ASSERT_EQ(second.groups.size(), first.groups.size());
    for (std::size_t i = 0; i < first.groups.size(); i++) {
        const OglmGroup &a = first.groups[i], *b = &second.groups[i];
        EXPECT_EQ(b->name, a.name);
        EXPECT_EQ(b->material, a.material) << a.name;
        EXPECT_EQ(b->faceStart, a.faceStart) << a.name;
        EXPECT_EQ(b->vertexIndex, a.vertexIndex) << a.name;
        EXPECT_EQ(b->textureIndex, a.textureIndex) << a.name;
        EXPECT_EQ(b->normalIndex, a.normalIndex) << a.name;
    }
}

TEST_F(OglmFile, AFailedWriteLeavesTheOldFilesWhole)
{
    OglmMesh mesh = handMadeTriangle();
    std::string missing = path("no/such/folder/m");
    EXPECT_FALSE(oglmWrite(mesh, missing.c_str(), 0));
    EXPECT_EQ(errors(), "Error in open " + missing + ".obj\n");

    EXPECT_FALSE(oglmWrite(OglmMesh(), path("none").c_str(), 0));
    EXPECT_EQ(errors(), "No vertex to save.\n");
    EXPECT_TRUE(entries().empty());

    ASSERT_TRUE(oglmWrite(mesh, path("size").c_str(), 0));
    long long mtlBytes = static_cast<long long>(get("size.mtl").size());
    put("old.obj", "old obj\n");
    put("old.mtl", "old mtl\n");
    /* Writes fail within the MTL file, then within the OBJ file. */
    for (long long budget : {10LL, mtlBytes + 20}) {
        tesk_failWritesAfter(budget);
        EXPECT_FALSE(oglmWrite(mesh, path("old").c_str(), 0)) << budget;
        tesk_failWritesAfter(-1);
        EXPECT_EQ(errors().rfind("Error in writing " + path(budget == 10 ? "old.mtl" : "old.obj"), 0), 0u);
        EXPECT_EQ(get("old.obj"), "old obj\n");
        EXPECT_EQ(get("old.mtl"), "old mtl\n");
        EXPECT_EQ(entries(), (std::vector<std::string>{"old.mtl", "old.obj", "size.mtl", "size.obj"}));
    }
}

TEST_F(OglmFile, AnMtlFileThatCannotBeMadeLeavesTheModelWithoutMtllib)
{
    ASSERT_EQ(mkdir(path("x.mtl").c_str(), 0777), 0);
    std::string base = path("x");
    EXPECT_TRUE(oglmWrite(handMadeTriangle(), base.c_str(), 1));
    EXPECT_EQ(errors(), "Error in open: " + base + ".mtl\n");
    EXPECT_EQ(get("x.obj").rfind("\n# vertex 3\n", 0), 0u);
}

}  // namespace
