#pragma once

// An accessibility element of another process, as the seam hands it out: the element's one
// reference, released with the handle.

#include <ApplicationServices/ApplicationServices.h>

#include "platform/AttributeValue.h"
#include "platform/macos/CFHandle.h"

namespace quorvel::macos {

class AccessibilityElement final : public Element {
  public:
    explicit AccessibilityElement(CFHandle<AXUIElementRef> element)
        : element_(std::move(element)) {}
    AXUIElementRef ref() const { return element_.get(); }

  private:
    CFHandle<AXUIElementRef> element_;
};

}  // namespace quorvel::macos
