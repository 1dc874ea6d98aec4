// A window of another process: the pattern at the given place, or a yellow panel ("dock"), or one
// kept above the others ("above"); prints its id and lives until terminated.
// usage: x11_pattern_window X Y WIDTH HEIGHT TITLE [dock|above]

#include "XcbTestWindow.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    using namespace backreel::test;
    const backreel::x11::XcbConnectionPtr connection(xcb_connect(nullptr, nullptr));
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT TITLE [dock|above]\n", argv[0]);
        return 2;
    }
    if (xcb_connection_has_error(connection.get()) != 0) {
        std::fprintf(stderr, "%s: no X display\n", argv[0]);
        return 1;
    }
    const std::string kind = argc == 7 ? argv[6] : "";
    const TestWindow window(connection.get(),
                            {std::stoi(argv[1]), std::stoi(argv[2]), std::stoi(argv[3]), std::stoi(argv[4]),
                             kind == "dock" ? std::optional(kYellow) : std::nullopt, argv[5],
                             kind == "dock" ? "_NET_WM_WINDOW_TYPE_DOCK" : nullptr,
                             kind == "above" ? "_NET_WM_STATE_ABOVE" : nullptr});
    std::printf("%u\n", window.id());
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
