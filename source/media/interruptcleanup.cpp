#include "tsr/media/interruptcleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace tsr::media {

namespace {

// Fixed storage: the signal handler may only read memory that never moves or goes away.
struct Slot {
    std::atomic<int> state{0}; // 0 free, 1 being filled, 2 holds a path
    char path[4096];
};
Slot slots[32];

void RemoveAndEnd(int signal) {
    for (Slot& slot : slots)
        if (slot.state.load() == 2) unlink(slot.path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void InstallInterruptCleanup() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemoveAndEnd);
}

int RegisterTemporaryFile(const std::string& path) {
    if (path.size() >= sizeof slots[0].path) return -1;
    for (int i = 0; i < static_cast<int>(sizeof slots / sizeof slots[0]); ++i) {
        int expected = 0;
        if (slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void UnregisterTemporaryFile(int registration) {
    if (registration >= 0) slots[registration].state.store(0);
}

} // namespace tsr::media
