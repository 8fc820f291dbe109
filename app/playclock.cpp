#include "playclock.h"

#include <QElapsedTimer>

namespace {
const int64_t* g_manual = nullptr;
QElapsedTimer& RealClock()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}
}

int64_t PlayClock::NowMsecs()
{
    return g_manual ? *g_manual : RealClock().elapsed();
}

void PlayClock::UseManual(const int64_t* msecs)
{
    g_manual = msecs;
}

bool PlayClock::IsManual()
{
    return g_manual != nullptr;
}
