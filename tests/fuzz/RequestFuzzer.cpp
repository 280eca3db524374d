// libFuzzer entry: arbitrary bytes through the whole request path on an in-memory desktop drawn
// from the same bytes; any broken promise is a crash that libFuzzer keeps.

#include <cstdio>
#include <cstdlib>

#include "RequestCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string broken = quorvel::fuzz::checkRequest(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
