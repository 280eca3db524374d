#include "platform/linux/common/ProcessTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace quorvel {

bool statDescribesLiveProcess(std::string_view statLine) {
    std::size_t nameEnd = statLine.rfind(')');
    if (nameEnd == std::string_view::npos || nameEnd + 2 >= statLine.size() ||
        statLine[nameEnd + 1] != ' ') {
        return false;
    }
    char state = statLine[nameEnd + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

bool processIsLive(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[1024];
    ssize_t got;
    do {
        got = ::read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    return got > 0 &&
           statDescribesLiveProcess(std::string_view(buffer, static_cast<std::size_t>(got)));
}

}  // namespace quorvel
