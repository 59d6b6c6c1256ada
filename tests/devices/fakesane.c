/*
 * fakesane.c --
 *
 *	A SANE backend library (libsane.so.1) for the tests of the scanner
 *	bridge: no options, and pages whose frames the variable FAKESANE_MODE
 *	chooses, among them frames that contradict one another. Mode
 *	"noname" lists a device without a name before "fake:1"; the others list
 *	"fake:0". Frame n's byte i is 16 n + i (mod 256). Mode "overread"
 *	answers more bytes than it was asked for, mode "endless" sends a frame
 *	of unknown length that never ends.
 */
#include <stdlib.h>
#include <string.h>

typedef int SANE_Int;
typedef int SANE_Status;
typedef void *SANE_Handle;

enum { GOOD = 0, INVAL = 4, END = 5 };
enum { GRAY = 0, RGB = 1, RED = 2, GREEN = 3, BLUE = 4 };

typedef struct {
    const char *name, *vendor, *model, *type;
} Device;

typedef struct {
    int format;
    SANE_Int lastFrame, bytesPerLine, pixelsPerLine, lines, depth;
} Parameters;

/* A page's frames: format, depth, pixels, bytes a line; 2 lines each. */
typedef struct {
    const char *mode;
    int count;
    int frames[3][4];
} Page;

static const Page pages[] = {
    {"threepass", 3, {{RED, 8, 4, 4}, {GREEN, 8, 4, 4}, {BLUE, 8, 4, 4}}},
    {"grayred", 2, {{GRAY, 8, 16, 16}, {RED, 8, 16, 16}}},
    {"bitsbytes", 2, {{GRAY, 1, 64, 8}, {GRAY, 8, 64, 64}}},
    {"format5", 1, {{5, 8, 4, 4}}},
    {"depths", 3, {{RED, 8, 4, 8}, {GREEN, 16, 4, 8}, {BLUE, 8, 4, 8}}},
    {"linebytes", 3, {{RED, 8, 4, 4}, {GREEN, 8, 4, 6}, {BLUE, 8, 4, 4}}},
    {"overread", 1, {{GRAY, 8, 16, 16}}},  /* answers more bytes than asked */
    {"endless", 1, {{GRAY, 8, 16, 16}}},   /* of unknown length, without end */
};

static const Page *page;
static int frame = -1;  /* the started frame */
static int sent;        /* its bytes read */
static int handle;

static const Page *chosen(void)
{
    const char *mode = getenv("FAKESANE_MODE");
    for (size_t i = 0; mode != NULL && i < sizeof pages / sizeof pages[0]; i++) {
        if (strcmp(mode, pages[i].mode) == 0) {
            return &pages[i];
        }
    }
    return &pages[0];
}

SANE_Status sane_init(SANE_Int *version, void *authorize)
{
    (void)authorize;
    *version = 1 << 24;
    page = chosen();
    return GOOD;
}

SANE_Status sane_get_devices(const Device ***list, SANE_Int localOnly)
{
    static const Device fake0 = {"fake:0", "Fake", "Frames", "test"};
    static const Device noName = {NULL, "Fake", "Nameless", "test"};
    static const Device fake1 = {"fake:1", "Fake", "Named", "test"};
    static const Device *one[] = {&fake0, NULL};
    static const Device *two[] = {&noName, &fake1, NULL};
    const char *mode = getenv("FAKESANE_MODE");
    (void)localOnly;
    *list = mode != NULL && strcmp(mode, "noname") == 0 ? two : one;
    return GOOD;
}

SANE_Status sane_open(const char *name, SANE_Handle *h)
{
    if (name == NULL || strncmp(name, "fake:", 5) != 0) {
        return INVAL;
    }
    *h = &handle;
    return GOOD;
}

void sane_close(SANE_Handle h)
{
    (void)h;
}

const void *sane_get_option_descriptor(SANE_Handle h, SANE_Int n)
{
    (void)h;
    (void)n;
    return NULL;
}

SANE_Status sane_control_option(SANE_Handle h, SANE_Int n, int action, void *value, SANE_Int *info)
{
    (void)h;
    (void)n;
    (void)action;
    (void)value;
    (void)info;
    return INVAL;
}

SANE_Status sane_get_parameters(SANE_Handle h, Parameters *p)
{
    const int *f = page->frames[frame < 0 ? 0 : frame];
    (void)h;
    p->format = f[0];
    p->depth = f[1];
    p->pixelsPerLine = f[2];
    p->bytesPerLine = f[3];
    p->lines = strcmp(page->mode, "endless") == 0 ? -1 : 2;
    p->lastFrame = frame == page->count - 1;
    return GOOD;
}

/* Starts the next frame: after the last, the first of a new page. */
SANE_Status sane_start(SANE_Handle h)
{
    (void)h;
    frame = (frame + 1) % page->count;
    sent = 0;
    return GOOD;
}

SANE_Status sane_read(SANE_Handle h, unsigned char *data, SANE_Int max, SANE_Int *length)
{
    const int *f = page->frames[frame];
    int n = 2 * f[3] - sent;
    (void)h;
    *length = 0;
    if (strcmp(page->mode, "endless") == 0) {
        n = max;
    }
    if (n <= 0) {
        return END;
    }
    if (n > max) {
        n = max;
    }
    for (int i = 0; i < n; i++) {
        data[i] = (unsigned char)(16 * frame + sent + i);
    }
    sent += n;
    *length = strcmp(page->mode, "overread") == 0 ? max + 4096 : n;
    return GOOD;
}

void sane_cancel(SANE_Handle h)
{
    (void)h;
    frame = -1;
    sent = 0;
}
