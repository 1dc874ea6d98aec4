#include "core/MemoryTuning.h"

#include <malloc.h>

namespace backreel {

namespace {
// Above this a block is mapped on its own. Setting it also fixes it: glibc would otherwise raise
// it to the size of every mapped block freed, up to 32 MB, and the packets would land in the heaps.
constexpr int kMappedBlockBytes = 64 * 1024;
// Heaps for the threads to share: the main one and one more.
constexpr int kHeaps = 2;
} // namespace

void tuneAllocator() {
    mallopt(M_MMAP_THRESHOLD, kMappedBlockBytes);
    mallopt(M_ARENA_MAX, kHeaps);
}

} // namespace backreel
