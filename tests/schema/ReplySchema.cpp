#include "ReplySchema.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

namespace quorvel::test {

namespace {

// One checker per test process, started on first use and ended with the process: Python and
// the schemas load once, not once per reply.
class SchemaChecker {
  public:
    SchemaChecker() {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(ends[1], 0);
            dup2(ends[1], 1);
            execl("/usr/bin/python3", "python3", "-B", QUORVEL_SCHEMA_CHECKER, QUORVEL_SCHEMA_DIR,
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ends[1]);
        if (pid_ < 0) {
            close(ends[0]);
            return;
        }
        socket_ = ends[0];
    }
    ~SchemaChecker() {
        if (socket_ >= 0) {
            close(socket_);  // the checker ends at the end of its input
            waitpid(pid_, nullptr, 0);
        }
    }
    SchemaChecker(const SchemaChecker&) = delete;
    SchemaChecker& operator=(const SchemaChecker&) = delete;

    std::string check(std::string line) {
        if (socket_ < 0) {
            return "the schema checker did not start";
        }
        if (line.empty() || line.back() != '\n') {
            line += '\n';
        }
        for (std::size_t sent = 0; sent < line.size();) {
            ssize_t wrote = send(socket_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
            if (wrote <= 0) {
                return "the schema checker stopped reading";
            }
            sent += static_cast<std::size_t>(wrote);
        }
        std::string answer;
        for (char c; answer.empty() || answer.back() != '\n';) {
            if (read(socket_, &c, 1) != 1) {
                return "the schema checker gave no answer (is python3-jsonschema installed?)";
            }
            answer += c;
        }
        answer.pop_back();
        return answer == "valid" ? std::string() : answer;
    }

  private:
    pid_t pid_ = -1;
    int socket_ = -1;
};

}  // namespace

std::string replySchemaViolation(const std::string& line) {
    static SchemaChecker checker;
    return checker.check(line);
}

}  // namespace quorvel::test
