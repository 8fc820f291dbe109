#pragma once
// Builds drum songs event by event for the view tests.

#include "event.h"
#include "rondeldoc.h"

#include <QString>

class CSongBuilder
{
public:
    explicit CSongBuilder(CRondelDoc& doc) : m_events(doc.Events()) { m_events.clear(); }

    CSongBuilder& Bar(uint32_t num = 4, uint32_t den = 4, uint32_t word1 = 0, uint32_t word2 = 0)
    {
        AppendEvent(m_events, EventType::Bar | word1, TimeSigWord(num, den) | word2);
        return *this;
    }
    // A note at a tick (32nd index); flags are EventBits of the first word.
    CSongBuilder& Note(int key, int tick, uint32_t flags = 0) { return At(key, uint32_t(tick) * 12, flags); }
    // A note at a position (12 units to a 32nd).
    CSongBuilder& At(int key, uint32_t position, uint32_t flags = 0)
    {
        AppendEvent(m_events, uint32_t(key) | flags, position);
        return *this;
    }
    CSongBuilder& Rest(int tick, uint32_t flags = 0) { return Note(int(EventType::Rest), tick, flags); }
    CSongBuilder& RepeatPrev(uint32_t n, uint32_t count)
    {
        AppendEvent(m_events, EventType::RepeatPrevMeasures, RepeatPrevWord(n, count));
        return *this;
    }
    CSongBuilder& Text(const QString& text)
    {
        m_events.back().SetText(text);
        return *this;
    }
    // A bar of the plain rock beat: eighth hi-hats, snare on 2 and 4, bass on 1 and 3.
    CSongBuilder& RockBar()
    {
        Bar();
        for (int t = 0; t < 32; t += 4) {
            Note(42, t);
            if (t == 0 || t == 16)
                Note(36, t);
            if (t == 8 || t == 24)
                Note(38, t);
        }
        return *this;
    }
    CSongBuilder& Close() { return Bar(); }

private:
    CEventList& m_events;
};
