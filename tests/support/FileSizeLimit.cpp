#include "FileSizeLimit.h"

#include <cerrno>
#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int RunWithFileSizeLimit(uint64_t Bytes, const std::function<int()>& Body) {
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        // Past the limit a write fails with EFBIG instead of raising SIGXFSZ.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(Bytes), rlim_t(Bytes)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(125);
        // _exit: the child's copy of the test process must not run its exit handlers.
        ::_exit(Body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
