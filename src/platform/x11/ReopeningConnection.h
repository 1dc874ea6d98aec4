#pragma once

#include <memory>
#include <QString>

namespace backreel::x11 {

class X11Connection;

// A connection to the X server of its own, opened at the first use and opened again after it
// broke. A failure to open is logged once with the owner's tag, not at every use while the display
// is away. One thread at a time.
class ReopeningConnection {
public:
    explicit ReopeningConnection(QString logTag);
    ~ReopeningConnection();

    // The open connection, or null when the server can't be reached.
    X11Connection* get();

private:
    const QString logTag_;
    std::shared_ptr<X11Connection> connection_;
    bool failureLogged_ = false;
};

} // namespace backreel::x11
