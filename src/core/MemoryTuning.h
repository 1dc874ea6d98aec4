#pragma once

namespace backreel {

// Sets the C allocator up for a process that holds minutes of video in memory for hours: packets
// of tens to hundreds of kilobytes go straight to the kernel (mapped on their own, returned the
// moment they are freed, whichever thread frees them) instead of into heaps that keep what was
// freed, and the number of heaps is bounded. Without it, packets allocated on the encoder's thread
// and freed on others leave a heap of freed memory per thread, and the process holds far more than
// its buffer. It also keeps transparent huge pages off in this process, which would make the
// encoder's buffers resident in whole 2 MB pages. Call once, first thing, before any other thread
// starts.
void tuneAllocator();

} // namespace backreel
