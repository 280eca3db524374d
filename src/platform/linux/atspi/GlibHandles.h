#pragma once

// Owning handles for the GLib objects this folder holds: each is released when its handle goes
// out of scope, on every path.

#include <gio/gio.h>

#include <memory>

namespace quorvel::atspi {

struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
// A GVariant that is owned (never a floating reference).
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct MainContextUnref {
    void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
using MainContextPtr = std::unique_ptr<GMainContext, MainContextUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

// Takes a child of a container as an owned handle.
inline VariantPtr childOf(GVariant* container, gsize index) {
    return VariantPtr(g_variant_get_child_value(container, index));
}

}  // namespace quorvel::atspi
