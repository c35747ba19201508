#pragma once

#include <QString>

namespace NetnsGuard {

// True only inside the test namespace made by scripts/netns.sh: KELO_NETNS is set and
// every up, non-loopback IPv4 address lies in the test LAN 10.77.0.0/24. A test that
// sweeps must check this first, so it can never probe a real network.
bool insideTestLan(QString *why);

} // namespace NetnsGuard
