/*
 * oglm.h --
 *
 *	Polygon models of the `oglm` command: the mesh read from an OBJ file
 *	and its MTL material libraries (oglmfile.cpp reads and writes them),
 *	and what the command (oglm.cpp) does with it: fitting into a cube
 *	around the origin, normals, smoothing, reversing and drawing.
 *
 *	Indices are zero-based throughout; files hold them one-based.
 */
#ifndef TESK_GL_OGLM_H
#define TESK_GL_OGLM_H

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <tcl.h>
#include <tk.h>

using OglmVec3 = std::array<float, 3>;

/* A material of an MTL library. */
struct OglmMaterial {
    std::string name;
    float shininess; /* Ns */
    float diffuse[4], ambient[4], specular[4], emission[4];
};

/* The default material (record 0 of every table): "default", shininess
 * 625, diffuse 0.8 0.8 0.8 1, ambient 0.2 0.2 0.2 1, specular 0 0 0 1,
 * emission 0 0 0 0. */
OglmMaterial oglmDefaultMaterial();

/* A group of faces ("g" lines). Face i spans corners faceStart[i] to
 * faceStart[i + 1] - 1 of the per-corner arrays; faceStart holds 0 and the
 * running end of each face, so it has one more entry than the group has
 * faces. textureIndex and normalIndex are either empty (the group has no
 * such indices) or one per corner: a group keeps them only while every
 * face added to it gave them. */
struct OglmGroup {
    std::string name;
    int material = 0;               /* index into the material table */
    std::vector<int> faceStart{0};
    std::vector<int> smoothing;     /* per face; empty when the file had no "s" lines */
    std::vector<int> vertexIndex;   /* per corner */
    std::vector<int> textureIndex;  /* per corner, or empty */
    std::vector<int> normalIndex;   /* per corner, or empty */

    int faceCount() const
    {
        return static_cast<int>(faceStart.size()) - 1;
    }
};

/* The data of one model. Every index a group holds is valid for the
 * arrays it indexes (the reader drops faces that break this, and
 * whatever rewrites the arrays keeps it). */
struct OglmMesh {
    std::string fileName;               /* the OBJ file it was read from */
    std::vector<OglmVec3> vertices;
    std::vector<OglmVec3> normals;
    std::vector<OglmVec3> texcoords;    /* a two-value "vt" leaves the third 0 */
    std::vector<OglmMaterial> materials; /* empty, or [0] the default material */
    /* The groups in creation order, which save keeps, so that a load of
     * the saved file makes them in the same order. The model's list order
     * (info, draw) is the reverse: the most recently created group first. */
    std::vector<OglmGroup> groups;
    bool hadSmoothing = false;          /* the file had "s" lines */
};

/* The index of the material called name, added as a copy of the default
 * material (the table made first, with the default material as record 0,
 * when empty) when none has that name. It scans the table; the readers
 * keep an index of the names through a load instead. */
int oglmFindMaterial(OglmMesh &mesh, const std::string &name);

/* Material names to their index in a mesh's table, kept beside the table
 * through one load or one command so that names are found at once; the
 * first of equal names wins, as in oglmFindMaterial. */
using OglmMaterialIndex = std::unordered_map<std::string, int>;
/* The index of mesh's table (made first, as oglmFindMaterial makes it). */
OglmMaterialIndex oglmIndexMaterials(OglmMesh &mesh);
/* oglmFindMaterial through byName, which learns the names added. */
int oglmFindIndexed(OglmMesh &mesh, OglmMaterialIndex &byName, std::string_view name);

/* Reads an OBJ file and the MTL libraries it names into an empty mesh.
 * Problems that do not stop the load (an invalid face, a missing MTL file)
 * are printed to the console's standard error. false when the file is no
 * regular file or cannot be opened or read ("Error in open %s\n" printed),
 * or when memory runs out (a line printed); mesh is then unspecified. */
bool oglmReadObj(const char *path, OglmMesh &mesh);
/* Reads an MTL file into mesh's material table; false when it is no
 * regular file or cannot be opened or read ("Error in open material file:
 * %s\n" printed), or when memory runs out (a line printed). */
bool oglmReadMtl(const char *path, OglmMesh &mesh);
/* Writes base.mtl and base.obj (flags non-zero: vertices and plain corners
 * only), each through a temporary file renamed over the old one once both
 * are whole, the MTL file first. false after printing why; the old files
 * are then left whole, but for one case: when the OBJ file's rename fails
 * after the MTL file's succeeded, the new MTL file stands beside the old
 * OBJ file. */
bool oglmWrite(const OglmMesh &mesh, const char *base, int flags);

/* ---------------------------------------------------------------------
 * The oglm command (oglm.cpp)
 * ------------------------------------------------------------------- */

/* The options of a model, in option-table order; plain so that the table
 * addresses them and a configure works on a copy. */
struct OglmOptions {
    Tk_Uid file;       /* -file, "" */
    int reverse;       /* -reverse, 0 */
    int normal;        /* -normal, 2 */
    int smoothMode;    /* -smoothmode, 2 */
    double smoothness; /* -smoothness, degrees, 60 */
    double zoom;       /* -zoom, 1.0 */
};

/* One model of the process-wide table. */
struct OglmModel {
    OglmOptions options;
    OglmMesh mesh;
};

/* Fits the vertices into -zoom .. zoom along their largest extent,
 * centred on the origin; vertices that all coincide are only centred. */
void oglmFit(OglmMesh &mesh, double zoom);
/* oglmComputeNormals recomputes the normals by mode (0 keeps the file's,
 * or computes them as 1 when there are none; 1 fan normals; 2 corner
 * normals; others drop them) and does not smooth them; oglmSmooth smooths
 * the current normals by smoothMode and smoothness. Both make the new
 * normals apart and swap them in whole, so a std::bad_alloc they throw
 * leaves the mesh as it was. */
void oglmComputeNormals(OglmMesh &mesh, int mode);
void oglmSmooth(OglmMesh &mesh, int smoothMode, double smoothness);
/* Reverses every face and negates the normals (a mesh with normals). */
void oglmReverse(OglmMesh &mesh);
/* Draws into the current context in immediate mode. */
void oglmDraw(const OglmMesh &mesh);

#endif /* TESK_GL_OGLM_H */
