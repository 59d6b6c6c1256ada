/*
 * gl_arrays_peer.c --
 *
 *	The peer of gl_arrays_bench.tcl: a lit grid of N x N vertices (two
 *	triangles a cell) as GLfloat vertices and normals and a GLuint index
 *	list, drawn with glVertexPointer, glNormalPointer and glDrawElements in
 *	a 512 x 512 double-buffered GLX window, one buffer swap a redraw.
 *	  gl_arrays_peer write DIR N        writes DIR/grid_v.bin, grid_n.bin
 *	                                    and grid_i.bin (machine order)
 *	  gl_arrays_peer draw N REDRAWS     prints the milliseconds of REDRAWS
 *	                                    redraws (after one untimed) and the
 *	                                    checksum of one more picture
 *	Exit 1 without GLX or memory.
 */
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { SIZE = 512 };

typedef struct {
    long n;            /* vertices a side */
    GLfloat *vertices; /* n * n * 3 */
    GLfloat *normals;  /* n * n * 3 */
    GLuint *indices;   /* (n - 1)^2 * 6 */
    long indexCount;
} Grid;

static double nowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* The height field z = 0.15 sin(6x) cos(5y) over [-0.9, 0.9]^2, its normals
 * from the partial derivatives, two counter-clockwise triangles a cell. */
static int makeGrid(Grid *grid, long n)
{
    grid->n = n;
    grid->indexCount = (n - 1) * (n - 1) * 6;
    grid->vertices = malloc(sizeof(GLfloat) * 3 * n * n);
    grid->normals = malloc(sizeof(GLfloat) * 3 * n * n);
    grid->indices = malloc(sizeof(GLuint) * grid->indexCount);
    if (grid->vertices == NULL || grid->normals == NULL || grid->indices == NULL) {
        return 0;
    }
    for (long j = 0; j < n; j++) {
        for (long i = 0; i < n; i++) {
            double x = -0.9 + 1.8 * i / (n - 1), y = -0.9 + 1.8 * j / (n - 1);
            double z = 0.15 * sin(6 * x) * cos(5 * y);
            double dx = 0.9 * cos(6 * x) * cos(5 * y), dy = -0.75 * sin(6 * x) * sin(5 * y);
            double length = sqrt(dx * dx + dy * dy + 1);
            GLfloat *v = grid->vertices + 3 * (j * n + i), *m = grid->normals + 3 * (j * n + i);
            v[0] = (GLfloat)x;
            v[1] = (GLfloat)y;
            v[2] = (GLfloat)z;
            m[0] = (GLfloat)(-dx / length);
            m[1] = (GLfloat)(-dy / length);
            m[2] = (GLfloat)(1 / length);
        }
    }
    GLuint *p = grid->indices;
    for (long j = 0; j + 1 < n; j++) {
        for (long i = 0; i + 1 < n; i++) {
            GLuint a = (GLuint)(j * n + i), b = a + 1, c = a + (GLuint)n, d = c + 1;
            *p++ = a, *p++ = b, *p++ = d;
            *p++ = a, *p++ = d, *p++ = c;
        }
    }
    return 1;
}

static int writeFile(const char *dir, const char *name, const void *data, size_t bytes)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    FILE *f = fopen(path, "wb");
    if (f == NULL) {
        return 0;
    }
    int ok = fwrite(data, 1, bytes, f) == bytes;
    return fclose(f) == 0 && ok;
}

/* The state the bench script sets once, word for word. */
static void setUp(void)
{
    static const GLfloat position[4] = {0.3f, 0.5f, 1.0f, 0.0f};
    glViewport(0, 0, SIZE, SIZE);
    glClearColor(0.1f, 0.1f, 0.2f, 1.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
}

/* One redraw: what the bench script's display script does. */
static void drawGrid(const Grid *grid)
{
    glClear(GL_COLOR_BUFFER_BIT);
    glVertexPointer(3, GL_FLOAT, 0, grid->vertices);
    glNormalPointer(GL_FLOAT, 0, grid->normals);
    glDrawElements(GL_TRIANGLES, (GLsizei)grid->indexCount, GL_UNSIGNED_INT, grid->indices);
}

/* The checksum the bench script computes over the same GL_RGB bytes:
 * s = (s * 31 + value) mod 2147483647, value by value, rows bottom-up. */
static long checksum(void)
{
    static unsigned char pixels[SIZE * SIZE * 3];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, SIZE, SIZE, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    long long s = 0;
    for (size_t i = 0; i < sizeof pixels; i++) {
        s = (s * 31 + pixels[i]) % 2147483647LL;
    }
    return (long)s;
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "write") == 0) {
        Grid grid;
        long n = atol(argv[3]);
        if (n < 2 || !makeGrid(&grid, n)) {
            return 1;
        }
        size_t values = (size_t)(3 * n * n);
        return writeFile(argv[2], "grid_v.bin", grid.vertices, values * sizeof(GLfloat)) &&
                       writeFile(argv[2], "grid_n.bin", grid.normals, values * sizeof(GLfloat)) &&
                       writeFile(argv[2], "grid_i.bin", grid.indices, (size_t)grid.indexCount * sizeof(GLuint))
                   ? 0
                   : 1;
    }
    if (argc != 4 || strcmp(argv[1], "draw") != 0) {
        fprintf(stderr, "usage: gl_arrays_peer write DIR N | draw N REDRAWS\n");
        return 1;
    }
    long n = atol(argv[2]), redraws = atol(argv[3]);
    Grid grid;
    if (n < 2 || !makeGrid(&grid, n)) {
        return 1;
    }
    static int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1, None};
    Display *display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "gl_arrays_peer: no display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    XVisualInfo *visual = glXChooseVisual(display, screen, attributes);
    if (visual == NULL) {
        fprintf(stderr, "gl_arrays_peer: no GLX visual\n");
        return 1;
    }
    XSetWindowAttributes set;
    set.colormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
    set.border_pixel = 0;
    Window window = XCreateWindow(display, RootWindow(display, screen), 600, 0, SIZE, SIZE, 0, visual->depth,
                                  InputOutput, visual->visual, CWColormap | CWBorderPixel, &set);
    XMapWindow(display, window);
    XSync(display, False);
    GLXContext context = glXCreateContext(display, visual, NULL, True);
    if (context == NULL || !glXMakeCurrent(display, window, context)) {
        fprintf(stderr, "gl_arrays_peer: no context\n");
        return 1;
    }
    setUp();
    drawGrid(&grid);
    glXSwapBuffers(display, window);
    glFinish();
    double start = nowMs();
    for (long r = 0; r < redraws; r++) {
        drawGrid(&grid);
        glXSwapBuffers(display, window);
    }
    glFinish();
    double ms = nowMs() - start;
    drawGrid(&grid);
    glFinish();
    printf("%.1f %ld\n", ms, checksum());
    glXMakeCurrent(display, None, NULL);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
