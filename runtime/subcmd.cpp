/*
 * subcmd.cpp --
 *
 *	Subcommand word matching (first letter, prefix, minimum length).
 */
#include "runtime/subcmd.h"

#include <algorithm>
#include <cstring>

bool subcommandMatches(const char *name, int minLength, const char *word)
{
    if (name == nullptr || word == nullptr || word[0] == '\0' || word[0] != name[0]) {
        return false;
    }
    /* A name shorter than the minimum is matched when typed in full. */
    std::size_t length = std::strlen(word);
    std::size_t nameLength = std::strlen(name);
    std::size_t required = std::min(static_cast<std::size_t>(minLength < 1 ? 1 : minLength), nameLength);
    return length >= required && length <= nameLength && std::strncmp(name, word, length) == 0;
}
