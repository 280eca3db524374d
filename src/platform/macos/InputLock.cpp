#include "platform/macos/InputLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace quorvel::macos {

namespace {

std::string lockPath() {
    std::string folder = "/tmp/";
#ifdef _CS_DARWIN_USER_TEMP_DIR
    // The per-user folder that no other user can write in.
    char buffer[1024];
    std::size_t length = confstr(_CS_DARWIN_USER_TEMP_DIR, buffer, sizeof buffer);
    if (length > 0 && length <= sizeof buffer) {
        folder = buffer;
    }
#endif
    return folder + "quorvel-computer-input-" + std::to_string(getuid()) + ".lock";
}

}  // namespace

bool InputLock::claim() {
    if (file_ >= 0) {
        return true;
    }
    int file = open(lockPath().c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file < 0) {
        return true;
    }
    if (flock(file, LOCK_EX | LOCK_NB) != 0) {
        bool heldByAnother = errno == EWOULDBLOCK;
        close(file);
        return !heldByAnother;
    }
    file_ = file;
    return true;
}

void InputLock::release() {
    if (file_ >= 0) {
        close(file_);
        file_ = -1;
    }
}

}  // namespace quorvel::macos
