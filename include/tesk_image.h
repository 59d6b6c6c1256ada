/*
 * tesk_image.h --
 *
 *	Public C interface of Tesk's RAM image store: the image descriptor, the
 *	image record (read its desc; change pixels only through the store), the
 *	client record through which an image announces changes, the band
 *	statistics record, and the exported functions that C modules call.
 */
#ifndef TESK_IMAGE_H
#define TESK_IMAGE_H

#include <stddef.h>
#include <stdint.h>
#include "tesk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Image type codes (ImageDesc.imgid); 21..30 are memory types. */
enum {
    IMG_UNKNOWN = 0,
    IMG_BSQ = 1,
    IMG_BIL = 2,
    IMG_BIP = 3,
    IMG_E73 = 4,
    IMG_E74 = 5,
    IMG_ELAS = 6,
    IMG_DIB = 7,
    IMG_XBMP = 8,
    IMG_TIFF = 9,
    IMG_GIF87A = 10,
    IMG_GIF89A = 11,
    IMG_PPM = 12,
    IMG_JPEG = 13,
    IMG_E74BSQ = 14,
    IMG_GEOTIFF = 15,
    IMG_FFT = 16,
    IMG_DICOM = 17,
    IMG_BSQD = 18,
    IMG_BILD = 19,
    IMG_BIPD = 20,
    IMG_MBSQ = 21,
    IMG_MBIL = 22,
    IMG_MBIP = 23,
    IMG_MRGB32 = 24,
    IMG_MRGB24 = 25,
    IMG_MRGB565 = 26,
    IMG_MRGB555 = 27,
    IMG_MRGB8 = 28,
    IMG_MRGB4 = 29,
    IMG_MRGB1 = 30
};

/* Pixel type codes (ImageDesc.pixel). */
enum {
    PIX_UNKNOWN = 0,
    PIX_1BIT = 1,
    PIX_4BITS = 2,
    PIX_BYTE = 3,
    PIX_SHORT = 4,
    PIX_LONG = 5,
    PIX_FLOAT = 6,
    PIX_USHORT = 7,
    PIX_ULONG = 8,
    PIX_SBYTE = 9
};

enum { RAMIMG_LOCKED = 1 };                     /* bit of RamImage.attr */
enum { RAMIMG_DISPLAY = 1, RAMIMG_CONFIG = 2 }; /* notification flags */

/* Error codes of the open and create operations. */
enum {
    RAMIMG_OK = 0,
    RAMIMG_NOMEM = 1,
    RAMIMG_UNKNOWN_TYPE = 2,
    RAMIMG_OPEN_ERROR = 3,
    RAMIMG_SYSTEM = 4,
    RAMIMG_EXISTS = 5,
    RAMIMG_CREATE_ERROR = 6,
    RAMIMG_UNHANDLED = 8
};

/* The image descriptor: what an image is and where its pixels lie. */
typedef struct ImageDesc {
    char file[256];          /* file name (a memory image: the name it was made under) */
    char imgdes[256];        /* free description */
    int32_t pixel;           /* pixel type, PIX_* */
    int32_t imgid;           /* image type, IMG_* */
    int32_t mapid;           /* map id code */
    int32_t imgtype;         /* image function code */
    int32_t offset;          /* bytes in front of the pixel data */
    int32_t block;           /* bytes of one stored line */
    int32_t top, left;       /* position in a larger frame */
    int32_t rows, columns;   /* image size, at least 1 each */
    int32_t bits;            /* bits per stored sample */
    int32_t nbands;          /* bands, at least 1 */
    int32_t msbf;            /* non-zero: most significant byte (bit) first */
    int32_t nindices;        /* palette entries in use, 0..256 (0: no palette) */
    int32_t transparent;     /* transparent palette index, -1 for none */
    uint8_t palette[256][3]; /* red, green, blue */
    double x0, y0;           /* map coordinates of the upper-left pixel */
    double dx, dy;           /* pixel size in map units */
    double z0, zscale;       /* value offset and scale */
    double zmin, zmax;       /* value range */
    int32_t dataFd;          /* file holding the pixels when not file, -1: none */
    int32_t volumes;         /* volumes (frames) found by the reader */
    int32_t colourMode;      /* 0 none, 1 JPEG, 2 DICOM palette, 4 GIF */
} ImageDesc;

typedef struct RamImage RamImage;

/* A user of an image that wants to hear of its changes; the record belongs
 * to the client, the store only links it. */
typedef struct RamImageClient {
    void (*display)(ClientData clientData);                                   /* pixels changed; may be NULL */
    void (*config)(ClientData clientData);                                    /* description changed; may be NULL */
    void (*rect)(ClientData clientData, int x, int y, int width, int height); /* may be NULL */
    int32_t id; /* the client's id; the sender of a change is skipped */
    ClientData clientData;
    struct RamImageClient *next;
} RamImageClient;

/* Statistics of one band. */
typedef struct BandStat {
    double sum, sumsq, count; /* of the values taken */
    double mean, std;         /* set by statFinish */
    double min, max;          /* +inf / -inf while empty */
    double user[2];           /* for callers; the statistics code leaves them */
    int32_t done;             /* the whole band is in */
    int32_t nBins;            /* 2 (1BIT), 16 (4BITS), 256 (BYTE), else 0 */
    uint32_t *bins;           /* nBins counts, or NULL */
} BandStat;

typedef unsigned char *(RamImageLoadRowProc)(RamImage *image, int row, int band, int read);
typedef void(RamImageWriteRowProc)(RamImage *image, int slot);
typedef int(RamImageSeekVolumeProc)(RamImage *image, int volume);
typedef void(RamImageFreePrivProc)(RamImage *image);

/* An image of the store. Read desc freely; everything else belongs to the
 * store. */
struct RamImage {
    char tag[256];               /* the image's name in the store */
    ImageDesc desc;              /* a file image: desc.file is the absolute path */
    int32_t fd;                  /* the open image file, -1 for none */
    int32_t rowBytes;            /* bytes of one cached row of one band */
    int32_t useCount;            /* uses held without a client record */
    int32_t openCount;           /* opens held by scripts */
    int32_t cacheDepth;          /* rows of each band the cache holds */
    int32_t slotCount;           /* cacheDepth * nbands */
    uint32_t attr;               /* RAMIMG_LOCKED */
    int32_t curVolume;           /* from 1 (GIF: 0 before the first frame) */
    int32_t volumeCount;         /* -1 until known */
    int64_t volumeOffset;        /* file offset of the current volume's pixels */
    float frameTime;             /* display time of the frame, milliseconds */
    void *priv;                  /* the format's private data */
    unsigned char *attachedData; /* in-memory copy of the file, or NULL */
    int64_t attachedSize;
    RamImageSeekVolumeProc *seekVolume; /* NULL: the default */
    RamImageFreePrivProc *freePriv;     /* NULL: gmemFree(priv) */
    RamImageLoadRowProc *loadRow;
    RamImageWriteRowProc *writeRow;
    int32_t *slotMap;         /* key held by each slot, -1 empty */
    unsigned char *dirtyBits; /* one bit per slot */
    unsigned char *buffers;   /* rows, [frame store], slotMap, dirtyBits */
    BandStat *stats;          /* nbands records, or NULL */
    RamImageClient *clients;  /* newest first */
    RamImage *next;           /* next image of the store */
};

/* Opens (or defines from desc) an image; NULL with *error set on failure. */
TESK_API RamImage *tesk_openRAMImage(const char *tag, const char *fileName, ImageDesc *desc, RamImageClient *client,
                                     int *error);
/* Creates a new file or memory image from desc; *error gets 5 or 6. */
TESK_API RamImage *tesk_openRAMImageNew(ImageDesc *desc, RamImageClient *client, int overwrite, int *error);
/* Gives back a use (client NULL) or a client; the uses left, 0 when freed. */
TESK_API int tesk_closeRAMImage(RamImage *image, RamImageClient *client);
TESK_API unsigned int tesk_attrRAMImage(RamImage *image, unsigned int attr);
TESK_API RamImage *tesk_getRAMImageByName(const char *fileName);
TESK_API RamImage *tesk_getRAMImageByTag(const char *tag);
/* The cached row of a band; valid until the next access of the image. */
TESK_API unsigned char *tesk_getRAMImageLine(RamImage *image, int row, int band, int read);
TESK_API int tesk_putUSHORTBILData(RamImage *image, int row, int column, int n, int band, const unsigned short *values);
TESK_API void tesk_updateClient(RamImage *image, int senderId, int flags);
TESK_API void tesk_updateClientRect(RamImage *image, int senderId, int x, int y, int width, int height);
TESK_API int tesk_msbFirst(void);
/* A seam for tests: the store's file writes fail (ENOSPC) once bytes more
 * bytes have been written; a negative count lifts the limit. */
TESK_API void tesk_failWritesAfter(long long bytes);

/* ---- Image readers --------------------------------------------------------------
 * A reader recognises files of a format the package does not know: given
 * the open file (binary), its name, the descriptor to fill and an out
 * pointer for private data, it answers a positive image type code, 0 (not
 * its format) or a negative value (stop detection). Readers registered with
 * last 0 are asked before the built-in formats, with last 1 after them.
 */
typedef int(ImageReaderProc)(int fd, const char *fileName, ImageDesc *desc, void **priv);
TESK_API void addImageReader(ImageReaderProc *proc, int last);
TESK_API void removeImageReader(ImageReaderProc *proc);

/* ---- The store's operations for C modules ------------------------------------
 * Descriptors, the code tables, opening and releasing, pixel access with
 * conversion by pixel type, and band statistics. Row pointers and values
 * follow the conventions of <tesk_image.h>'s records.
 */
TESK_API void imgDescInit(ImageDesc *desc);
TESK_API RamImage *ramImageListHead(void);
TESK_API RamImage *ramImageCreate(ImageDesc *desc, RamImageClient *client, int overwrite, int *error);
TESK_API int ramImageRelease(RamImage *image, RamImageClient *client);
TESK_API const char *ramImageErrorText(int code);
/* Writes every changed row of the image back to its file: 1 when all of
 * them reached it, 0 when a write-back failed (told on standard error; the
 * changes of a GIF, JPEG or X bitmap image stay, for a later flush). */
TESK_API int ramImageFlush(RamImage *image);

TESK_API int imgIdCode(const char *name);
TESK_API const char *imgIdName(int code);
TESK_API int pixelIdCode(const char *name);
TESK_API const char *pixelIdName(int code);
TESK_API int mapIdCode(const char *name);
TESK_API const char *mapIdName(int code);
TESK_API int formatGeoComment(const ImageDesc *desc, char *text, size_t size);
TESK_API int parseGeoComment(ImageDesc *desc, const char *text);

TESK_API int ramImageGetFloat(RamImage *image, int row, int column, int n, int band, float *out);
TESK_API int ramImageGetBytes(RamImage *image, int row, int column, int n, int band, unsigned char *out);
TESK_API int ramImagePutFloat(RamImage *image, int row, int column, int n, int band, const float *values);
TESK_API int ramImagePutBytes(RamImage *image, int row, int column, int n, int band, const unsigned char *values);
TESK_API float ramImageGetValue(RamImage *image, int column, int row, int band);

TESK_API BandStat *ramImageHist(RamImage *image, int mode, int columnStep, int rowStep);
TESK_API int ramImageBandStats(RamImage *image, int band, double *std, double *mean, double *min, double *max);
TESK_API void statFinish(BandStat *stat);

#ifdef __cplusplus
}
#endif

#endif /* TESK_IMAGE_H */
