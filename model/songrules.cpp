#include "songrules.h"

void MarkShownTimeSignatures(CEventList& events)
{
    uint32_t previous = 0; // no time signature before the first measure
    for (auto& ev : events) {
        if (!ev.IsMeasure())
            continue;
        const uint32_t sig = ev.m_word2 & EventBits::TimeSigMask;
        if (ev.IsBar()) {
            if (sig != previous)
                ev.m_word2 |= EventBits::TimeSigShown;
            else
                ev.m_word2 &= ~EventBits::TimeSigShown;
        }
        previous = sig;
    }
}
