#include "platform/linux/x11/InputClaim.h"

#include <string_view>

namespace quorvel::x11 {

namespace {

constexpr std::string_view selectionName = "_QUORVEL_COMPUTER_INPUT";

}  // namespace

bool InputClaim::claim() {
    if (owner_ != XCB_NONE) {
        return true;
    }
    if (!connection_.usable()) {
        return false;
    }
    xcb_connection_t* xcb = connection_.xcb();
    if (selection_ == XCB_NONE) {
        ReplyPtr<xcb_intern_atom_reply_t> atom = connection_.reply<xcb_intern_atom_reply_t>(
            xcb_intern_atom(xcb, 0, selectionName.size(), selectionName.data()));
        if (!atom) {
            return false;
        }
        selection_ = atom->atom;
    }
    // Asking and taking must be one step, or two drivers could both find the selection free.
    bool wasGrabbed = connection_.grabbed();
    connection_.grabServer();
    ReplyPtr<xcb_get_selection_owner_reply_t> current =
        connection_.reply<xcb_get_selection_owner_reply_t>(
            xcb_get_selection_owner(xcb, selection_));
    if (current && current->owner == XCB_NONE) {
        owner_ = xcb_generate_id(xcb);
        xcb_create_window(xcb, 0, owner_, connection_.root(), -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(xcb, owner_, selection_, XCB_CURRENT_TIME);
    }
    if (!wasGrabbed) {
        connection_.ungrabServer();
    }
    connection_.flush();
    return owner_ != XCB_NONE;
}

void InputClaim::release() {
    if (owner_ == XCB_NONE || !connection_.usable()) {
        return;
    }
    // The server gives the selection up with its owner window, and only if it is still ours.
    xcb_destroy_window(connection_.xcb(), owner_);
    owner_ = XCB_NONE;
    connection_.flush();
}

}  // namespace quorvel::x11
