#pragma once
// How the process's allocator treats freed memory. A batch run allocates and frees buffers of a few
// hundred kilobytes per file on several threads; by default the allocator hands such memory back to
// the system after each file and faults it in again for the next, which costs more than the
// cipher. Keeping up to a few tens of megabytes for reuse removes that churn.

namespace platform {

// Call once at start, before threads are made.
void KeepFreedMemoryForReuse();

} // namespace platform
