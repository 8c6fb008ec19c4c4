#include "transports/CanDoorbell.h"
#include "platform/LogCategories.h"

#include <QDebug>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

TCanDoorbell::TCanDoorbell(std::function<void()> OnRing, QObject* Parent)
    : QObject(Parent), FOnRing(std::move(OnRing)) {
    FFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FFd < 0)
        throw std::runtime_error("cannot create the CAN wake-up channel");
    FNotifier = new QSocketNotifier(FFd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] {
        uint64_t n = 0;
        while (read(FFd, &n, sizeof n) < 0 && errno == EINTR) {
        }
        try {
            if (FOnRing)
                FOnRing();
        } catch (...) {
            qCWarning(lcCan) << "CAN: a wake-up handler failed";
        }
    });
}

TCanDoorbell::~TCanDoorbell() {
    delete FNotifier;
    close(FFd);
}

void TCanDoorbell::Ring() {
    const uint64_t one = 1;
    // A full counter (EAGAIN) still leaves the descriptor readable, so the ring is not lost.
    while (write(FFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}
