/*
 * Hash tables of <tesk.h>: one-word and string keys, key listing and
 * sorting, replacement that frees the old value, and the delete functions.
 * In the sanitizer build, where gmem blocks come from malloc, the tests also
 * see which value blocks were given back; double frees show up there too.
 */

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tesk.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESK_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TESK_TEST_ASAN 1
#endif
#if defined(TESK_TEST_ASAN) && defined(TESK_SYSTEM_MALLOC)
#include <sanitizer/asan_interface.h>
#endif

namespace {

/* Whether a gmem block has been freed, when the build lets us see it:
 * ASan poisons freed blocks (they stay in quarantine for a while). */
void expectFreed(const void *block, bool freed)
{
#if defined(TESK_TEST_ASAN) && defined(TESK_SYSTEM_MALLOC)
    EXPECT_EQ(__asan_address_is_poisoned(block) != 0, freed) << block;
#endif
}

void *word(uintptr_t value)
{
    return reinterpret_cast<void *>(value);
}

/* A gmemAlloc'd int holding value. */
int *newInt(int value)
{
    auto *p = static_cast<int *>(gmemAlloc(sizeof(int)));
    if (p != nullptr) {
        *p = value;
    }
    return p;
}

TEST(HashTable, OneWordKeysStoreAndFindValues)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    int values[3] = {10, 20, 30};
    for (uintptr_t k = 0; k < 3; ++k) {
        int isNew = -1;
        Tcl_HashEntry *entry = createHashEntry(table, word(k * 1000 + 7), &isNew);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(isNew, 1);
        setHashValue(entry, &values[k]);
    }
    EXPECT_EQ(countHashEntries(table), 3);

    int isNew = -1;
    Tcl_HashEntry *again = createHashEntry(table, word(1007), &isNew);
    EXPECT_EQ(isNew, 0);
    EXPECT_EQ(again, findHashEntry(table, word(1007)));
    EXPECT_EQ(getHashValue(again), &values[1]);
    EXPECT_EQ(getHashKey(table, again), word(1007));
    EXPECT_EQ(findHashEntry(table, word(8)), nullptr);
    EXPECT_EQ(countHashEntries(table), 3);
    destroyHashTable(table);
}

TEST(HashTable, StringKeysAreCopiedAndGivenBackAsText)
{
    HashTable table = createStrHashTable();
    ASSERT_NE(table, nullptr);
    char key[] = "band1";
    int isNew = 0;
    Tcl_HashEntry *entry = createHashEntry(table, key, &isNew);
    EXPECT_EQ(isNew, 1);
    setHashValue(entry, word(42));
    key[4] = '2'; // the table keeps its own copy

    Tcl_HashEntry *found = findHashEntry(table, "band1");
    ASSERT_EQ(found, entry);
    EXPECT_EQ(getHashValue(found), word(42));
    EXPECT_STREQ(static_cast<const char *>(getHashKey(table, found)), "band1");
    EXPECT_EQ(findHashEntry(table, "band2"), nullptr);
    destroyHashTable(table);
}

TEST(HashTable, SearchRecordVisitsEveryEntryOnce)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    for (uintptr_t k = 1; k <= 50; ++k) {
        createHashEntry(table, word(k), nullptr);
    }
    Tcl_HashSearch *search = createSearchEntry();
    ASSERT_NE(search, nullptr);
    const Tcl_HashSearch zero = {};
    EXPECT_EQ(std::memcmp(search, &zero, sizeof zero), 0);

    std::multiset<uintptr_t> seen;
    for (Tcl_HashEntry *e = firstHashEntry(table, search); e != nullptr; e = nextHashEntry(search)) {
        seen.insert(reinterpret_cast<uintptr_t>(getHashKey(table, e)));
    }
    freeSearchEntry(search);
    ASSERT_EQ(seen.size(), 50u);
    for (uintptr_t k = 1; k <= 50; ++k) {
        EXPECT_EQ(seen.count(k), 1u) << k;
    }
    destroyHashTable(table);
}

TEST(HashTable, EmptyTableGivesAnEmptyKeyArray)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    void **keys = getHashKeys(table, compareIntKeys);
    EXPECT_NE(keys, nullptr);
    gmemFree(keys);
    keys = getHashKeys(table, nullptr);
    EXPECT_NE(keys, nullptr);
    gmemFree(keys);
    destroyHashTable(table);
}

TEST(HashTable, CompareIntKeysOrdersWordsAsUnsignedNumbers)
{
    void *small = word(5);
    void *large = word(UINTPTR_MAX - 1); // negative if read as signed
    EXPECT_EQ(compareIntKeys(&small, &large), -1);
    EXPECT_EQ(compareIntKeys(&large, &small), 1);
    EXPECT_EQ(compareIntKeys(&small, &small), 0);
    void *a = word(0x100000000ull), *b = word(0x0FFFFFFFFull);
    EXPECT_EQ(compareIntKeys(&a, &b), 1); // the high half counts too
}

TEST(HashTable, KeysSortedByCompareIntKeys)
{
    const std::vector<uintptr_t> inserted = {
        300, 2, UINTPTR_MAX, 0x80000000u, 17, uintptr_t(1) << 40, 1, UINTPTR_MAX / 2 + 1};
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    for (uintptr_t k : inserted) {
        createHashEntry(table, word(k), nullptr);
    }
    void **keys = getHashKeys(table, compareIntKeys);
    ASSERT_NE(keys, nullptr);
    std::vector<uintptr_t> expected = inserted;
    std::sort(expected.begin(), expected.end());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(keys[i]), expected[i]) << i;
    }
    gmemFree(keys);
    destroyHashTable(table);
}

TEST(HashTable, StringKeysListedAsTextAddresses)
{
    HashTable table = createStrHashTable();
    ASSERT_NE(table, nullptr);
    for (const char *k : {"pear", "apple", "fig"}) {
        createHashEntry(table, k, nullptr);
    }
    // Unsorted: every key once, in whatever order the table iterates.
    void **keys = getHashKeys(table, nullptr);
    ASSERT_NE(keys, nullptr);
    std::set<std::string> listed;
    for (int i = 0; i < 3; ++i) {
        listed.insert(static_cast<const char *>(keys[i]));
    }
    EXPECT_EQ(listed, (std::set<std::string>{"apple", "fig", "pear"}));
    gmemFree(keys);

    keys = getHashKeys(table, [](const void *a, const void *b) {
        return std::strcmp(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
    });
    ASSERT_NE(keys, nullptr);
    EXPECT_STREQ(static_cast<const char *>(keys[0]), "apple");
    EXPECT_STREQ(static_cast<const char *>(keys[1]), "fig");
    EXPECT_STREQ(static_cast<const char *>(keys[2]), "pear");
    gmemFree(keys);
    destroyHashTable(table);
}

TEST(HashTable, PutReplacesAndFreesTheOldValue)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    int *first = newInt(1);
    EXPECT_EQ(putToIntHashTable(table, word(9), first), 1);
    EXPECT_EQ(putToIntHashTable(table, word(9), newInt(2)), 0);
    expectFreed(first, true);
    EXPECT_EQ(countHashEntries(table), 1);
    EXPECT_EQ(*static_cast<int *>(getHashValue(findHashEntry(table, word(9)))), 2);

    // Storing the same block again must not free it.
    int *same = static_cast<int *>(getHashValue(findHashEntry(table, word(9))));
    EXPECT_EQ(putToIntHashTable(table, word(9), same), 0);
    expectFreed(same, false);
    EXPECT_EQ(*static_cast<int *>(getHashValue(findHashEntry(table, word(9)))), 2);

    // A NULL value is replaced without a free.
    EXPECT_EQ(putToIntHashTable(table, word(10), nullptr), 1);
    EXPECT_EQ(putToIntHashTable(table, word(10), newInt(3)), 0);
    deleteHashTable(table, gmemFree);
    expectFreed(same, true);
}

std::vector<void *> freedValues;
void recordFree(void *value)
{
    freedValues.push_back(value);
}

TEST(HashTable, DeleteCallsTheFreeProcedureOncePerValue)
{
    int values[4] = {};
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    for (uintptr_t k = 0; k < 4; ++k) {
        setHashValue(createHashEntry(table, word(k + 1), nullptr), &values[k]);
    }
    freedValues.clear();
    deleteHashTable(table, recordFree);
    std::vector<void *> expected = {&values[0], &values[1], &values[2], &values[3]};
    std::sort(freedValues.begin(), freedValues.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(freedValues, expected);
}

TEST(HashTable, DeleteOfAnEmptyTableOnlyDestroysIt)
{
    freedValues.clear();
    deleteHashTable(createIntHashTable(), recordFree);
    EXPECT_TRUE(freedValues.empty());
    deleteDicomHashTable(createIntHashTable());
    // Without a free procedure the values are left alone (stack objects here).
    int value = 5;
    HashTable table = createStrHashTable();
    ASSERT_NE(table, nullptr);
    setHashValue(createHashEntry(table, "k", nullptr), &value);
    deleteHashTable(table, nullptr);
    EXPECT_EQ(value, 5);
}

/* A gmemAlloc'd element record with its value bytes after it. */
DicomElement *newElement(uint16_t group, uint16_t element, const char *value, DicomElement *next)
{
    size_t length = std::strlen(value);
    auto *e = static_cast<DicomElement *>(gmemAlloc(sizeof(DicomElement) + length + 1));
    if (e != nullptr) {
        e->group = group;
        e->element = element;
        e->length = static_cast<uint32_t>(length);
        e->vr = 0;
        e->next = next;
        std::memcpy(reinterpret_cast<char *>(e + 1), value, length + 1);
    }
    return e;
}

TEST(HashTable, DicomDeleteFreesEveryRecordOfEveryChain)
{
    HashTable table = createIntHashTable();
    ASSERT_NE(table, nullptr);
    DicomElement *single = newElement(0x0010, 0x0010, "Doe^J", nullptr);
    DicomElement *chain = newElement(
        0x0008, 0x1140, "", newElement(0x0008, 0x1150, "1.2.3", newElement(0x0008, 0x1155, "4.5", nullptr)));
    ASSERT_NE(single, nullptr);
    ASSERT_NE(chain, nullptr);
    DicomElement *records[4] = {single, chain, chain->next, chain->next->next};
    putToIntHashTable(table, word(0x00100010u), single);
    putToIntHashTable(table, word(0x00081140u), chain);
    setHashValue(createHashEntry(table, word(0x7FE00010u), nullptr), nullptr); // an empty chain
    deleteDicomHashTable(table);
    for (DicomElement *record : records) {
        expectFreed(record, true);
    }
}

} // namespace
