/*
 * dbase.h --
 *
 *	dBase III tables (.dbf) held wholly in memory: reading and writing
 *	whole files, adding, inserting and deleting fields, appending,
 *	inserting, erasing and purging records, the per-record selection and
 *	deletion flags with an order index over the records, and cells
 *	written and read back by their field type, their text in the table's
 *	one encoding. The gtable object is the layer's user.
 */
#ifndef TESK_GEO_DBASE_H
#define TESK_GEO_DBASE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include <tcl.h>

enum {
    DBASE_HEAD_BYTES = 32,    /* the fixed file header */
    DBASE_FIELD_BYTES = 32,   /* one field descriptor */
    DBASE_NAME_MAX = 10,      /* characters of a field name */
    DBASE_CELL_MAX = 255,     /* bytes of one field */
    DBASE_FIELDS_MAX = 2046,  /* fields whose header length stays 16-bit */
    DBASE_RECORD_MAX = 65535, /* bytes of a record, leading byte included */
    DBASE_SELECTED = 1,       /* flag bit: the record is selected */
    DBASE_DELETED = 2         /* flag byte of a deleted record */
};

/* Error codes of readdBase, readdBaseInfo and writedBase. */
enum {
    DBASE_ERR_OPEN = 0,   /* the file cannot be opened or created */
    DBASE_ERR_HEAD = 1,   /* short or refused header */
    DBASE_ERR_DATA = 2,   /* records short or beyond the file */
    DBASE_ERR_MEMORY = 3, /* no memory, or a record block of 4 GiB or more */
    DBASE_ERR_WHEAD = 4,  /* writing the header failed */
    DBASE_ERR_WDATA = 5   /* writing the records failed */
};

/* A table in memory. Every owned block comes from gmemAlloc. */
typedef struct DBaseTable {
    char *fileName;        /* file last read or written; NULL for a new table */
    unsigned char *head;   /* header, descriptors and terminator as in the file
                              * (padding read from a file kept until the fields
                              * change); its record count and record length
                              * always equal the table's */
    size_t headBytes;      /* bytes of head: the header length, 33..65535 */
    int busy;              /* match evaluations running; a purge waits while > 0 */
    int purgePending;      /* a purge was asked while busy */
    int modified;          /* fields, records or cells changed since read or written */
    int orphaned;          /* freed by its owner while busy: the last evaluation frees it */
    unsigned generation;   /* bumped at every change of the field layout */
    int fieldCount;        /* 0..2046 */
    int recordCount;       /* 0..INT_MAX */
    int deletedCount;      /* deleted records as last counted by dBaseSortIndex */
    int indexCapacity;     /* entries reserved in order */
    int flagCapacity;      /* entries reserved in flags */
    int recordLength;      /* bytes per record, leading byte included, 1..65535 */
    size_t dataSize;       /* bytes reserved for the record block */
    unsigned char *data;   /* records back to back; record i at i * recordLength */
    int *fieldOffsets;     /* offset of each field inside a record; the first is 1 */
    int *order;            /* the order records are presented in: entry k is a record number */
    unsigned char *flags;  /* per record: bit 0 selected, bit 1 deleted (byte exactly 2) */
    Tcl_Encoding encoding; /* the cells' text encoding (dbasetext.h), a reference
                            * the table holds; NULL: the system encoding */
    char *codePage;        /* the .cpg text the encoding came from, written beside
                            * the file a save makes; NULL when none */
} DBaseTable;

/* A field descriptor as stored: 32 bytes. */
typedef struct DBaseField {
    unsigned char bytes[DBASE_FIELD_BYTES];
} DBaseField;

/* ---- Whole tables ---- */

/* Reads a whole .dbf file; NULL with *error set (DBASE_ERR_*) and a line on
 * standard error when it cannot. Every header value is checked before use.
 * The table's encoding is the one its .cpg file names, else its language
 * driver's, else the system encoding (dBaseFileEncoding). */
DBaseTable *readdBase(const char *fileName, int *error);
/* The header block of a file alone (gmemAlloc'd, *headBytes its length), as
 * checked by readdBase; NULL with *error 0 (open) or 1 (header). */
unsigned char *readdBaseInfo(const char *fileName, size_t *headBytes, int *error);
void freedBaseHead(unsigned char *head);
/* Writes all records, or only the selected ones, through a temporary file
 * beside fileName renamed over it: 1 done (file name stored, modified
 * cleared), 0 failed with *error set; a failure leaves any old file whole.
 * A table whose encoding a .cpg file named gets that .cpg beside the new
 * file too. A failure with a reason sets *why (when why is not NULL) to it,
 * naming the file as fileName gives it ("cannot write t.dbf: No space left
 * on device"). */
int writedBase(const char *fileName, DBaseTable *table, int selectedOnly, int *error, std::string *why = nullptr);
/* An empty table: no fields, no records, today's date. NULL: no memory. */
DBaseTable *newdBase();
/* An exact copy, flags, order, counters and encoding included; NULL: no
 * memory. */
DBaseTable *clonedBase(const DBaseTable *table);
/* A new table of the listed fields (all when fields is NULL) in the order
 * listed and every record, or only the selected ones, in storage order, with
 * fresh flags and order, in the table's encoding (language driver byte
 * included). NULL when memory runs out, a field number is out of
 * range or repeated, or selectedOnly finds nothing selected. */
DBaseTable *copydBase(const DBaseTable *table, int nFields, const int *fields, int selectedOnly);
/* Frees the table; while a match evaluation holds it (busy), it is only
 * marked orphaned and the evaluation frees it when it ends. */
void freedBase(DBaseTable *table);

/* ---- Fields ---- */

/* A value for a new field's cells: len bytes, blank-padded to the field's
 * length; a longer value is refused. */
typedef struct DBaseValue {
    const char *bytes;
    size_t len;
} DBaseValue;

/* Appends (insertdBaseFieldsAt: inserts before field position, 0..fieldCount)
 * n fields; every record gets the given values or the types' defaults.
 * 0 and the table unchanged when a new name is the table's or repeated, a
 * value is too long, the fields would pass 2046 or the record 65535 bytes,
 * or memory runs out. */
int adddBaseField(DBaseTable *table, const DBaseField *fields, int n, const DBaseValue *values);
int insertdBaseFieldsAt(DBaseTable *table, const DBaseField *fields, int n, const DBaseValue *values, int position);
/* Deletes the listed fields; 0 when n is 0, a number is out of range or
 * repeated. */
int deletedBaseFields(DBaseTable *table, int n, const int *fields);
/* 0 when the new name is no field name (empty, longer than 10 characters,
 * holding a space) or another field's. */
int dBaseRenameField(DBaseTable *table, int field, const char *newName);
/* Fills a descriptor from the four words of a definition; 0 when refused. */
int dBaseParseFieldDef(DBaseField *out, const char *name, const char *type, const char *length, const char *decimals);
/* Field number of that exact name, -1 when none. */
int dBaseFieldIndex(const DBaseTable *table, const char *name);

/* Accessors of a header block (head, its length) and of descriptors. */
int dBaseHeadFieldCount(const unsigned char *head, size_t headBytes);
const unsigned char *dBaseHeadField(const unsigned char *head, int field);
inline const char *dBaseFieldName(const unsigned char *descriptor)
{
    return reinterpret_cast<const char *>(descriptor);
}
inline char dBaseFieldType(const unsigned char *descriptor)
{
    return static_cast<char>(descriptor[11]);
}
inline int dBaseFieldLength(const unsigned char *descriptor)
{
    return descriptor[16];
}
inline int dBaseFieldDecimals(const unsigned char *descriptor)
{
    return descriptor[17];
}
/* The name of a descriptor, at most 10 characters, ending at its first zero. */
std::string dBaseFieldNameText(const unsigned char *descriptor);

/* ---- Records ---- */

/* Appends n records copied from n raw record images, or built from the
 * types' defaults when records is NULL; 0 and unchanged on failure. */
int adddBaseRecord(DBaseTable *table, const unsigned char *records, int n);
/* The same before record position (clamped to 0..recordCount). */
int insertdBaseRecordsAt(DBaseTable *table, const unsigned char *records, int n, int position);
/* Removes records first..last (clamped); answers the number removed, 0 when
 * first > last after clamping. */
int erasedBaseRecords(DBaseTable *table, int first, int last);
/* Removes the deleted records; 0 (and a pending purge) while busy. */
int purgedBase(DBaseTable *table);
void cleardBaseRecords(DBaseTable *table);
/* Moves entries of deleted records to the end of the order index (counting
 * them) and, with sort, sorts the others by record number. */
void dBaseSortIndex(DBaseTable *table, int sort);

/* ---- Flags of record i (out of range: no effect, 0) ---- */
int dBaseIsSelected(const DBaseTable *table, int i);
int dBaseIsDeleted(const DBaseTable *table, int i);
void dBaseSelect(DBaseTable *table, int i);
void dBaseUnselect(DBaseTable *table, int i);
void dBaseToggleSelect(DBaseTable *table, int i);
void dBaseDelete(DBaseTable *table, int i);
void dBaseUndelete(DBaseTable *table, int i);
int dBaseCountSelected(const DBaseTable *table);
int dBaseCountDeleted(const DBaseTable *table);
int dBaseSelectAll(DBaseTable *table);
int dBaseUnselectAll(DBaseTable *table);

/* ---- Cells (record i, field j) ---- */

/* Writes text (a Tcl string) through field j's type rule; 1 stored (modified
 * set), 0 refused or out of range (cell unchanged). NULL or "" blanks the
 * cell. Character fields hold the text in the table's encoding, cut to the
 * field's length at a character boundary; a character the encoding has no
 * form for is refused. */
int dBaseSetField(DBaseTable *table, int i, int j, const char *text);
/* n consecutive fields from first; stops at the first refusal, modified set
 * only when all were stored. */
int dBaseSetFields(DBaseTable *table, int i, int first, int n, const char *const *texts);
/* Formats n texts into fields 0..n-1 of a raw record image of the table's
 * layout (not part of the table); stops at the first refusal. */
int dBaseFormatCells(const DBaseTable *table, unsigned char *record, int n, const char *const *texts);
/* The read-back bytes of a cell into out (room for DBASE_CELL_MAX + 1 bytes);
 * answers their length, -1 when out of range. */
int dBaseGetField(const DBaseTable *table, int i, int j, char *out);
/* The read-back text of a cell as a Tcl string (decoded from the table's
 * encoding) into out; answers its length, -1 when out of range. */
int dBaseFieldText(const DBaseTable *table, int i, int j, std::string &out);
/* Every field's text, as a Tcl list (each field quoted as a list element). */
int dBaseRecordText(const DBaseTable *table, int i, std::string &out);
/* A Tcl string in the table's encoding, whole, into *bytes; false when a
 * character has no form in it. */
bool dBaseEncodeText(const DBaseTable *table, const char *text, std::string *bytes);
/* Appends n bytes of text to out quoted as one Tcl list element: as Tcl
 * quotes list elements, or with noBraces always backslash-quoted (a form
 * that stays one word inside double quotes too). */
void dBaseAppendElement(std::string &out, const char *text, size_t n, bool noBraces);
/* Blanks fields fieldA..fieldB (either order, clamped) in records
 * recordA..recordB (either order, clamped). */
void dBaseSetBlank(DBaseTable *table, int recordA, int fieldA, int recordB, int fieldB);
/* Raw access, no type rules. */
unsigned char *dBaseRecordAt(const DBaseTable *table, int i);
unsigned char *dBaseCellAt(const DBaseTable *table, int i, int j);
/* Copies n cells (each its field's length) from bytes into fields first..;
 * 0 when out of range. Sets modified. */
int dBaseSetRawFields(DBaseTable *table, int i, int first, int n, const unsigned char *bytes);

/* ---- Small accessors ---- */
int dBaseRecordCount(const DBaseTable *table); /* the header's record count */
int dBaseModified(const DBaseTable *table);
inline const unsigned char *dBaseField(const DBaseTable *table, int j)
{
    return dBaseHeadField(table->head, j);
}

#endif /* TESK_GEO_DBASE_H */
