#pragma once

// One driver's input at a time for one user: an advisory lock on a file in the user's own
// temporary folder. The kernel lets go of it with the process, whatever its end, so a driver
// that dies never leaves the desktop claimed.

namespace quorvel::macos {

class InputLock {
  public:
    InputLock() = default;
    InputLock(const InputLock&) = delete;
    InputLock& operator=(const InputLock&) = delete;
    ~InputLock() { release(); }

    // True once this process holds the lock, or when no lock can be taken at all (every batch
    // would otherwise wait out its deadline); false while another driver holds it.
    bool claim();
    void release();

  private:
    int file_ = -1;
};

}  // namespace quorvel::macos
