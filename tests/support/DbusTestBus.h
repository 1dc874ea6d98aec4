#pragma once

// For tests that serve stand-ins on the private session bus of scripts/virtual-desktop. Include it
// in one file of a test program only.

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTest>

#if defined(__SANITIZE_THREAD__)
// Like Qt Core (see tests/tsan.supp), Qt D-Bus, libdbus and the GLib event loop of Qt D-Bus's
// thread are not built with ThreadSanitizer: the locks and wake-ups they hand calls over with are
// invisible to it. Our own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libdbus-1.so.3\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
#endif

namespace backreel::test {

// Returns once what was sent over the session bus so far has been handled on both sides: `ping`
// (a method of a stand-in served on another connection) is called twice, each answer awaited and
// the events it led to handled, as each connection and each answer's watcher keeps its order.
inline void dbusRoundTrip(const QDBusMessage& ping) {
    for (int pass = 0; pass < 2; ++pass) {
        QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(ping));
        ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.isFinished(); }, 5000));
        QCoreApplication::processEvents();
    }
}

} // namespace backreel::test
