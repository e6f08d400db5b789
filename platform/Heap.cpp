#include "Heap.h"

#include <cstdlib>   // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace glimmer {

void keepFreedMemoryForReuse()
{
#if defined(__GLIBC__)
    constexpr int Kept = 32 << 20;
    mallopt(M_TRIM_THRESHOLD, Kept);
    mallopt(M_MMAP_THRESHOLD, Kept);
#endif
}

} // namespace glimmer
