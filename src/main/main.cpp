#include "main/Computer.h"
#include "platform/linux/LinuxPlatform.h"

int main() {
    quorvel::ComputerMain::installSignalHandlers();
    quorvel::LinuxPlatform platform;
    return quorvel::ComputerMain::main(platform);
}
