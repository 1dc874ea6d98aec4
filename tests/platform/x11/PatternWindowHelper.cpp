// A window of another process for the X11 tests: shows the four-quadrant pattern at the given
// place, prints its window id, and lives until it is terminated (the X server then takes the
// window away with the connection).
//
// usage: x11_pattern_window X Y WIDTH HEIGHT TITLE [dock|above]
//   dock   a panel (_NET_WM_WINDOW_TYPE_DOCK) in one colour, yellow
//   above  a window kept above the others (_NET_WM_STATE_ABOVE)

#include "XcbTestWindow.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT TITLE [dock|above]\n", argv[0]);
        return 2;
    }
    backreel::x11::XcbConnectionPtr connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()) != 0) {
        std::fprintf(stderr, "%s: can't open the display\n", argv[0]);
        return 1;
    }
    backreel::test::TestWindowOptions options;
    options.x = static_cast<std::int16_t>(std::stoi(argv[1]));
    options.y = static_cast<std::int16_t>(std::stoi(argv[2]));
    options.width = static_cast<std::uint16_t>(std::stoi(argv[3]));
    options.height = static_cast<std::uint16_t>(std::stoi(argv[4]));
    options.title = argv[5];
    const std::string kind = argc == 7 ? argv[6] : "";
    if (kind == "dock") {
        options = options.typed("_NET_WM_WINDOW_TYPE_DOCK").solid(backreel::test::kYellow);
    } else if (kind == "above") {
        options = options.withState("_NET_WM_STATE_ABOVE");
    }
    backreel::test::TestWindow window(connection.get(), options);
    std::printf("%u\n", window.id());
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
