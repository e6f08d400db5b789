#include "Heap.h"

#include <cstdlib>   // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace glimmer {

void keepFreedMemoryForReuse(int kept)
{
#if defined(__GLIBC__)
    mallopt(M_TRIM_THRESHOLD, kept);
    mallopt(M_MMAP_THRESHOLD, kept);
#else
    (void)kept;
#endif
}

} // namespace glimmer
