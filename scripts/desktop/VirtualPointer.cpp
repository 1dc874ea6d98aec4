// A mouse for a headless sway, which has no input device and so offers clients no pointer: plugs a
// virtual pointer into the compositor's seat (wlr-virtual-pointer-unstable-v1) and moves it, its
// events going through the compositor's own pointer handling as a real mouse's do.
//
// usage: backreel_virtual_pointer             stays plugged in until killed (prints "ready")
//        backreel_virtual_pointer ACTION...   does each, 50 ms apart: X,Y (goes to that point of
//                                             the 1920x1080 output), press or release (left button)

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <wayland-client.h>

namespace {

// The protocol's interfaces as far as this program uses them: the pointer's requests up to frame.
const wl_message pointerRequests[] = {{"motion", "uff", nullptr},
                                      {"motion_absolute", "uuuuu", nullptr},
                                      {"button", "uuu", nullptr},
                                      {"axis", "uuf", nullptr},
                                      {"frame", "", nullptr}};
const wl_interface pointerInterface = {"zwlr_virtual_pointer_v1", 1, 5, pointerRequests, 0, nullptr};
const wl_interface* createTypes[] = {&wl_seat_interface, &pointerInterface};
const wl_message managerRequests[] = {{"create_virtual_pointer", "?on", createTypes}};
const wl_interface managerInterface = {"zwlr_virtual_pointer_manager_v1", 1, 1, managerRequests, 0, nullptr};
enum Request : std::uint32_t { motionAbsolute = 1, button = 2, frame = 4 };

struct Globals {
    wl_seat* seat = nullptr;
    wl_proxy* manager = nullptr;
};

void announced(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr) {
        globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, managerInterface.name) == 0) {
        globals->manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &managerInterface, 1));
    }
}
void removed(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener = {announced, removed};

} // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    Globals globals;
    if (display != nullptr) {
        wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &globals);
        wl_display_roundtrip(display);
    }
    if (globals.seat == nullptr || globals.manager == nullptr) {
        std::fprintf(stderr, "virtual pointer: no Wayland display with a seat and %s\n",
                     managerInterface.name);
        return 1;
    }
    wl_proxy* pointer =
        wl_proxy_marshal_constructor(globals.manager, 0, &pointerInterface, globals.seat, nullptr);
    wl_display_roundtrip(display);
    if (argc == 1) {
        std::printf("ready\n");
        std::fflush(stdout);
        while (wl_display_dispatch(display) != -1) {
        }
    }
    for (int i = 1; i < argc; ++i) {
        const auto time = static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                         std::chrono::steady_clock::now().time_since_epoch())
                                                         .count());
        const std::string action = argv[i];
        unsigned x = 0;
        unsigned y = 0;
        if (action == "press" || action == "release") {
            wl_proxy_marshal(pointer, button, time, 0x110u /* BTN_LEFT */, action == "press" ? 1u : 0u);
        } else if (std::sscanf(argv[i], "%u,%u", &x, &y) == 2) {
            wl_proxy_marshal(pointer, motionAbsolute, time, x, y, 1920u, 1080u);
        } else {
            std::fprintf(stderr, "virtual pointer: unknown action '%s'\n", argv[i]);
            return 2;
        }
        wl_proxy_marshal(pointer, frame);
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}
