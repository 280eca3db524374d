#include "main/Computer.h"
#include "platform/headless/HeadlessPlatform.h"

int main() {
    quorvel::HeadlessPlatform platform;
    return quorvel::ComputerMain::main(platform);
}
