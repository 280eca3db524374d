#include "observe/Snapshot.h"

#include <algorithm>

#include "observe/AccessibilityTree.h"
#include "observe/FocusedElement.h"
#include "target/WindowList.h"

namespace quorvel {

Json observationSnapshot(Runtime& runtime, std::optional<Pid> targetPid,
                         std::optional<Nanos> quietSince) {
    Platform& platform = runtime.platform;
    if (targetPid) {
        platform.expectReadsOf(*targetPid);
    }
    // Also after an empty batch; time that has passed quietly already counts.
    Nanos pause = observationPause;
    if (quietSince) {
        pause =
            std::clamp(*quietSince + observationPause - platform.now(), Nanos{0}, observationPause);
    }
    platform.sleep(pause);
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
    // Released when the snapshot returns, with every handle the walk made below it.
    ElementHandle application = platform.applicationElement(*targetPid);
    if (!application) {
        reply["accessibility_tree"] = Json::object();  // nothing of the target can be read
        return reply;
    }
    int budget = snapshotNodeBudget;
    Json walked = tree(runtime, application, 0, budget);
    addFocusedElement(runtime, *application, walked, reply);
    reply["accessibility_tree"] = std::move(walked);
    return reply;
}

}  // namespace quorvel
