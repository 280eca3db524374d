#include "capture/ScreenCapture.h"

#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "capture/CaptureFailure.h"
#include "capture/StandardErrorCatcher.h"

namespace quorvel::capture {

namespace {

// Frees what XCB allocated for a reply or an error.
struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <class Reply>
using Owned = std::unique_ptr<Reply, FreeDeleter>;

const xcb_screen_t* screenNumbered(const xcb_setup_t* setup, int number) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int index = 0; screens.rem > 0 && index < number; ++index) {
        xcb_screen_next(&screens);
    }
    return screens.rem > 0 ? screens.data : nullptr;
}

// The first line of what libxcb wrote: the server's reason, in its own words, cut short.
std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    return line.substr(0, 200);
}

std::optional<xcb_visualtype_t> visualOf(const xcb_screen_t& screen, xcb_visualid_t id) {
    for (xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data);
             visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == id) {
                return *visuals.data;
            }
        }
    }
    return std::nullopt;
}

std::optional<xcb_format_t> pixmapFormatOf(const xcb_setup_t* setup, std::uint8_t depth) {
    for (xcb_format_iterator_t formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth) {
            return *formats.data;
        }
    }
    return std::nullopt;
}

// The root window's layout as the setup describes it; the bits per pixel and pad stay 0 when the
// setup lists no format for the depth, which requireSupported then refuses.
PixelFormat rootPixelFormat(const xcb_setup_t* setup, const xcb_screen_t& screen) {
    PixelFormat format;
    format.depth = screen.root_depth;
    format.bitsPerPixel = 0;
    format.scanlinePad = 0;
    format.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    if (std::optional<xcb_format_t> pixmap = pixmapFormatOf(setup, screen.root_depth)) {
        format.bitsPerPixel = pixmap->bits_per_pixel;
        format.scanlinePad = pixmap->scanline_pad;
    }
    std::optional<xcb_visualtype_t> visual = visualOf(screen, screen.root_visual);
    format.trueColor = visual && visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR;
    if (visual) {
        format.redMask = visual->red_mask;
        format.greenMask = visual->green_mask;
        format.blueMask = visual->blue_mask;
    }
    return format;
}

}  // namespace

ScreenCapture::ScreenCapture() {
    // Without DISPLAY XCB would fall back on nothing useful; say so in the caller's words.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        throw CaptureFailure("Screen capture is not possible: no display (DISPLAY is not set)");
    }
    display_ = display;
    int screenNumber = 0;
    StandardErrorCatcher serverReason;
    connection_.reset(xcb_connect(display, &screenNumber));
    std::string reason = firstLine(serverReason.release());
    if (!connection_ || xcb_connection_has_error(connection_.get())) {
        throw CaptureFailure("Screen capture is not possible: cannot connect to the X display " +
                             display_ + (reason.empty() ? "" : " (" + reason + ")"));
    }
    const xcb_setup_t* setup = xcb_get_setup(connection_.get());
    const xcb_screen_t* screen = screenNumbered(setup, screenNumber);
    if (!screen) {
        throw CaptureFailure("Screen capture is not possible: the X display " + display_ +
                             " has no screen " + std::to_string(screenNumber));
    }
    root_ = screen->root;
    size_ = {screen->width_in_pixels, screen->height_in_pixels};
    format_ = rootPixelFormat(setup, *screen);
}

RgbImage ScreenCapture::read(const Rect& area) const {
    requireSupported(format_);
    xcb_get_image_cookie_t cookie = xcb_get_image(
        connection_.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<std::int16_t>(area.x),
        static_cast<std::int16_t>(area.y), static_cast<std::uint16_t>(area.width),
        static_cast<std::uint16_t>(area.height), ~std::uint32_t{0});
    xcb_generic_error_t* rawError = nullptr;
    Owned<xcb_get_image_reply_t> reply(xcb_get_image_reply(connection_.get(), cookie, &rawError));
    Owned<xcb_generic_error_t> error(rawError);
    if (error) {
        // A security policy (an untrusted client, say) answers with an error, not an image.
        throw CaptureFailure("Screen capture is not allowed: the X server refused GetImage");
    }
    if (!reply) {
        throw CaptureFailure("Screen capture is not possible: the connection to the X display " +
                             display_ + " was lost");
    }
    if (reply->depth != format_.depth) {
        throw CaptureFailure("Screen capture failed: the X server sent an image of depth " +
                             std::to_string(reply->depth) + ", not the root window's " +
                             std::to_string(format_.depth));
    }
    std::span<const std::uint8_t> data(
        xcb_get_image_data(reply.get()),
        static_cast<std::size_t>(xcb_get_image_data_length(reply.get())));
    return decodeZPixmap(data, static_cast<std::size_t>(area.width),
                         static_cast<std::size_t>(area.height), format_);
}

}  // namespace quorvel::capture
