#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace backreel {

// Per-sample attachments: a list of entries, normally one dictionary per sample. Values are
// loosely typed on purpose, as producers may put anything there; readers check the type.
using AttachmentValue = std::variant<bool, std::int64_t, double, std::string>;
using AttachmentDictionary = std::map<std::string, AttachmentValue>;

// One entry of the attachments list; an entry that is not a dictionary holds no dictionary.
struct AttachmentEntry {
    std::optional<AttachmentDictionary> dictionary;
};

using SampleAttachments = std::vector<AttachmentEntry>;

namespace attachment {
// True exactly on frames that depend on earlier frames (not key frames).
inline const std::string kNotSync = "NotSync";
} // namespace attachment

// The usual attachments of a compressed frame.
inline SampleAttachments notSyncAttachments(bool notSync) {
    return {AttachmentEntry{AttachmentDictionary{{attachment::kNotSync, notSync}}}};
}

} // namespace backreel
