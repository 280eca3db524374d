// Times the driver's observation of one application inside one process, run after run: the
// snapshot that ends every request (window list, frontmost application, permissions, the
// bounded accessibility tree and the focused element), less its 0.2 s pause. Prints one line
// per run: the milliseconds and the number of summarised nodes.
//
//   quorvel_observe_bench PID [RUNS]

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "main/Runtime.h"
#include "observe/Snapshot.h"
#include "platform/linux/x11/X11Platform.h"

namespace {

int summarised(const quorvel::Json& node) {
    int count = 0;
    for (const auto& [key, value] : node.items()) {
        if (key.rfind("AX", 0) == 0) {
            count = 1;
            break;
        }
    }
    if (node.contains("children")) {
        for (const quorvel::Json& child : node["children"]) {
            count += summarised(child);
        }
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quorvel_observe_bench PID [RUNS]\n");
        return 2;
    }
    quorvel::Pid pid = std::atoi(argv[1]);
    int runs = argc > 2 ? std::atoi(argv[2]) : 10;
    quorvel::X11Platform platform;
    quorvel::CancellationFlag flag{0};
    quorvel::Runtime runtime{platform, flag, {}};
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        quorvel::Json reply = quorvel::observationSnapshot(runtime, pid);
        std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        std::printf("%.1f %d\n", elapsed.count() - 200.0, summarised(reply["accessibility_tree"]));
    }
}
