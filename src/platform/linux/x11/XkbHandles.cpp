#include "platform/linux/x11/XkbHandles.h"

#include <cstdarg>

namespace quorvel::x11 {

namespace {

void discardLog(xkb_context*, xkb_log_level, const char*, va_list) {}

}  // namespace

XkbContextPtr quietXkbContext(bool withIncludes) {
    auto flags = XKB_CONTEXT_NO_ENVIRONMENT_NAMES;
    if (!withIncludes) {
        flags = static_cast<xkb_context_flags>(flags | XKB_CONTEXT_NO_DEFAULT_INCLUDES);
    }
    XkbContextPtr context(xkb_context_new(flags));
    if (context) {
        xkb_context_set_log_fn(context.get(), discardLog);
        xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    }
    return context;
}

}  // namespace quorvel::x11
