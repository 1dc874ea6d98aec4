#pragma once

#include "platform/Platform.h"

namespace backreel {

// The platform with every service the recording manager calls without checking (capture,
// compression, notifications, window server) filled in by its null backend where the loader left
// it empty, so a desktop without a backend gets a clear error instead of a crash. The writer,
// probe and reveal services stay as they are: the save flow checks them itself.
Platform withNullFallbacks(Platform platform);

} // namespace backreel
