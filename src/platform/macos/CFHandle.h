#pragma once

// One owner for one CoreFoundation reference (CoreGraphics' events and the accessibility types
// are CoreFoundation objects too): released exactly once, when the owner goes, and never when
// it holds nothing, because CFRelease of null crashes.

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

namespace quorvel::macos {

template <class Ref>
class CFHandle {
  public:
    CFHandle() = default;
    // Takes over the reference that a Create or Copy call returned.
    static CFHandle adopt(Ref ref) {
        CFHandle handle;
        handle.ref_ = ref;
        return handle;
    }
    // Takes a reference of its own to what a Get call lent.
    static CFHandle retain(Ref ref) {
        if (ref) {
            CFRetain(ref);
        }
        return adopt(ref);
    }

    CFHandle(CFHandle&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    CFHandle& operator=(CFHandle&& other) noexcept {
        if (this != &other) {
            reset();
            ref_ = std::exchange(other.ref_, nullptr);
        }
        return *this;
    }
    CFHandle(const CFHandle&) = delete;
    CFHandle& operator=(const CFHandle&) = delete;
    ~CFHandle() { reset(); }

    Ref get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

  private:
    void reset() {
        if (ref_) {
            CFRelease(ref_);
            ref_ = nullptr;
        }
    }

    Ref ref_ = nullptr;
};

}  // namespace quorvel::macos
