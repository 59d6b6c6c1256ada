/*
 * terrastore.h --
 *
 *	Terrain tile stores: a square group of n x n map tiles of one theme,
 *	one map scale and one UTM zone kept in a single TERRA file, held with
 *	the file's whole image in memory. Each tile covers 200 x 200 pixels of
 *	the map grid and its bytes are a complete image file (JPEG or GIF),
 *	stored unchanged. The terra object owns stores; rimage reads tiles
 *	through the object.
 *
 *	The file (32-bit words in the byte order named by byte 8):
 *	   0  "TERRA\0", 2 zero bytes
 *	   8  byte order of the writer (0 least significant first, 1 most), 3 zero
 *	  12  data end: bytes in use, header included (below 2^32)
 *	  16  header size: 48 + 8 n^2 + extra bytes
 *	  20  n, tiles per side;  24 tiles stored;  28 theme;  32 scale
 *	  36  UTM zone;  40 column origin;  44 row origin (tile column / n, row / n)
 *	  48  n^2 entries {offset, length} (length 0: no tile), extra bytes
 *	  header size .. data end: the tiles' bytes in the order they were added
 */
#ifndef TESK_GEO_TERRASTORE_H
#define TESK_GEO_TERRASTORE_H

#include <cstddef>
#include <cstdint>

#include "tesk_image.h"

/* Offsets of the header words in a store's file image. */
enum TerraHeaderWord : size_t {
    TERRA_BYTE_ORDER = 8,
    TERRA_DATA_END = 12,
    TERRA_HEADER_SIZE = 16,
    TERRA_GROUP = 20,
    TERRA_TILES = 24,
    TERRA_THEME = 28,
    TERRA_SCALE = 32,
    TERRA_ZONE = 36,
    TERRA_COLUMN_ORIGIN = 40,
    TERRA_ROW_ORIGIN = 44,
    TERRA_ENTRIES = 48
};

/* Map pixels along each side of a tile. */
constexpr int kTerraTilePixels = 200;

/* A store in memory. The header words live in the file image itself, in
 * the host's byte order; the fields below are derived from them. */
struct TerraStore {
    char fileName[256];   /* the file it was read from, "" when made in memory */
    int fd;               /* the open file, -1 when none */
    size_t imageSize;     /* bytes reserved for the file image (data end and room behind) */
    int modified;         /* set when a tile was added in memory */
    int x0, y0, x1, y1;   /* map tile range: x0 = column origin * n, x1 = x0 + n - 1 (rows alike) */
    int tileCount;        /* n * n, the number of tile indices */
    int mapId;            /* map id of "UTM<zone>", 0 (UNKNOWN) when there is none */
    unsigned char *image; /* the file's bytes 0 .. data end, room behind; NULL when closed */
};

/* Themes 0 "UNKNOWN", 1 "Photo", 2 "Topo", 3 "Relief"; scales 0 "UNKNOWN",
 * 1 "Scale1mm" .. 25 "Scale16km". ByName answers 0 for a name that is no
 * theme (scale) exactly, "UNKNOWN" included; Name answers "UNKNOWN" for a
 * code outside the table. */
int terraThemeByName(const char *name);
const char *terraThemeName(int code);
int terraScaleByName(const char *name);
const char *terraScaleName(int code);
/* Metres per pixel of a scale, 0 outside the table. */
double terraPixelSize(int code);

/* The header word at offset (TERRA_DATA_END ...) of a store's image. */
uint32_t terraWord(const TerraStore *store, size_t offset);
inline int terraGroup(const TerraStore *s) { return static_cast<int>(terraWord(s, TERRA_GROUP)); }
inline uint32_t terraDataEnd(const TerraStore *s) { return terraWord(s, TERRA_DATA_END); }
inline uint32_t terraHeaderSize(const TerraStore *s) { return terraWord(s, TERRA_HEADER_SIZE); }
inline int terraTilesStored(const TerraStore *s) { return static_cast<int>(terraWord(s, TERRA_TILES)); }

/* The header size of a group of n with extra bytes, 0 when n < 1 or the
 * header would not stay below 4 GiB. */
uint64_t terraHeaderBytes(int n, uint32_t extra);
/* True when the tile range of origin (column or row) in a group of n,
 * origin * n .. origin * n + n - 1, lies inside int. */
bool terraRangeFits(int origin, int n);

/*
 * terraNew --
 *	Makes store an empty store (no file, not modified) of the given theme,
 *	scale, zone, group n, column and row origins and extra header bytes.
 *	Answers 1, or 0 with store closed when the values make no store (n < 1,
 *	a header of 4 GiB or more, a tile range outside int) or memory runs out.
 */
int terraNew(TerraStore *store, int theme, int scale, int zone, int n, int columnOrigin, int rowOrigin,
             uint32_t extra);

/*
 * terraOpenFile --
 *	Reads a TERRA file (opened read-only) into store. Every header value is
 *	checked before the image is allocated: the magic, n >= 1,
 *	48 + 8 n^2 <= header size <= data end <= file length, tiles stored <=
 *	n^2, theme and scale in their tables, a tile range inside int; then
 *	every entry must lie inside the tile bytes. A file of the other byte
 *	order has its header words and entries swapped (tile bytes never).
 *	Answers 1 with the file kept open as store->fd, or 0 with store closed
 *	and nothing open.
 */
int terraOpenFile(const char *fileName, TerraStore *store);

/* Makes copy a store of its own with source's record and whole file image
 * (image size bytes) and no file. Answers 1, or 0 with copy closed when
 * memory runs out. */
int terraCopy(TerraStore *copy, const TerraStore *source);

/* Frees the file image, closes the file when open; the store is left with
 * no image, fd -1 and image size 0. Safe on a closed store. */
void terraClose(TerraStore *store);

/*
 * terraSaveFile --
 *	Writes the file image from 0 to the data end as the whole of fileName,
 *	through a new file beside it that is renamed over it once complete: a
 *	failure leaves an existing file as it was. Changes nothing in store.
 *	Answers 1 when written.
 */
int terraSaveFile(const char *fileName, const TerraStore *store);

/* The tile index of map tile (x, y), -1 outside x0..x1, y0..y1. */
int terraTileIndex(const TerraStore *store, int x, int y);

/* What a tileId word held. */
enum class TerraTileWord { Index, Position, NoInteger };
/* Reads a tileId word: one integer (a tile index, answered Index) or two,
 * "column row" of the map tile grid (turned into an index, answered
 * Position); NoInteger for anything else. *index is set (-1 when the tile
 * lies outside the store) unless the answer is NoInteger. */
TerraTileWord terraReadTileId(const TerraStore *store, const char *word, int *index);
/* 1 with the map tile column and row of index i, 0 when i is outside
 * 0 .. tileCount - 1. */
int terraTileXY(const TerraStore *store, int i, int *column, int *row);
/* Tile i's bytes inside the file image and their length, NULL (length 0)
 * when the tile is absent or i is outside 0 .. tileCount - 1. */
const unsigned char *terraTileData(const TerraStore *store, int i, size_t *length);
/* The file offset of tile i's bytes (0 for an absent tile). */
uint32_t terraTileOffset(const TerraStore *store, int i);

/*
 * terraPutTile --
 *	Adds length bytes as tile i at the data end. Refused (0, store
 *	unchanged) for an index outside the store, a tile already present, an
 *	empty tile, a data end that would reach 2^32, or memory running out;
 *	the image grows by half again when it is full. Sets modified.
 */
int terraPutTile(TerraStore *store, int i, const unsigned char *bytes, size_t length);

/* The georeference of tile i (a valid index), with p the pixel size:
 * x0 = column * 200 * p, y0 = ((row + 1) * 200 - 1) * p (the top row: map
 * rows count upward), dx = dy = p, and the store's map id. Nothing else
 * of desc changes. */
void terraTileGeoref(const TerraStore *store, int i, ImageDesc *desc);

#endif /* TESK_GEO_TERRASTORE_H */
