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
    const backreel::test::TestDisplay display;
    if (!display.missing().empty()) {
        std::fprintf(stderr, "%s: %s\n", argv[0], display.missing().c_str());
        return 1;
    }
    backreel::test::TestWindowOptions options =
        backreel::test::windowAt(std::stoi(argv[1]), std::stoi(argv[2]), std::stoi(argv[3]),
                                 std::stoi(argv[4]), std::nullopt, argv[5]);
    const std::string kind = argc == 7 ? argv[6] : "";
    if (kind == "dock") {
        options.windowTypes = {"_NET_WM_WINDOW_TYPE_DOCK"};
        options.colour = backreel::test::kYellow;
    } else if (kind == "above") {
        options.states = {"_NET_WM_STATE_ABOVE"};
    }
    const backreel::test::TestWindow window(display.get(), options);
    std::printf("%u\n", window.id());
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
