#pragma once

// PipeWire's and SPA's headers are C with inline functions that are not clean under the project's
// warning flags, so the PipeWire backend includes them through this header, which marks itself as
// a system header.
#pragma GCC system_header

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/debug/types.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>
