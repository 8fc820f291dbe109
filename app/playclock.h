#pragma once
// The clock the transport reads: the real monotonic clock, or a manual one that tests (and
// offline work) advance by hand.

#include <cstdint>

namespace PlayClock {
int64_t NowMsecs();
// Points the clock at *msecs (not owned); nullptr returns to the real clock.
void UseManual(const int64_t* msecs);
bool IsManual();
}
