#include "main/Computer.h"
#include "platform/linux/LinuxPlatform.h"

int main() {
    quorvel::LinuxPlatform platform;
    return quorvel::ComputerMain::main(platform);
}
