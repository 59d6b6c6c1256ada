/*
 * dem_peer.c --
 *
 *	The peer of dem_bench.tcl and of the DEM surface tests: an elevation
 *	grid drawn as lit triangle fans in plain C through GLX, with the grid's
 *	vertices, colours (the five-colour height ramp) and normals computed
 *	per frame from the heights alone, in a double-buffered SIZE x SIZE
 *	window with depth test, lighting, colour material and normalisation.
 *	Heights are GLfloat values in machine order, row 0 first.
 *	  dem_peer write FILE N
 *	      writes an N x N synthetic terrain
 *	  dem_peer draw FILE NCOLS NROWS DX DY ZSCALE SIZE REDRAWS MODE
 *	      prints the milliseconds of REDRAWS redraws (after one untimed),
 *	      one buffer swap a redraw, and the checksum of one more picture;
 *	      MODE immediate: glBegin/glColor3fv/glNormal3fv/glVertex4f a
 *	      vertex; arrays: the whole grid's arrays refilled every frame and
 *	      drawn as the fans' triangles by one glDrawElements
 *	  dem_peer picture FILE NCOLS NROWS DX DY ZSCALE SIZE
 *	      prints the picture's glReadPixels bytes (GL_RGB, rows bottom-up)
 *	      as decimal numbers, one row a line
 *	Exit 1 without GLX, memory or a readable file.
 */
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef struct {
    const GLfloat *h;
    long ncols, nrows;
    GLfloat dx, dy, zscale;
    GLfloat halfWidth, halfHeight, scale, kx, ky;
    GLfloat hmin, hrange;
    int flat;
} Dem;

static GLfloat ramp[256][3];

static double nowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* Blue, cyan, green, yellow, red at 0, 63, 127, 191, 255; linear between. */
static void makeRamp(void)
{
    static const int knots[5] = {0, 63, 127, 191, 255};
    static const GLfloat colours[5][3] = {{0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    for (int k = 0; k < 4; k++) {
        for (int i = knots[k]; i <= knots[k + 1]; i++) {
            GLfloat t = (GLfloat)(i - knots[k]) / (GLfloat)(knots[k + 1] - knots[k]);
            for (int j = 0; j < 3; j++) {
                ramp[i][j] = colours[k][j] + (colours[k + 1][j] - colours[k][j]) * t;
            }
        }
    }
}

static void setGrid(Dem *g, const GLfloat *h, long ncols, long nrows, GLfloat dx, GLfloat dy, GLfloat zscale)
{
    g->h = h;
    g->ncols = ncols;
    g->nrows = nrows;
    g->dx = dx;
    g->dy = dy;
    g->zscale = zscale;
    GLfloat width = (GLfloat)(ncols - 1) * dx, height = (GLfloat)(nrows - 1) * dy;
    g->halfWidth = width / 2.0f;
    g->halfHeight = height / 2.0f;
    g->scale = width >= height ? width : height;
    g->kx = 2.0f / dx;
    g->ky = -2.0f / dy;
}

/* The least and greatest heights, every frame as the drawing needs them. */
static void spread(Dem *g)
{
    GLfloat lo = INFINITY, hi = -INFINITY;
    long n = g->ncols * g->nrows;
    for (long i = 0; i < n; i++) {
        lo = g->h[i] < lo ? g->h[i] : lo;
        hi = g->h[i] > hi ? g->h[i] : hi;
    }
    g->hmin = lo;
    g->hrange = hi - lo;
    g->flat = !(hi > lo);
}

/* Grid point (r, c): position, ramp colour, unnormalised normal. */
static void vertexOf(const Dem *g, long r, long c, GLfloat pos[4], GLfloat colour[3], GLfloat normal[3])
{
    GLfloat h = g->h[r * g->ncols + c];
    pos[0] = (GLfloat)c * g->dx - g->halfWidth;
    pos[1] = g->halfHeight - (GLfloat)r * g->dy;
    pos[2] = h * g->zscale;
    pos[3] = g->scale;
    long rr = r < g->nrows - 1 ? r : r - 1, cc = c < g->ncols - 1 ? c : c - 1;
    const GLfloat *top = g->h + rr * g->ncols, *bottom = top + g->ncols;
    GLfloat a = top[cc], b = top[cc + 1], d = bottom[cc + 1], e = bottom[cc];
    normal[0] = (a - b + e - d) * g->kx * g->zscale;
    normal[1] = (a + b - e - d) * g->ky * g->zscale;
    normal[2] = 1.0f;
    int entry = 0;
    if (!g->flat) {
        GLfloat t = (h - g->hmin) / g->hrange * 256.0f;
        entry = t >= 0.0f ? (t < 255.0f ? (int)t : 255) : 0;
    }
    memcpy(colour, ramp[entry], sizeof ramp[entry]);
}

static void emit(const Dem *g, long r, long c)
{
    GLfloat pos[4], colour[3], normal[3];
    vertexOf(g, r, c, pos, colour, normal);
    glColor3fv(colour);
    glNormal3fv(normal);
    glVertex4f(pos[0], pos[1], pos[2], pos[3]);
}

/* Fans around every other point; one fan a cell on a last band of an
 * even number of rows. */
static void drawImmediate(Dem *g)
{
    spread(g);
    long r = 1;
    for (; r < g->nrows - 1; r += 2) {
        for (long c = 1; c < g->ncols; c += 2) {
            glBegin(GL_TRIANGLE_FAN);
            emit(g, r, c);
            emit(g, r + 1, c);
            emit(g, r + 1, c - 1);
            emit(g, r, c - 1);
            emit(g, r - 1, c - 1);
            emit(g, r - 1, c);
            if (c != g->ncols - 1) {
                emit(g, r - 1, c + 1);
                emit(g, r, c + 1);
                emit(g, r + 1, c + 1);
                emit(g, r + 1, c);
            }
            glEnd();
        }
    }
    if (r == g->nrows - 1) {
        for (long c = 0; c < g->ncols - 1; c++) {
            glBegin(GL_TRIANGLE_FAN);
            emit(g, r, c);
            emit(g, r - 1, c);
            emit(g, r - 1, c + 1);
            emit(g, r, c + 1);
            glEnd();
        }
    }
}

/* The arrays variant: whole-grid arrays, and the triangles GL splits the
 * fans into (first vertex, k-th, (k + 1)-th), fan after fan, made once. */
typedef struct {
    GLfloat *pos, *colour, *normal;
    GLuint *triangles;
    long count;
} Arrays;

static GLuint *fanTriangles(GLuint *p, const GLuint *fan, int n)
{
    for (int k = 1; k + 1 < n; k++) {
        *p++ = fan[0], *p++ = fan[k], *p++ = fan[k + 1];
    }
    return p;
}

static int makeArrays(const Dem *g, Arrays *a)
{
    long n = g->ncols * g->nrows;
    long maxFans = (g->nrows / 2 + 1) * (g->ncols / 2 + 1) + g->ncols;
    a->pos = malloc(sizeof(GLfloat) * 4 * n);
    a->colour = malloc(sizeof(GLfloat) * 3 * n);
    a->normal = malloc(sizeof(GLfloat) * 3 * n);
    a->triangles = malloc(sizeof(GLuint) * 24 * maxFans);
    if (!a->pos || !a->colour || !a->normal || !a->triangles) {
        return 0;
    }
    GLuint *p = a->triangles, fan[10];
    long ncols = g->ncols, r = 1;
#define AT(row, col) ((GLuint)((row)*ncols + (col)))
    for (; r < g->nrows - 1; r += 2) {
        for (long c = 1; c < ncols; c += 2) {
            int k = 0;
            fan[k++] = AT(r, c), fan[k++] = AT(r + 1, c), fan[k++] = AT(r + 1, c - 1);
            fan[k++] = AT(r, c - 1), fan[k++] = AT(r - 1, c - 1), fan[k++] = AT(r - 1, c);
            if (c != ncols - 1) {
                fan[k++] = AT(r - 1, c + 1), fan[k++] = AT(r, c + 1), fan[k++] = AT(r + 1, c + 1);
                fan[k++] = AT(r + 1, c);
            }
            p = fanTriangles(p, fan, k);
        }
    }
    if (r == g->nrows - 1) {
        for (long c = 0; c < ncols - 1; c++) {
            fan[0] = AT(r, c), fan[1] = AT(r - 1, c), fan[2] = AT(r - 1, c + 1), fan[3] = AT(r, c + 1);
            p = fanTriangles(p, fan, 4);
        }
    }
#undef AT
    a->count = p - a->triangles;
    return 1;
}

static void drawArrays(Dem *g, const Arrays *a)
{
    spread(g);
    for (long r = 0; r < g->nrows; r++) {
        for (long c = 0; c < g->ncols; c++) {
            long v = r * g->ncols + c;
            vertexOf(g, r, c, a->pos + 4 * v, a->colour + 3 * v, a->normal + 3 * v);
        }
    }
    glVertexPointer(4, GL_FLOAT, 0, a->pos);
    glColorPointer(3, GL_FLOAT, 0, a->colour);
    glNormalPointer(GL_FLOAT, 0, a->normal);
    glDrawElements(GL_TRIANGLES, (GLsizei)a->count, GL_UNSIGNED_INT, a->triangles);
}

/* The state dem_bench.tcl and the tests set once, word for word. */
static void setUp(int size)
{
    static const GLfloat position[4] = {0.3f, 0.5f, 1.0f, 0.0f};
    glViewport(0, 0, size, size);
    glClearColor(0.1f, 0.1f, 0.2f, 1.0f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.7, 0.7, -0.7, 0.7, -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(-55.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(25.0f, 0.0f, 0.0f, 1.0f);
}

/* The synthetic terrain: smooth hills, ridges and a fine ripple. */
static int writeTerrain(const char *file, long n)
{
    GLfloat *h = malloc(sizeof(GLfloat) * n * n);
    FILE *f = fopen(file, "wb");
    if (h == NULL || f == NULL) {
        return 0;
    }
    for (long r = 0; r < n; r++) {
        for (long c = 0; c < n; c++) {
            double x = (double)c / n, y = (double)r / n;
            double v = 400 + 250 * sin(9 * x) * cos(7 * y) + 90 * sin(40 * (x + 2 * y)) + 25 * cos(130 * (3 * x - y)) +
                       4 * sin(900 * x * y);
            h[r * n + c] = (GLfloat)v;
        }
    }
    int ok = fwrite(h, sizeof(GLfloat), (size_t)(n * n), f) == (size_t)(n * n);
    free(h);
    return fclose(f) == 0 && ok;
}

static GLfloat *readHeights(const char *file, long count)
{
    GLfloat *h = malloc(sizeof(GLfloat) * count);
    FILE *f = fopen(file, "rb");
    if (h == NULL || f == NULL || fread(h, sizeof(GLfloat), (size_t)count, f) != (size_t)count) {
        return NULL;
    }
    fclose(f);
    return h;
}

/* The checksum dem_bench.tcl computes over the same GL_RGB bytes:
 * s = (s * 31 + value) mod 2147483647, value by value, rows bottom-up. */
static long checksum(const unsigned char *pixels, size_t bytes)
{
    long long s = 0;
    for (size_t i = 0; i < bytes; i++) {
        s = (s * 31 + pixels[i]) % 2147483647LL;
    }
    return (long)s;
}

static unsigned char *readBack(int size)
{
    unsigned char *pixels = malloc((size_t)size * size * 3);
    if (pixels != NULL) {
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, size, size, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    }
    return pixels;
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "write") == 0) {
        long n = atol(argv[3]);
        return n >= 2 && writeTerrain(argv[2], n) ? 0 : 1;
    }
    int draw = argc == 11 && strcmp(argv[1], "draw") == 0;
    int picture = argc == 9 && strcmp(argv[1], "picture") == 0;
    if (!draw && !picture) {
        fprintf(stderr, "usage: dem_peer write FILE N | draw FILE NCOLS NROWS DX DY ZSCALE SIZE REDRAWS MODE"
                        " | picture FILE NCOLS NROWS DX DY ZSCALE SIZE\n");
        return 1;
    }
    long ncols = atol(argv[3]), nrows = atol(argv[4]);
    int size = atoi(argv[8]);
    long redraws = draw ? atol(argv[9]) : 0;
    int useArrays = draw && strcmp(argv[10], "arrays") == 0;
    if (ncols < 2 || nrows < 2 || size < 1) {
        return 1;
    }
    GLfloat *heights = readHeights(argv[2], ncols * nrows);
    if (heights == NULL) {
        fprintf(stderr, "dem_peer: cannot read %s\n", argv[2]);
        return 1;
    }
    makeRamp();
    Dem grid;
    setGrid(&grid, heights, ncols, nrows, (GLfloat)atof(argv[5]), (GLfloat)atof(argv[6]), (GLfloat)atof(argv[7]));
    Arrays arrays;
    if (useArrays && !makeArrays(&grid, &arrays)) {
        return 1;
    }

    static int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 1,   GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE,
                               1,        GLX_DEPTH_SIZE,   24,           None};
    Display *display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "dem_peer: no display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    XVisualInfo *visual = glXChooseVisual(display, screen, attributes);
    if (visual == NULL) {
        fprintf(stderr, "dem_peer: no GLX visual\n");
        return 1;
    }
    XSetWindowAttributes set;
    set.colormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
    set.border_pixel = 0;
    Window window = XCreateWindow(display, RootWindow(display, screen), 600, 0, (unsigned)size, (unsigned)size, 0,
                                  visual->depth, InputOutput, visual->visual, CWColormap | CWBorderPixel, &set);
    XMapWindow(display, window);
    XSync(display, False);
    GLXContext context = glXCreateContext(display, visual, NULL, True);
    if (context == NULL || !glXMakeCurrent(display, window, context)) {
        fprintf(stderr, "dem_peer: no context\n");
        return 1;
    }
    setUp(size);
    if (useArrays) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
    }

    double ms = 0;
    for (long r = -1; r < redraws; r++) {
        if (r == 0) {
            glFinish();
            ms = nowMs();
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (useArrays) {
            drawArrays(&grid, &arrays);
        } else {
            drawImmediate(&grid);
        }
        if (draw) {
            glXSwapBuffers(display, window);
        }
    }
    if (draw) {
        glFinish();
        ms = nowMs() - ms;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (useArrays) {
            drawArrays(&grid, &arrays);
        } else {
            drawImmediate(&grid);
        }
    }
    unsigned char *pixels = readBack(size);
    if (pixels == NULL) {
        return 1;
    }
    if (draw) {
        printf("%.1f %ld\n", ms, checksum(pixels, (size_t)size * size * 3));
    } else {
        for (int y = 0; y < size; y++) {
            for (int i = 0; i < size * 3; i++) {
                printf(i ? " %d" : "%d", pixels[(size_t)y * size * 3 + i]);
            }
            putchar('\n');
        }
    }
    glXMakeCurrent(display, None, NULL);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
