/*
 * gl_vertex_floor.c --
 *
 *	The floor of gl_calls_bench.tcl: the same 1,000,000 glVertex3f calls
 *	between glBegin(GL_POINTS) and glEnd (then glFinish) made from C in a
 *	512 x 512 GLX window of the default screen, with no Tcl in between.
 *	Prints the milliseconds; exit 1 without GLX.
 *	  gl_vertex_floor ?count?
 */
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double nowMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char **argv)
{
    static int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1,
                               GLX_DEPTH_SIZE, 1, None};
    long count = argc > 1 ? atol(argv[1]) : 1000000;
    Display *display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "gl_vertex_floor: no display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    XVisualInfo *visual = glXChooseVisual(display, screen, attributes);
    if (visual == NULL) {
        fprintf(stderr, "gl_vertex_floor: no GLX visual\n");
        return 1;
    }
    XSetWindowAttributes set;
    set.colormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
    set.border_pixel = 0;
    Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0, 512, 512, 0, visual->depth,
                                  InputOutput, visual->visual, CWColormap | CWBorderPixel, &set);
    XMapWindow(display, window);
    XSync(display, False);
    GLXContext context = glXCreateContext(display, visual, NULL, True);
    if (context == NULL || !glXMakeCurrent(display, window, context)) {
        fprintf(stderr, "gl_vertex_floor: no context\n");
        return 1;
    }
    glViewport(0, 0, 512, 512);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    double start = nowMs();
    glBegin(GL_POINTS);
    for (long x = 0; x < count; x++) {
        glVertex3f((GLfloat)x, 2.5f, 3.5f);
    }
    glEnd();
    glFinish();
    printf("%.1f\n", nowMs() - start);
    glXMakeCurrent(display, None, NULL);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XFreeColormap(display, set.colormap);
    XFree(visual);
    XCloseDisplay(display);
    return 0;
}
