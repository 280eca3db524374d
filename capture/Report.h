#pragma once

// The one JSON line quorvel-capture prints on standard output instead of a PNG: what a capture
// makes (for --info), or why it made nothing.

#include <string>
#include <string_view>

#include "capture/CaptureGeometry.h"

namespace quorvel::capture {

// {"ok":true,"x":..,"y":..,"width":..,"height":..,"scale":..,"png_width":..,"png_height":..}
std::string infoLine(const CapturePlan& plan);
// {"ok":false,"error":"..."}; bytes that are not UTF-8 (from an argument, say) become U+FFFD.
std::string errorLine(std::string_view message);

}  // namespace quorvel::capture
