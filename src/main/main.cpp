#include <memory>
#include <optional>

#include "main/Computer.h"

#ifdef __APPLE__
#include "platform/macos/MacPlatform.h"
#else
#include "platform/linux/DesktopChoice.h"
#endif

int main(int argc, char** argv) {
#ifndef __APPLE__
    // The driver's own helper processes, never started by a host.
    if (std::optional<int> status = quorvel::runAsHelper(argc, argv)) {
        return *status;
    }
#else
    (void)argc;
    (void)argv;
#endif
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
