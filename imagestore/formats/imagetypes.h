/*
 * imagetypes.h --
 *
 *	The image-type table: one row per image type (IMG_*) saying everything
 *	the system asks of that type: its name; how the file lays out its
 *	lines, in which order and byte order, how long a stored line is, how
 *	many rows the cache holds; the rules a descriptor of the type obeys
 *	and, for the memory frame types, the layout an open gives and the
 *	codec of a frame line; what the dump may write and the tools may do
 *	with it; and the format's procedures (detector, header, palette and
 *	whole-file writers, whole-file decoder and rewriter, stored
 *	statistics). The format files fill their rows (formats.h says how);
 *	imagetypes.cpp lists them in detection order. The store, the row
 *	cache, detection, the writers, the dump and the tools ask the table,
 *	never a switch on the image type. Detection and new files, which walk
 *	the table, are declared here too: the store includes nothing else of
 *	the format layer.
 */
#ifndef TESK_IMAGESTORE_FORMATS_IMAGETYPES_H
#define TESK_IMAGESTORE_FORMATS_IMAGETYPES_H

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include "tesk_image.h"

/* How a file of the type stores its rows, as the row cache reads them. */
enum class Layout : uint8_t {
    Unread,     // nothing read, rows read as zeros: memory types, formats whose decoder is not built
    BandLines,  // band-sequential: line of (row, band) at (band * rows + row) * block
    LineBands,  // band-interleaved by line: at (row * bands + band) * block
    Pixels,     // pixel-interleaved: one line of every band per row
    Bitmap,     // device-independent bitmap: padded lines, bottom-up unless told
    Whole,      // decoded whole by the row's decode, written whole by its rewrite
    Frame,      // memory frame store whose bands are unpacked into slots (MRGB32, 24, 565, 555)
    FrameLine,  // memory frame store handed out line by line (MRGB8, 4, 1)
};

/* The length of a stored line, from columns, bits per sample and bands. */
enum class LineRule : uint8_t {
    Band,    // one band's samples in whole bytes
    Pixels,  // every band's samples of a row in whole bytes
    Words,   // every band's samples of a row, padded to 32 bits
};

/* What the zero-filled data area of a new file covers. */
enum class NewArea : uint8_t {
    BandLines,  // block x rows x bands: one stored line per band and row
    Rows,       // block x rows: the block holds every band of a row
    Whole,      // none: the whole file comes from the whole-file writer
};

/* A detector examines an open file (reading at offsets, the file position
 * left alone) and answers a positive image type code with desc filled and
 * its private data (gmemAlloc'd) in *priv, 0 when the file is not its
 * format, kDetectRefused when the file is of its format but its header is
 * refused (reported; the later formats are still asked, and detection
 * fails when none takes the file), or another negative value to stop
 * detection. */
typedef int(ImageDetectProc)(int fd, const char *fileName, ImageDesc *desc, void **priv);

/* A detector's answer for a file of its format whose header it refuses:
 * such a file is never taken for one that no format recognises. */
constexpr int kDetectRefused = -2;
/* Writes the header of a new file (checkDisk: test the free space first);
 * answers the data offset, -1 on failure. */
typedef int(ImageHeaderProc)(int fd, int checkDisk, ImageDesc *desc);
/* Writes desc's palette into an existing file's colour table. */
typedef int(ImagePaletteProc)(int fd, ImageDesc *desc, void *state);
/* Writes the whole file of a new image (every pixel 0); 0 or -1. */
typedef int(ImageWholeProc)(int fd, ImageDesc *desc);
/* Applies the type's rules to a descriptor being configured: answers NULL
 * when they hold (desc adjusted), else the message. */
typedef const char *(ImageRulesProc)(ImageDesc *desc);
/* Decodes the whole file into the cache (ramImageFillRow for each row);
 * 1 when every row was filled. */
typedef int(ImageDecodeProc)(RamImage *image);
/* Writes the whole file again from the cached rows; 1 when it did. */
typedef int(ImageRewriteProc)(RamImage *image);
/* Fills stats (one per band) from statistics the file's own header
 * stores; 1 when it did, 0 leaves them to be computed. */
typedef int(ImageStoredStatsProc)(RamImage *image, BandStat *stats);
/* The order of a bitmap's stored lines, from the detector's private data:
 * true when the first row is stored first (else last row first). */
typedef bool(ImageTopDownProc)(const void *priv);
/* Unpacks band of a frame line of columns pixels into out (one byte per
 * pixel), or packs in into it leaving the other bands. */
typedef void(FrameUnpackProc)(const unsigned char *line, int band, int columns, unsigned char *out);
typedef void(FramePackProc)(unsigned char *line, int band, int columns, const unsigned char *in);

/* The memory layout of a frame-store (MRGB) type as an image of it is
 * opened over a screen frame: bands, pixel and palette the open gives the
 * descriptor, and the bits one pixel takes in a frame line. */
struct FrameLayout {
    int8_t bands = 0;    /* bands of the opened image */
    int8_t pixel = 0;    /* PIX_* of the opened image */
    int16_t indices = 0; /* palette entries the open sets, 0 leaves them */
    int8_t bits = 0;     /* bits of one pixel in a frame line, 0: no frame store */
};

/* Dump depths: bit n set when a display dump may write an image of the
 * type at that depth (bits per pixel 1, 4, 8, 24). */
enum DumpBits : uint8_t {
    DUMP_1BIT = 1,
    DUMP_4BITS = 2,
    DUMP_8BITS = 4,
    DUMP_24BITS = 8,
    DUMP_ANY = 15,
};

/* How a display dump re-encodes its rows for a file of the type. */
enum class DumpRecode : uint8_t {
    Plain,    // samples as the display holds them
    XBitmap,  // one-bit rows, least significant bit first, set bits the foreground
    BGR,      // colour rows with red and blue swapped (three-band dumps)
};

/* Called when the store has opened a file of the type, or attached an
 * in-memory copy of one to an image of it: installs the type's volume
 * hook and may decode at once. */
typedef void(ImageOpenedProc)(RamImage *image);

/* One image type. A field left out of a row keeps the default below. */
struct ImageType {
    int32_t imgid = IMG_UNKNOWN;         /* IMG_* code */
    const char *name = "UNKNOWN";        /* the type's name, as rimage and the tools spell it */
    const char *format = "";             /* the file format's name, as in the detection order */
    Layout layout = Layout::Unread;      /* how the row cache reads and writes rows */
    LineRule line = LineRule::Band;      /* stored line a descriptor gets when configured */
    LineRule fileLine = LineRule::Band;  /* stored line of an opened file whose block is too short */
    bool blockIsLine = true;             /* false: block holds a setting of the format (JPEG: the
                                           quality), never raised to a stored line */
    int32_t cacheRows = 0;               /* rows per band cached: 0 as asked (every row without
                                           a file), -1 every row, n > 0 exactly n */
    int32_t firstVolume = 1;             /* current volume after open: 1, 0 before the first frame */
    ImageRulesProc *rules = nullptr;     /* NULL: no rules */
    ImageDetectProc *detect = nullptr;   /* NULL: never detected */
    ImageHeaderProc *header = nullptr;   /* NULL: no header; with whole NULL too, no new files */
    bool rewritesHeader = false;         /* writeImageHeader may write the header again */
    bool headerOptional = false;         /* a new file with offset 0 gets no header */
    ImagePaletteProc *palette = nullptr; /* NULL: no colour table in the file */
    NewArea area = NewArea::BandLines;   /* initial contents of a new file */
    ImageWholeProc *whole = nullptr;     /* for NewArea::Whole */
    ImageDecodeProc *decode = nullptr;   /* Layout::Whole: fills every row at the first read */
    ImageRewriteProc *rewrite = nullptr; /* Layout::Whole: writes changed rows back */
    bool rewriteReplaces = false;        /* rewrite writes a new file and renames it over
                                           the old one (never into the image's own file),
                                           so a new image may start from contents of its
                                           own and take an existing file's place only at
                                           its first write-back */
    bool decodeFillsRows = false;        /* Layout::Whole: decode writes every row it is asked
                                           for (zeros where it fails), so a file's new cache
                                           needs no initial fill */
    ImageOpenedProc *opened = nullptr;   /* NULL: nothing more to do after an open or attach */
    /* statistics stored in the file; NULL: always computed from the pixels */
    ImageStoredStatsProc *storedStats = nullptr;
    ImageTopDownProc *topDown = nullptr; /* Layout::Bitmap: line order; NULL: last row first */
    bool swapsSamples = true;            /* samples stored most significant byte first (msbf) are
                                           swapped to the host's order; false: kept as stored */
    bool rowsInPlace = false;            /* memory: every row held, addressed by row and band */
    bool bandsInBlock = false;           /* memory: block raised to hold every band of a row */
    FrameLayout frame = {};              /* frame-store types: layout when opened over a frame */
    /* Layout::Frame: a band out of a frame line */
    FrameUnpackProc *frameUnpack = nullptr;
    FramePackProc *framePack = nullptr; /* Layout::Frame: a band into a frame line */
    uint8_t dumpDepths = 0;             /* DumpBits a display dump may write; 0: none */
    /* re-encoding of the dump's rows */
    DumpRecode dumpRecode = DumpRecode::Plain;
    const char *dumpDepthError = "";  /* message for a depth the type refuses */
    bool dumpsWithoutPalette = false; /* a dump writes grey or colour, never indices */
    bool readsFromMemory = false;     /* the detector reads data held in memory too */
    bool holdsLabels = false;         /* a classification's labels may be written to it */
    bool holdsGeoreference = true;    /* false: no georeference kept (rform refuses it) */
    bool holdsSpectrum = false;       /* a frequency-domain spectrum with the header of
                                         fftfile.h: what gfftrans reads back and writes */
    bool bandByBand = false;          /* a tool that can work one band over every row at a
                                         time (calc's stretch) does so on the type, in its
                                         file's own order; false: row by row */
    bool keepsPlacement = false;      /* keeps a descriptor's top, left, map and origin as
                                         written, at any bands and pixel: a terrain view's
                                         ground or picture (gtop) may be of the type */
    /* a palette image of the type expanded into three colour bands
       (gsfzoom) stays of the type; false: it takes the tool's colour type */
    bool keepsExpandedPalette = false;
};

/* row for another image type of the same format (a format whose types
 * differ by their codes and names alone fills one row and copies it). */
constexpr ImageType imageTypeAs(int32_t imgid, const char *name, ImageType row)
{
    row.imgid = imgid;
    row.name = name;
    return row;
}

/* The row of an image type; for a code without one, a row with every
 * field at its default. Never NULL. */
const ImageType *imageTypeOf(int imgid);
/* The rows in detection order: at 0 .. count - 1, NULL past the end. A
 * detector shared by several rows (one file format, several types) is
 * asked once, at its first row. */
const ImageType *imageTypeAt(int at);
/* Puts row in the table in place of the row of its image type (at that
 * row's place in the detection order); answers the row it replaced, which
 * a second call puts back, or NULL (nothing changed) for a code without a
 * row. row must outlive its use. */
const ImageType *imageTypeInstall(const ImageType *row);

/* The stored line length a configured descriptor gets (its type's line
 * rule over columns, bits and bands); a type whose block is no line
 * (blockIsLine false) answers the descriptor's own block. */
int32_t imageTypeLineSize(const ImageDesc &desc);
/* The stored line of an opened file whose descriptor gives one shorter
 * than rowBytes: whole samples of the type's file-line rule, at least
 * rowBytes per band that a line holds; a type whose block is no line
 * answers the descriptor's own block. */
int32_t imageTypeDefaultBlock(const ImageDesc &desc, int32_t rowBytes);
/* Applies the rules of desc's type (see ImageRulesProc). */
const char *imageTypeApplyRules(ImageDesc *desc);
/* True for an image type code the store knows (IMG_UNKNOWN included). */
bool imageTypeKnown(int imgid);
/* True for a memory type (MBSQ ... MRGB1: format "memory"). */
bool imageTypeInMemory(int imgid);
/* True when imgid is a frame-store type (a FrameLayout with bits). */
bool imageTypeIsFrame(int imgid);
/* Bytes of one unpadded frame line of columns pixels; 0 for other types. */
int64_t imageTypeFrameLine(int imgid, int64_t columns);
/* Gives an opened frame-store descriptor its type's FrameLayout: bands,
 * pixel, palette and a line padded to 32 bits. Other types unchanged. */
void imageTypeFrameLayout(ImageDesc *desc);
/* Whether an image of type from may be redefined in place as type to
 * (rform): -1 no; 0 yes, the same lines; 1 yes, with rows and bands
 * trading places. Only the raw line layouts of one format whose types
 * are detected and whose header is written again qualify. */
int imageTypeRedefines(int from, int to);
/* True when the type's block holds a setting of its format (JPEG: the
 * quality) rather than a line length. */
bool imageTypeBlockIsSetting(int imgid);

/* What newImageFile replaced: the old file's identity when it replaced one. */
struct ImageFileReplaced {
    bool replacing = false;
    dev_t device = 0;
    ino_t inode = 0;
};
/* Recognises an open file by asking the rows' detectors in detection
 * order: answers a positive image type code with desc filled and the
 * format's private data in *priv, 0 when no format knows it, -1 when a
 * reader asked to stop. */
int detectImageFile(int fd, const char *fileName, ImageDesc *desc, void **priv);
/* detectImageFile over size bytes held in memory, as a file of those bytes
 * named name would be detected (the same header checks, the same weighing
 * against the file's length and the memory budget): the image type with
 * desc filled, 0 when no format knows the bytes (or no file could be made
 * for them), -1 when a detector refused their header. */
int detectImageData(const unsigned char *data, size_t size, const char *name, ImageDesc *desc);
/* Creates desc's file with its header and initial contents (the row's
 * writers), through a temporary file renamed into place: 0, or -1 with
 * nothing left behind and an existing file untouched. replaced (may be
 * NULL) tells which file it replaced: images that had it open are the
 * store's to move (ramImageNewFile). */
int newImageFile(ImageDesc *desc, ImageFileReplaced *replaced = nullptr);
/* As newImageFile, but the new file is left under a temporary name beside
 * desc's file (in *temporary), which stays as it was: 0, or -1 with
 * nothing left behind. */
int newImageFileBeside(ImageDesc *desc, std::string *temporary);

/* Prints "Error in the FORMAT reader: out of memory" for type's format. */
void imageTypeOutOfMemory(const ImageType *type);
/* Runs proc, a procedure of type's row or hook (detector, decoder,
 * write-back, volume hook), and answers its answer; when memory runs out
 * inside it (std::bad_alloc, or a size a vector refuses) the failure is
 * reported once and the answer is failed. No exception leaves a reader. */
template <typename Proc>
int imageTypeCall(const ImageType *type, int failed, Proc &&proc) noexcept
{
    try {
        return proc();
    } catch (const std::bad_alloc &) {
    } catch (const std::length_error &) {
    }
    imageTypeOutOfMemory(type);
    return failed;
}

/* Rules that several types share. */
/* Palette entries of a one-band image of pixel: 2, 16, 256, 0 for others. */
int imagePaletteSize(int pixel);
/* Raw band files and memory types: 1-bit pixels get a two-entry palette. */
const char *imageRulesBitPalette(ImageDesc *desc);
/* Grey or colour images of bytes (1 or 3 bands, no palette); illegalBands
 * is the message for other band counts. */
const char *imageRulesByteBands(ImageDesc *desc, const char *illegalBands);

#endif /* TESK_IMAGESTORE_FORMATS_IMAGETYPES_H */
