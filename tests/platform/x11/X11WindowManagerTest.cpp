// Runs under a window manager (scripts/virtual-desktop --wm, a ctest entry of its own): managed
// windows are listed from the manager's client list and captured inside the manager's frames.

#include "platform/x11/X11Geometry.h"
#include "platform/x11/X11WindowServer.h"
#include "X11TestSupport.h"

#include <algorithm>
#include <unistd.h>

namespace backreel::test {
namespace {

using namespace std::chrono_literals;

class X11WindowManager : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        if (IsSkipped()) {
            return;
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
        x11::XcbReply<xcb_get_property_reply_t> check(xcb_get_property_reply(
            connection(),
            xcb_get_property(connection(), 0, root_, internAtom(connection(), "_NET_SUPPORTING_WM_CHECK"),
                             XCB_ATOM_WINDOW, 0, 1),
            nullptr));
        if (!check || xcb_get_property_value_length(check.get()) < 4) {
            GTEST_SKIP() << "needs a window manager: run under scripts/virtual-desktop --wm";
        }
        // The manager announces itself a moment before it intercepts maps; a window mapped in
        // between is never managed. Wait until a probe window gets managed.
        bool managed = false;
        for (int attempt = 0; attempt < 10 && !managed; ++attempt) {
            TestWindow probe(connection(), windowAt(0, 0, 10, 10).titled("probe"));
            managed = waitUntil([&] { return isManaged(probe.id()); }, std::chrono::milliseconds(500));
        }
        ASSERT_TRUE(managed) << "the window manager manages no window";
    }

    bool isManaged(xcb_window_t window) {
        x11::XcbReply<xcb_get_property_reply_t> list(xcb_get_property_reply(
            connection(),
            xcb_get_property(connection(), 0, root_, internAtom(connection(), "_NET_CLIENT_LIST"),
                             XCB_ATOM_WINDOW, 0, 1024),
            nullptr));
        if (!list || list->format != 32) {
            return false;
        }
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
        const int count = xcb_get_property_value_length(list.get()) / 4;
        return std::find(ids, ids + count, window) != ids + count;
    }

    // Where the client window's top-left is on the root.
    QRectF clientRect(const TestWindow& window) {
        x11::XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            connection(), xcb_translate_coordinates(connection(), window.id(), root_, 0, 0), nullptr));
        return origin ? QRectF(origin->dst_x, origin->dst_y, window.width(), window.height()) : QRectF();
    }

    void sendToDesktop(const TestWindow& window, std::uint32_t desktop) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window.id();
        message.type = internAtom(connection(), "_NET_WM_DESKTOP");
        message.data.data32[0] = desktop;
        message.data.data32[1] = 2; // from a pager
        xcb_send_event(connection(), 0, root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
        sync(connection());
    }

    static std::string describe(const Expected<ShareableContent>& listed) {
        if (!listed) {
            return listed.error().description.toStdString();
        }
        std::string text = "listed:";
        for (const Window& window : listed.value().windows) {
            text += " " + std::to_string(window.windowID) + "=" +
                    window.title.value_or(QStringLiteral("-")).toStdString();
        }
        return text;
    }

    xcb_window_t root_ = XCB_WINDOW_NONE;
};

TEST_F(X11WindowManager, managedWindowsComeFromTheClientListWithoutDecorations) {
    auto normal = ownWindow(windowAt(100, 120, 300, 200).titled("managed"));
    auto above = ownWindow(windowAt(500, 120, 200, 100).titled("above").withState("_NET_WM_STATE_ABOVE"));
    auto elsewhere = ownWindow(windowAt(800, 120, 200, 100).titled("elsewhere"));
    X11CaptureService service(nullptr);
    // The manager reparents and lists the windows asynchronously.
    ASSERT_TRUE(waitUntil([&] {
        Expected<ShareableContent> listed = content(service);
        if (!listed) {
            return false;
        }
        for (const TestWindow* window : {normal.get(), above.get(), elsewhere.get()}) {
            const Window* entry = findWindow(listed.value(), window->id());
            if (entry == nullptr || !entry->isOnScreen) {
                return false;
            }
        }
        return true;
    })) << describe(content(service));
    Expected<ShareableContent> listed = content(service);
    ASSERT_TRUE(listed);
    const Window* managed = findWindow(listed.value(), normal->id());
    ASSERT_NE(managed, nullptr);
    EXPECT_EQ(managed->title, QStringLiteral("managed"));
    EXPECT_EQ(managed->frame, clientRect(*normal)); // the client area, inside the manager's frame
    EXPECT_EQ(managed->frame.size(), QSizeF(300, 200));
    EXPECT_EQ(managed->windowLayer, 0);
    EXPECT_TRUE(managed->isOnScreen);
    ASSERT_TRUE(managed->owningApplication);
    EXPECT_EQ(managed->owningApplication->processID, getpid());
    const Window* floating = findWindow(listed.value(), above->id());
    ASSERT_NE(floating, nullptr);
    EXPECT_EQ(floating->windowLayer, x11::window_layer::kAbove);

    // On another desktop: listed, but not on screen, and not in the window server's list.
    sendToDesktop(*elsewhere, 1);
    ASSERT_TRUE(waitUntil([&] {
        Expected<ShareableContent> moved = content(service);
        const Window* entry = moved ? findWindow(moved.value(), elsewhere->id()) : nullptr;
        return entry != nullptr && !entry->isOnScreen;
    }));
    X11WindowServer windowServer;
    const std::vector<WindowServerEntry> entries = windowServer.windowList();
    bool listedElsewhere = false;
    bool listedNormal = false;
    for (const WindowServerEntry& entry : entries) {
        listedElsewhere = listedElsewhere || entry.windowNumber == elsewhere->id();
        listedNormal = listedNormal || entry.windowNumber == normal->id();
    }
    EXPECT_FALSE(listedElsewhere);
    EXPECT_TRUE(listedNormal);
}

TEST_F(X11WindowManager, managedWindowIsCapturedAndOwnFramesAreLeftOut) {
    HelperWindow helper(100, 100, 400, 300, "managed pattern");
    X11CaptureService service(nullptr);
    const Window* found = nullptr;
    ShareableContent listed;
    ASSERT_TRUE(waitUntil([&] {
        Expected<ShareableContent> result = content(service);
        if (!result) {
            return false;
        }
        listed = result.value();
        found = findWindow(listed, helper.id());
        return found != nullptr && found->isOnScreen;
    }));
    const QRectF patternRect = found->frame;
    const Window target = *found;
    // Our own window, with the manager's decorations, over the middle of the pattern.
    auto ours = ownWindow(
        windowAt(static_cast<int>(patternRect.x()) + 50, static_cast<int>(patternRect.y()) + 50, 300, 200)
            .titled("ours")
            .solid(kYellow));
    std::this_thread::sleep_for(200ms); // mapped and framed by the manager

    SerialQueue queue("com.loopvane.capture.test");
    RecordingDelegate delegate;
    auto frames = std::make_shared<FrameCollector>();
    StreamConfiguration configuration;
    configuration.width = 400;
    configuration.height = 300;
    auto stream =
        service.createStream(ContentFilter::desktopIndependentWindow(target), configuration, &delegate);
    ASSERT_FALSE(stream->addStreamOutput(frames, StreamOutputType::screen, queue));
    ASSERT_FALSE(startAndWait(*stream));
    auto colourAt = [&](int x, int y) {
        const MediaSamplePtr sample = frames->latest();
        return sample && sample->imageBuffer() ? rgbAt(*sample->imageBuffer(), x, y) : 0xDEADBEEF;
    };
    EXPECT_TRUE(waitUntil([&] { return colourAt(100, 75) == kRed && colourAt(300, 225) == kWhite; }))
        << std::hex << colourAt(100, 75);
    stream.reset();

    // The display without our application: the pattern where our window and its frame are.
    RunningApplication self;
    for (const RunningApplication& application : listed.applications) {
        if (application.processID == getpid()) {
            self = application;
        }
    }
    const Display& display = listed.displays.front();
    configuration.width = display.width;
    configuration.height = display.height;
    frames = std::make_shared<FrameCollector>();
    stream = service.createStream(ContentFilter::display(display, {self}, {}), configuration, &delegate);
    ASSERT_FALSE(stream->addStreamOutput(frames, StreamOutputType::screen, queue));
    ASSERT_FALSE(startAndWait(*stream));
    const int x = static_cast<int>(patternRect.x());
    const int y = static_cast<int>(patternRect.y());
    EXPECT_TRUE(waitUntil([&] {
        return colourAt(x + 100, y + 75) == kRed && colourAt(x + 300, y + 75) == kGreen &&
               colourAt(x + 100, y + 225) == kBlue && colourAt(x + 300, y + 225) == kWhite;
    })) << std::hex
        << colourAt(x + 100, y + 75) << " " << colourAt(x + 300, y + 75);
    EXPECT_TRUE(delegate.errors().empty());
}

} // namespace
} // namespace backreel::test
