#pragma once

// For tests that serve stand-ins on the private session bus of scripts/virtual-desktop.

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTest>

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
