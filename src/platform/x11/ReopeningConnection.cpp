#include "platform/x11/ReopeningConnection.h"

#include "core/log/Log.h"
#include "platform/x11/X11Connection.h"

namespace backreel::x11 {

ReopeningConnection::ReopeningConnection(QString logTag)
    : logTag_(std::move(logTag)) {}

ReopeningConnection::~ReopeningConnection() = default;

X11Connection* ReopeningConnection::get() {
    if (connection_ && !connection_->hasFailed()) {
        return connection_.get();
    }
    connection_.reset();
    auto opened = X11Connection::open();
    if (!opened) {
        if (!failureLogged_) {
            Logger::recording().error(QStringLiteral("[%1] %2").arg(logTag_, opened.error().description));
            failureLogged_ = true;
        }
        return nullptr;
    }
    connection_ = std::move(opened).value();
    failureLogged_ = false;
    return connection_.get();
}

} // namespace backreel::x11
