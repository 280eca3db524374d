#include <memory>

#include "main/Computer.h"

#ifdef __APPLE__
#include "platform/macos/MacPlatform.h"
#else
#include "platform/linux/DesktopChoice.h"
#endif

int main() {
    // Before anything else, the platform's connections included: a signal that arrives from
    // here on becomes a cancelled reply.
    quorvel::ComputerMain::installSignalHandlers();
#ifdef __APPLE__
    quorvel::MacPlatform platform;
    return quorvel::ComputerMain::main(platform);
#else
    // X11, KWin under Wayland, another Wayland compositor or no desktop: as the session says.
    std::unique_ptr<quorvel::Platform> platform = quorvel::makeLinuxPlatform();
    return quorvel::ComputerMain::main(*platform);
#endif
}
