#pragma once

#include <QString>

namespace backreel {

// Shows a file selected in the desktop's file manager. Fire and forget; main thread.
class FileReveal {
public:
    virtual ~FileReveal() = default;
    virtual void reveal(const QString& path) = 0;
};

} // namespace backreel
