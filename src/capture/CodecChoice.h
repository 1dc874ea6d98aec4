#pragma once

namespace backreel {

// What the user asks for: "Automatic" (HEVC where a hardware encoder opens) or H.264, which plays
// everywhere (browsers and chat applications mostly do not play HEVC).
enum class CodecChoice { automatic, h264 };

} // namespace backreel
