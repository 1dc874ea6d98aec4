#include "core/MemoryTuning.h"

#include <malloc.h>
#include <sys/prctl.h>

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
    // libx264 rounds each buffer of 1.75 MB or more up to whole 2 MB pages and asks the kernel for
    // transparent huge pages there, which come in resident a whole 2 MB at a time, rounding and
    // all: at 1920×1080 its frames took 26 MiB of huge pages, 5 MiB more than in small pages,
    // and encoded no faster. Without huge pages only what it touches is resident. Programs this
    // one starts (gsettings) inherit the setting, which costs them nothing either.
    prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);
}

} // namespace backreel
