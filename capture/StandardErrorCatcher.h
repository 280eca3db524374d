#pragma once

// libxcb writes an X server's reason for refusing a connection straight to standard error, which
// quorvel-capture keeps empty. While a catcher lives, standard error is a pipe instead, and what
// was written there is the caller's to report.

#include <string>

namespace quorvel::capture {

class StandardErrorCatcher {
  public:
    StandardErrorCatcher();
    ~StandardErrorCatcher();
    StandardErrorCatcher(const StandardErrorCatcher&) = delete;
    StandardErrorCatcher& operator=(const StandardErrorCatcher&) = delete;

    // Puts standard error back and returns what was written meanwhile, as much as a pipe holds:
    // the pipe never blocks a writer, it drops what does not fit.
    std::string release();

  private:
    void restore() noexcept;

    bool catching_ = false;
    int saved_ = -1;   // the standard error to put back; -1 when it was closed
    int reader_ = -1;  // the pipe's end to read; -1 when standard error went to /dev/null
};

}  // namespace quorvel::capture
