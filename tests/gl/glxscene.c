/*
 * glxscene.c --
 *
 *	The peer of the gl command tests: draws one fixed scene through plain
 *	GLX and GL 1.1 calls into a pixmap of the default screen and prints
 *	the glReadPixels bytes (GL_RGB, GL_UNSIGNED_BYTE, rows bottom-up) as
 *	decimal numbers, one row a line. glcmds.test draws the same scene
 *	through the Tcl commands and compares.
 *	  glxscene          prints the 64 x 48 picture; exit 1 without GLX
 */
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

enum { WIDTH = 64, HEIGHT = 48 };

/* The scene; glcmds.test repeats it word for word as commands. */
static void drawScene(void)
{
    static const GLfloat lightPosition[4] = {0.0f, 0.6f, 0.8f, 0.0f};
    static const GLfloat lightDiffuse[4] = {0.8f, 0.6f, 0.4f, 1.0f};
    static const GLfloat modelAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    static const GLfloat materialDiffuse[4] = {1.0f, 0.5f, 0.25f, 1.0f};
    static const GLfloat materialAmbient[4] = {0.5f, 0.5f, 0.5f, 1.0f};

    glViewport(0, 0, WIDTH, HEIGHT);
    glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, WIDTH, 0.0, HEIGHT, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    /* A smooth-shaded triangle. */
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex2f(4.0f, 4.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex2f(40.0f, 8.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex2f(20.0f, 40.0f);
    glEnd();

    /* A rotated flat rectangle and wide lines. */
    glPushMatrix();
    glTranslated(48.0, 12.0, 0.0);
    glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    glRectd(-6.0, -4.0, 6.0, 4.0);
    glPopMatrix();
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    glColor3f(1.0f, 1.0f, 1.0f);
    glVertex2f(2.0f, 46.0f);
    glVertex2f(62.0f, 30.0f);
    glEnd();

    /* A lit quad. */
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, modelAmbient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, materialDiffuse);
    glMaterialfv(GL_FRONT, GL_AMBIENT, materialAmbient);
    glNormal3d(0.0, 0.0, 1.0);
    glBegin(GL_QUADS);
    glVertex3f(40.0f, 26.0f, 0.0f);
    glVertex3f(60.0f, 26.0f, 0.0f);
    glVertex3f(60.0f, 44.0f, 0.0f);
    glVertex3f(40.0f, 44.0f, 0.0f);
    glEnd();
    glDisable(GL_LIGHTING);
    glFinish();
}

int main(void)
{
    static int attributes[] = {GLX_RGBA, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1, GLX_DEPTH_SIZE, 1, None};
    static unsigned char pixels[WIDTH * HEIGHT * 3];
    Display *display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "glxscene: no display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    XVisualInfo *visual = glXChooseVisual(display, screen, attributes);
    if (visual == NULL) {
        fprintf(stderr, "glxscene: no GLX visual\n");
        XCloseDisplay(display);
        return 1;
    }
    Pixmap pixmap = XCreatePixmap(display, RootWindow(display, screen), WIDTH, HEIGHT, (unsigned)visual->depth);
    GLXPixmap glxPixmap = glXCreateGLXPixmap(display, visual, pixmap);
    GLXContext context = glXCreateContext(display, visual, NULL, True);
    if (context == NULL || !glXMakeCurrent(display, glxPixmap, context)) {
        fprintf(stderr, "glxscene: no context\n");
        return 1;
    }
    drawScene();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    for (int row = 0; row < HEIGHT; row++) {
        for (int i = 0; i < WIDTH * 3; i++) {
            printf(i == 0 ? "%d" : " %d", pixels[row * WIDTH * 3 + i]);
        }
        printf("\n");
    }
    glXMakeCurrent(display, None, NULL);
    glXDestroyContext(display, context);
    glXDestroyGLXPixmap(display, glxPixmap);
    XFreePixmap(display, pixmap);
    XFree(visual);
    XCloseDisplay(display);
    return 0;
}
