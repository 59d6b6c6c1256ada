/*
 * capi_test.c --
 *
 *	The image store as a C module sees it: only the public headers, the
 *	real Tcl and Tk libraries, and libtesk.so loaded through Tesk_Init.
 *	Defines a memory image, writes and reads pixels, notifies clients,
 *	locks, finds and closes images. Prints each failed check and exits
 *	non-zero when any failed. Runs under an X display (tests/support/xrun.sh).
 */
#include <stdio.h>
#include <string.h>
#include <tcl.h>
#include <tk.h>
#include "tesk.h"
#include "tesk_image.h"

static int failures = 0;

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            fprintf(stderr, "capi_test.c:%d: check failed: %s\n", __LINE__, #cond);                                    \
            failures++;                                                                                                \
        }                                                                                                              \
    } while (0)

/* What a client's callbacks saw. */
typedef struct Seen {
    int displays;
    int configs;
    int rects;
    int rect[4];
} Seen;

static void onDisplay(ClientData data)
{
    ((Seen *)data)->displays++;
}

static void onConfig(ClientData data)
{
    ((Seen *)data)->configs++;
}

static void onRect(ClientData data, int x, int y, int width, int height)
{
    Seen *seen = (Seen *)data;
    seen->rects++;
    seen->rect[0] = x;
    seen->rect[1] = y;
    seen->rect[2] = width;
    seen->rect[3] = height;
}

/* A memory image descriptor: MBSQ, USHORT, 3 rows, 4 columns, 2 bands. */
static void memoryDesc(ImageDesc *desc, const char *name)
{
    int i;
    memset(desc, 0, sizeof *desc);
    for (i = 0; i < 256; i++) {
        desc->palette[i][0] = desc->palette[i][1] = desc->palette[i][2] = (uint8_t)i;
    }
    strcpy(desc->file, name);
    desc->imgid = IMG_MBSQ;
    desc->pixel = PIX_USHORT;
    desc->rows = 3;
    desc->columns = 4;
    desc->nbands = 2;
    desc->bits = 16;
    desc->transparent = -1;
    desc->dataFd = -1;
}

static void pixelsAndLines(RamImage *image)
{
    static const unsigned short values[4] = {1, 300, 65535, 4096};
    unsigned short edge[2] = {77, 88};
    unsigned short read[4];
    unsigned char *line;

    CHECK(tesk_putUSHORTBILData(image, 1, 0, 4, 1, values) == 4);
    line = tesk_getRAMImageLine(image, 1, 1, 1);
    CHECK(line != NULL);
    if (line != NULL) {
        memcpy(read, line, sizeof read);
        CHECK(memcmp(read, values, sizeof read) == 0);
    }

    /* Only the column inside the image is stored. */
    CHECK(tesk_putUSHORTBILData(image, 0, 3, 2, 0, edge) == 1);
    line = tesk_getRAMImageLine(image, 0, 0, 1);
    CHECK(line != NULL);
    if (line != NULL) {
        memcpy(read, line, sizeof read);
        CHECK(read[0] == 0 && read[2] == 0 && read[3] == 77);
    }
    /* The other band of the row is untouched. */
    line = tesk_getRAMImageLine(image, 0, 1, 1);
    CHECK(line != NULL && line[6] == 0 && line[7] == 0);

    CHECK(tesk_getRAMImageLine(image, 3, 0, 1) == NULL);
    CHECK(tesk_getRAMImageLine(image, -1, 0, 1) == NULL);
    CHECK(tesk_getRAMImageLine(image, 0, 2, 1) == NULL);
    CHECK(tesk_getRAMImageLine(image, 0, -1, 1) == NULL);
}

static void clients(RamImage *image)
{
    Seen seenA, seenB;
    RamImageClient a, b;
    int error = -1;

    memset(&seenA, 0, sizeof seenA);
    memset(&seenB, 0, sizeof seenB);
    memset(&a, 0, sizeof a);
    memset(&b, 0, sizeof b);
    a.display = onDisplay;
    a.config = onConfig;
    a.rect = onRect;
    a.id = 11;
    a.clientData = &seenA;
    b = a;
    b.id = 12;
    b.clientData = &seenB;

    CHECK(tesk_openRAMImage("capimg", NULL, NULL, &a, &error) == image);
    CHECK(error == 0);
    CHECK(tesk_openRAMImage("capimg", NULL, NULL, &b, NULL) == image);

    /* The sender's own callbacks are skipped. */
    tesk_updateClient(image, 11, RAMIMG_DISPLAY);
    CHECK(seenA.displays == 0 && seenB.displays == 1);
    CHECK(seenA.configs == 0 && seenB.configs == 0);
    tesk_updateClient(image, 12, RAMIMG_CONFIG);
    CHECK(seenA.configs == 1 && seenB.configs == 0);
    CHECK(seenA.displays == 0 && seenB.displays == 1);
    tesk_updateClient(image, 0, RAMIMG_DISPLAY | RAMIMG_CONFIG);
    CHECK(seenA.displays == 1 && seenB.displays == 2);
    CHECK(seenA.configs == 2 && seenB.configs == 1);

    tesk_updateClientRect(image, 12, 1, 2, 3, 4);
    CHECK(seenA.rects == 1 && seenB.rects == 0);
    CHECK(seenA.rect[0] == 1 && seenA.rect[1] == 2 && seenA.rect[2] == 3 && seenA.rect[3] == 4);

    /* Releasing the clients leaves the use of the first open. */
    CHECK(tesk_closeRAMImage(image, &a) == 1);
    CHECK(tesk_closeRAMImage(image, &b) == 1);
    tesk_updateClient(image, 0, RAMIMG_DISPLAY);
    CHECK(seenA.displays == 1 && seenB.displays == 2);
}

static void create(void)
{
    ImageDesc desc;
    RamImage *image;
    int error = 42;

    memoryDesc(&desc, "capinew");
    image = tesk_openRAMImageNew(&desc, NULL, 0, &error);
    CHECK(image != NULL);
    CHECK(error == 42); /* success leaves the slot alone */
    CHECK(tesk_getRAMImageByTag("capinew") == image);

    memoryDesc(&desc, "capinew");
    CHECK(tesk_openRAMImageNew(&desc, NULL, 0, &error) == NULL);
    CHECK(error == RAMIMG_EXISTS);

    /* A created image is held like a script open; drop it as the script's
     * close would. */
    if (image != NULL) {
        image->openCount = 0;
        CHECK(tesk_closeRAMImage(image, NULL) == 0);
    }
    CHECK(tesk_getRAMImageByTag("capinew") == NULL);
}

int main(int argc, char **argv)
{
    Tcl_Interp *interp;
    ImageDesc desc;
    RamImage *image;
    int error = -1;

    (void)argc;
    Tcl_FindExecutable(argv[0]);
    interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK || Tk_Init(interp) != TCL_OK) {
        fprintf(stderr, "capi_test: cannot start Tcl and Tk: %s\n", Tcl_GetStringResult(interp));
        return 2;
    }
    Tcl_SetVar(interp, "teskAppScripts", "", TCL_GLOBAL_ONLY);
    if (Tesk_Init(interp) != TCL_OK) {
        fprintf(stderr, "capi_test: Tesk_Init failed: %s\n", Tcl_GetStringResult(interp));
        return 2;
    }

    CHECK(tesk_msbFirst() == 0);

    memoryDesc(&desc, "capi1");
    image = tesk_openRAMImage("capimg", NULL, &desc, NULL, &error);
    CHECK(image != NULL);
    CHECK(error == 0);
    if (image == NULL) {
        fprintf(stderr, "capi_test: no memory image (error %d), stopping\n", error);
        return 1;
    }
    CHECK(image->desc.rows == 3 && image->desc.columns == 4 && image->desc.nbands == 2);
    CHECK(tesk_getRAMImageByTag("capimg") == image);
    CHECK(tesk_getRAMImageByTag("nosuchtag") == NULL);
    /* No such file here: the name's last component finds the image. */
    CHECK(tesk_getRAMImageByName("/no/such/folder/capi1") == image);

    pixelsAndLines(image);
    clients(image);
    create();

    /* A missing file: NULL, with or without an error slot. */
    CHECK(tesk_openRAMImage(NULL, "/no/such/folder/none.lan", NULL, NULL, NULL) == NULL);
    error = -1;
    CHECK(tesk_openRAMImage(NULL, "/no/such/folder/none.lan", NULL, NULL, &error) == NULL);
    CHECK(error == RAMIMG_OPEN_ERROR);

    /* A locked image outlives the release of its last use. */
    CHECK(tesk_attrRAMImage(image, RAMIMG_LOCKED) == 0);
    CHECK(tesk_attrRAMImage(image, RAMIMG_LOCKED) == RAMIMG_LOCKED);
    CHECK(tesk_closeRAMImage(image, NULL) == 0);
    CHECK(tesk_getRAMImageByTag("capimg") == image);

    /* Unlocked, the next release frees it. */
    CHECK(tesk_attrRAMImage(image, 0) == RAMIMG_LOCKED);
    CHECK(tesk_closeRAMImage(image, NULL) == 0);
    CHECK(tesk_getRAMImageByTag("capimg") == NULL);

    Tcl_DeleteInterp(interp);
    if (failures != 0) {
        fprintf(stderr, "capi_test: %d checks failed\n", failures);
        return 1;
    }
    printf("capi_test: all checks passed\n");
    return 0;
}
