#include "platform/x11/X11Geometry.h"
#include "platform/x11/X11WindowServer.h"
#include "X11TestSupport.h"

#include <QFile>
#include <unistd.h>

namespace backreel::test {
namespace {

using X11ShareableContent = X11Test;

QString ownProcessName() {
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

TEST_F(X11ShareableContent, displaysAreTheRandRMonitorsAndTheMainOneIsPrimary) {
    X11CaptureService service(nullptr);
    Expected<ShareableContent> result = content(service);
    ASSERT_TRUE(result) << result.error().description.toStdString();
    const std::vector<Display>& displays = result.value().displays;
    ASSERT_FALSE(displays.empty());
    for (const Display& display : displays) {
        // The id is the monitor's name atom.
        EXPECT_EQ(display.displayID, internAtom(connection(), display.name.toUtf8().constData()));
        EXPECT_EQ(display.frame.size(), QSizeF(display.width, display.height));
    }
    X11WindowServer windowServer;
    if (const Display* first = findDisplay(result.value(), QStringLiteral("VIRT-1"))) {
        // scripts/virtual-desktop --dual: VIRT-1 (primary) and VIRT-2 beside it, in that order.
        ASSERT_EQ(displays.size(), 2u);
        const Display* second = findDisplay(result.value(), QStringLiteral("VIRT-2"));
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(&displays[0], first);
        EXPECT_EQ(first->frame, QRectF(0, 0, first->width, first->height));
        EXPECT_EQ(second->frame, QRectF(first->width, 0, second->width, second->height));
        EXPECT_EQ(windowServer.mainDisplayID(), first->displayID);
    } else {
        EXPECT_EQ(windowServer.mainDisplayID(), displays.front().displayID);
    }
}

TEST_F(X11ShareableContent, listsTopLevelWindowsWithoutAWindowManager) {
    auto own = ownWindow(windowAt(100, 120, 300, 200).titled("Backreel test ✓ window"));
    auto untitled = ownWindow(windowAt(10, 10, 50, 40));
    auto dock = ownWindow(windowAt(0, 1000, 400, 30).titled("dock").typed("_NET_WM_WINDOW_TYPE_DOCK"));
    auto popup = ownWindow(windowAt(20, 20, 30, 30).titled("popup").overrideRedirecting());
    auto hidden = ownWindow(windowAt(20, 20, 30, 30).titled("hidden").unmapped());
    HelperWindow helper(500, 300, 240, 160, "Helper pattern");
    ASSERT_NE(helper.id(), 0u) << "the helper window did not come up";

    X11CaptureService service(nullptr);
    Expected<ShareableContent> result = content(service);
    ASSERT_TRUE(result) << result.error().description.toStdString();
    const ShareableContent& listed = result.value();

    const Window* ownEntry = findWindow(listed, own->id());
    ASSERT_NE(ownEntry, nullptr);
    EXPECT_EQ(ownEntry->title, QStringLiteral("Backreel test ✓ window"));
    EXPECT_EQ(ownEntry->frame, QRectF(100, 120, 300, 200));
    EXPECT_EQ(ownEntry->windowLayer, 0);
    EXPECT_TRUE(ownEntry->isOnScreen);
    ASSERT_TRUE(ownEntry->owningApplication);
    EXPECT_EQ(ownEntry->owningApplication->processID, getpid());
    EXPECT_EQ(ownEntry->owningApplication->bundleIdentifier, kBundleIdentifier);
    EXPECT_EQ(ownEntry->owningApplication->applicationName, ownProcessName());

    const Window* helperEntry = findWindow(listed, helper.id());
    ASSERT_NE(helperEntry, nullptr);
    EXPECT_EQ(helperEntry->title, QStringLiteral("Helper pattern"));
    EXPECT_EQ(helperEntry->frame, QRectF(500, 300, 240, 160));
    ASSERT_TRUE(helperEntry->owningApplication);
    EXPECT_EQ(helperEntry->owningApplication->processID, helper.processID());
    EXPECT_EQ(helperEntry->owningApplication->bundleIdentifier, QStringLiteral("x11_pattern_window"));
    EXPECT_EQ(helperEntry->owningApplication->applicationName,
              QStringLiteral("x11_pattern_win")); // comm: 15 chars

    const Window* untitledEntry = findWindow(listed, untitled->id());
    ASSERT_NE(untitledEntry, nullptr);
    EXPECT_FALSE(untitledEntry->title.has_value());
    const Window* dockEntry = findWindow(listed, dock->id());
    ASSERT_NE(dockEntry, nullptr);
    EXPECT_EQ(dockEntry->windowLayer, x11::window_layer::kDock);
    EXPECT_EQ(findWindow(listed, popup->id()), nullptr) << "override-redirect windows are no client windows";
    EXPECT_EQ(findWindow(listed, hidden->id()), nullptr)
        << "unmapped windows are withdrawn without a manager";

    // Bottom-to-top: the helper was mapped last, so it comes after our window.
    EXPECT_LT(ownEntry - listed.windows.data(), helperEntry - listed.windows.data());

    // One application per process, ourselves included.
    int ownCount = 0;
    int helperCount = 0;
    for (const RunningApplication& application : listed.applications) {
        ownCount += application.processID == getpid() ? 1 : 0;
        helperCount += application.processID == helper.processID() ? 1 : 0;
    }
    EXPECT_EQ(ownCount, 1);
    EXPECT_EQ(helperCount, 1);

    // The window server: the same windows, front-most first, with their owners.
    X11WindowServer windowServer;
    const std::vector<WindowServerEntry> entries = windowServer.windowList();
    auto position = [&](std::uint32_t id) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].windowNumber == id) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    ASSERT_GE(position(helper.id()), 0);
    ASSERT_GE(position(own->id()), 0);
    EXPECT_LT(position(helper.id()), position(own->id()));
    EXPECT_EQ(position(hidden->id()), -1);
    const WindowServerEntry& ownServerEntry = entries[static_cast<std::size_t>(position(own->id()))];
    EXPECT_EQ(ownServerEntry.bounds, QRectF(100, 120, 300, 200));
    EXPECT_EQ(ownServerEntry.ownerProcessID, getpid());
    EXPECT_EQ(ownServerEntry.layer, 0);
    EXPECT_EQ(entries[static_cast<std::size_t>(position(dock->id()))].layer, x11::window_layer::kDock);

    // Raising our window brings it to the front.
    own->raise();
    const std::vector<WindowServerEntry> raised = windowServer.windowList();
    ASSERT_FALSE(raised.empty());
    EXPECT_EQ(raised.front().windowNumber, own->id());
}

TEST_F(X11ShareableContent, failsClearlyWithoutADisplay) {
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    X11CaptureService service(nullptr);
    Expected<ShareableContent> unset = content(service);
    qputenv("DISPLAY", ":4095"); // a display nobody serves
    Expected<ShareableContent> refused = content(service);
    qputenv("DISPLAY", display);
    ASSERT_FALSE(unset);
    EXPECT_TRUE(unset.error().description.contains(QStringLiteral("can't be opened")));
    EXPECT_EQ(unset.error().domain, QStringLiteral("X11"));
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().description.contains(QStringLiteral("can't be opened")));
    EXPECT_TRUE(refused.error().description.contains(QStringLiteral(":4095")));
}

} // namespace
} // namespace backreel::test
