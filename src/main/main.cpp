#include "main/Computer.h"

#ifdef __APPLE__
#include "platform/macos/MacPlatform.h"
using SystemPlatform = quorvel::MacPlatform;
#else
#include "platform/linux/x11/X11Platform.h"
using SystemPlatform = quorvel::X11Platform;
#endif

int main() {
    // Before anything else, the platform's connections included: a signal that arrives from
    // here on becomes a cancelled reply.
    quorvel::ComputerMain::installSignalHandlers();
    SystemPlatform platform;
    return quorvel::ComputerMain::main(platform);
}
