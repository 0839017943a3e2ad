#include "no_terminal.h"

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace trevox::testing_support {

void give_up_controlling_terminal() {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return;
    }
    // A session leader giving up its terminal hangs up its own process group.
    struct sigaction ignore {};
    struct sigaction old {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, &old);
    ::ioctl(fd, TIOCNOTTY);
    ::sigaction(SIGHUP, &old, nullptr);
    ::close(fd);
}

} // namespace trevox::testing_support
