#pragma once

// Toolkits report positions in their own units: GTK 3 and Qt in screen coordinates divided by
// their scale (GDK_SCALE, QT_SCALE_FACTOR), GTK 4 relative to its own window. The X server's
// windows are in root pixels, the space of window bounds and of input. An application's
// accessible frame, set against the X window that shows it, gives the scale and the offset that
// take the toolkit's positions to the server's, window by window.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi/ObjectRef.h"

namespace quorvel::atspi {

// A top-level window of an application as the X server has it.
struct ServerWindow {
    std::uint32_t id = 0;
    std::string title;
    // The window manager's frame, decorations included, and the application's own window.
    Extents outer;
    Extents client;
};

// Server position = toolkit position × scale + offset.
struct FrameMapping {
    std::uint32_t window = 0;
    double scale = 1;
    double offsetX = 0;
    double offsetY = 0;
};

// The mapping of the accessible frame `frame` named `name` onto the one window among `windows`
// that shows it: a window whose size is the frame's scaled by a scale the toolkits use, plus at
// most an equal margin on every side (the shadow that a window drawing its own decorations
// keeps around itself). A title equal to the name, and then positions that are already the
// server's (no offset), pick among several; nothing when that still leaves a choice between
// windows that would place the frame differently, or when no window fits.
std::optional<FrameMapping> matchFrame(const Extents& frame, const std::string& name,
                                       const std::vector<ServerWindow>& windows);

// A rectangle the toolkit reported, in the server's pixels.
Extents onServer(const FrameMapping& mapping, const Extents& extents);

// Whether the rectangle `inner` has a part inside `outer`; one without a size counts as its
// top-left pixel.
bool overlaps(const Extents& inner, const Extents& outer);

// The text field of a spin button laid out in a row: without the two step buttons, each about as
// wide as the field is high, that GTK 3 puts at its end (their centre is where a click changes
// the value); a spin button of another shape unchanged.
Extents withoutStepButtons(const Extents& spinButton);

}  // namespace quorvel::atspi
