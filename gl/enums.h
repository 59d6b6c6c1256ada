/*
 * enums.h --
 *
 *	The word tables through which the gl, glu and glut commands take their
 *	enumeration arguments and through which glGet and the property queries
 *	name the values they hand back. Each table is the binding's own
 *	vocabulary, closed by {nullptr, kOglNoEnum}; where a table's word is
 *	misspelt the right spelling follows as an extra row, so that both are
 *	taken and the misspelt word is still the one answered.
 *	The comment of each table gives its size, first word and the commands
 *	that use it.
 */
#ifndef TESK_GL_ENUMS_H
#define TESK_GL_ENUMS_H

#include "gl/ogl.h"

extern const OglEnum kOglAlphaDepthFunc[]; /* 8: GL_ALWAYS ..; glAlphaFunc, glDepthFunc, glGet */
extern const OglEnum kOglBlendSrc[]; /* 9: GL_ZERO ..; glBlendFunc, glGet */
extern const OglEnum kOglBlendDst[]; /* 8: GL_ZERO ..; glBlendFunc, glGet */
extern const OglEnum kOglBoolean[]; /* 2: GL_TRUE ..; glDepthMask, glGet */
extern const OglEnum kOglCullFace[]; /* 2: GL_FRONT ..; glCullFace, glGet */
extern const OglEnum kOglDrawBuffer[]; /* 14: GL_NONE ..; glDrawBuffer, glGet */
extern const OglEnum kOglFogParam[]; /* 6: GL_FOG_MODE ..; glFog, glGet */
extern const OglEnum kOglFrontFace[]; /* 2: GL_CW ..; glFrontFace, glGet */
extern const OglEnum kOglHintMode[]; /* 3: GL_FASTEST ..; glHint, glGet */
extern const OglEnum kOglFace[]; /* 3: GL_FRONT ..; glColorMaterial, glPolygonMode, glMaterial, glGet */
extern const OglEnum kOglColorMaterialMode[]; /* 5: GL_EMISSION ..; glColorMaterial, glGet */
extern const OglEnum kOglTexFormat[]; /* 9: GL_COLOR_INDEX ..; glTexImage1D, glTexImage2D, glTexSubImage1D, glTexSubImage2D, gluBuild1DMipmaps, gluBuild2DMipmaps */
extern const OglEnum kOglPixelFormat[]; /* 11: GL_COLOR_INDEX ..; glDrawPixels, glReadPixels, gluScaleImage */
extern const OglEnum kOglPixelType[]; /* 8: GL_UNSIGNED_BYTE ..; glload, glColorPointer, glDrawPixels, glReadPixels, glTexImage1D, glTexImage2D, glTexSubImage1D, glTexSubImage2D, gluBuild1DMipmaps, gluBuild2DMipmaps, gluScaleImage */
extern const OglEnum kOglInternalFormat[]; /* 38: GL_ALPHA ..; glCopyTexImage1D, glCopyTexImage2D, glTexImage1D, glTexImage2D */
extern const OglEnum kOglListMode[]; /* 2: GL_COMPILE ..; glNewList, glGet */
extern const OglEnum kOglMap1Target[]; /* 9: GL_MAP1_VERTEX_3 ..; glMap1, gluNurbsCurve */
extern const OglEnum kOglMap2Target[]; /* 9: GL_MAP2_VERTEX_3 ..; glMap2, gluNurbsSurface */
extern const OglEnum kOglMatrixMode[]; /* 3: GL_MODELVIEW ..; glMatrixMode, glGet */
extern const OglEnum kOglPolygonMode[]; /* 3: GL_POINT ..; glPolygonMode, glGet */
extern const OglEnum kOglReadBuffer[]; /* 13: GL_FRONT_LEFT ..; glReadBuffer, glGet */
extern const OglEnum kOglRenderMode[]; /* 3: GL_RENDER ..; glRenderMode, glGet */
extern const OglEnum kOglShadeModel[]; /* 2: GL_FLAT ..; glShadeModel, glGet */
extern const OglEnum kOglStencilFunc[]; /* 8: GL_ALWAYS ..; glStencilFunc, glGet */
extern const OglEnum kOglStencilOp[]; /* 6: GL_KEEP ..; glStencilOp, glGet */
extern const OglEnum kOglTexEnvMode[]; /* 3: GL_MODULATE ..; glTexEnv, glGet */
extern const OglEnum kOglNurbsProperty[]; /* 8: GLU_SAMPLING_TOLERANCE ..; gluGetNurbsProperty, gluNurbsProperty */
extern const OglEnum kOglNurbsValue[]; /* 8: GLU_PATH_LENGTH ..; gluGetNurbsProperty, gluNurbsProperty */
extern const OglEnum kOglTessProperty[]; /* 3: GLU_TESS_WINDING_RULE ..; gluGetTessProperty, gluTessProperty */
extern const OglEnum kOglTessValue[]; /* 7: GLU_TESS_WINDING_ODD ..; gluGetTessProperty, gluTessProperty */
extern const OglEnum kOglAccumOp[]; /* 4: GL_ACCUM ..; glAccum */
extern const OglEnum kOglBeginMode[]; /* 10: GL_LINES ..; glBegin */
extern const OglEnum kOglTextureTarget[]; /* 2: GL_TEXTURE_1D ..; glBindTexture, glGetTexLevalParameter, glTexParameter */
extern const OglEnum kOglListsType[]; /* 9: GL_BYTE ..; glCallLists */
extern const OglEnum kOglClearMask[]; /* 5: GL_ACCUM_BUFFER_BIT ..; glClear */
extern const OglEnum kOglClipPlane[]; /* 6: GL_CLIP_PLANE0 ..; glClipPlane */
extern const OglEnum kOglCopyPixelsType[]; /* 3: GL_COLOR ..; glCopyPixels */
extern const OglEnum kOglTexture1D[]; /* 1: GL_TEXTURE_1D ..; glCopyTexImage1D, glCopyTexSubImage1D, glTexSubImage1D, gluBuild1DMipmaps */
extern const OglEnum kOglTexture2D[]; /* 1: GL_TEXTURE_2D ..; glCopyTexImage2D, glCopyTexSubImage2D, glTexSubImage2D, gluBuild2DMipmaps */
extern const OglEnum kOglCapability[]; /* 56: GL_ALPHA_TEST ..; glDisable, glEnable, glIsEnabled */
extern const OglEnum kOglDrawMode[]; /* 10: GL_POINTS ..; glDrawArrays, glDrawElements */
extern const OglEnum kOglIndexType[]; /* 3: GL_UNSIGNED_BYTE ..; glDrawElements */
extern const OglEnum kOglEvalMesh1Mode[]; /* 2: GL_POINT ..; glEvalMesh1 */
extern const OglEnum kOglEvalMesh2Mode[]; /* 3: GL_FILL ..; glEvalMesh2 */
extern const OglEnum kOglFeedbackType[]; /* 5: GL_2D ..; glFeedbackBuffer */
extern const OglEnum kOglGetParam[]; /* 205: GL_ACCUM_ALPHA_BITS ..; glGet */
extern const OglEnum kOglError[]; /* 7: GL_NO_ERROR ..; glGetError */
extern const OglEnum kOglStringName[]; /* 4: GL_VENDOR ..; glGetString */
extern const OglEnum kOglTexLevelParam[]; /* 11: GL_TEXTURE_WIDTH ..; glGetTexLevalParameter */
extern const OglEnum kOglHintTarget[]; /* 5: GL_FOG_HINT ..; glHint */
extern const OglEnum kOglPointerType[]; /* 4: GL_SHORT ..; glIndexPointer, glNormalPointer, glTexCoordPointer, glVertexPointer */
extern const OglEnum kOglInterleavedFormat[]; /* 14: GL_V2F ..; glInterleavedArrays */
extern const OglEnum kOglLight[]; /* 8: GL_LIGHT0 ..; glLight */
extern const OglEnum kOglLightParam[]; /* 10: GL_AMBIENT ..; glLight */
extern const OglEnum kOglLightModelParam[]; /* 3: GL_LIGHT_MODEL_TWO_SIDE ..; glLightModel */
extern const OglEnum kOglLogicOp[]; /* 16: GL_CLEAR ..; glLogicOp */
extern const OglEnum kOglMaterialParam[]; /* 7: GL_AMBIENT ..; glMaterial */
extern const OglEnum kOglPixelMapName[]; /* 10: GL_PIXEL_MAP_I_TO_I ..; glPixelMap */
extern const OglEnum kOglPixelStoreParam[]; /* 11: GL_PACK_SWAP_BYTES ..; glPixelStore */
extern const OglEnum kOglPixelTransferParam[]; /* 13: GL_MAP_COLOR ..; glPixelTransfer */
extern const OglEnum kOglAttribMask[]; /* 21: GL_ALL_ATTRIB_BITS ..; glPushAttrib */
extern const OglEnum kOglClientAttribMask[]; /* 3: GL_CLIENT_PIXEL_STORE_BIT ..; glPushClientAttrib */
extern const OglEnum kOglTexEnvTarget[]; /* 1: GL_TEXTURE_ENV ..; glTexEnv */
extern const OglEnum kOglTexEnvParam[]; /* 2: GL_TEXTURE_ENV_MODE ..; glTexEnv */
extern const OglEnum kOglTexGenCoord[]; /* 4: GL_S ..; glTexGen */
extern const OglEnum kOglTexGenParam[]; /* 3: GL_TEXTURE_GEN_MODE ..; glTexGen */
extern const OglEnum kOglTexGenMode[]; /* 3: GL_OBJECT_LINEAR ..; glTexGen */
extern const OglEnum kOglTexImage1DTarget[]; /* 2: GL_TEXTURE_1D ..; glTexImage1D */
extern const OglEnum kOglTexImage2DTarget[]; /* 2: GL_TEXTURE_2D ..; glTexImage2D */
extern const OglEnum kOglTexParam[]; /* 6: GL_TEXTURE_MIN_FILTER ..; glTexParameter */
extern const OglEnum kOglTexWrap[]; /* 2: GL_CLAMP ..; glTexParameter */
extern const OglEnum kOglTexMagFilter[]; /* 2: GL_NEAREST ..; glTexParameter */
extern const OglEnum kOglTexMinFilter[]; /* 6: GL_NEAREST ..; glTexParameter */
extern const OglEnum kOglGluStringName[]; /* 2: GLU_VERSION ..; gluGetString */
extern const OglEnum kOglContourType[]; /* 5: GLU_EXTERIOR ..; gluNextContour */
extern const OglEnum kOglGluCallbackWhich[]; /* 1: GLU_ERROR ..; gluNurbsCallback, gluQuadricCallback */
extern const OglEnum kOglTrimType[]; /* 2: GLU_MAP1_TRIM_2 ..; gluNurbsCurve, gluPwlCurve */
extern const OglEnum kOglQuadricDrawStyle[]; /* 4: GLU_FILL ..; gluQuadricDrawStyle */
extern const OglEnum kOglQuadricNormals[]; /* 3: GLU_NONE ..; gluQuadricNormals */
extern const OglEnum kOglQuadricOrientation[]; /* 2: GLU_INSIDE ..; gluQuadricOrientation */
extern const OglEnum kOglQuadricTexture[]; /* 4: GL_TRUE ..; gluQuadricTexture */

/* Every table above with its name, for the table check. */
struct OglEnumTableEntry {
    const char *name;     /* "kOglBeginMode" */
    const OglEnum *table;
};
extern const OglEnumTableEntry oglEnumTables[]; /* closed by {nullptr, nullptr} */

/* What glGet hands back for one query name of kOglGetParam. */
enum OglGetKind {
    OGL_GET_NUMBER,  /* each value "%f" */
    OGL_GET_BOOLEAN, /* each value "GL_TRUE" or "GL_FALSE" */
    OGL_GET_ENUM     /* each value the word of `words` for it, "%d" without one */
};
struct OglGetInfo {
    GLenum name;          /* the query's value */
    int count;            /* values handed back: 1, 2, 3, 4 or 16 */
    OglGetKind kind;
    const OglEnum *words; /* OGL_GET_ENUM: the table of the command that sets the
                           * state; nullptr when that command takes a number */
};
/* The entry of a query value of kOglGetParam, or nullptr. */
const OglGetInfo *oglGetInfoFor(GLenum name);

#endif /* TESK_GL_ENUMS_H */
