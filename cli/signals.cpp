// Catching the terminating signals: the handler only notes which came.
#include "signals.h"

#include <initializer_list>

volatile std::sig_atomic_t caughtSignal = 0;

namespace {

void onSignal(int s) {
    caughtSignal = s;
}

} // namespace

void catchTerminatingSignals() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(s, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}
