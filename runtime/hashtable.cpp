/*
 * hashtable.cpp --
 *
 *	The exported hash-table API of <tesk.h>: a thin layer over Tcl's hash
 *	tables for C modules, with one-word or string keys, key listing and
 *	sorting, and the delete functions that free values (plain blocks, or
 *	the element chains of the DICOM and TIFF tables).
 */

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tesk.h"

namespace {

/* A new table record of the given key type, or NULL without memory. */
HashTable newTable(int keyType)
{
    auto *table = static_cast<Tcl_HashTable *>(gmemAlloc(sizeof(Tcl_HashTable)));
    if (table != nullptr) {
        Tcl_InitHashTable(table, keyType);
    }
    return table;
}

}  // namespace

extern "C" {

HashTable createIntHashTable(void)
{
    return newTable(TCL_ONE_WORD_KEYS);
}

HashTable createStrHashTable(void)
{
    return newTable(TCL_STRING_KEYS);
}

/*
 * The entry for key, made through the table's own create procedure when it
 * is missing; *isNew (when given) says which.
 */
Tcl_HashEntry *createHashEntry(HashTable table, const void *key, int *isNew)
{
    int created = 0;
    Tcl_HashEntry *entry = Tcl_CreateHashEntry(table, key, &created);
    if (isNew != nullptr) {
        *isNew = created;
    }
    return entry;
}

Tcl_HashEntry *findHashEntry(HashTable table, const void *key)
{
    return Tcl_FindHashEntry(table, key);
}

void *getHashValue(Tcl_HashEntry *entry)
{
    return Tcl_GetHashValue(entry);
}

void setHashValue(Tcl_HashEntry *entry, void *value)
{
    Tcl_SetHashValue(entry, value);
}

/*
 * The key word itself for one-word (and custom pointer) keys; the address
 * of the entry's key text for string keys.
 */
void *getHashKey(HashTable table, Tcl_HashEntry *entry)
{
    return Tcl_GetHashKey(table, entry);
}

Tcl_HashEntry *firstHashEntry(HashTable table, Tcl_HashSearch *search)
{
    return Tcl_FirstHashEntry(table, search);
}

Tcl_HashEntry *nextHashEntry(Tcl_HashSearch *search)
{
    return Tcl_NextHashEntry(search);
}

/* A zeroed iteration record (freeSearchEntry frees it), NULL without memory. */
Tcl_HashSearch *createSearchEntry(void)
{
    auto *search = static_cast<Tcl_HashSearch *>(gmemAlloc(sizeof(Tcl_HashSearch)));
    if (search != nullptr) {
        std::memset(search, 0, sizeof(Tcl_HashSearch));
    }
    return search;
}

void freeSearchEntry(Tcl_HashSearch *search)
{
    if (search != nullptr) {
        gmemFree(search);
    }
}

int countHashEntries(HashTable table)
{
    return table->numEntries;
}

/*
 * Every key of the table, one word each (as getHashKey gives it), in
 * iteration order or sorted by cmp when one is given. The array comes from
 * gmemAlloc and belongs to the caller; it is never NULL for an empty table,
 * only when memory runs out.
 */
void **getHashKeys(HashTable table, HashCompareProc *cmp)
{
    size_t count = static_cast<size_t>(table->numEntries);
    auto **keys = static_cast<void **>(gmemAlloc((count > 0 ? count : 1) * sizeof(void *)));
    if (keys == nullptr) {
        return nullptr;
    }
    size_t i = 0;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(table, &search); entry != nullptr && i < count;
         entry = Tcl_NextHashEntry(&search)) {
        keys[i++] = Tcl_GetHashKey(table, entry);
    }
    if (cmp != nullptr && i > 1) {
        std::qsort(keys, i, sizeof(void *), cmp);
    }
    return keys;
}

/*
 * Stores value under key. A value that it replaces is gmemFree'd, unless it
 * is the very block being stored again. Answers 1 for a new key, else 0.
 */
int putToIntHashTable(HashTable table, const void *key, void *value)
{
    int isNew = 0;
    Tcl_HashEntry *entry = Tcl_CreateHashEntry(table, key, &isNew);
    if (!isNew) {
        void *old = Tcl_GetHashValue(entry);
        if (old != nullptr && old != value) {
            gmemFree(old);
        }
    }
    Tcl_SetHashValue(entry, value);
    return isNew;
}

/* Deletes the Tcl table and frees the handle; values are left alone. */
void destroyHashTable(HashTable table)
{
    if (table == nullptr) {
        return;
    }
    Tcl_DeleteHashTable(table);
    gmemFree(table);
}

/* Calls freeProc (when given) on every entry's value, then destroys the table. */
void deleteHashTable(HashTable table, HashFreeProc *freeProc)
{
    if (table == nullptr) {
        return;
    }
    if (freeProc != nullptr) {
        Tcl_HashSearch search;
        for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(table, &search); entry != nullptr;
             entry = Tcl_NextHashEntry(&search)) {
            freeProc(Tcl_GetHashValue(entry));
        }
    }
    destroyHashTable(table);
}

/*
 * Each value heads a chain of element records linked through next: every
 * record of every chain is gmemFree'd, then the table is destroyed.
 */
void deleteDicomHashTable(HashTable table)
{
    if (table == nullptr) {
        return;
    }
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(table, &search); entry != nullptr;
         entry = Tcl_NextHashEntry(&search)) {
        auto *element = static_cast<DicomElement *>(Tcl_GetHashValue(entry));
        while (element != nullptr) {
            DicomElement *next = element->next;
            gmemFree(element);
            element = next;
        }
    }
    destroyHashTable(table);
}

/*
 * qsort order of a getHashKeys array with one-word keys: the key words as
 * unsigned numbers, giving -1, 0 or 1.
 */
int compareIntKeys(const void *a, const void *b)
{
    uintptr_t x = reinterpret_cast<uintptr_t>(*static_cast<void *const *>(a));
    uintptr_t y = reinterpret_cast<uintptr_t>(*static_cast<void *const *>(b));
    return x < y ? -1 : (x > y ? 1 : 0);
}

}  // extern "C"
