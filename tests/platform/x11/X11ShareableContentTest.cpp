#include "platform/x11/X11WindowServer.h"
#include "X11TestSupport.h"

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

    // The window server: the same windows, front-most first; the main display is listed first.
    EXPECT_EQ(X11WindowServer().mainDisplayID(), listed.displays.front().displayID);
    const std::vector<WindowServerEntry> entries = X11WindowServer().windowList();
    const auto entryOf = [&](std::uint32_t id) {
        return std::ranges::find(entries, id, &WindowServerEntry::windowNumber);
    };
    ASSERT_NE(entryOf(own->id()), entries.end());
    EXPECT_TRUE(entryOf(helper.id) < entryOf(own->id()) && entryOf(hidden->id()) == entries.end());
    EXPECT_EQ(*entryOf(own->id()), (WindowServerEntry{own->id(), 0, QRectF(100, 120, 300, 200), getpid()}));

    for (const std::optional<std::string>& display :
         {std::optional<std::string>(), std::optional<std::string>(":4095")}) {
        const DisplayOverride elsewhere(display); // none, or one nobody serves
        Expected<ShareableContent, CaptureError> content = await(service_->shareableContent());
        ASSERT_FALSE(content);
        EXPECT_TRUE(content.error().message.contains(QStringLiteral("Cannot connect to the X display")));
        EXPECT_TRUE(content.error().message.contains(QString::fromStdString(display.value_or(""))));
    }
}

// Under a window manager (--wm): windows listed from its client list and captured inside its frames.

class X11WindowManager : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // The manager announces itself before it intercepts maps: wait until a probe is managed.
        bool managed = false;
        for (int attempt = 0; attempt < 10 && !managed; ++attempt) {
            const TestWindow probe(connection(), {0, 0, 10, 10, {}, "probe"});
            managed = waitUntil([&] { return listed(probe.id(), true) != nullptr; }, 500ms);
        }
        if (!managed) {
            GTEST_SKIP() << "no window manager manages windows: run under scripts/virtual-desktop --wm";
        }
    }

    // The window as the content lists it, once it is (or is not) on screen; content_ is the list.
    const Window* listed(std::uint32_t id, bool onScreen) {
        Expected<ShareableContent, CaptureError> listed = await(service_->shareableContent());
        content_ = listed ? listed.value() : ShareableContent{};
        const Window* window = findWindow(content_, id);
        return window != nullptr && window->isOnScreen == onScreen ? window : nullptr;
    }
    const Window* waitUntilListed(std::uint32_t id, bool onScreen = true) {
        const Window* window = nullptr;
        waitUntil([&] { return (window = listed(id, onScreen)) != nullptr; });
        return window;
    }
};

TEST_F(X11WindowManager, managedWindowsComeFromTheClientListWithoutDecorations) {
    auto normal = ownWindow({100, 120, 300, 200, {}, "managed"});
    auto above = ownWindow({.x = 500, .y = 120, .title = "above", .state = "_NET_WM_STATE_ABOVE"});
    auto elsewhere = ownWindow({800, 120, 200, 100, {}, "elsewhere"});
    ASSERT_TRUE(waitUntilListed(above->id()) && waitUntilListed(elsewhere->id()));
    const Window* managed = waitUntilListed(normal->id());
    ASSERT_NE(managed, nullptr);
    EXPECT_EQ(managed->title, QStringLiteral("managed"));
    const x11::XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        connection(),
        xcb_translate_coordinates(connection(), normal->id(), screenOf(connection())->root, 0, 0), nullptr));
    ASSERT_TRUE(origin);
    EXPECT_EQ(managed->frame, QRectF(origin->dst_x, origin->dst_y, 300, 200));
    ASSERT_TRUE(managed->owningApplication);
    EXPECT_EQ(managed->owningApplication->processID, getpid());
    EXPECT_EQ(findWindow(content_, above->id())->windowLayer, x11::window_layer::kAbove);

    // Sent to another desktop: listed, but not on screen, and not in the window server's list.
    ASSERT_TRUE(runProgram({"xdotool", "set_desktop_for_window", std::to_string(elsewhere->id()), "1"}));
    ASSERT_TRUE(waitUntilListed(elsewhere->id(), false));
    const std::vector<WindowServerEntry> serverList = X11WindowServer().windowList();
    EXPECT_EQ(std::ranges::count(serverList, elsewhere->id(), &WindowServerEntry::windowNumber), 0);
    EXPECT_EQ(std::ranges::count(serverList, normal->id(), &WindowServerEntry::windowNumber), 1);
}

TEST_F(X11WindowManager, aCoveredManagedWindowIsCapturedFittedWithBarsAndOurFramedWindowsAreLeftOut) {
    HelperWindow helper(100, 100, 400, 300, "managed pattern");
    const Window* found = waitUntilListed(helper.id);
    ASSERT_NE(found, nullptr);
    const Window target = *found;
    const int x = static_cast<int>(target.frame.x());
    const int y = static_cast<int>(target.frame.y());
    // Our own window, with the manager's decorations, over the middle of the pattern.
    auto ours = ownWindow({x + 50, y + 50, 300, 200, kYellow, "ours"});
    ASSERT_NE(waitUntilListed(ours->id()), nullptr);

    // Covered, into a wider frame: its own content, with black bars.
    auto stream = start(ContentFilter::window(target), settings(800, 300));
    ASSERT_TRUE(stream && waitForPattern(200, 0, 400, 300)) << std::hex << colourAt(300, 75);
    EXPECT_TRUE(colourAt(100, 150) == 0u && colourAt(700, 150) == 0u);
    // The display without our application: the pattern where our window and its frame are.
    stream = start(displayFilter(true),
                   settings(content_.displays.front().width, content_.displays.front().height));
    ASSERT_TRUE(stream && waitForPattern(x, y, 400, 300)) << std::hex << colourAt(x + 100, y + 75);
    EXPECT_TRUE(ends_.empty());
}

} // namespace
} // namespace backreel::test
