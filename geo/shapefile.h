/*
 * shapefile.h --
 *
 *	Shapefile file layer: the shape type codes, the in-memory ShapeFile
 *	(records held section by section as in the main file, but with
 *	host-order record headers, part counts in place of part starts and
 *	padding that puts every double array on 8 bytes), and the reader and
 *	writer of a main file with its index file.
 */
#ifndef TESK_GEO_SHAPEFILE_H
#define TESK_GEO_SHAPEFILE_H

#include <stddef.h>
#include <stdint.h>
#include <string>

enum ShapeType {
    SHP_NULL = 0,
    SHP_POINT = 1,
    SHP_POLYLINE = 3,
    SHP_POLYGON = 5,
    SHP_MULTIPOINT = 8,
    SHP_POINTZ = 11,
    SHP_POLYLINEZ = 13,
    SHP_POLYGONZ = 15,
    SHP_MULTIPOINTZ = 18,
    SHP_POINTM = 21,
    SHP_POLYLINEM = 23,
    SHP_POLYGONM = 25,
    SHP_MULTIPOINTM = 28,
    SHP_MULTIPATCH = 31
};

enum { SHAPE_FILE_CODE = 9994, SHAPE_VERSION = 1000, SHAPE_HEAD_BYTES = 100, SHAPE_END_MARKER_BYTES = 12 };

/* Record flags, one byte per record. */
enum { SHAPE_SELECTED = 1, SHAPE_DELETED = 2 };

/* The 100-byte file header in host order. */
typedef struct ShapeHead {
    int fileCode;    /* always 9994 */
    int reserved[5]; /* ignored on reading, written as 0 */
    int fileLength;  /* in 16-bit words, header included, 50..INT32_MAX */
    int version;     /* 1000 */
    int shapeType;   /* ShapeType code of the file */
    double xMin, yMin, xMax, yMax;
    double zMin, zMax;
    double mMin, mMax;
} ShapeHead;

/* One shape set: a main file's records held in one data block. */
typedef struct ShapeFile {
    char fileName[256];    /* main file it was read from, or empty */
    char projection[256];  /* projection definition, empty after reading */
    ShapeHead *head;       /* owned; fileLength = 50 + words of all records */
    unsigned char *data;   /* records back to back, each shapeRecordExtent bytes
                               * (a multiple of 8), then the 12-byte end marker */
    int modified;          /* 1 after a change, 0 after reading or writing */
    size_t capacity;       /* bytes allocated for data */
    int count;             /* records */
    int nextRecord;        /* number given to a record added without one */
    size_t *offsets;       /* byte offset of record i in data */
    unsigned char *flags;  /* SHAPE_SELECTED / SHAPE_DELETED per record */
    size_t offsetCapacity; /* bytes allocated for offsets */
    size_t flagCapacity;   /* entries allocated for flags */
} ShapeFile;

/* Type predicates of the shape type codes. */
int shapeTypeHasZ(int type);
int shapeTypeHasM(int type);
int shapeTypeIsPolygon(int type);
int shapeTypeHasParts(int type); /* polylines and polygons, not MULTIPATCH */
int shapeTypeIsPoint(int type);  /* single point types */
int shapeTypeIsMultipoint(int type);
int shapeTypeKnown(int type);

/* Total bytes of a record of the type with N points and P parts (P taken as
 * 1 when 0), record header included; -1 when N or P is negative. */
int64_t shapeRecordSize(int type, int64_t nPoints, int64_t nParts);

/* The index file name: the main name with its last character made 'x'.
 * Answers 0 when the name is empty or does not fit size bytes. */
int shapeIndexName(const char *mainName, char *out, size_t size);

/* A new header with file code 9994, the type and version, zeros elsewhere;
 * NULL when out of memory. */
ShapeHead *newShapeHead(int shapeType, int version);

/* Reads and checks a main file's header. NULL when the file cannot be opened
 * (*error = 0, no message) or is bad (message on the console). */
ShapeHead *getShapeHead(const char *fileName, int *error);

/* Writes the header at offset 0 of an open file, its file length set from
 * the file's size (at least the header's 50 words, for a file that holds
 * nothing yet). 1 on success, 0 on failure. */
int saveShapeHead(int fd, ShapeHead *head);

/* Records of a file set by its index: (index size - 100) / 8. 1 or 0. */
int countShapeRecords(const char *fileName, int *count);

/* Loads a main file (with its index when consistent). NULL on failure with
 * *error 2 (unreadable or bad file) or 3 (no memory for the offsets). */
ShapeFile *readShapeFile(const char *fileName, int *error);

/* Writes all records, or only the selected ones, as main and index files,
 * each through a temporary file renamed over the target. 1 or 0; a
 * failure with a reason sets *why (when why is not NULL) to it, naming the
 * file as fileName gives it ("cannot write r.shx: No space left on
 * device"). */
int writeShape(const char *fileName, ShapeFile *set, int selectedOnly, int *error, std::string *why = nullptr);

void freeShapeFile(ShapeFile *set);

/* ---- in-memory record access shared with the record operations ---- */

/* An in-memory record: number, content words and type as host-order ints
 * at 0, 4 and 8 (the words those of the file form), 4 bytes of padding,
 * then the box (or a single point's X) at 16. The counts follow at 48: a
 * multipoint's points then 4 bytes of padding, or the parts then the points.
 * Part counts (and MULTIPATCH part types) start at 56, followed by 4 bytes
 * of padding when they hold an odd number of ints, then the points and the
 * Z and M sections as in the file. Bytes of the file form past what the
 * counts take follow unchanged. Every record starts on 8 bytes. */
enum { SHAPE_MEM_BOX = 16, SHAPE_MEM_COUNT = 48, SHAPE_MEM_COUNT2 = 52, SHAPE_MEM_ARRAYS = 56 };

/* Bytes an in-memory record of the given content words takes: its file
 * size plus room for the padding, rounded up to 8. */
size_t shapeRecordExtent(int32_t words);
/* The same for a record in memory, from its stored words. */
size_t shapeRecordMemBytes(const unsigned char *rec);
/* Stores the point and part counts of an in-memory record of the type
 * (nothing for single points and types without counts). */
void shapePutCounts(unsigned char *rec, int type, int nPoints, int nParts);

/* Byte positions of the parts of one in-memory record. */
typedef struct ShapeLayout {
    int type;
    int nPoints;
    int nParts;
    int hasBox;
    size_t parts;     /* part counts (0 when none) */
    size_t partTypes; /* MULTIPATCH part types (0 when none) */
    size_t points;    /* X, Y pairs (0 when none) */
    size_t zRange;    /* Z range then values (0 when none) */
    size_t mRange;    /* M range then values (0 when none) */
} ShapeLayout;

/* Computes the layout of a record of type with N and P (both not negative);
 * single points have N = 1. Positions are from the record's first byte. */
void shapeLayoutFor(int type, int nPoints, int nParts, ShapeLayout *out);
/* Layout of a record from its stored type and counts; mRange is 0 for a
 * record of a Z type whose length ends before its M section. */
void shapeRecordLayout(const unsigned char *rec, ShapeLayout *out);

int32_t shapeGetInt(const unsigned char *p);
void shapePutInt(unsigned char *p, int32_t v);
double shapeGetDouble(const unsigned char *p);
void shapePutDouble(unsigned char *p, double v);

#endif
