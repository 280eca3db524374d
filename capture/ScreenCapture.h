#pragma once

// The X11 screen of the display that DISPLAY names, read through XCB: its size, its pixel format
// and its pixels, with the root window's GetImage.

#include <xcb/xcb.h>

#include <memory>
#include <string>

#include "capture/CaptureGeometry.h"
#include "capture/PixelFormat.h"
#include "capture/RgbImage.h"

namespace quorvel::capture {

class ScreenCapture {
  public:
    // Connects; CaptureFailure when there is no display or it cannot be reached.
    ScreenCapture();

    ScreenSize screenSize() const { return size_; }
    const PixelFormat& pixelFormat() const { return format_; }
    // The pixels of `area`, which lies within the screen; CaptureFailure when the server refuses
    // the request or the connection is lost.
    RgbImage read(const Rect& area) const;

  private:
    struct Disconnect {
        void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
    };

    std::string display_;
    std::unique_ptr<xcb_connection_t, Disconnect> connection_;
    xcb_window_t root_ = 0;
    ScreenSize size_;
    PixelFormat format_;
};

}  // namespace quorvel::capture
