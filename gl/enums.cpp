/*
 * enums.cpp --
 *
 *	The enumeration tables of the OpenGL binding: the words each command
 *	takes for its enumeration arguments, with their values, in the order
 *	they are looked up, and the list of every table by name. A misspelt
 *	word keeps its row and the value it stands for; the right spelling is
 *	added after the table's own rows, so the misspelt word is the one a
 *	value is named by.
 */
#include "gl/enums.h"

// clang-format off

/* glAlphaFunc, glDepthFunc, glGet.
 * The equality test is spelt GL_EQAUL; GL_EQUAL follows the table's own rows. */
const OglEnum kOglAlphaDepthFunc[] = {
    {"GL_ALWAYS", 0x0207}, {"GL_EQAUL", 0x0202}, {"GL_GEQUAL", 0x0206}, {"GL_GREATER", 0x0204},
    {"GL_LEQUAL", 0x0203}, {"GL_LESS", 0x0201}, {"GL_NEVER", 0x0200}, {"GL_NOTEQUAL", 0x0205},
    {"GL_EQUAL", 0x0202}, {nullptr, kOglNoEnum},
};

/* glBlendFunc, glGet. */
const OglEnum kOglBlendSrc[] = {
    {"GL_ZERO", 0x0000}, {"GL_ONE", 0x0001}, {"GL_DST_COLOR", 0x0306},
    {"GL_ONE_MINUS_DST_COLOR", 0x0307}, {"GL_SRC_ALPHA", 0x0302},
    {"GL_ONE_MINUS_SRC_ALPHA", 0x0303}, {"GL_DST_ALPHA", 0x0304},
    {"GL_ONE_MINUS_DST_ALPHA", 0x0305}, {"GL_SRC_ALPHA_SATURATE", 0x0308}, {nullptr, kOglNoEnum},
};

/* glBlendFunc, glGet. */
const OglEnum kOglBlendDst[] = {
    {"GL_ZERO", 0x0000}, {"GL_ONE", 0x0001}, {"GL_SRC_COLOR", 0x0300},
    {"GL_ONE_MINUS_SRC_COLOR", 0x0301}, {"GL_SRC_ALPHA", 0x0302},
    {"GL_ONE_MINUS_SRC_ALPHA", 0x0303}, {"GL_DST_ALPHA", 0x0304},
    {"GL_ONE_MINUS_DST_ALPHA", 0x0305}, {nullptr, kOglNoEnum},
};

/* glDepthMask, glGet. */
const OglEnum kOglBoolean[] = {
    {"GL_TRUE", 0x0001}, {"GL_FALSE", 0x0000}, {nullptr, kOglNoEnum},
};

/* glCullFace, glGet. */
const OglEnum kOglCullFace[] = {
    {"GL_FRONT", 0x0404}, {"GL_BACK", 0x0405}, {nullptr, kOglNoEnum},
};

/* glDrawBuffer, glGet. */
const OglEnum kOglDrawBuffer[] = {
    {"GL_NONE", 0x0000}, {"GL_FRONT_LEFT", 0x0400}, {"GL_FRONT_RIGHT", 0x0401},
    {"GL_BACK_LEFT", 0x0402}, {"GL_BACK_RIGHT", 0x0403}, {"GL_FRONT", 0x0404}, {"GL_BACK", 0x0405},
    {"GL_LEFT", 0x0406}, {"GL_RIGHT", 0x0407}, {"GL_FRONT_AND_BACK", 0x0408}, {"GL_AUX0", 0x0409},
    {"GL_AUX1", 0x040A}, {"GL_AUX2", 0x040B}, {"GL_AUX3", 0x040C}, {nullptr, kOglNoEnum},
};

/* glFog, glGet.
 * The fog colour is spelt GL_FOR_COLOR; GL_FOG_COLOR follows. */
const OglEnum kOglFogParam[] = {
    {"GL_FOG_MODE", 0x0B65}, {"GL_FOG_DENSITY", 0x0B62}, {"GL_FOG_START", 0x0B63},
    {"GL_FOG_END", 0x0B64}, {"GL_FOG_INDEX", 0x0B61}, {"GL_FOR_COLOR", 0x0B66},
    {"GL_FOG_COLOR", 0x0B66}, {nullptr, kOglNoEnum},
};

/* glFrontFace, glGet. */
const OglEnum kOglFrontFace[] = {
    {"GL_CW", 0x0900}, {"GL_CCW", 0x0901}, {nullptr, kOglNoEnum},
};

/* glHint, glGet. */
const OglEnum kOglHintMode[] = {
    {"GL_FASTEST", 0x1101}, {"GL_NICEST", 0x1102}, {"GL_DONT_CARE", 0x1100}, {nullptr, kOglNoEnum},
};

/* glColorMaterial, glPolygonMode, glMaterial, glGet. */
const OglEnum kOglFace[] = {
    {"GL_FRONT", 0x0404}, {"GL_BACK", 0x0405}, {"GL_FRONT_AND_BACK", 0x0408}, {nullptr, kOglNoEnum},
};

/* glColorMaterial, glGet. */
const OglEnum kOglColorMaterialMode[] = {
    {"GL_EMISSION", 0x1600}, {"GL_AMBIENT", 0x1200}, {"GL_DIFFUSE", 0x1201},
    {"GL_SPECULAR", 0x1202}, {"GL_AMBIENT_AND_DIFFUSE", 0x1602}, {nullptr, kOglNoEnum},
};

/* glTexImage1D, glTexImage2D, glTexSubImage1D, glTexSubImage2D, gluBuild1DMipmaps, gluBuild2DMipmaps. */
const OglEnum kOglTexFormat[] = {
    {"GL_COLOR_INDEX", 0x1900}, {"GL_RED", 0x1903}, {"GL_GREEN", 0x1904}, {"GL_BLUE", 0x1905},
    {"GL_ALPHA", 0x1906}, {"GL_RGB", 0x1907}, {"GL_RGBA", 0x1908}, {"GL_LUMINANCE", 0x1909},
    {"GL_LUMINANCE_ALPHA", 0x190A}, {nullptr, kOglNoEnum},
};

/* glDrawPixels, glReadPixels, gluScaleImage. */
const OglEnum kOglPixelFormat[] = {
    {"GL_COLOR_INDEX", 0x1900}, {"GL_STENCIL_INDEX", 0x1901}, {"GL_DEPTH_COMPONENT", 0x1902},
    {"GL_RED", 0x1903}, {"GL_GREEN", 0x1904}, {"GL_BLUE", 0x1905}, {"GL_ALPHA", 0x1906},
    {"GL_RGB", 0x1907}, {"GL_RGBA", 0x1908}, {"GL_LUMINANCE", 0x1909},
    {"GL_LUMINANCE_ALPHA", 0x190A}, {nullptr, kOglNoEnum},
};

/* glload, glColorPointer, glDrawPixels, glReadPixels, glTexImage1D, glTexImage2D, glTexSubImage1D, glTexSubImage2D, gluBuild1DMipmaps, gluBuild2DMipmaps, gluScaleImage. */
const OglEnum kOglPixelType[] = {
    {"GL_UNSIGNED_BYTE", 0x1401}, {"GL_BYTE", 0x1400}, {"GL_BITMAP", 0x1A00},
    {"GL_UNSIGNED_SHORT", 0x1403}, {"GL_SHORT", 0x1402}, {"GL_UNSIGNED_INT", 0x1405},
    {"GL_INT", 0x1404}, {"GL_FLOAT", 0x1406}, {nullptr, kOglNoEnum},
};

/* glCopyTexImage1D, glCopyTexImage2D, glTexImage1D, glTexImage2D. */
const OglEnum kOglInternalFormat[] = {
    {"GL_ALPHA", 0x1906}, {"GL_ALPHA4", 0x803B}, {"GL_ALPHA8", 0x803C}, {"GL_ALPHA12", 0x803D},
    {"GL_ALPHA16", 0x803E}, {"GL_LUMINANCE", 0x1909}, {"GL_LUMINANCE4", 0x803F},
    {"GL_LUMINANCE8", 0x8040}, {"GL_LUMINANCE12", 0x8041}, {"GL_LUMINANCE16", 0x8042},
    {"GL_LUMINANCE_ALPHA", 0x190A}, {"GL_LUMINANCE4_ALPHA4", 0x8043},
    {"GL_LUMINANCE6_ALPHA2", 0x8044}, {"GL_LUMINANCE8_ALPHA8", 0x8045},
    {"GL_LUMINANCE12_ALPHA4", 0x8046}, {"GL_LUMINANCE12_ALPHA12", 0x8047},
    {"GL_LUMINANCE16_ALPHA16", 0x8048}, {"GL_INTENSITY", 0x8049}, {"GL_INTENSITY4", 0x804A},
    {"GL_INTENSITY8", 0x804B}, {"GL_INTENSITY12", 0x804C}, {"GL_INTENSITY16", 0x804D},
    {"GL_RGB", 0x1907}, {"GL_R3_G3_B2", 0x2A10}, {"GL_RGB4", 0x804F}, {"GL_RGB5", 0x8050},
    {"GL_RGB8", 0x8051}, {"GL_RGB10", 0x8052}, {"GL_RGB12", 0x8053}, {"GL_RGB16", 0x8054},
    {"GL_RGBA", 0x1908}, {"GL_RGBA2", 0x8055}, {"GL_RGBA4", 0x8056}, {"GL_RGB5_A1", 0x8057},
    {"GL_RGBA8", 0x8058}, {"GL_RGB10_A2", 0x8059}, {"GL_RGBA12", 0x805A}, {"GL_RGBA16", 0x805B},
    {nullptr, kOglNoEnum},
};

/* glNewList, glGet. */
const OglEnum kOglListMode[] = {
    {"GL_COMPILE", 0x1300}, {"GL_COMPILE_AND_EXECUTE", 0x1301}, {nullptr, kOglNoEnum},
};

/* glMap1, gluNurbsCurve. */
const OglEnum kOglMap1Target[] = {
    {"GL_MAP1_VERTEX_3", 0x0D97}, {"GL_MAP1_VERTEX_4", 0x0D98}, {"GL_MAP1_INDEX", 0x0D91},
    {"GL_MAP1_COLOR_4", 0x0D90}, {"GL_MAP1_NORMAL", 0x0D92}, {"GL_MAP1_TEXTURE_COORD_1", 0x0D93},
    {"GL_MAP1_TEXTURE_COORD_2", 0x0D94}, {"GL_MAP1_TEXTURE_COORD_3", 0x0D95},
    {"GL_MAP1_TEXTURE_COORD_4", 0x0D96}, {nullptr, kOglNoEnum},
};

/* glMap2, gluNurbsSurface. */
const OglEnum kOglMap2Target[] = {
    {"GL_MAP2_VERTEX_3", 0x0DB7}, {"GL_MAP2_VERTEX_4", 0x0DB8}, {"GL_MAP2_INDEX", 0x0DB1},
    {"GL_MAP2_COLOR_4", 0x0DB0}, {"GL_MAP2_NORMAL", 0x0DB2}, {"GL_MAP2_TEXTURE_COORD_1", 0x0DB3},
    {"GL_MAP2_TEXTURE_COORD_2", 0x0DB4}, {"GL_MAP2_TEXTURE_COORD_3", 0x0DB5},
    {"GL_MAP2_TEXTURE_COORD_4", 0x0DB6}, {nullptr, kOglNoEnum},
};

/* glMatrixMode, glGet. */
const OglEnum kOglMatrixMode[] = {
    {"GL_MODELVIEW", 0x1700}, {"GL_PROJECTION", 0x1701}, {"GL_TEXTURE", 0x1702},
    {nullptr, kOglNoEnum},
};

/* glPolygonMode, glGet. */
const OglEnum kOglPolygonMode[] = {
    {"GL_POINT", 0x1B00}, {"GL_LINE", 0x1B01}, {"GL_FILL", 0x1B02}, {nullptr, kOglNoEnum},
};

/* glReadBuffer, glGet. */
const OglEnum kOglReadBuffer[] = {
    {"GL_FRONT_LEFT", 0x0400}, {"GL_FRONT_RIGHT", 0x0401}, {"GL_BACK_LEFT", 0x0402},
    {"GL_BACK_RIGHT", 0x0403}, {"GL_FRONT", 0x0404}, {"GL_BACK", 0x0405}, {"GL_LEFT", 0x0406},
    {"GL_RIGHT", 0x0407}, {"GL_FRONT_AND_BACK", 0x0408}, {"GL_AUX0", 0x0409}, {"GL_AUX1", 0x040A},
    {"GL_AUX2", 0x040B}, {"GL_AUX3", 0x040C}, {nullptr, kOglNoEnum},
};

/* glRenderMode, glGet. */
const OglEnum kOglRenderMode[] = {
    {"GL_RENDER", 0x1C00}, {"GL_SELECT", 0x1C02}, {"GL_FEEDBACK", 0x1C01}, {nullptr, kOglNoEnum},
};

/* glShadeModel, glGet. */
const OglEnum kOglShadeModel[] = {
    {"GL_FLAT", 0x1D00}, {"GL_SMOOTH", 0x1D01}, {nullptr, kOglNoEnum},
};

/* glStencilFunc, glGet. */
const OglEnum kOglStencilFunc[] = {
    {"GL_ALWAYS", 0x0207}, {"GL_EQUAL", 0x0202}, {"GL_GEQUAL", 0x0206}, {"GL_GREATER", 0x0204},
    {"GL_LEQUAL", 0x0203}, {"GL_LESS", 0x0201}, {"GL_NEVER", 0x0200}, {"GL_NOTEQUAL", 0x0205},
    {nullptr, kOglNoEnum},
};

/* glStencilOp, glGet. */
const OglEnum kOglStencilOp[] = {
    {"GL_KEEP", 0x1E00}, {"GL_ZERO", 0x0000}, {"GL_REPLACE", 0x1E01}, {"GL_INCR", 0x1E02},
    {"GL_DECR", 0x1E03}, {"GL_INVERT", 0x150A}, {nullptr, kOglNoEnum},
};

/* glTexEnv, glGet. */
const OglEnum kOglTexEnvMode[] = {
    {"GL_MODULATE", 0x2100}, {"GL_DECAL", 0x2101}, {"GL_BLEND", 0x0BE2}, {nullptr, kOglNoEnum},
};

/* gluGetNurbsProperty, gluNurbsProperty. */
const OglEnum kOglNurbsProperty[] = {
    {"GLU_SAMPLING_TOLERANCE", 0x1876B}, {"GLU_DISPLAY_MODE", 0x1876C}, {"GLU_CULLING", 0x18769},
    {"GLU_AUTO_LOAD_MATRIX", 0x18768}, {"GLU_PARAMETRIC_TOLERANCE", 0x1876A},
    {"GLU_SAMPLING_METHOD", 0x1876D}, {"GLU_U_STEP", 0x1876E}, {"GLU_V_STEP", 0x1876F},
    {nullptr, kOglNoEnum},
};

/* gluGetNurbsProperty, gluNurbsProperty. */
const OglEnum kOglNurbsValue[] = {
    {"GLU_PATH_LENGTH", 0x18777}, {"GLU_PARAMETRIC_ERROR", 0x18778},
    {"GLU_DOMAIN_DISTANCE", 0x18779}, {"GLU_FILL", 0x186AC}, {"GLU_OUTLINE_POLYGON", 0x18790},
    {"GLU_OUTLINE_PATCH", 0x18791}, {"GL_TRUE", 0x0001}, {"GL_FALSE", 0x0000},
    {nullptr, kOglNoEnum},
};

/* gluGetTessProperty, gluTessProperty. */
const OglEnum kOglTessProperty[] = {
    {"GLU_TESS_WINDING_RULE", 0x1872C}, {"GLU_TESS_BOUNDARY_ONLY", 0x1872D},
    {"GLU_TESS_TOLERANCE", 0x1872E}, {nullptr, kOglNoEnum},
};

/* gluGetTessProperty, gluTessProperty. */
const OglEnum kOglTessValue[] = {
    {"GLU_TESS_WINDING_ODD", 0x18722}, {"GLU_TESS_WINDING_NONZERO", 0x18723},
    {"GLU_TESS_WINDING_POSITIVE", 0x18724}, {"GLU_TESS_WINDING_NEGATIVE", 0x18725},
    {"GLU_TESS_WINDING_ABS_GEQ_TWO", 0x18726}, {"GL_TRUE", 0x0001}, {"GL_FALSE", 0x0000},
    {nullptr, kOglNoEnum},
};

/* glAccum. */
const OglEnum kOglAccumOp[] = {
    {"GL_ACCUM", 0x0100}, {"GL_ADD", 0x0104}, {"GL_MULT", 0x0103}, {"GL_LOAD", 0x0101},
    {nullptr, kOglNoEnum},
};

/* glBegin. */
const OglEnum kOglBeginMode[] = {
    {"GL_LINES", 0x0001}, {"GL_LINE_LOOP", 0x0002}, {"GL_LINE_STRIP", 0x0003},
    {"GL_POINTS", 0x0000}, {"GL_POLYGON", 0x0009}, {"GL_QUADS", 0x0007}, {"GL_QUAD_STRIP", 0x0008},
    {"GL_TRIANGLES", 0x0004}, {"GL_TRIANGLE_FAN", 0x0006}, {"GL_TRIANGLE_STRIP", 0x0005},
    {nullptr, kOglNoEnum},
};

/* glBindTexture, glGetTexLevalParameter, glTexParameter. */
const OglEnum kOglTextureTarget[] = {
    {"GL_TEXTURE_1D", 0x0DE0}, {"GL_TEXTURE_2D", 0x0DE1}, {nullptr, kOglNoEnum},
};

/* glCallLists. */
const OglEnum kOglListsType[] = {
    {"GL_BYTE", 0x1400}, {"GL_UNSIGNED_BYTE", 0x1401}, {"GL_SHORT", 0x1402},
    {"GL_UNSIGNED_SHORT", 0x1403}, {"GL_UNSIGNED_INT", 0x1405}, {"GL_FLOAT", 0x1406},
    {"GL_2_BYTES", 0x1407}, {"GL_3_BYTES", 0x1408}, {"GL_4_BYTES", 0x1409}, {nullptr, kOglNoEnum},
};

/* glClear.
 * "|" (0) lets masks be joined: GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT. */
const OglEnum kOglClearMask[] = {
    {"GL_ACCUM_BUFFER_BIT", 0x0200}, {"GL_COLOR_BUFFER_BIT", 0x4000},
    {"GL_DEPTH_BUFFER_BIT", 0x0100}, {"GL_STENCIL_BUFFER_BIT", 0x0400}, {"|", 0x0000},
    {nullptr, kOglNoEnum},
};

/* glClipPlane. */
const OglEnum kOglClipPlane[] = {
    {"GL_CLIP_PLANE0", 0x3000}, {"GL_CLIP_PLANE1", 0x3001}, {"GL_CLIP_PLANE2", 0x3002},
    {"GL_CLIP_PLANE3", 0x3003}, {"GL_CLIP_PLANE4", 0x3004}, {"GL_CLIP_PLANE5", 0x3005},
    {nullptr, kOglNoEnum},
};

/* glCopyPixels. */
const OglEnum kOglCopyPixelsType[] = {
    {"GL_COLOR", 0x1800}, {"GL_DEPTH", 0x1801}, {"GL_STENCIL", 0x1802}, {nullptr, kOglNoEnum},
};

/* glCopyTexImage1D, glCopyTexSubImage1D, glTexSubImage1D, gluBuild1DMipmaps. */
const OglEnum kOglTexture1D[] = {
    {"GL_TEXTURE_1D", 0x0DE0}, {nullptr, kOglNoEnum},
};

/* glCopyTexImage2D, glCopyTexSubImage2D, glTexSubImage2D, gluBuild2DMipmaps. */
const OglEnum kOglTexture2D[] = {
    {"GL_TEXTURE_2D", 0x0DE1}, {nullptr, kOglNoEnum},
};

/* glDisable, glEnable, glIsEnabled.
 * GL_TEXTURE_GEN_R is spelt GL_TEXUTER_GEN_R; the right spelling follows. */
const OglEnum kOglCapability[] = {
    {"GL_ALPHA_TEST", 0x0BC0}, {"GL_AUTO_NORMAL", 0x0D80}, {"GL_BLEND", 0x0BE2},
    {"GL_CLIP_PLANE0", 0x3000}, {"GL_CLIP_PLANE1", 0x3001}, {"GL_CLIP_PLANE2", 0x3002},
    {"GL_CLIP_PLANE3", 0x3003}, {"GL_CLIP_PLANE4", 0x3004}, {"GL_CLIP_PLANE5", 0x3005},
    {"GL_COLOR_MATERIAL", 0x0B57}, {"GL_CULL_FACE", 0x0B44}, {"GL_DEPTH_TEST", 0x0B71},
    {"GL_DITHER", 0x0BD0}, {"GL_FOG", 0x0B60}, {"GL_LIGHT0", 0x4000}, {"GL_LIGHT1", 0x4001},
    {"GL_LIGHT2", 0x4002}, {"GL_LIGHT3", 0x4003}, {"GL_LIGHT4", 0x4004}, {"GL_LIGHT5", 0x4005},
    {"GL_LIGHT6", 0x4006}, {"GL_LIGHT7", 0x4007}, {"GL_LIGHTING", 0x0B50},
    {"GL_LINE_SMOOTH", 0x0B20}, {"GL_LINE_STIPPLE", 0x0B24}, {"GL_LOGIC_OP", 0x0BF1},
    {"GL_MAP1_COLOR_4", 0x0D90}, {"GL_MAP1_INDEX", 0x0D91}, {"GL_MAP1_NORMAL", 0x0D92},
    {"GL_MAP1_TEXTURE_COORD_1", 0x0D93}, {"GL_MAP1_TEXTURE_COORD_2", 0x0D94},
    {"GL_MAP1_TEXTURE_COORD_3", 0x0D95}, {"GL_MAP1_TEXTURE_COORD_4", 0x0D96},
    {"GL_MAP1_VERTEX_3", 0x0D97}, {"GL_MAP1_VERTEX_4", 0x0D98}, {"GL_MAP2_COLOR_4", 0x0DB0},
    {"GL_MAP2_INDEX", 0x0DB1}, {"GL_MAP2_NORMAL", 0x0DB2}, {"GL_MAP2_TEXTURE_COORD_1", 0x0DB3},
    {"GL_MAP2_TEXTURE_COORD_2", 0x0DB4}, {"GL_MAP2_TEXTURE_COORD_3", 0x0DB5},
    {"GL_MAP2_TEXTURE_COORD_4", 0x0DB6}, {"GL_MAP2_VERTEX_3", 0x0DB7}, {"GL_MAP2_VERTEX_4", 0x0DB8},
    {"GL_NORMALIZE", 0x0BA1}, {"GL_POINT_SMOOTH", 0x0B10}, {"GL_POLYGON_SMOOTH", 0x0B41},
    {"GL_POLYGON_STIPPLE", 0x0B42}, {"GL_SCISSOR_TEST", 0x0C11}, {"GL_STENCIL_TEST", 0x0B90},
    {"GL_TEXTURE_1D", 0x0DE0}, {"GL_TEXTURE_2D", 0x0DE1}, {"GL_TEXTURE_GEN_Q", 0x0C63},
    {"GL_TEXUTER_GEN_R", 0x0C62}, {"GL_TEXTURE_GEN_S", 0x0C60}, {"GL_TEXTURE_GEN_T", 0x0C61},
    {"GL_TEXTURE_GEN_R", 0x0C62}, {nullptr, kOglNoEnum},
};

/* glDrawArrays, glDrawElements. */
const OglEnum kOglDrawMode[] = {
    {"GL_POINTS", 0x0000}, {"GL_LINE_STRIP", 0x0003}, {"GL_LINE_LOOP", 0x0002},
    {"GL_LINES", 0x0001}, {"GL_TRIANGLE_STRIP", 0x0005}, {"GL_TRIANGLE_FAN", 0x0006},
    {"GL_TRIANGLES", 0x0004}, {"GL_QUAD_STRIP", 0x0008}, {"GL_QUADS", 0x0007},
    {"GL_POLYGON", 0x0009}, {nullptr, kOglNoEnum},
};

/* glDrawElements. */
const OglEnum kOglIndexType[] = {
    {"GL_UNSIGNED_BYTE", 0x1401}, {"GL_UNSIGNED_SHORT", 0x1403}, {"GL_UNSIGNED_INT", 0x1405},
    {nullptr, kOglNoEnum},
};

/* glEvalMesh1. */
const OglEnum kOglEvalMesh1Mode[] = {
    {"GL_POINT", 0x1B00}, {"GL_LINE", 0x1B01}, {nullptr, kOglNoEnum},
};

/* glEvalMesh2. */
const OglEnum kOglEvalMesh2Mode[] = {
    {"GL_FILL", 0x1B02}, {"GL_POINT", 0x1B00}, {"GL_LINE", 0x1B01}, {nullptr, kOglNoEnum},
};

/* glFeedbackBuffer. */
const OglEnum kOglFeedbackType[] = {
    {"GL_2D", 0x0600}, {"GL_3D", 0x0601}, {"GL_3D_COLOR", 0x0602}, {"GL_3D_COLOR_TEXTURE", 0x0603},
    {"GL_4D_COLOR_TEXTURE", 0x0604}, {nullptr, kOglNoEnum},
};

/* glGet.
 * The fog start is spelt GL_FOR_START and the q generation GL_TExTURE_GEN_Q;
 * the right spellings follow. */
const OglEnum kOglGetParam[] = {
    {"GL_ACCUM_ALPHA_BITS", 0x0D5B}, {"GL_ACCUM_BLUE_BITS", 0x0D5A},
    {"GL_ACCUM_CLEAR_VALUE", 0x0B80}, {"GL_ACCUM_GREEN_BITS", 0x0D59},
    {"GL_ACCUM_RED_BITS", 0x0D58}, {"GL_ALPHA_BIAS", 0x0D1D}, {"GL_ALPHA_BITS", 0x0D55},
    {"GL_ALPHA_SCALE", 0x0D1C}, {"GL_ALPHA_TEST", 0x0BC0}, {"GL_ALPHA_TEST_FUNC", 0x0BC1},
    {"GL_ALPHA_TEST_REF", 0x0BC2}, {"GL_ATTRIB_STACK_DEPTH", 0x0BB0}, {"GL_AUTO_NORMAL", 0x0D80},
    {"GL_AUX_BUFFERS", 0x0C00}, {"GL_BLEND", 0x0BE2}, {"GL_BLEND_DST", 0x0BE0},
    {"GL_BLEND_SRC", 0x0BE1}, {"GL_BLUE_BIAS", 0x0D1B}, {"GL_BLUE_BITS", 0x0D54},
    {"GL_BLUE_SCALE", 0x0D1A}, {"GL_CLIP_PLANE0", 0x3000}, {"GL_CLIP_PLANE1", 0x3001},
    {"GL_CLIP_PLANE2", 0x3002}, {"GL_CLIP_PLANE3", 0x3003}, {"GL_CLIP_PLANE4", 0x3004},
    {"GL_CLIP_PLANE5", 0x3005}, {"GL_COLOR_CLEAR_VALUE", 0x0C22}, {"GL_COLOR_MATERIAL", 0x0B57},
    {"GL_COLOR_MATERIAL_FACE", 0x0B55}, {"GL_COLOR_MATERIAL_PARAMETER", 0x0B56},
    {"GL_COLOR_WRITEMASK", 0x0C23}, {"GL_CULL_FACE", 0x0B44}, {"GL_CULL_FACE_MODE", 0x0B45},
    {"GL_CURRENT_COLOR", 0x0B00}, {"GL_CURRENT_INDEX", 0x0B01}, {"GL_CURRENT_NORMAL", 0x0B02},
    {"GL_CURRENT_RASTER_COLOR", 0x0B04}, {"GL_CURRENT_RASTER_DISTANCE", 0x0B09},
    {"GL_CURRENT_RASTER_INDEX", 0x0B05}, {"GL_CURRENT_RASTER_POSITION", 0x0B07},
    {"GL_CURRENT_RASTER_TEXTURE_COORDS", 0x0B06}, {"GL_CURRENT_RASTER_POSITION_VALID", 0x0B08},
    {"GL_CURRENT_TEXTURE_COORDS", 0x0B03}, {"GL_DEPTH_BIAS", 0x0D1F}, {"GL_DEPTH_BITS", 0x0D56},
    {"GL_DEPTH_CLEAR_VALUE", 0x0B73}, {"GL_DEPTH_FUNC", 0x0B74}, {"GL_DEPTH_RANGE", 0x0B70},
    {"GL_DEPTH_SCALE", 0x0D1E}, {"GL_DEPTH_TEST", 0x0B71}, {"GL_DEPTH_WRITEMASK", 0x0B72},
    {"GL_DITHER", 0x0BD0}, {"GL_DOUBLEBUFFER", 0x0C32}, {"GL_DRAW_BUFFER", 0x0C01},
    {"GL_EDGE_FLAG", 0x0B43}, {"GL_FOG", 0x0B60}, {"GL_FOG_COLOR", 0x0B66},
    {"GL_FOG_DENSITY", 0x0B62}, {"GL_FOG_END", 0x0B64}, {"GL_FOG_HINT", 0x0C54},
    {"GL_FOG_INDEX", 0x0B61}, {"GL_FOG_MODE", 0x0B65}, {"GL_FOR_START", 0x0B63},
    {"GL_FRONT_FACE", 0x0B46}, {"GL_GREEN_BIAS", 0x0D19}, {"GL_GREEN_BITS", 0x0D53},
    {"GL_GREEN_SCALE", 0x0D18}, {"GL_INDEX_BITS", 0x0D51}, {"GL_INDEX_CLEAR_VALUE", 0x0C20},
    {"GL_INDEX_MODE", 0x0C30}, {"GL_INDEX_OFFSET", 0x0D13}, {"GL_INDEX_SHIFT", 0x0D12},
    {"GL_INDEX_WRITEMASK", 0x0C21}, {"GL_LIGHT0", 0x4000}, {"GL_LIGHT1", 0x4001},
    {"GL_LIGHT2", 0x4002}, {"GL_LIGHT3", 0x4003}, {"GL_LIGHT4", 0x4004}, {"GL_LIGHT5", 0x4005},
    {"GL_LIGHT6", 0x4006}, {"GL_LIGHT7", 0x4007}, {"GL_LIGHTING", 0x0B50},
    {"GL_LIGHT_MODEL_AMBIENT", 0x0B53}, {"GL_LIGHT_MODEL_LOCAL_VIEWER", 0x0B51},
    {"GL_LIGHT_MODEL_TWO_SIDE", 0x0B52}, {"GL_LINE_SMOOTH", 0x0B20},
    {"GL_LINE_SMOOTH_HINT", 0x0C52}, {"GL_LINE_STIPPLE", 0x0B24},
    {"GL_LINE_STIPPLE_PATTERN", 0x0B25}, {"GL_LINE_STIPPLE_REPEAT", 0x0B26},
    {"GL_LINE_WIDTH", 0x0B21}, {"GL_LINE_WIDTH_GRANULARITY", 0x0B23},
    {"GL_LINE_WIDTH_RANGE", 0x0B22}, {"GL_LIST_BASE", 0x0B32}, {"GL_LIST_INDEX", 0x0B33},
    {"GL_LIST_MODE", 0x0B30}, {"GL_LOGIC_OP", 0x0BF1}, {"GL_LOGIC_OP_MODE", 0x0BF0},
    {"GL_MAP1_COLOR_4", 0x0D90}, {"GL_MAP1_GRID_DOMAIN", 0x0DD0}, {"GL_MAP1_GRID_SEGMENTS", 0x0DD1},
    {"GL_MAP1_INDEX", 0x0D91}, {"GL_MAP1_NORMAL", 0x0D92}, {"GL_MAP1_TEXTURE_COORD_1", 0x0D93},
    {"GL_MAP1_TEXTURE_COORD_2", 0x0D94}, {"GL_MAP1_TEXTURE_COORD_3", 0x0D95},
    {"GL_MAP1_TEXTURE_COORD_4", 0x0D96}, {"GL_MAP1_VERTEX_3", 0x0D97}, {"GL_MAP1_VERTEX_4", 0x0D98},
    {"GL_MAP2_COLOR_4", 0x0DB0}, {"GL_MAP2_GRID_DOMAIN", 0x0DD2}, {"GL_MAP2_GRID_SEGMENTS", 0x0DD3},
    {"GL_MAP2_INDEX", 0x0DB1}, {"GL_MAP2_NORMAL", 0x0DB2}, {"GL_MAP2_TEXTURE_COORD_1", 0x0DB3},
    {"GL_MAP2_TEXTURE_COORD_2", 0x0DB4}, {"GL_MAP2_TEXTURE_COORD_3", 0x0DB5},
    {"GL_MAP2_TEXTURE_COORD_4", 0x0DB6}, {"GL_MAP2_VERTEX_3", 0x0DB7}, {"GL_MAP2_VERTEX_4", 0x0DB8},
    {"GL_MAP_COLOR", 0x0D10}, {"GL_MAP_STENCIL", 0x0D11}, {"GL_MATRIX_MODE", 0x0BA0},
    {"GL_MAX_ATTRIB_STACK_DEPTH", 0x0D35}, {"GL_MAX_CLIP_PLANES", 0x0D32},
    {"GL_MAX_EVAL_ORDER", 0x0D30}, {"GL_MAX_LIGHTS", 0x0D31}, {"GL_MAX_LIST_NESTING", 0x0B31},
    {"GL_MAX_MODELVIEW_STACK_DEPTH", 0x0D36}, {"GL_MAX_NAME_STACK_DEPTH", 0x0D37},
    {"GL_MAX_PIXEL_MAP_TABLE", 0x0D34}, {"GL_MAX_PROJECTION_STACK_DEPTH", 0x0D38},
    {"GL_MAX_TEXTURE_SIZE", 0x0D33}, {"GL_MAX_TEXTURE_STACK_DEPTH", 0x0D39},
    {"GL_MAX_VIEWPORT_DIMS", 0x0D3A}, {"GL_MODELVIEW_MATRIX", 0x0BA6},
    {"GL_MODELVIEW_STACK_DEPTH", 0x0BA3}, {"GL_NAME_STACK_DEPTH", 0x0D70}, {"GL_NORMALIZE", 0x0BA1},
    {"GL_PACK_ALIGNMENT", 0x0D05}, {"GL_PACK_LSB_FIRST", 0x0D01}, {"GL_PACK_ROW_LENGTH", 0x0D02},
    {"GL_PACK_SKIP_PIXELS", 0x0D04}, {"GL_PACK_SKIP_ROWS", 0x0D03}, {"GL_PACK_SWAP_BYTES", 0x0D00},
    {"GL_PERSPECTIVE_CORRECTION_HINT", 0x0C50}, {"GL_PIXEL_MAP_A_TO_A_SIZE", 0x0CB9},
    {"GL_PIXEL_MAP_B_TO_B_SIZE", 0x0CB8}, {"GL_PIXEL_MAP_G_TO_G_SIZE", 0x0CB7},
    {"GL_PIXEL_MAP_I_TO_A_SIZE", 0x0CB5}, {"GL_PIXEL_MAP_I_TO_B_SIZE", 0x0CB4},
    {"GL_PIXEL_MAP_I_TO_G_SIZE", 0x0CB3}, {"GL_PIXEL_MAP_I_TO_R_SIZE", 0x0CB2},
    {"GL_PIXEL_MAP_R_TO_R_SIZE", 0x0CB6}, {"GL_PIXEL_MAP_S_TO_S_SIZE", 0x0CB1},
    {"GL_POINT_SIZE", 0x0B11}, {"GL_POINT_SIZE_GRANULARITY", 0x0B13},
    {"GL_POINT_SIZE_RANGE", 0x0B12}, {"GL_POINT_SMOOTH", 0x0B10}, {"GL_POINT_SMOOTH_HINT", 0x0C51},
    {"GL_POLYGON_MODE", 0x0B40}, {"GL_POLYGON_SMOOTH", 0x0B41}, {"GL_POLYGON_SMOOTH_HINT", 0x0C53},
    {"GL_POLYGON_STIPPLE", 0x0B42}, {"GL_PROJECTION_MATRIX", 0x0BA7},
    {"GL_PROJECTION_STACK_DEPTH", 0x0BA4}, {"GL_READ_BUFFER", 0x0C02}, {"GL_RED_BIAS", 0x0D15},
    {"GL_RED_BITS", 0x0D52}, {"GL_RED_SCALE", 0x0D14}, {"GL_RENDER_MODE", 0x0C40},
    {"GL_RGBA_MODE", 0x0C31}, {"GL_SCISSOR_BOX", 0x0C10}, {"GL_SCISSOR_TEST", 0x0C11},
    {"GL_SHADE_MODEL", 0x0B54}, {"GL_STENCIL_BITS", 0x0D57}, {"GL_STENCIL_CLEAR_VALUE", 0x0B91},
    {"GL_STENCIL_FAIL", 0x0B94}, {"GL_STENCIL_FUNC", 0x0B92},
    {"GL_STENCIL_PASS_DEPTH_FAIL", 0x0B95}, {"GL_STENCIL_PASS_DEPTH_PASS", 0x0B96},
    {"GL_STENCIL_REF", 0x0B97}, {"GL_STENCIL_TEST", 0x0B90}, {"GL_STENCIL_VALUE_MASK", 0x0B93},
    {"GL_STENCIL_WRITEMASK", 0x0B98}, {"GL_STEREO", 0x0C33}, {"GL_SUBPIXEL_BITS", 0x0D50},
    {"GL_TEXTURE_1D", 0x0DE0}, {"GL_TEXTURE_2D", 0x0DE1}, {"GL_TEXTURE_ENV_COLOR", 0x2201},
    {"GL_TEXTURE_ENV_MODE", 0x2200}, {"GL_TEXTURE_GEN_S", 0x0C60}, {"GL_TEXTURE_GEN_T", 0x0C61},
    {"GL_TEXTURE_GEN_R", 0x0C62}, {"GL_TExTURE_GEN_Q", 0x0C63}, {"GL_TEXTURE_MATRIX", 0x0BA8},
    {"GL_TEXTURE_STACK_DEPTH", 0x0BA5}, {"GL_UNPACK_ALIGNMENT", 0x0CF5},
    {"GL_UNPACK_LSB_FIRST", 0x0CF1}, {"GL_UNPACK_ROW_LENGTH", 0x0CF2},
    {"GL_UNPACK_SKIP_PIXELS", 0x0CF4}, {"GL_UNPACK_SWAP_BYTES", 0x0CF0}, {"GL_VIEWPORT", 0x0BA2},
    {"GL_ZOOM_X", 0x0D16}, {"GL_ZOOM_Y", 0x0D17}, {"GL_FOG_START", 0x0B63},
    {"GL_TEXTURE_GEN_Q", 0x0C63}, {nullptr, kOglNoEnum},
};

/* glGetError. */
const OglEnum kOglError[] = {
    {"GL_NO_ERROR", 0x0000}, {"GL_INVALID_ENUM", 0x0500}, {"GL_INVALID_VALUE", 0x0501},
    {"GL_INVALID_OPERATION", 0x0502}, {"GL_STACK_OVERFLOW", 0x0503}, {"GL_STACK_UNDERFLOW", 0x0504},
    {"GL_OUT_OF_MEMORY", 0x0505}, {nullptr, kOglNoEnum},
};

/* glGetString. */
const OglEnum kOglStringName[] = {
    {"GL_VENDOR", 0x1F00}, {"GL_RENDERER", 0x1F01}, {"GL_VERSION", 0x1F02},
    {"GL_EXTENSIONS", 0x1F03}, {nullptr, kOglNoEnum},
};

/* glGetTexLevalParameter. */
const OglEnum kOglTexLevelParam[] = {
    {"GL_TEXTURE_WIDTH", 0x1000}, {"GL_TEXTURE_HEIGHT", 0x1001}, {"GL_TEXTURE_COMPONENTS", 0x1003},
    {"GL_TEXTURE_BORDER", 0x1005}, {"GL_TEXTURE_INTERNAL_FORMAT", 0x1003},
    {"GL_TEXTURE_RED_SIZE", 0x805C}, {"GL_TEXTURE_GREEN_SIZE", 0x805D},
    {"GL_TEXTURE_BLUE_SIZE", 0x805E}, {"GL_TEXTURE_ALPHA_SIZE", 0x805F},
    {"GL_TEXTURE_LUMINANCE_SIZE", 0x8060}, {"GL_TEXTURE_INTENSITY_SIZE", 0x8061},
    {nullptr, kOglNoEnum},
};

/* glHint. */
const OglEnum kOglHintTarget[] = {
    {"GL_FOG_HINT", 0x0C54}, {"GL_LINE_SMOOTH_HINT", 0x0C52},
    {"GL_PERSPECTIVE_CORRECTION_HINT", 0x0C50}, {"GL_POINT_SMOOTH_HINT", 0x0C51},
    {"GL_POLYGON_SMOOTH_HINT", 0x0C53}, {nullptr, kOglNoEnum},
};

/* glIndexPointer, glNormalPointer, glTexCoordPointer, glVertexPointer. */
const OglEnum kOglPointerType[] = {
    {"GL_SHORT", 0x1402}, {"GL_INT", 0x1404}, {"GL_FLOAT", 0x1406}, {"GL_DOUBLE", 0x140A},
    {nullptr, kOglNoEnum},
};

/* glInterleavedArrays. */
const OglEnum kOglInterleavedFormat[] = {
    {"GL_V2F", 0x2A20}, {"GL_V3F", 0x2A21}, {"GL_C4UB_V2F", 0x2A22}, {"GL_C4UB_V3F", 0x2A23},
    {"GL_C3F_V3F", 0x2A24}, {"GL_N3F_V3F", 0x2A25}, {"GL_C4F_N3F_V3F", 0x2A26},
    {"GL_T2F_V3F", 0x2A27}, {"GL_T4F_V4F", 0x2A28}, {"GL_T2F_C4UB_V3F", 0x2A29},
    {"GL_T2F_C3F_V3F", 0x2A2A}, {"GL_T2F_N3F_V3F", 0x2A2B}, {"GL_T2F_C4F_N3F_V3F", 0x2A2C},
    {"GL_T4F_C4F_N3F_V4F", 0x2A2D}, {nullptr, kOglNoEnum},
};

/* glLight. */
const OglEnum kOglLight[] = {
    {"GL_LIGHT0", 0x4000}, {"GL_LIGHT1", 0x4001}, {"GL_LIGHT2", 0x4002}, {"GL_LIGHT3", 0x4003},
    {"GL_LIGHT4", 0x4004}, {"GL_LIGHT5", 0x4005}, {"GL_LIGHT6", 0x4006}, {"GL_LIGHT7", 0x4007},
    {nullptr, kOglNoEnum},
};

/* glLight. */
const OglEnum kOglLightParam[] = {
    {"GL_AMBIENT", 0x1200}, {"GL_DIFFUSE", 0x1201}, {"GL_SPECULAR", 0x1202},
    {"GL_POSITION", 0x1203}, {"GL_SPOT_DIRECTION", 0x1204}, {"GL_SPOT_EXPONENT", 0x1205},
    {"GL_SPOT_CUTOFF", 0x1206}, {"GL_CONSTANT_ATTENUATION", 0x1207},
    {"GL_LINEAR_ATTENUATION", 0x1208}, {"GL_QUADRATIC_ATTENUATION", 0x1209}, {nullptr, kOglNoEnum},
};

/* glLightModel. */
const OglEnum kOglLightModelParam[] = {
    {"GL_LIGHT_MODEL_TWO_SIDE", 0x0B52}, {"GL_LIGHT_MODEL_AMBIENT", 0x0B53},
    {"GL_LIGHT_MODEL_LOCAL_VIEWER", 0x0B51}, {nullptr, kOglNoEnum},
};

/* glLogicOp. */
const OglEnum kOglLogicOp[] = {
    {"GL_CLEAR", 0x1500}, {"GL_COPY", 0x1503}, {"GL_NOOP", 0x1505}, {"GL_SET", 0x150F},
    {"GL_COPY_INVERTED", 0x150C}, {"GL_INVERT", 0x150A}, {"GL_AND_REVERSE", 0x1502},
    {"GL_OR_REVERSE", 0x150B}, {"GL_AND", 0x1501}, {"GL_OR", 0x1507}, {"GL_NAND", 0x150E},
    {"GL_NOR", 0x1508}, {"GL_XOR", 0x1506}, {"GL_EQUIV", 0x1509}, {"GL_AND_INVERTED", 0x1504},
    {"GL_OR_INVERTED", 0x150D}, {nullptr, kOglNoEnum},
};

/* glMaterial.
 * GL_COLOR_INDEX stands for the colour indexes of a material (0x1603, not
 * the pixel format's 0x1900); GL_COLOR_INDEXES follows. */
const OglEnum kOglMaterialParam[] = {
    {"GL_AMBIENT", 0x1200}, {"GL_AMBIENT_AND_DIFFUSE", 0x1602}, {"GL_COLOR_INDEX", 0x1603},
    {"GL_DIFFUSE", 0x1201}, {"GL_EMISSION", 0x1600}, {"GL_SHININESS", 0x1601},
    {"GL_SPECULAR", 0x1202}, {"GL_COLOR_INDEXES", 0x1603}, {nullptr, kOglNoEnum},
};

/* glPixelMap. */
const OglEnum kOglPixelMapName[] = {
    {"GL_PIXEL_MAP_I_TO_I", 0x0C70}, {"GL_PIXEL_MAP_S_TO_S", 0x0C71},
    {"GL_PIXEL_MAP_I_TO_R", 0x0C72}, {"GL_PIXEL_MAP_I_TO_G", 0x0C73},
    {"GL_PIXEL_MAP_I_TO_B", 0x0C74}, {"GL_PIXEL_MAP_I_TO_A", 0x0C75},
    {"GL_PIXEL_MAP_R_TO_R", 0x0C76}, {"GL_PIXEL_MAP_G_TO_G", 0x0C77},
    {"GL_PIXEL_MAP_B_TO_B", 0x0C78}, {"GL_PIXEL_MAP_A_TO_A", 0x0C79}, {nullptr, kOglNoEnum},
};

/* glPixelStore.
 * GL_PACK_ALIGNMENT follows the table's own rows. */
const OglEnum kOglPixelStoreParam[] = {
    {"GL_PACK_SWAP_BYTES", 0x0D00}, {"GL_PACK_LSB_FIRST", 0x0D01}, {"GL_PACK_ROW_LENGTH", 0x0D02},
    {"GL_PACK_SKIP_PIXELS", 0x0D04}, {"GL_PACK_SKIP_ROWS", 0x0D03},
    {"GL_UNPACK_SWAP_BYTES", 0x0CF0}, {"GL_UNPACK_LSB_FIRST", 0x0CF1},
    {"GL_UNPACK_ROW_LENGTH", 0x0CF2}, {"GL_UNPACK_SKIP_PIXELS", 0x0CF4},
    {"GL_UNPACK_SKIP_ROWS", 0x0CF3}, {"GL_UNPACK_ALIGNMENT", 0x0CF5}, {"GL_PACK_ALIGNMENT", 0x0D05},
    {nullptr, kOglNoEnum},
};

/* glPixelTransfer. */
const OglEnum kOglPixelTransferParam[] = {
    {"GL_MAP_COLOR", 0x0D10}, {"GL_MAP_STENCIL", 0x0D11}, {"GL_INDEX_SHIFT", 0x0D12},
    {"GL_INDEX_OFFSET", 0x0D13}, {"GL_RED_SCALE", 0x0D14}, {"GL_GREEN_SCALE", 0x0D18},
    {"GL_BLUE_SCALE", 0x0D1A}, {"GL_ALPHA_SCALE", 0x0D1C}, {"GL_DEPTH_SCALE", 0x0D1E},
    {"GL_RED_BIAS", 0x0D15}, {"GL_GREEN_BIAS", 0x0D19}, {"GL_ALPHA_BIAS", 0x0D1D},
    {"GL_DEPTH_BIAS", 0x0D1F}, {nullptr, kOglNoEnum},
};

/* glPushAttrib.
 * GL_ALL_ATTRIB_BITS has the value of the 1.1 interface, 0x000FFFFF: the
 * all-ones of later headers is the end mark of a table. */
const OglEnum kOglAttribMask[] = {
    {"GL_ALL_ATTRIB_BITS", 0x000FFFFF}, {"GL_ACCUM_BUFFER_BIT", 0x0200},
    {"GL_COLOR_BUFFER_BIT", 0x4000}, {"GL_CURRENT_BIT", 0x0001}, {"GL_DEPTH_BUFFER_BIT", 0x0100},
    {"GL_ENABLE_BIT", 0x2000}, {"GL_EVAL_BIT", 0x10000}, {"GL_FOG_BIT", 0x0080},
    {"GL_HINT_BIT", 0x8000}, {"GL_LIGHTING_BIT", 0x0040}, {"GL_LINE_BIT", 0x0004},
    {"GL_LIST_BIT", 0x20000}, {"GL_PIXEL_MODE_BIT", 0x0020}, {"GL_POINT_BIT", 0x0002},
    {"GL_POLYGON_BIT", 0x0008}, {"GL_POLYGON_STIPPLE_BIT", 0x0010}, {"GL_SCISSOR_BIT", 0x80000},
    {"GL_STENCIL_BUFFER_BIT", 0x0400}, {"GL_TEXTURE_BIT", 0x40000}, {"GL_TRANSFORM_BIT", 0x1000},
    {"GL_VIEWPORT_BIT", 0x0800}, {nullptr, kOglNoEnum},
};

/* glPushClientAttrib.
 * GL_CLIENT_ALL_ATTRIB_BITS is the union of the two client groups, 0x0003:
 * its all-ones header value is the end mark of a table. */
const OglEnum kOglClientAttribMask[] = {
    {"GL_CLIENT_PIXEL_STORE_BIT", 0x0001}, {"GL_CLIENT_VERTEX_ARRAY_BIT", 0x0002},
    {"GL_CLIENT_ALL_ATTRIB_BITS", 0x0003}, {nullptr, kOglNoEnum},
};

/* glTexEnv. */
const OglEnum kOglTexEnvTarget[] = {
    {"GL_TEXTURE_ENV", 0x2300}, {nullptr, kOglNoEnum},
};

/* glTexEnv. */
const OglEnum kOglTexEnvParam[] = {
    {"GL_TEXTURE_ENV_MODE", 0x2200}, {"GL_TEXTURE_ENV_COLOR", 0x2201}, {nullptr, kOglNoEnum},
};

/* glTexGen. */
const OglEnum kOglTexGenCoord[] = {
    {"GL_S", 0x2000}, {"GL_T", 0x2001}, {"GL_R", 0x2002}, {"GL_Q", 0x2003}, {nullptr, kOglNoEnum},
};

/* glTexGen. */
const OglEnum kOglTexGenParam[] = {
    {"GL_TEXTURE_GEN_MODE", 0x2500}, {"GL_OBJECT_PLANE", 0x2501}, {"GL_EYE_PLANE", 0x2502},
    {nullptr, kOglNoEnum},
};

/* glTexGen. */
const OglEnum kOglTexGenMode[] = {
    {"GL_OBJECT_LINEAR", 0x2401}, {"GL_EYE_LINEAR", 0x2400}, {"GL_SPHERE_MAP", 0x2402},
    {nullptr, kOglNoEnum},
};

/* glTexImage1D. */
const OglEnum kOglTexImage1DTarget[] = {
    {"GL_TEXTURE_1D", 0x0DE0}, {"GL_PROXY_TEXTURE_1D", 0x8063}, {nullptr, kOglNoEnum},
};

/* glTexImage2D. */
const OglEnum kOglTexImage2DTarget[] = {
    {"GL_TEXTURE_2D", 0x0DE1}, {"GL_PROXY_TEXTURE_2D", 0x8064}, {nullptr, kOglNoEnum},
};

/* glTexParameter.
 * The border colour is spelt GL_TEXUTER_BORDER_COLOR; the right spelling
 * follows. */
const OglEnum kOglTexParam[] = {
    {"GL_TEXTURE_MIN_FILTER", 0x2801}, {"GL_TEXTURE_MAG_FILTER", 0x2800},
    {"GL_TEXTURE_WRAP_S", 0x2802}, {"GL_TEXTURE_WRAP_T", 0x2803},
    {"GL_TEXUTER_BORDER_COLOR", 0x1004}, {"GL_TEXTURE_PRIORITY", 0x8066},
    {"GL_TEXTURE_BORDER_COLOR", 0x1004}, {nullptr, kOglNoEnum},
};

/* glTexParameter. */
const OglEnum kOglTexWrap[] = {
    {"GL_CLAMP", 0x2900}, {"GL_REPEAT", 0x2901}, {nullptr, kOglNoEnum},
};

/* glTexParameter. */
const OglEnum kOglTexMagFilter[] = {
    {"GL_NEAREST", 0x2600}, {"GL_LINEAR", 0x2601}, {nullptr, kOglNoEnum},
};

/* glTexParameter. */
const OglEnum kOglTexMinFilter[] = {
    {"GL_NEAREST", 0x2600}, {"GL_LINEAR", 0x2601}, {"GL_NEAREST_MIPMAP_NEAREST", 0x2700},
    {"GL_NEAREST_MIPMAP_LINEAR", 0x2702}, {"GL_LINEAR_MIPMAP_NEAREST", 0x2701},
    {"GL_LINEAR_MIPMAP_LINEAR", 0x2703}, {nullptr, kOglNoEnum},
};

/* gluGetString. */
const OglEnum kOglGluStringName[] = {
    {"GLU_VERSION", 0x189C0}, {"GLU_EXTENSIONS", 0x189C1}, {nullptr, kOglNoEnum},
};

/* gluNextContour. */
const OglEnum kOglContourType[] = {
    {"GLU_EXTERIOR", 0x1871B}, {"GLU_INTERIOR", 0x1871A}, {"GLU_UNKNOWN", 0x1871C},
    {"GLU_CCW", 0x18719}, {"GLU_CW", 0x18718}, {nullptr, kOglNoEnum},
};

/* gluNurbsCallback, gluQuadricCallback. */
const OglEnum kOglGluCallbackWhich[] = {
    {"GLU_ERROR", 0x18707}, {nullptr, kOglNoEnum},
};

/* gluNurbsCurve, gluPwlCurve. */
const OglEnum kOglTrimType[] = {
    {"GLU_MAP1_TRIM_2", 0x18772}, {"GLU_MAP1_TRIM_3", 0x18773}, {nullptr, kOglNoEnum},
};

/* gluQuadricDrawStyle. */
const OglEnum kOglQuadricDrawStyle[] = {
    {"GLU_FILL", 0x186AC}, {"GLU_LINE", 0x186AB}, {"GLU_SILHOUETTE", 0x186AD},
    {"GLU_POINT", 0x186AA}, {nullptr, kOglNoEnum},
};

/* gluQuadricNormals. */
const OglEnum kOglQuadricNormals[] = {
    {"GLU_NONE", 0x186A2}, {"GLU_FLAT", 0x186A1}, {"GLU_SMOOTH", 0x186A0}, {nullptr, kOglNoEnum},
};

/* gluQuadricOrientation. */
const OglEnum kOglQuadricOrientation[] = {
    {"GLU_INSIDE", 0x186B5}, {"GLU_OUTSIDE", 0x186B4}, {nullptr, kOglNoEnum},
};

/* gluQuadricTexture.
 * "0" and "1" stand beside GL_FALSE and GL_TRUE. */
const OglEnum kOglQuadricTexture[] = {
    {"GL_TRUE", 0x0001}, {"GL_FALSE", 0x0000}, {"0", 0x0000}, {"1", 0x0001}, {nullptr, kOglNoEnum},
};
// clang-format on

const OglEnumTableEntry oglEnumTables[] = {
    {"kOglAlphaDepthFunc", kOglAlphaDepthFunc},
    {"kOglBlendSrc", kOglBlendSrc},
    {"kOglBlendDst", kOglBlendDst},
    {"kOglBoolean", kOglBoolean},
    {"kOglCullFace", kOglCullFace},
    {"kOglDrawBuffer", kOglDrawBuffer},
    {"kOglFogParam", kOglFogParam},
    {"kOglFrontFace", kOglFrontFace},
    {"kOglHintMode", kOglHintMode},
    {"kOglFace", kOglFace},
    {"kOglColorMaterialMode", kOglColorMaterialMode},
    {"kOglTexFormat", kOglTexFormat},
    {"kOglPixelFormat", kOglPixelFormat},
    {"kOglPixelType", kOglPixelType},
    {"kOglInternalFormat", kOglInternalFormat},
    {"kOglListMode", kOglListMode},
    {"kOglMap1Target", kOglMap1Target},
    {"kOglMap2Target", kOglMap2Target},
    {"kOglMatrixMode", kOglMatrixMode},
    {"kOglPolygonMode", kOglPolygonMode},
    {"kOglReadBuffer", kOglReadBuffer},
    {"kOglRenderMode", kOglRenderMode},
    {"kOglShadeModel", kOglShadeModel},
    {"kOglStencilFunc", kOglStencilFunc},
    {"kOglStencilOp", kOglStencilOp},
    {"kOglTexEnvMode", kOglTexEnvMode},
    {"kOglNurbsProperty", kOglNurbsProperty},
    {"kOglNurbsValue", kOglNurbsValue},
    {"kOglTessProperty", kOglTessProperty},
    {"kOglTessValue", kOglTessValue},
    {"kOglAccumOp", kOglAccumOp},
    {"kOglBeginMode", kOglBeginMode},
    {"kOglTextureTarget", kOglTextureTarget},
    {"kOglListsType", kOglListsType},
    {"kOglClearMask", kOglClearMask},
    {"kOglClipPlane", kOglClipPlane},
    {"kOglCopyPixelsType", kOglCopyPixelsType},
    {"kOglTexture1D", kOglTexture1D},
    {"kOglTexture2D", kOglTexture2D},
    {"kOglCapability", kOglCapability},
    {"kOglDrawMode", kOglDrawMode},
    {"kOglIndexType", kOglIndexType},
    {"kOglEvalMesh1Mode", kOglEvalMesh1Mode},
    {"kOglEvalMesh2Mode", kOglEvalMesh2Mode},
    {"kOglFeedbackType", kOglFeedbackType},
    {"kOglGetParam", kOglGetParam},
    {"kOglError", kOglError},
    {"kOglStringName", kOglStringName},
    {"kOglTexLevelParam", kOglTexLevelParam},
    {"kOglHintTarget", kOglHintTarget},
    {"kOglPointerType", kOglPointerType},
    {"kOglInterleavedFormat", kOglInterleavedFormat},
    {"kOglLight", kOglLight},
    {"kOglLightParam", kOglLightParam},
    {"kOglLightModelParam", kOglLightModelParam},
    {"kOglLogicOp", kOglLogicOp},
    {"kOglMaterialParam", kOglMaterialParam},
    {"kOglPixelMapName", kOglPixelMapName},
    {"kOglPixelStoreParam", kOglPixelStoreParam},
    {"kOglPixelTransferParam", kOglPixelTransferParam},
    {"kOglAttribMask", kOglAttribMask},
    {"kOglClientAttribMask", kOglClientAttribMask},
    {"kOglTexEnvTarget", kOglTexEnvTarget},
    {"kOglTexEnvParam", kOglTexEnvParam},
    {"kOglTexGenCoord", kOglTexGenCoord},
    {"kOglTexGenParam", kOglTexGenParam},
    {"kOglTexGenMode", kOglTexGenMode},
    {"kOglTexImage1DTarget", kOglTexImage1DTarget},
    {"kOglTexImage2DTarget", kOglTexImage2DTarget},
    {"kOglTexParam", kOglTexParam},
    {"kOglTexWrap", kOglTexWrap},
    {"kOglTexMagFilter", kOglTexMagFilter},
    {"kOglTexMinFilter", kOglTexMinFilter},
    {"kOglGluStringName", kOglGluStringName},
    {"kOglContourType", kOglContourType},
    {"kOglGluCallbackWhich", kOglGluCallbackWhich},
    {"kOglTrimType", kOglTrimType},
    {"kOglQuadricDrawStyle", kOglQuadricDrawStyle},
    {"kOglQuadricNormals", kOglQuadricNormals},
    {"kOglQuadricOrientation", kOglQuadricOrientation},
    {"kOglQuadricTexture", kOglQuadricTexture},
    {nullptr, nullptr},
};
