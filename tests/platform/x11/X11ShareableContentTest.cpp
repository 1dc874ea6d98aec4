#include "platform/x11/X11WindowServer.h"
#include "X11TestSupport.h"

#include <QFile>
#include <unistd.h>

namespace backreel::test {
namespace {

using X11ShareableContent = X11Test;

TEST_F(X11ShareableContent, displaysAreTheRandRMonitorsAndTheMainOneIsPrimary) {
    const std::vector<Display>& displays = content_.displays;
    for (const Display& display : displays) {
        // The id is the monitor's name atom.
        EXPECT_EQ(display.displayID, internAtom(connection(), display.name.toUtf8().constData()));
        EXPECT_EQ(display.frame.size(), QSizeF(display.width, display.height));
    }
    if (displays.front().name == QStringLiteral("VIRT-1")) {
        // scripts/virtual-desktop --dual: VIRT-1 (primary) and VIRT-2 beside it, in that order.
        ASSERT_EQ(displays.size(), 2u);
        EXPECT_EQ(displays[1].name, QStringLiteral("VIRT-2"));
        EXPECT_EQ(displays[0].frame, QRectF(0, 0, displays[0].width, displays[0].height));
        EXPECT_EQ(displays[1].frame, QRectF(displays[0].width, 0, displays[1].width, displays[1].height));
    }
    EXPECT_EQ(X11WindowServer().mainDisplayID(), displays.front().displayID);
}

TEST_F(X11ShareableContent, listsTopLevelWindowsWithoutAWindowManager) {
    auto own = ownWindow(windowAt(100, 120, 300, 200, {}, "Backreel test ✓ window"));
    auto untitled = ownWindow(windowAt(10, 10, 50, 40));
    TestWindowOptions dockOptions = windowAt(0, 1000, 400, 30, {}, "dock");
    dockOptions.windowTypes = {"_NET_WM_WINDOW_TYPE_DOCK"};
    auto dock = ownWindow(dockOptions);
    TestWindowOptions popupOptions = windowAt(20, 20, 30, 30, {}, "popup");
    popupOptions.overrideRedirect = true;
    auto popup = ownWindow(popupOptions);
    TestWindowOptions hiddenOptions = windowAt(20, 20, 30, 30, {}, "hidden");
    hiddenOptions.map = false;
    auto hidden = ownWindow(hiddenOptions);
    HelperWindow helper(500, 300, 240, 160, "Helper pattern");
    ASSERT_NE(helper.id(), 0u) << "the helper window did not come up";

    Expected<ShareableContent> result = contentOf(*service_);
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
    QFile comm(QStringLiteral("/proc/self/comm"));
    ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
    EXPECT_EQ(ownEntry->owningApplication->applicationName, QString::fromLocal8Bit(comm.readAll()).trimmed());

    const Window* helperEntry = findWindow(listed, helper.id());
    ASSERT_NE(helperEntry, nullptr);
    EXPECT_EQ(helperEntry->title, QStringLiteral("Helper pattern"));
    EXPECT_EQ(helperEntry->frame, QRectF(500, 300, 240, 160));
    ASSERT_TRUE(helperEntry->owningApplication);
    EXPECT_EQ(helperEntry->owningApplication->processID, helper.processID());
    EXPECT_EQ(helperEntry->owningApplication->bundleIdentifier, QStringLiteral("x11_pattern_window"));
    EXPECT_EQ(helperEntry->owningApplication->applicationName,
              QStringLiteral("x11_pattern_win")); // comm: 15 chars

    ASSERT_NE(findWindow(listed, untitled->id()), nullptr);
    EXPECT_FALSE(findWindow(listed, untitled->id())->title.has_value());
    ASSERT_NE(findWindow(listed, dock->id()), nullptr);
    EXPECT_EQ(findWindow(listed, dock->id())->windowLayer, x11::window_layer::kDock);
    EXPECT_EQ(findWindow(listed, popup->id()), nullptr) << "override-redirect windows are no client windows";
    EXPECT_EQ(findWindow(listed, hidden->id()), nullptr)
        << "unmapped windows are withdrawn without a manager";
    // Bottom-to-top: the helper was mapped last, so it comes after our window.
    EXPECT_LT(ownEntry, helperEntry);
    // One application per process, ourselves included.
    for (const std::int64_t process : {std::int64_t{getpid()}, helper.processID()}) {
        EXPECT_EQ(std::count_if(listed.applications.begin(), listed.applications.end(),
                                [&](const RunningApplication& application) {
                                    return application.processID == process;
                                }),
                  1);
    }

    // The window server: the same windows, front-most first, with their owners.
    X11WindowServer windowServer;
    std::vector<WindowServerEntry> entries = windowServer.windowList();
    const auto entryOf = [&](std::uint32_t id) {
        return std::find_if(entries.begin(), entries.end(),
                            [&](const WindowServerEntry& entry) { return entry.windowNumber == id; });
    };
    ASSERT_NE(entryOf(own->id()), entries.end());
    ASSERT_NE(entryOf(helper.id()), entries.end());
    EXPECT_LT(entryOf(helper.id()), entryOf(own->id()));
    EXPECT_EQ(entryOf(hidden->id()), entries.end());
    EXPECT_EQ(entryOf(own->id())->bounds, QRectF(100, 120, 300, 200));
    EXPECT_EQ(entryOf(own->id())->ownerProcessID, getpid());
    EXPECT_EQ(entryOf(dock->id())->layer, x11::window_layer::kDock);
    // Raising our window brings it to the front.
    own->raise();
    entries = windowServer.windowList();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().windowNumber, own->id());
}

TEST_F(X11ShareableContent, failsClearlyWithoutADisplay) {
    Expected<ShareableContent> unset = [&] {
        const DisplayOverride none(std::nullopt);
        return contentOf(*service_);
    }();
    ASSERT_FALSE(unset);
    EXPECT_EQ(unset.error().domain, QStringLiteral("X11"));
    EXPECT_TRUE(unset.error().description.contains(QStringLiteral("can't be opened")));
    const DisplayOverride nobody(":4095"); // a display nobody serves
    Expected<ShareableContent> refused = contentOf(*service_);
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().description.contains(QStringLiteral("can't be opened")));
    EXPECT_TRUE(refused.error().description.contains(QStringLiteral(":4095")));
}

} // namespace
} // namespace backreel::test
