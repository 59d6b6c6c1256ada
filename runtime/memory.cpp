/*
 * memory.cpp --
 *
 *	The memory layer every heap record of the package goes through. Blocks
 *	come from Tcl's allocator (its attempt variants, which answer NULL
 *	instead of panicking), or from malloc in sanitizer builds so that
 *	overflows are not hidden by Tcl's pooled small blocks. Tcl 8.6 takes an
 *	unsigned int size, so requests of 4 GiB or more are refused up front.
 */
#include "tesk.h"

#include <cstdlib>

namespace {
constexpr size_t kMaxBlock = 0xFFFFFFFFu;
}

extern "C" void *gmemAlloc(size_t size)
{
    if (size >= kMaxBlock) {
        return nullptr;
    }
#ifdef TESK_SYSTEM_MALLOC
    return std::malloc(size == 0 ? 1 : size);
#else
    return Tcl_AttemptAlloc(static_cast<unsigned int>(size == 0 ? 1 : size));
#endif
}

extern "C" void *gmemRealloc(void *block, size_t size)
{
    if (size >= kMaxBlock) {
        return nullptr;
    }
#ifdef TESK_SYSTEM_MALLOC
    return std::realloc(block, size == 0 ? 1 : size);
#else
    return Tcl_AttemptRealloc(static_cast<char *>(block), static_cast<unsigned int>(size == 0 ? 1 : size));
#endif
}

extern "C" void gmemFree(void *block)
{
    if (block == nullptr) {
        return;
    }
#ifdef TESK_SYSTEM_MALLOC
    std::free(block);
#else
    Tcl_Free(static_cast<char *>(block));
#endif
}
