#pragma once

namespace backreel::portal {

// Tells the desktop portal which application this is, where it offers the host registry (newer
// portals): desktops bind shortcuts and hand out restore tokens only for an application they can
// identify, and a process started from a terminal has no other way to say it. Sent before any
// other portal call on the session bus; without the registry it changes nothing.
void registerWithPortal();

} // namespace backreel::portal
