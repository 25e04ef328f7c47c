#include "stopsignals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "errors.h"

namespace velmor {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kWaitSlots = 32;

std::atomic<int> stoppedBy{0};
std::atomic<int> undoableWrites{0};
std::atomic<OnStop> onStop{OnStop::Signal};
// The threads waiting on a stream, and the signal that interrupts them: one of the
// program's own, so that its handler does nothing and no other call sees EINTR.
std::atomic<pthread_t> waiting[kWaitSlots];
int wakeSignal = 0;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pthread_t>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

[[noreturn]] void endNow(int signal) {
    if (onStop.load() == OnStop::ExitStatus) ::_exit(128 + signal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    // Inside the handler the signal is blocked until unblocked here.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::_exit(128 + signal);
}

void onStopSignal(int signal) {
    const int savedErrno = errno;
    if (undoableWrites.load() == 0) endNow(signal);
    int none = 0;
    stoppedBy.compare_exchange_strong(none, signal);
    for (auto& slot : waiting) {
        const pthread_t thread = slot.load();
        if (thread != pthread_t{}) ::pthread_kill(thread, wakeSignal);
    }
    errno = savedErrno;
}

void onWake(int) {}

}  // namespace

void installStopSignals(OnStop how) {
    onStop = how;
    wakeSignal = SIGRTMIN;
    struct sigaction wake {};
    wake.sa_handler = onWake;  // no SA_RESTART: the interrupted call fails with EINTR
    sigemptyset(&wake.sa_mask);
    ::sigaction(wakeSignal, &wake, nullptr);
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    stop.sa_flags = SA_RESTART;
    sigemptyset(&stop.sa_mask);
    for (int signal : kStopSignals) sigaddset(&stop.sa_mask, signal);
    for (int signal : kStopSignals) ::sigaction(signal, &stop, nullptr);
}

int stopSignal() {
    return stoppedBy.load(std::memory_order_relaxed);
}

void checkStopSignal() {
    if (stopSignal() != 0) throw EAbort();
}

void endIfStopped() {
    if (const int signal = stopSignal()) endNow(signal);
}

void beginUndoableWrite() {
    undoableWrites.fetch_add(1);
}

void endUndoableWrite() {
    undoableWrites.fetch_sub(1);
}

StreamWait::StreamWait() {
    const pthread_t self = ::pthread_self();
    for (int i = 0; i < kWaitSlots; ++i) {
        pthread_t none{};
        if (waiting[i].compare_exchange_strong(none, self)) {
            slot_ = i;
            break;
        }
    }
    // A stop that came before the wait began is not missed.
    if (stopSignal() != 0) {
        if (slot_ >= 0) waiting[slot_] = pthread_t{};
        throw EAbort();
    }
}

StreamWait::~StreamWait() {
    if (slot_ >= 0) waiting[slot_] = pthread_t{};
}

}  // namespace velmor
