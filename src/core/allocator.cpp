#include "allocator.h"

#include <cstdlib> // defines __GLIBC__ where it is the C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Allocator
{
void tune()
{
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, 64 * 1024 * 1024);
#endif
}

void releaseFree()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
} // namespace Allocator
