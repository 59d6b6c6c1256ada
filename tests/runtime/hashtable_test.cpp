/*
 * Hash tables of <tesk.h>: one-word and string keys, sorted key lists,
 * replacement that frees the old value, and the delete functions. In the
 * sanitizer build (gmem blocks from malloc) the tests also see which value
 * blocks were given back.
 */

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tesk.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) && defined(TESK_SYSTEM_MALLOC)
#include <sanitizer/asan_interface.h>
#define TESK_TEST_SEES_FREES 1
#endif
#endif

namespace {

void *word(uintptr_t value)
{
    return reinterpret_cast<void *>(value);
}

int *newInt(int value)
{
    auto *p = static_cast<int *>(gmemAlloc(sizeof(int)));
    *p = value;
    return p;
}

/* Freed blocks are poisoned by ASan while they sit in its quarantine. */
void expectFreed(const void *block, bool freed)
{
#ifdef TESK_TEST_SEES_FREES
    EXPECT_EQ(__asan_address_is_poisoned(block) != 0, freed) << block;
#endif
}

TEST(HashTable, EntriesByWordAndByText)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    int isNew = -1;
    Tcl_HashEntry *entry = createHashEntry(table, word(1007), &isNew);
    EXPECT_EQ(isNew, 1);
    setHashValue(entry, word(42));
    EXPECT_EQ(createHashEntry(table, word(1007), &isNew), entry);
    EXPECT_EQ(isNew, 0);
    EXPECT_EQ(findHashEntry(table, word(1007)), entry);
    EXPECT_EQ(findHashEntry(table, word(1008)), nullptr);
    EXPECT_EQ(getHashValue(entry), word(42));
    EXPECT_EQ(getHashKey(table, entry), word(1007));
    EXPECT_EQ(countHashEntries(table), 1);
    destroyHashTable(table);

    table = createStrHashTable();
    ASSERT_NE(table, nullptr);
    char key[] = "band1";
    entry = createHashEntry(table, key, nullptr);
    key[4] = '2';  // the table keeps its own copy
    EXPECT_EQ(findHashEntry(table, "band1"), entry);
    EXPECT_EQ(findHashEntry(table, "band2"), nullptr);
    EXPECT_STREQ(static_cast<const char *>(getHashKey(table, entry)), "band1");
    destroyHashTable(table);
}

TEST(HashTable, KeyListSortedOrEmpty)
{
    // Words with the top bit set sort last: the order is unsigned.
    const std::vector<uintptr_t> inserted = {300, 2, UINTPTR_MAX, 0x80000000u, 17, uintptr_t(1) << 40, 1};
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    void **keys = getHashKeys(table, compareIntKeys);  // empty table: an array, no keys
    EXPECT_NE(keys, nullptr);
    gmemFree(keys);
    for (uintptr_t k : inserted) {
        createHashEntry(table, word(k), nullptr);
    }
    keys = getHashKeys(table, compareIntKeys);
    ASSERT_NE(keys, nullptr);
    std::vector<uintptr_t> expected = inserted;
    std::sort(expected.begin(), expected.end());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(keys[i]), expected[i]) << i;
    }
    gmemFree(keys);
    destroyHashTable(table);
}

TEST(HashTable, PutReplacesAndFreesTheOldValue)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    int *first = newInt(1);
    EXPECT_EQ(putToIntHashTable(table, word(9), first), 1);
    int *second = newInt(2);
    EXPECT_EQ(putToIntHashTable(table, word(9), second), 0);
    expectFreed(first, true);
    EXPECT_EQ(countHashEntries(table), 1);
    EXPECT_EQ(getHashValue(findHashEntry(table, word(9))), second);

    // Storing the same block again must not free it.
    EXPECT_EQ(putToIntHashTable(table, word(9), second), 0);
    expectFreed(second, false);
    EXPECT_EQ(*second, 2);

    EXPECT_EQ(putToIntHashTable(table, word(10), nullptr), 1);
    EXPECT_EQ(putToIntHashTable(table, word(10), newInt(3)), 0);
    deleteHashTable(table, gmemFree);
    expectFreed(second, true);
}

std::vector<void *> freedValues;
void recordFree(void *value)
{
    freedValues.push_back(value);
}

TEST(HashTable, DeleteFreesEachValueOnceOrLeavesThemAlone)
{
    int values[4] = {1, 2, 3, 4};
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    for (uintptr_t k = 0; k < 4; ++k) {
        setHashValue(createHashEntry(table, word(k + 1), nullptr), &values[k]);
    }
    freedValues.clear();
    deleteHashTable(table, recordFree);
    std::vector<void *> expected = {&values[0], &values[1], &values[2], &values[3]};
    std::sort(freedValues.begin(), freedValues.end());
    EXPECT_EQ(freedValues, expected);

    freedValues.clear();
    deleteHashTable(createIntHashTable(), recordFree);
    EXPECT_TRUE(freedValues.empty());
    deleteDicomHashTable(createIntHashTable());
    table = createStrHashTable();
    ASSERT_NE(table, nullptr);
    setHashValue(createHashEntry(table, "k", nullptr), &values[0]);  // a stack value
    deleteHashTable(table, nullptr);
}

/* A gmemAlloc'd element record with its value bytes after it. */
DicomElement *newElement(uint16_t element, const char *value, DicomElement *next)
{
    size_t length = std::strlen(value);
    auto *e = static_cast<DicomElement *>(gmemAlloc(sizeof(DicomElement) + length + 1));
    *e = DicomElement{0x0008, element, static_cast<uint32_t>(length), 0, next};
    std::memcpy(reinterpret_cast<char *>(e + 1), value, length + 1);
    return e;
}

TEST(HashTable, DicomDeleteFreesEveryRecordOfEveryChain)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    DicomElement *c = newElement(0x1155, "4.5", nullptr);
    DicomElement *b = newElement(0x1150, "1.2.3", c);
    DicomElement *a = newElement(0x1140, "", b);
    DicomElement *single = newElement(0x0010, "Doe^J", nullptr);
    putToIntHashTable(table, word(0x00081140u), a);
    putToIntHashTable(table, word(0x00080010u), single);
    putToIntHashTable(table, word(0x7FE00010u), nullptr);  // an empty chain
    deleteDicomHashTable(table);
    for (DicomElement *record : {a, b, c, single}) {
        expectFreed(record, true);
    }
}

}  // namespace
