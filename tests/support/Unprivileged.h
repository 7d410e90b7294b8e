#pragma once

#include <functional>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace tally::test {

// Runs `check` without root's privileges: root reads any folder, so permission cases mean
// nothing as root. As root it runs in a child process as nobody. `check` returns an empty
// text on success, else what went wrong; that text is returned.
inline std::string runUnprivileged(const std::function<std::string()>& check) {
    if (::geteuid() != 0) return check();
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string result = (::setgid(65534) == 0 && ::setuid(65534) == 0)
                                 ? check()
                                 : std::string("could not drop privileges");
        if (::write(fds[1], result.data(), result.size()) < 0) ::_exit(2);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string result;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) result += " (child failed)";
    return result;
}

}  // namespace tally::test
