#pragma once

#include "platform/FileReveal.h"

namespace backreel {

// Asks the file manager over D-Bus (org.freedesktop.FileManager1.ShowItems) to show the file
// selected; when no file manager answers, opens the file's folder instead.
class DbusFileReveal final : public FileReveal {
public:
    void reveal(const QString& path) override;
};

} // namespace backreel
