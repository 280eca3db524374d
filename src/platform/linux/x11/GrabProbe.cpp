#include "platform/linux/x11/GrabProbe.h"

namespace quorvel::x11 {

bool heldByAnother(const std::uint8_t* status) {
    return !status || *status == XCB_GRAB_STATUS_ALREADY_GRABBED ||
           *status == XCB_GRAB_STATUS_FROZEN;
}

GrabProbe::Questions GrabProbe::ask(const XConnection& connection) {
    if (!connection.usable()) {
        return {};
    }
    xcb_connection_t* xcb = connection.xcb();
    if (window_ == XCB_NONE) {
        window_ = xcb_generate_id(xcb);
        xcb_create_window(xcb, 0, window_, connection.root(), -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    Questions questions;
    questions.asked = true;
    questions.keyboard = xcb_grab_keyboard(xcb, 0, window_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC);
    questions.pointer = xcb_grab_pointer(xcb, 0, window_, 0, XCB_GRAB_MODE_ASYNC,
                                         XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME);
    return questions;
}

ActiveGrabs GrabProbe::answer(const XConnection& connection, const Questions& questions) {
    if (!questions.asked) {
        return {true, true};
    }
    ReplyPtr<xcb_grab_keyboard_reply_t> keyboard =
        connection.reply<xcb_grab_keyboard_reply_t>(questions.keyboard);
    ReplyPtr<xcb_grab_pointer_reply_t> pointer =
        connection.reply<xcb_grab_pointer_reply_t>(questions.pointer);
    // The window is never mapped, so neither grab can succeed; were one to, it is let go at once.
    if (keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_keyboard(connection.xcb(), XCB_CURRENT_TIME);
    }
    if (pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_pointer(connection.xcb(), XCB_CURRENT_TIME);
    }
    return {heldByAnother(keyboard ? &keyboard->status : nullptr),
            heldByAnother(pointer ? &pointer->status : nullptr)};
}

}  // namespace quorvel::x11
