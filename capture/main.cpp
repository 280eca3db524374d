// quorvel-capture: a screenshot of the X11 desktop as a PNG on standard output, for the MCP
// server. With --info, one JSON line describing that PNG instead; on any failure, exit status 1
// and one JSON error line. Nothing is ever written to standard error.

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/Arguments.h"
#include "capture/CaptureFailure.h"
#include "capture/CaptureGeometry.h"
#include "capture/Downscale.h"
#include "capture/PngWriter.h"
#include "capture/Report.h"
#include "capture/ScreenCapture.h"

namespace {

using namespace quorvel::capture;

// Straight to the descriptor: a PNG is bytes, and nothing may stay behind in a buffer.
bool writeToStandardOutput(std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int fail(std::string_view message) noexcept {
    try {
        writeToStandardOutput(errorLine(message));
    } catch (...) {
        writeToStandardOutput(
            "{\"ok\":false,\"error\":\"Screen capture failed: out of memory\"}\n");
    }
    return 1;
}

int capture(std::span<const std::string_view> arguments) {
    CaptureOptions options = parseArguments(arguments);
    ScreenCapture screen;
    // --info answers for a capture that would work, so it refuses the same pixel formats.
    requireSupported(screen.pixelFormat());
    CapturePlan plan = planCapture(options, screen.screenSize());
    if (options.info) {
        return writeToStandardOutput(infoLine(plan)) ? 0 : 1;
    }
    RgbImage image = downscale(screen.read(plan.area), static_cast<std::size_t>(plan.pngWidth),
                               static_cast<std::size_t>(plan.pngHeight));
    // A reader that went away cannot be told; the status says it.
    return writeToStandardOutput(encodePng(image)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away makes a write fail rather than kill the process with a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        std::vector<std::string_view> arguments(argv + 1, argv + argc);
        return capture(arguments);
    } catch (const CaptureFailure& failure) {
        return fail(failure.what());
    } catch (const std::bad_alloc&) {
        return fail("Screen capture failed: out of memory");
    } catch (const std::exception& error) {
        return fail(std::string("Screen capture failed: ") + error.what());
    } catch (...) {
        return fail("Screen capture failed");
    }
}
