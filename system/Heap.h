#pragma once

namespace glimmer {

// For a process that reads many documents one after another. Each takes and
// gives back buffers of the same few sizes (a stream, a bitmap, a canvas:
// 100 KiB to a few MiB). By default the C library hands freed memory above
// 128 KiB back to the system at once and maps fresh, zeroed pages for the
// next document, which costs more than reading it. This keeps up to `kept`
// bytes of freed memory for reuse and takes blocks below that from the heap.
// Call it once, first thing in main (or when a plugin is made).
void keepFreedMemoryForReuse(int kept = 32 << 20);

} // namespace glimmer
