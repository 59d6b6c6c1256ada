/*
 * fakesane.c --
 *
 *	A SANE backend library (libsane.so.1) for the tests of the scanner
 *	bridge: pages whose frames the variable FAKESANE_MODE chooses, among
 *	them frames that contradict one another. Mode "noname" lists a device
 *	without a name before "fake:1"; the others list "fake:0". Frame n's
 *	byte i is 16 n + i (mod 256). Mode "overread" answers more bytes than
 *	it was asked for, mode "endless" sends a frame of unknown length that
 *	never ends, mode "tall" announces 2^20 lines and sends 2. Options:
 *	the count (option 0) and a string option "mode" taking "Gray" or
 *	"Color" (anything else is refused); mode "hugestring" adds a string
 *	option "note" of 2^31 - 1 bytes, mode "endlessoptions" announces 2^30
 *	options and describes every number asked for. Pages of the option
 *	modes are three-pass ones.
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
    {"narrower", 3, {{RED, 8, 4, 4}, {GREEN, 8, 3, 4}, {BLUE, 8, 4, 4}}},
    {"tall", 1, {{GRAY, 8, 16, 16}}},      /* announces 2^20 lines, sends 2 */
};

/* Options as SANE describes them. */
enum { BOOL = 0, INT = 1, STRING = 3 };
enum { SOFT_SELECT = 1, SOFT_DETECT = 4, INACTIVE = 32 };
enum { NO_CONSTRAINT = 0, STRING_LIST = 3 };

typedef struct {
    const char *name, *title, *desc;
    int type, unit;
    SANE_Int size, cap;
    int constraintType;
    const void *constraint;
} Option;

static const char *const modeNames[] = {"Gray", "Color", NULL};
static const Option countOption = {"", "Number of options", "", INT, 0, sizeof(SANE_Int), SOFT_DETECT, NO_CONSTRAINT, NULL};
static const Option modeOption = {"mode", "Scan mode", "", STRING, 0, 8, SOFT_SELECT, STRING_LIST, modeNames};
static const Option noteOption = {"note", "Note", "", STRING, 0, 0x7FFFFFFF, SOFT_SELECT, NO_CONSTRAINT, NULL};
static const Option idleOption = {"idle", "Idle", "", INT, 0, sizeof(SANE_Int), SOFT_SELECT | INACTIVE, NO_CONSTRAINT,
                                  NULL};
static char modeValue[8] = "Gray";

static const Page *page;
static int frame = -1;  /* the started frame */
static int sent;        /* its bytes read */
static int handle;

static int modeIs(const char *mode)
{
    const char *chosenMode = getenv("FAKESANE_MODE");
    return chosenMode != NULL && strcmp(chosenMode, mode) == 0;
}

/* The options of the mode: 1 + mode, + note with "hugestring"; 2^30 with
 * "endlessoptions", which describes every one asked for. */
static int optionCount(void)
{
    return modeIs("endlessoptions") ? 1 << 30 : modeIs("hugestring") ? 3 : 2;
}

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
    if (n == 0) {
        return &countOption;
    }
    if (modeIs("endlessoptions") && n > 1) {
        return &idleOption;
    }
    if (n < 0 || n >= optionCount()) {
        return NULL;
    }
    return n == 1 ? &modeOption : &noteOption;
}

SANE_Status sane_control_option(SANE_Handle h, SANE_Int n, int action, void *value, SANE_Int *info)
{
    (void)h;
    if (info != NULL) {
        *info = 0;
    }
    if (n == 0 && action == 0) {
        *(SANE_Int *)value = optionCount();
        return GOOD;
    }
    if (n == 1 && action == 0) {
        strcpy(value, modeValue);
        return GOOD;
    }
    if (n == 1 && action == 1) {
        for (int i = 0; modeNames[i] != NULL; i++) {
            if (strcmp(value, modeNames[i]) == 0) {
                strcpy(modeValue, modeNames[i]);
                return GOOD;
            }
        }
        return INVAL;
    }
    if (n == 2 && action == 0 && modeIs("hugestring")) {
        strcpy(value, "a note");
        return GOOD;
    }
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
    p->lines = strcmp(page->mode, "endless") == 0 ? -1 : strcmp(page->mode, "tall") == 0 ? 1 << 20 : 2;
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
