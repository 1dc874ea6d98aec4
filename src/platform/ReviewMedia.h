#pragma once

#include "core/Error.h"
#include "core/media/AudioPacket.h"
#include "core/media/ImageBuffer.h"
#include "core/media/VideoPacket.h"

#include <memory>
#include <vector>

namespace backreel {

// Turns one stream's packets back into pictures, in decoding order from a key frame on. One
// thread at a time.
class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    // Decodes one packet: its picture in BGRA when `wanted` (a picture only passed on the way to
    // a later one is decoded but not converted), null when not wanted or when the decoder needs
    // more packets first, or the error of a packet it cannot decode.
    virtual Expected<ImageBufferPtr> decode(const VideoPacket& packet, bool wanted) = 0;
};

class PictureDecoderService {
public:
    virtual ~PictureDecoderService() = default;
    // A decoder for the stream's format; null when there is none for its codec.
    virtual std::unique_ptr<PictureDecoder> create(const VideoStreamFormat& format) = 0;
};

// Plays recorded sound on the desktop's output, on a thread of its own.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Plays the packets (one origin, oldest first) from `from` on, gaps as silence, ending what
    // played before. Returns at once; the sound starts as soon as the output takes it.
    virtual void play(std::vector<AudioPacket> packets, MediaTime from) = 0;
    // Ends the sound at once; nothing when silent.
    virtual void stop() = 0;
};

class SoundPlayerService {
public:
    virtual ~SoundPlayerService() = default;
    virtual std::unique_ptr<SoundPlayer> create() = 0;
};

} // namespace backreel
