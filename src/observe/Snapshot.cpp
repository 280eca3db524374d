#include "observe/Snapshot.h"

#include "target/WindowList.h"

namespace quorvel {

Json observationSnapshot(Runtime& runtime, std::optional<Pid> targetPid) {
    Platform& platform = runtime.platform;
    platform.sleep(observationPause);  // also after an empty batch
    Json reply = Json::object();
    reply["ok"] = true;
    reply["windows"] = windows(platform, AllLayers::No);
    reply["foreground_pid"] = platform.frontmostPid().value_or(0);
    reply["accessibility"] = platform.accessibilityTrusted();
    reply["screen_capture"] = platform.screenCaptureAllowed();
    reply["coordinate_space"] = "global macOS logical points; top-left origin";
    if (!targetPid) {
        return reply;
    }
    reply["accessibility_tree"] = Json::object();
    return reply;
}

}  // namespace quorvel
