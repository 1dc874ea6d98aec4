#include "platform/x11/X11WindowServer.h"
#include "X11TestSupport.h"

#include <unistd.h>

namespace backreel::test {
namespace {

using X11ShareableContent = X11Test;

TEST_F(X11ShareableContent, listsClientWindowsWithTheirOwnersAndTheWindowServerFrontMostFirst) {
    auto own = ownWindow({100, 120, 300, 200, {}, "Backreel test ✓ window"});
    auto dock = ownWindow({.y = 1000, .width = 400, .height = 30, .type = "_NET_WM_WINDOW_TYPE_DOCK"});
    auto popup = ownWindow({.width = 30, .height = 30, .title = "popup", .overrideRedirect = true});
    auto hidden = ownWindow({.width = 30, .height = 30, .title = "hidden", .map = false});
    HelperWindow helper(500, 300, 240, 160, "Helper pattern");
    ASSERT_NE(helper.id, 0u) << "the helper window did not come up";

    Expected<ShareableContent, CaptureError> result = await(service_->shareableContent());
    ASSERT_TRUE(result) << result.error().message.toStdString();
    const ShareableContent& listed = result.value();
    const Window* ownEntry = findWindow(listed, own->id());
    const Window* helperEntry = findWindow(listed, helper.id);
    const Window* dockEntry = findWindow(listed, dock->id());
    ASSERT_TRUE(ownEntry && helperEntry && dockEntry);
    ASSERT_TRUE(ownEntry->owningApplication && helperEntry->owningApplication);
    EXPECT_EQ(ownEntry->title, QStringLiteral("Backreel test ✓ window"));
    EXPECT_EQ(ownEntry->frame, QRectF(100, 120, 300, 200));
    EXPECT_EQ(*ownEntry->owningApplication,
              (RunningApplication{QStringLiteral("X11CaptureTest"), kApplicationID, getpid()}));
    // The program's name as the kernel keeps it (15 characters), its file's name as the identifier.
    EXPECT_EQ(*helperEntry->owningApplication,
              (RunningApplication{QStringLiteral("x11_pattern_win"), QStringLiteral("x11_pattern_window"),
                                  helper.pid()}));
    EXPECT_TRUE(!dockEntry->title && dockEntry->windowLayer == x11::window_layer::kDock);
    EXPECT_EQ(findWindow(listed, popup->id()), nullptr) << "override-redirect windows are no client windows";
    EXPECT_EQ(findWindow(listed, hidden->id()), nullptr)
        << "unmapped windows are withdrawn without a manager";
    EXPECT_LT(ownEntry, helperEntry) << "bottom to top: the helper was mapped last";
    for (const pid_t process : {getpid(), helper.pid()}) {
        EXPECT_EQ(std::ranges::count(listed.applications, process, &RunningApplication::processID), 1)
            << "one application per process";
    }

    // The window server: the same windows, front-most first, with their owners; the main display
    // is the primary monitor, listed first.
    EXPECT_EQ(X11WindowServer().mainDisplayID(), listed.displays.front().displayID);
    const std::vector<WindowServerEntry> entries = X11WindowServer().windowList();
    const auto entryOf = [&](std::uint32_t id) {
        return std::ranges::find(entries, id, &WindowServerEntry::windowNumber);
    };
    ASSERT_NE(entryOf(own->id()), entries.end());
    EXPECT_TRUE(entryOf(helper.id) < entryOf(own->id()) && entryOf(hidden->id()) == entries.end());
    EXPECT_EQ(*entryOf(own->id()), (WindowServerEntry{own->id(), 0, QRectF(100, 120, 300, 200), getpid()}));
}

TEST_F(X11ShareableContent, failsClearlyWithoutADisplay) {
    for (const std::optional<std::string>& display :
         {std::optional<std::string>(), std::optional<std::string>(":4095")}) {
        const DisplayOverride elsewhere(display); // none, or one nobody serves
        Expected<ShareableContent, CaptureError> content = await(service_->shareableContent());
        ASSERT_FALSE(content);
        EXPECT_TRUE(content.error().message.contains(QStringLiteral("Cannot connect to the X display")));
        EXPECT_TRUE(content.error().message.contains(QString::fromStdString(display.value_or(""))));
    }
}

} // namespace
} // namespace backreel::test
