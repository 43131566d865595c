#include "platform/Memory.h"

#include <malloc.h>

namespace platform {

void KeepFreedMemoryForReuse() {
    // Setting either threshold also stops the allocator from moving them by itself.
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

} // namespace platform
