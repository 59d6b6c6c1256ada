// oglm_peer.cpp --
//
//	The peer of oglm_bench.tcl: imports an OBJ file with assimp, triangulated
//	and given smooth normals limited to 60 degrees, the way `oglm create`
//	loads a model with -normal 2 -smoothmode 2 -smoothness 60.
//	  oglm_peer FILE
//	      prints the milliseconds of the import (reading, parsing and the
//	      post-processing steps) and the number of triangles it gave
//	Exit 1 when the file cannot be imported.
//
//	Vertices are not joined. The OBJ importer gives every face corner its
//	own vertex and the smoothing step finds a vertex's neighbours by
//	position, not by index, so the corners sharing a point are averaged
//	together as oglm averages the corners of one vertex; joining would run
//	after the smoothing anyway and only add work.
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: oglm_peer FILE\n");
        return 1;
    }
    Assimp::Importer importer;
    importer.SetPropertyFloat(AI_CONFIG_PP_GSN_MAX_SMOOTHING_ANGLE, 60.0f);
    auto start = std::chrono::steady_clock::now();
    const aiScene *scene = importer.ReadFile(argv[1], aiProcess_Triangulate | aiProcess_GenSmoothNormals);
    auto end = std::chrono::steady_clock::now();
    if (scene == nullptr) {
        std::fprintf(stderr, "oglm_peer: %s\n", importer.GetErrorString());
        return 1;
    }
    long triangles = 0;
    for (unsigned int m = 0; m < scene->mNumMeshes; m++) {
        const aiMesh *mesh = scene->mMeshes[m];
        if (!mesh->HasNormals()) {
            std::fprintf(stderr, "oglm_peer: mesh %u has no normals\n", m);
            return 1;
        }
        for (unsigned int f = 0; f < mesh->mNumFaces; f++) {
            triangles += mesh->mFaces[f].mNumIndices == 3;
        }
    }
    std::printf("%.1f %ld\n", std::chrono::duration<double, std::milli>(end - start).count(), triangles);
    return 0;
}
