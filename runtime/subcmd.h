/*
 * subcmd.h --
 *
 *	The subcommand matching rule shared by the package's commands: a typed
 *	word matches a name when it begins with the same letter, is a prefix of
 *	the name (never longer) and is at least the row's minimum length long
 *	(a name shorter than that minimum matches when typed in full).
 *	Tables are tried top to bottom and the first match wins.
 */
#ifndef TESK_RUNTIME_SUBCMD_H
#define TESK_RUNTIME_SUBCMD_H

#include <cstddef>

bool subcommandMatches(const char *name, int minLength, const char *word);

/* Index of the first row of table (rows with fields name and minLength)
 * that word matches, -1 when none does. */
template <class Row, std::size_t N>
int findSubcommand(const Row (&table)[N], const char *word)
{
    for (std::size_t i = 0; i < N; i++) {
        if (subcommandMatches(table[i].name, table[i].minLength, word)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

#endif /* TESK_RUNTIME_SUBCMD_H */
