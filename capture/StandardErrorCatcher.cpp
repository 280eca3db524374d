#include "capture/StandardErrorCatcher.h"

#include <fcntl.h>
#include <unistd.h>

namespace quorvel::capture {

StandardErrorCatcher::StandardErrorCatcher() {
    int ends[2];
    int writer = -1;
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        reader_ = ends[0];
        writer = ends[1];
    } else {
        writer = open("/dev/null", O_WRONLY | O_CLOEXEC);  // silence, without the words
    }
    if (writer < 0) {
        return;
    }
    saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    catching_ = dup2(writer, STDERR_FILENO) == STDERR_FILENO;
    close(writer);
}

StandardErrorCatcher::~StandardErrorCatcher() {
    restore();
    if (reader_ >= 0) {
        close(reader_);
    }
}

void StandardErrorCatcher::restore() noexcept {
    if (catching_) {
        // Closed before, closed again: a socket opened meanwhile never became standard error.
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
        } else {
            close(STDERR_FILENO);
        }
        catching_ = false;
    }
    if (saved_ >= 0) {
        close(saved_);
        saved_ = -1;
    }
}

std::string StandardErrorCatcher::release() {
    restore();
    std::string caught;
    if (reader_ < 0) {
        return caught;
    }
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(reader_, buffer, sizeof buffer)) > 0) {
        caught.append(buffer, static_cast<std::size_t>(count));
    }
    close(reader_);
    reader_ = -1;
    return caught;
}

}  // namespace quorvel::capture
