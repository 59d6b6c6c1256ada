/*
 * oglmfile.cpp --
 *
 *	OBJ models and MTL material libraries: reading and writing.
 */
#include "gl/oglm.h"

bool oglmReadObj(const char *, OglmMesh &)
{
    return false;
}

bool oglmReadMtl(const char *, OglmMesh &)
{
    return false;
}

bool oglmWrite(const OglmMesh &, const char *, int)
{
    return false;
}
