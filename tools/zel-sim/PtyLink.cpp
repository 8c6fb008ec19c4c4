#include "PtyLink.h"

#include "SimSession.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zelsim {

namespace {
// Output waiting for a slow or absent reader is capped; beyond it whole writes are dropped,
// as bytes on a line nobody listens to would be.
constexpr size_t MaxPending = 1 << 20;
} // namespace

TPtyLink::TPtyLink(TDispatcher& Dispatcher, QObject* Parent) : QObject(Parent), FDispatcher(Dispatcher) {}

TPtyLink::~TPtyLink() {
    Close();
}

bool TPtyLink::Open(const std::string& LinkPath, std::string& Error) {
    auto fail = [&](const std::string& what) {
        Error = "pty: " + what + ": " + std::strerror(errno);
        Close();
        return false;
    };
    FMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (FMaster < 0)
        return fail("posix_openpt");
    if (grantpt(FMaster) != 0 || unlockpt(FMaster) != 0)
        return fail("unlockpt");
    const char* name = ptsname(FMaster);
    if (!name)
        return fail("ptsname");
    FPath = name;
    FSlave = ::open(name, O_RDWR | O_NOCTTY);
    if (FSlave < 0)
        return fail("open " + FPath);
    // Raw until the console sets its own mode; above all no echo of our answers back to us.
    termios t{};
    if (tcgetattr(FSlave, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(FSlave, TCSANOW, &t);
    }
    if (tcgetattr(FMaster, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(FMaster, TCSANOW, &t);
    }
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);

    if (!LinkPath.empty()) {
        struct stat st {};
        if (::lstat(LinkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                errno = EEXIST;
                return fail(LinkPath + " exists and is not a symbolic link");
            }
            ::unlink(LinkPath.c_str());
        }
        if (::symlink(FPath.c_str(), LinkPath.c_str()) != 0)
            return fail("symlink " + LinkPath);
        FLinkPath = LinkPath;
    }

    FSession = std::make_unique<TSimSession>(FDispatcher, "pty", *this);
    FReadNotifier = new QSocketNotifier(FMaster, QSocketNotifier::Read, this);
    connect(FReadNotifier, &QSocketNotifier::activated, this, [this] { ReadMaster(); });
    FWriteNotifier = new QSocketNotifier(FMaster, QSocketNotifier::Write, this);
    FWriteNotifier->setEnabled(false);
    connect(FWriteNotifier, &QSocketNotifier::activated, this, [this] { Flush(); });
    return true;
}

void TPtyLink::Close() {
    FSession.reset();
    delete FReadNotifier;
    delete FWriteNotifier;
    FReadNotifier = FWriteNotifier = nullptr;
    if (!FLinkPath.empty()) {
        // Only remove the link if it still points at our terminal.
        char target[512];
        const ssize_t n = ::readlink(FLinkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)) == FPath)
            ::unlink(FLinkPath.c_str());
        FLinkPath.clear();
    }
    if (FSlave >= 0)
        ::close(FSlave);
    if (FMaster >= 0)
        ::close(FMaster);
    FSlave = FMaster = -1;
}

void TPtyLink::ReadMaster() {
    uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(FMaster, buf, sizeof buf);
        if (n > 0) {
            if (FSession)
                FSession->Receive(buf, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: drained
    }
}

void TPtyLink::WriteBytes(const uint8_t* Data, size_t Count, bool /*Separate*/) {
    if (FMaster < 0)
        return;
    if (!FPending.empty()) {
        if (FPending.size() + Count <= MaxPending)
            FPending.append(reinterpret_cast<const char*>(Data), Count);
        return;
    }
    ssize_t n;
    do {
        n = ::write(FMaster, Data, Count);
    } while (n < 0 && errno == EINTR);
    const size_t done = n > 0 ? size_t(n) : 0;
    if (done < Count) {
        FPending.assign(reinterpret_cast<const char*>(Data) + done, Count - done);
        FWriteNotifier->setEnabled(true);
    }
}

void TPtyLink::Flush() {
    while (!FPending.empty()) {
        const ssize_t n = ::write(FMaster, FPending.data(), FPending.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        FPending.erase(0, size_t(n));
    }
    FWriteNotifier->setEnabled(false);
}

} // namespace zelsim
