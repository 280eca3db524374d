#pragma once

// Why no screenshot could be made. The message is the caller's to read, so it says what went
// wrong in words, never in error codes.

#include <stdexcept>

namespace quorvel::capture {

class CaptureFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvel::capture
