#pragma once

// Owning handles for libxkbcommon's objects, and a context that stays silent: the library logs
// to standard error by default, and the driver never writes there.

#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace quorvel::x11 {

struct XkbUnref {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using XkbContextPtr = std::unique_ptr<xkb_context, XkbUnref>;
using XkbKeymapPtr = std::unique_ptr<xkb_keymap, XkbUnref>;
using XkbStatePtr = std::unique_ptr<xkb_state, XkbUnref>;

// A context that takes no names from the environment and logs nothing. Keymaps read from the
// server need no include path; `withIncludes` gives the system's, for keymaps compiled from
// layout names. Null when the library could not make one.
XkbContextPtr quietXkbContext(bool withIncludes = false);

}  // namespace quorvel::x11
