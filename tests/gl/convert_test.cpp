/*
 * convert_test.cpp --
 *
 *	The OpenGL binding's argument conventions and data-object store, run
 *	against a surface record with no GL context (only its store is used):
 *	list parsing and narrowing, numbers from words and references, array
 *	conversion with rounding, pixel layouts under GL's pack and unpack
 *	state, arrays handed back through variables, and object sizing.
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "gl/ogl.h"
#include "support/test_interp.h"

namespace {

/* A current surface with nothing but a store; made current for one test. */
class OglStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(&record_, 0, sizeof record_);
        record_.objects = oglStoreNew();
        glwMakeCurrent(testInterp(), &record_);
    }
    void TearDown() override
    {
        glwMakeCurrent(testInterp(), nullptr);
        oglStoreFree(record_.objects);
    }
    /* Makes an object as the creating commands do and stores it. */
    OglDataObject *make(int type, const char *name, const char *list, int64_t first, int64_t last)
    {
        OglDataObject *object = oglDataCreate(type, 0, list, first, last);
        if (object != nullptr) {
            oglDataStore(record_.objects, name, object);
        }
        return object;
    }
    GlwWindow record_;
};

template <typename T>
std::string joined(const T *values, int n)
{
    std::string out;
    for (int i = 0; i < n; i++) {
        out += (i ? " " : "") + std::to_string(values[i]);
    }
    return out;
}

TEST(OglLists, TokensSplitAtBlanksCommasAndTabsAndTheLastValueRepeats)
{
    GLint ints[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(oglListToInts(" 1,2\t 3", ints, 6), 3);
    EXPECT_EQ(joined(ints, 6), "1 2 3 3 3 3");
    EXPECT_EQ(oglListToInts("4 5 6 7 8 9 10", ints, 2), 2);
    EXPECT_EQ(joined(ints, 3), "4 5 3");
    GLfloat floats[3] = {7, 7, 7};
    EXPECT_EQ(oglListToFloats(" , \t", floats, 3), 0);
    EXPECT_EQ(joined(floats, 3), "7.000000 7.000000 7.000000");
    EXPECT_EQ(oglListToFloats("1e3,-2.5", floats, 3), 2);
    EXPECT_EQ(joined(floats, 3), "1000.000000 -2.500000 -2.500000");
}

TEST(OglLists, IntegerTokensReadLeadingDigitsAndKeepTheLowBits)
{
    GLint ints[5];
    EXPECT_EQ(oglListToInts("12abc abc 2.9 -7 +3", ints, 5), 5);
    EXPECT_EQ(joined(ints, 5), "12 0 2 -7 3");
    GLbyte bytes[3];
    oglListToBytes("300 128 -129", bytes, 3);
    EXPECT_EQ(joined(bytes, 3), "44 -128 127");
    GLubyte ubytes[2];
    oglListToUbytes("-1 256", ubytes, 2);
    EXPECT_EQ(joined(ubytes, 2), "255 0");
    GLshort shorts[1];
    oglListToShorts("65537", shorts, 1);
    EXPECT_EQ(shorts[0], 1);
    GLuint uints[2];
    oglListToType(GL_UNSIGNED_INT, "4294967295 4294967297", uints, 2);
    EXPECT_EQ(uints[0], 4294967295u);
    EXPECT_EQ(uints[1], 1u);
    GLdouble doubles[1];
    EXPECT_EQ(oglListToType(0x1234, "1", doubles, 1), 0);
}

TEST(OglWords, CountsAndPowersOfTwo)
{
    EXPECT_EQ(oglCountWords(""), 0);
    EXPECT_EQ(oglCountWords("  a  b\tc  "), 3);
    EXPECT_EQ(oglCountWords("1,2,3"), 1);
    EXPECT_TRUE(oglIsPowerOfTwo(1));
    EXPECT_TRUE(oglIsPowerOfTwo(int64_t(1) << 40));
    EXPECT_FALSE(oglIsPowerOfTwo(0));
    EXPECT_FALSE(oglIsPowerOfTwo(-4));
    EXPECT_FALSE(oglIsPowerOfTwo(12));
}

TEST(OglNumbers, WordsWithoutASurfaceReadTheirLeadingNumber)
{
    glwMakeCurrent(testInterp(), nullptr);
    EXPECT_EQ(oglGetInt("  -42xyz"), -42);
    EXPECT_EQ(oglGetInt("abc"), 0);
    EXPECT_EQ(oglGetInt("3.9"), 3);
    EXPECT_EQ(oglGetInt("4294967297"), 1);
    EXPECT_DOUBLE_EQ(oglGetDouble("2.5e1x"), 25.0);
    EXPECT_DOUBLE_EQ(oglGetDouble("x"), 0.0);
    int64_t size = -5;
    EXPECT_TRUE(oglGetSize("4294967295", &size));
    EXPECT_EQ(size, 4294967295);
    EXPECT_FALSE(oglGetSize("4294967296", &size));
    EXPECT_FALSE(oglGetSize("-1", &size));
    EXPECT_FALSE(oglGetSize("99999999999999999999999", &size));
}

TEST(OglNumbers, PureObjectsReadLikeTheirPrintedForm)
{
    const double values[] = {2.75, -2.75, 1e-5, 0.5, 123456.9, 1e20, -0.0};
    for (double v : values) {
        Tcl_Obj *pure = Tcl_NewDoubleObj(v);
        Tcl_IncrRefCount(pure);
        Tcl_Obj *printed = Tcl_NewDoubleObj(v);
        Tcl_IncrRefCount(printed);
        Tcl_GetString(printed);
        EXPECT_EQ(oglObjInt(pure), oglObjInt(printed)) << Tcl_GetString(printed);
        EXPECT_DOUBLE_EQ(oglObjDouble(pure), v);
        Tcl_DecrRefCount(pure);
        Tcl_DecrRefCount(printed);
    }
    Tcl_Obj *wide = Tcl_NewWideIntObj(-7);
    Tcl_IncrRefCount(wide);
    EXPECT_EQ(oglObjInt(wide), -7);
    EXPECT_DOUBLE_EQ(oglObjDouble(wide), -7.0);
    EXPECT_EQ(wide->bytes, nullptr); /* read without being printed */
    Tcl_DecrRefCount(wide);
}

/* A word as a fresh string, and the same word after Tcl has read it as a
 * number (when it can): oglObjDouble and oglObjInt answer the same. */
struct WordForms {
    explicit WordForms(const char *word)
    {
        fresh = Tcl_NewStringObj(word, -1);
        asDouble = Tcl_NewStringObj(word, -1);
        asInt = Tcl_NewStringObj(word, -1);
        for (Tcl_Obj *o : {fresh, asDouble, asInt}) {
            Tcl_IncrRefCount(o);
        }
        double d;
        Tcl_WideInt w;
        Tcl_GetDoubleFromObj(nullptr, asDouble, &d);
        Tcl_GetWideIntFromObj(nullptr, asInt, &w);
    }
    ~WordForms()
    {
        for (Tcl_Obj *o : {fresh, asDouble, asInt}) {
            Tcl_DecrRefCount(o);
        }
    }
    Tcl_Obj *fresh, *asDouble, *asInt;
};

bool sameDouble(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

TEST(OglNumbers, ObjectWordsReadAsStrtodWhateverTclMadeOfThem)
{
    glwMakeCurrent(testInterp(), nullptr);
    // clang-format off
    const char *words[] = {
        "2.5", "-0", "-0.0", "+.5", "5.", "1e3", "1E-2", "7.25e-3", "1.5e22", "123456789012345e-22",
        "0x10", "inf", "-inf", "nan", " 5", "5 ", "1_000", "017", "08", "00.5", "0o17", "0b1", "1abc", "1e",
        "0.1", "0.30000000000000004", "9007199254740993", "123456789012345678901234567890",
        "1e400", "1e-400", "4.9e-324", "2.4703282292062327e-324", "1.7976931348623157e308"};
    // clang-format on
    for (const char *word : words) {
        double expected = strtod(word, nullptr);
        WordForms forms(word);
        for (Tcl_Obj *o : {forms.fresh, forms.fresh, forms.asDouble, forms.asInt}) {
            EXPECT_PRED2(sameDouble, oglObjDouble(o), expected) << "[" << word << "]";
        }
        EXPECT_PRED2(sameDouble, oglGetDouble(word), expected) << "[" << word << "]";
    }
    /* a loop's literal keeps its reading */
    WordForms literal("2.5");
    oglObjDouble(literal.fresh);
    EXPECT_EQ(literal.fresh->typePtr, Tcl_GetObjType("double"));
}

TEST(OglNumbers, ObjectWordsReadTheirLeadingDecimalDigitsWhateverTclMadeOfThem)
{
    glwMakeCurrent(testInterp(), nullptr);
    const struct {
        const char *word;
        GLint value;
    } cases[] = {
        // clang-format off
        {"017", 17}, {"0x10", 0}, {"0o17", 0}, {"0b1", 0}, {"1.9", 1}, {"1e3", 1}, {" 5", 5}, {"+5", 5},
        {"-17", -17}, {"-0", 0}, {"1abc", 1}, {"1_000", 1}, {"4294967297", 1},
        {"99999999999999999999", -1}, {"123456789012345678", -1506741426},
        // clang-format on
    };
    for (const auto &c : cases) {
        WordForms forms(c.word);
        for (Tcl_Obj *o : {forms.fresh, forms.asDouble, forms.asInt, forms.asInt}) {
            EXPECT_EQ(oglObjInt(o), c.value) << "[" << c.word << "]";
        }
        EXPECT_EQ(oglGetInt(c.word), c.value) << "[" << c.word << "]";
    }
}

TEST(OglNumbers, SizesForGlStopAtInt32AndOffsetsAt64Bits)
{
    glwMakeCurrent(testInterp(), nullptr);
    GLsizei n = -5;
    EXPECT_TRUE(oglGetGLsizei("2147483647", &n));
    EXPECT_EQ(n, 2147483647);
    EXPECT_FALSE(oglGetGLsizei("2147483648", &n));
    EXPECT_FALSE(oglGetGLsizei("-1", &n));
    EXPECT_EQ(n, 2147483647);
    int64_t offset = 0;
    EXPECT_TRUE(oglGetSizeUpTo("4294967296", INT64_MAX, &offset));
    EXPECT_EQ(offset, 4294967296);
    EXPECT_TRUE(oglGetSizeUpTo("99999999999999999999", INT64_MAX, &offset)); /* saturates */
    EXPECT_EQ(offset, INT64_MAX);
    EXPECT_FALSE(oglGetSizeUpTo("-3", INT64_MAX, &offset));
    EXPECT_FALSE(oglGetSizeUpTo("11", 10, &offset));
}

TEST_F(OglStore, ReferencesReadTheirFirstElement)
{
    ASSERT_NE(make(GL_FLOAT, "v", "0.5 0.25 7.9", 0, 0), nullptr);
    oglDataStore(record_.objects, "t", oglDataCreate(OGL_STRING, 1, "12.5abc", 0, 0));
    EXPECT_EQ(oglGetInt("v(2)"), 7);
    EXPECT_DOUBLE_EQ(oglGetDouble("v(2)"), double(7.9f));
    EXPECT_DOUBLE_EQ(oglGetDouble("v(9)"), double(7.9f));
    EXPECT_DOUBLE_EQ(oglGetDouble("v(1:2)"), 0.25);
    EXPECT_EQ(oglGetInt("v"), 0);
    EXPECT_EQ(oglGetInt("t"), 12);
    EXPECT_DOUBLE_EQ(oglGetDouble("t"), 12.5);
    EXPECT_EQ(oglGetInt("w(1)"), 0); /* no such object: the word's digits */
    int64_t size = 0;
    EXPECT_TRUE(oglGetSize("v(2)", &size));
    EXPECT_EQ(size, 7);
}

TEST_F(OglStore, ReferencesCutIndicesAndFlagMalformedWords)
{
    make(GL_INT, "a", "1 2 3 4", 0, 0);
    OglRef ref;
    ASSERT_TRUE(oglDataRef("a(1:2)", &ref));
    EXPECT_EQ(ref.first, 1);
    EXPECT_EQ(ref.last, 2);
    EXPECT_FALSE(ref.error);
    ASSERT_TRUE(oglDataRef("a(2:9)", &ref));
    EXPECT_EQ(ref.last, 3);
    EXPECT_TRUE(ref.error);
    ASSERT_TRUE(oglDataRef("a(2147483648)", &ref)); /* past the end, not negative */
    EXPECT_EQ(ref.first, 3);
    EXPECT_EQ(ref.last, 3);
    EXPECT_TRUE(ref.error);
    ASSERT_TRUE(oglDataRef("a", &ref));
    EXPECT_EQ(ref.last, 3);
    for (const char *bad : {"a(2:1)", "a(1", "a()", "a(1)x", "1a", "a(-1)", "a(1:)"}) {
        EXPECT_FALSE(oglDataRef(bad, &ref)) << bad;
        EXPECT_TRUE(ref.error) << bad;
    }
    EXPECT_FALSE(oglDataRef("b(1)", &ref));
    EXPECT_FALSE(ref.error);
}

TEST_F(OglStore, CreationSizesFromListAndIndexRange)
{
    OglDataObject *v = make(GL_FLOAT, "v(0:99)", "1", 0, 99);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->count, 100);
    EXPECT_EQ(static_cast<GLfloat *>(v->data)[99], 1.0f);
    OglDataObject *a = make(GL_DOUBLE, "a(5)", "1 2 3", 5, 5);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(joined(static_cast<GLdouble *>(a->data), 6), "0.000000 0.000000 0.000000 0.000000 0.000000 1.000000");
    OglDataObject *b = make(GL_INT, "b(2:4)", "7 8", 2, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(joined(static_cast<GLint *>(b->data), 5), "0 0 7 8 8");
    OglDataObject *c = make(GL_SHORT, "c", nullptr, 0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->count, 1);
    EXPECT_EQ(oglDataFind("b", GL_INT, 5), b);
    EXPECT_EQ(oglDataFind("b", GL_INT, 6), nullptr);
    EXPECT_EQ(oglDataFind("b", GL_FLOAT, 1), nullptr);
    EXPECT_EQ(oglDataFind("b(2:4)", -1, 1), nullptr);

    /* No element, or 4 GiB and more: refused. */
    EXPECT_EQ(oglDataCreate(GL_FLOAT, 0, "", 0, 0), nullptr);
    EXPECT_EQ(oglDataCreate(GL_FLOAT, 0, nullptr, 0, int64_t(1) << 30), nullptr); /* 4 GiB + 4 */
    EXPECT_EQ(oglDataCreate(GL_UNSIGNED_BYTE, int64_t(1) << 32, nullptr, 0, 0), nullptr);
    EXPECT_EQ(oglDataCreate(GL_FLOAT, 0, nullptr, 0, int64_t(1) << 40), nullptr);
    EXPECT_EQ(oglDataCreate(0x1234, 1, nullptr, 0, 0), nullptr);
}

TEST_F(OglStore, StoringReplacesAndDeletingHonoursTheType)
{
    make(GL_INT, "x(3)", nullptr, 3, 3);
    OglDataObject *second = make(GL_FLOAT, "x", "5", 0, 0);
    EXPECT_EQ(oglDataFind("x", -1, 1), second);
    oglDataDelete("x", GL_INT);
    EXPECT_EQ(oglDataFind("x", -1, 1), second);
    oglDataDelete("x", -1);
    EXPECT_EQ(oglDataFind("x", -1, 1), nullptr);
    oglDataDelete("x", -1);
    OglDataObject *quadric = oglDataCreate(OGL_GLU_QUADRIC, 1, nullptr, 0, 0);
    ASSERT_NE(quadric, nullptr);
    oglDataStore(record_.objects, "GLUquadric_0", quadric);
    EXPECT_STREQ(oglTypeName(quadric->type), "GLUquadric");
    EXPECT_EQ(oglTypeSize(GL_DOUBLE), 8);
    /* the handle goes with the store in TearDown */
}

TEST_F(OglStore, ArraysComeFromExactListsOrLongEnoughReferences)
{
    OglTemps temps;
    EXPECT_EQ(oglArgFloats("1 2", 4), nullptr);
    GLfloat *f = oglArgFloats("1 2 3 4", 4);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f[3], 4.0f);
    OglDataObject *d = make(GL_DOUBLE, "d", "2.5 -2.5 1.49 300.6", 0, 0);
    EXPECT_EQ(oglArgDoubles("d(1)", 3), static_cast<GLdouble *>(d->data) + 1);
    EXPECT_EQ(oglArgDoubles("d(2)", 3), nullptr);
    GLubyte *u = oglArgUbytes("d", 4);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(joined(u, 4), "3 253 1 45");
    GLint *i = oglArgInts("d(1:3)", 2);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(joined(i, 2), "-3 1");
    make(GL_UNSIGNED_INT, "w", "4294967295", 0, 0);
    GLshort *s = oglArgShorts("w", 1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s[0], -1);
    GLdouble *wd = oglArgDoubles("w", 1);
    ASSERT_NE(wd, nullptr);
    EXPECT_EQ(wd[0], 4294967295.0);
    EXPECT_EQ(oglArgFloats("d", 5), nullptr);

    EXPECT_EQ(oglListsArg("1 2 3", GL_2_BYTES, 2), nullptr);
    GLubyte *pairs = static_cast<GLubyte *>(oglListsArg("1 2 3 4", GL_2_BYTES, 2));
    ASSERT_NE(pairs, nullptr);
    EXPECT_EQ(pairs[3], 4);
    EXPECT_EQ(oglListsArg("1 2", GL_DOUBLE, 2), nullptr);
}

TEST(OglTemporaries, AreZeroedAndSizedBelowTheLimit)
{
    OglTemps outer;
    auto *kept = static_cast<unsigned char *>(oglTempAlloc(16));
    ASSERT_NE(kept, nullptr);
    {
        OglTemps inner;
        auto *gone = static_cast<unsigned char *>(oglTempAlloc(1000));
        ASSERT_NE(gone, nullptr);
        EXPECT_EQ(gone[999], 0);
        gone[0] = 1;
    }
    kept[15] = 7; /* still ours after the inner scope ended */
    EXPECT_EQ(kept[0], 0);
    EXPECT_EQ(oglTempAlloc(-1), nullptr);
    EXPECT_EQ(oglTempAlloc(kOglMaxBytes), nullptr);
}

/* Releases whatever context is current for one test and makes it current
 * again afterwards, so that GL's defaults stand whatever ran before. */
struct NoContext {
    NoContext() : display(glXGetCurrentDisplay()), drawable(glXGetCurrentDrawable()), context(glXGetCurrentContext())
    {
        if (context != nullptr) {
            glXMakeCurrent(display, None, nullptr);
        }
    }
    ~NoContext()
    {
        if (context != nullptr) {
            glXMakeCurrent(display, drawable, context);
        }
    }
    Display *display;
    GLXDrawable drawable;
    GLXContext context;
};

TEST(OglTemporaries, NeedAnOpenScope)
{
    /* Outside every scope nothing would free it: refused, and a debug
     * build stops on its assertion (seen from a child process). */
#ifdef NDEBUG
    EXPECT_EQ(oglTempAlloc(8), nullptr);
#else
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        oglTempAlloc(8);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
#endif
}

TEST(OglPixels, LayoutUnderTheDefaultStatePadsRowsToFour)
{
    NoContext none;
    OglPixelLayout layout;
    ASSERT_TRUE(oglPixelLayout(true, GL_RGB, GL_UNSIGNED_BYTE, 3, 2, &layout));
    EXPECT_EQ(layout.rowBytes, 9);
    EXPECT_EQ(layout.strideBytes, 12);
    EXPECT_EQ(layout.totalBytes, 24);
    ASSERT_TRUE(oglPixelLayout(false, GL_RGBA, GL_FLOAT, 2, 2, &layout));
    EXPECT_EQ(layout.totalBytes, 64);
    EXPECT_EQ(layout.elemSize, 4);
    ASSERT_TRUE(oglPixelLayout(false, GL_COLOR_INDEX, GL_BITMAP, 9, 3, &layout));
    EXPECT_EQ(layout.rowBytes, 2);
    EXPECT_EQ(layout.strideBytes, 4);
    EXPECT_EQ(layout.totalBytes, 12);
    ASSERT_TRUE(oglPixelLayout(false, GL_LUMINANCE_ALPHA, GL_SHORT, 1, 3, &layout));
    EXPECT_EQ(layout.totalBytes, 12);
    EXPECT_FALSE(oglPixelLayout(false, GL_RGBA, GL_UNSIGNED_BYTE, 65536, 65536, &layout));
    EXPECT_FALSE(oglPixelLayout(false, GL_RGBA, GL_UNSIGNED_BYTE, -1, 2, &layout));
    EXPECT_FALSE(oglPixelLayout(false, GL_RGBA, GL_DOUBLE, 1, 1, &layout));

    OglTemps temps;
    EXPECT_EQ(oglPixelArg("1 2 3 4 5 6 7 8 9", GL_RGB, GL_UNSIGNED_BYTE, 3, 1), nullptr);
    auto *row = static_cast<GLubyte *>(oglPixelArg("1 2 3 4 5 6 7 8 9 0 0 0", GL_RGB, GL_UNSIGNED_BYTE, 3, 1));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row[8], 9);
    auto *zero = static_cast<GLfloat *>(oglPixelArg(nullptr, GL_RGB, GL_FLOAT, 2, 2));
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero[11], 0.0f);
}

/* A direct context current on a small GLX pixmap, for GL's pixel state;
 * the context current before comes back at the end. */
struct PixmapContext {
    PixmapContext()
    {
        display = XOpenDisplay(nullptr);
        int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
        visual = display != nullptr ? glXChooseVisual(display, DefaultScreen(display), attributes) : nullptr;
        if (visual == nullptr) {
            return;
        }
        pixmap = XCreatePixmap(display, RootWindow(display, visual->screen), 8, 8, visual->depth);
        glxPixmap = glXCreateGLXPixmap(display, visual, pixmap);
        context = glXCreateContext(display, visual, nullptr, True);
        current = context != nullptr && glXMakeCurrent(display, glxPixmap, context);
    }
    ~PixmapContext()
    {
        if (visual == nullptr) {
            if (display != nullptr) {
                XCloseDisplay(display);
            }
            return;
        }
        glXMakeCurrent(display, None, nullptr);
        if (context != nullptr) {
            glXDestroyContext(display, context);
        }
        glXDestroyGLXPixmap(display, glxPixmap);
        XFreePixmap(display, pixmap);
        XFree(visual);
        XCloseDisplay(display);
    }
    NoContext previous; /* first made, last gone: restores after the rest */
    Display *display = nullptr;
    XVisualInfo *visual = nullptr;
    Pixmap pixmap = None;
    GLXPixmap glxPixmap = None;
    GLXContext context = nullptr;
    bool current = false;
};

TEST(OglPixels, LayoutFollowsThePackStateForReadsAndTheUnpackStateForData)
{
    PixmapContext gl;
    if (!gl.current) {
        GTEST_SKIP() << "no GLX context on this display";
    }
    OglPixelLayout layout;
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    ASSERT_TRUE(oglPixelLayout(true, GL_RGB, GL_UNSIGNED_BYTE, 3, 2, &layout));
    EXPECT_EQ(layout.strideBytes, 16);
    EXPECT_EQ(layout.totalBytes, 32);
    ASSERT_TRUE(oglPixelLayout(false, GL_RGB, GL_UNSIGNED_BYTE, 3, 2, &layout));
    EXPECT_EQ(layout.totalBytes, 24);
    /* rows of 5 pixels, 2 rows and 1 pixel skipped, no padding: the last
     * byte touched is 2×15 + 3 + 15 + 9 = 57 */
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 5);
    glPixelStorei(GL_PACK_SKIP_ROWS, 2);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 1);
    ASSERT_TRUE(oglPixelLayout(true, GL_RGB, GL_UNSIGNED_BYTE, 3, 2, &layout));
    EXPECT_EQ(layout.rowBytes, 9);
    EXPECT_EQ(layout.strideBytes, 15);
    EXPECT_EQ(layout.offsetBytes, 33);
    EXPECT_EQ(layout.totalBytes, 57);
    /* a bitmap's skipped pixels are bits of its first bytes */
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 7);
    ASSERT_TRUE(oglPixelLayout(false, GL_COLOR_INDEX, GL_BITMAP, 2, 1, &layout));
    EXPECT_EQ(layout.rowBytes, 2);
    EXPECT_EQ(layout.totalBytes, 4);
    OglTemps temps;
    EXPECT_EQ(oglPixelArg("1 2 3", GL_COLOR_INDEX, GL_BITMAP, 2, 1), nullptr);
    EXPECT_NE(oglPixelArg("1 2 3 4", GL_COLOR_INDEX, GL_BITMAP, 2, 1), nullptr);
}

/* The highest byte index that glReadPixels changes in a buffer of sentinel
 * bytes under the current pack state, or -1. */
int64_t lastByteGlWrites(GLenum format, GLenum type, int width, int height)
{
    unsigned char buffer[256];
    memset(buffer, 0xAB, sizeof buffer);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glReadPixels(0, 0, width, height, format, type, buffer);
    for (int64_t i = sizeof buffer - 1; i >= 0; i--) {
        if (buffer[i] != 0xAB) {
            return i;
        }
    }
    return -1;
}

TEST(OglPixels, RowLengthSkipsAndAlignmentPlaceTheRectangleAsGlDoes)
{
    PixmapContext gl;
    if (!gl.current) {
        GTEST_SKIP() << "no GLX context on this display";
    }
    /* 2×2 RGB bytes in rows of 4 pixels (12 bytes, already aligned to 4),
     * one row and two pixels skipped: the first byte is 12 + 2×3 = 18, the
     * last GL touches 18 + 12 + 5 = 35; the buffer reaches the aligned end
     * of the last row, 18 + 12 + 8. */
    for (bool pack : {true, false}) {
        glPixelStorei(pack ? GL_PACK_ALIGNMENT : GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(pack ? GL_PACK_ROW_LENGTH : GL_UNPACK_ROW_LENGTH, 4);
        glPixelStorei(pack ? GL_PACK_SKIP_ROWS : GL_UNPACK_SKIP_ROWS, 1);
        glPixelStorei(pack ? GL_PACK_SKIP_PIXELS : GL_UNPACK_SKIP_PIXELS, 2);
        OglPixelLayout layout;
        ASSERT_TRUE(oglPixelLayout(pack, GL_RGB, GL_UNSIGNED_BYTE, 2, 2, &layout));
        EXPECT_EQ(layout.rowBytes, 6);
        EXPECT_EQ(layout.strideBytes, 12);
        EXPECT_EQ(layout.offsetBytes, 18);
        EXPECT_EQ(layout.totalBytes, 38);
    }
    EXPECT_EQ(lastByteGlWrites(GL_RGB, GL_UNSIGNED_BYTE, 2, 2), 35);

    /* 3 shorts a row at alignment 2 need no padding (alignment 4: 8). */
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    OglPixelLayout layout;
    ASSERT_TRUE(oglPixelLayout(false, GL_LUMINANCE, GL_SHORT, 3, 2, &layout));
    EXPECT_EQ(layout.strideBytes, 6);
    EXPECT_EQ(layout.totalBytes, 12);
    OglTemps temps;
    EXPECT_EQ(oglPixelArg("1 2 3 4 5", GL_LUMINANCE, GL_SHORT, 3, 2), nullptr);
    auto *shorts = static_cast<GLshort *>(oglPixelArg("1 2 3 4 5 6", GL_LUMINANCE, GL_SHORT, 3, 2));
    ASSERT_NE(shorts, nullptr);
    EXPECT_EQ(shorts[5], 6);

    /* A bitmap read back: rows of 20 bits take 3 bytes, 4 at alignment 2;
     * one row skipped (4 bytes); 3 skipped and 10 read bits span 2 bytes:
     * 4 + 2×4 + 2 = 14. */
    glPixelStorei(GL_PACK_ALIGNMENT, 2);
    glPixelStorei(GL_PACK_ROW_LENGTH, 20);
    glPixelStorei(GL_PACK_SKIP_ROWS, 1);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 3);
    ASSERT_TRUE(oglPixelLayout(true, GL_COLOR_INDEX, GL_BITMAP, 10, 3, &layout));
    EXPECT_EQ(layout.rowBytes, 2);
    EXPECT_EQ(layout.strideBytes, 4);
    EXPECT_EQ(layout.offsetBytes, 4);
    EXPECT_EQ(layout.totalBytes, 14);
}

/* The first line of the error information of the last failure. */
std::string errorInfoOf(Tcl_Interp *interp)
{
    Tcl_Obj *options = Tcl_GetReturnOptions(interp, TCL_ERROR);
    Tcl_IncrRefCount(options);
    Tcl_Obj *key = Tcl_NewStringObj("-errorinfo", -1);
    Tcl_IncrRefCount(key);
    Tcl_Obj *info = nullptr;
    Tcl_DictObjGet(nullptr, options, key, &info);
    std::string text = info != nullptr ? Tcl_GetString(info) : "";
    Tcl_DecrRefCount(key);
    Tcl_DecrRefCount(options);
    return text.substr(0, text.find('\n'));
}

TEST(OglPixels, ValueListsTooLongForTclAreRefusedBeforeAnythingIsRead)
{
    /* One byte of data stands for 1.2e9 values: each prints at least "0 ",
     * 2.4e9 bytes, past what one Tcl value holds; the data is never read. */
    Tcl_Interp *interp = testInterp();
    testEval(interp, "set big untouched");
    const GLubyte one = 7;
    EXPECT_EQ(oglSetVarArray(interp, "big", GL_UNSIGNED_BYTE, &one, 40000, 30000, 0), TCL_ERROR);
    EXPECT_EQ(errorInfoOf(interp), kOglTooManyValues);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "");
    EXPECT_EQ(testEval(interp, "set big"), "untouched");
    EXPECT_EQ(oglFormatValues(GL_UNSIGNED_BYTE, &one, 1200000000, 1, 0), nullptr); /* glv's path */
    EXPECT_EQ(oglFormatValues(GL_BYTE, &one, int64_t(1) << 40, int64_t(1) << 40, 0), nullptr);
    /* "0 " per integer, "0.000000 " per floating value, against INT_MAX */
    EXPECT_TRUE(oglValuesFit(GL_UNSIGNED_BYTE, 1073741823));
    EXPECT_FALSE(oglValuesFit(GL_UNSIGNED_BYTE, 1073741824));
    EXPECT_TRUE(oglValuesFit(GL_FLOAT, 238609294));
    EXPECT_FALSE(oglValuesFit(GL_DOUBLE, 238609295));
    testEval(interp, "unset big");
}

TEST(OglPixels, VariablesPrintUnsignedIntsUnsignedAsGlvDoes)
{
    /* a depth read back as GL_UNSIGNED_INT shows no negative values */
    const GLuint depths[] = {4294967295u, 0, 2147483648u};
    Tcl_Interp *interp = testInterp();
    ASSERT_EQ(oglSetVarArray(interp, "d", GL_UNSIGNED_INT, depths, 1, 3, 0), TCL_OK);
    EXPECT_EQ(testEval(interp, "set d"), "4294967295 0 2147483648");
    testEval(interp, "unset d");
}

TEST(OglPixels, VariablesGetTheValuesWithoutRowPadding)
{
    Tcl_Interp *interp = testInterp();
    const GLubyte bytes[] = {1, 2, 0, 0, 255, 6, 0, 0};
    ASSERT_EQ(oglSetVarArray(interp, "v", GL_UNSIGNED_BYTE, bytes, 2, 2, 4), TCL_OK);
    EXPECT_EQ(testEval(interp, "set v"), "1 2 255 6");
    const GLfloat floats[] = {0.5f, -1.0f};
    ASSERT_EQ(oglSetVarArray(interp, "a(x)", GL_FLOAT, floats, 2, 1, 0), TCL_OK);
    EXPECT_EQ(testEval(interp, "set a(x)"), "0.500000 -1.000000");
    const GLshort shorts[] = {-3, 4};
    ASSERT_EQ(oglSetVarArray(interp, "s", GL_SHORT, shorts, 1, 2, 0), TCL_OK);
    EXPECT_EQ(testEval(interp, "llength $s; set s"), "-3 4");
    testEval(interp, "unset -nocomplain v a s");
}

}  // namespace
