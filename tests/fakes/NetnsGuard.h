#pragma once

#include <QString>

namespace NetnsGuard {

// True only inside the test namespace made by scripts/netns.sh: KELO_NETNS is set and
// every up, non-loopback IPv4 address lies in the test LAN 10.77.0.0/24. A test that
// sweeps must check this first, so it can never probe a real network.
bool insideTestLan(QString *why);

// The first step of a suite that sweeps or starts the whole program: unsets the proxy
// variables, and gives why the suite must not go on here ("refusing to <what>: ..."), or
// an empty text inside the test LAN.
QString refusalOutsideTestLan(const char *what);

} // namespace NetnsGuard

// Fails the test function at once outside the test LAN; what is "sweep", "start the program".
#define KELO_REQUIRE_TEST_LAN(what)                                                                \
    do {                                                                                           \
        const QString refusal_ = NetnsGuard::refusalOutsideTestLan(what);                          \
        if (!refusal_.isEmpty())                                                                   \
            QFAIL(qPrintable(refusal_));                                                           \
    } while (false)
