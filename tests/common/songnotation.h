#pragma once
// Songs written in a compact notation for tests: "B" a 4/4 bar, "B3/4" another time
// signature, "R2x3" a measure repeat, "38@48" a note of key 38 at position 48.

#include "event.h"

#include <QStringList>

// Appends the items to the list; the first bar also gets firstBarBits (a tempo, say).
inline void AppendSongItems(CEventList& events, const QStringList& items, uint32_t firstBarBits = 0)
{
    bool first = true;
    for (const QString& item : items) {
        if (item.startsWith(QLatin1Char('B'))) {
            uint32_t num = 4, den = 4;
            if (item.size() > 1) {
                const QStringList sig = item.mid(1).split(QLatin1Char('/'));
                num = sig[0].toUInt();
                den = sig[1].toUInt();
            }
            AppendEvent(events, EventType::Bar | (first ? firstBarBits : 0), TimeSigWord(num, den));
            first = false;
        } else if (item.startsWith(QLatin1Char('R'))) {
            const QStringList nc = item.mid(1).split(QLatin1Char('x'));
            AppendEvent(events, EventType::RepeatPrevMeasures, RepeatPrevWord(nc[0].toUInt(), nc[1].toUInt()));
        } else {
            const QStringList kp = item.split(QLatin1Char('@'));
            AppendEvent(events, kp[0].toUInt(), kp[1].toUInt());
        }
    }
}

// The list in the same notation (the closing bar is a "B" too).
inline QStringList DescribeSong(const CEventList& events)
{
    QStringList out;
    for (const auto& ev : events) {
        if (ev.IsBar()) {
            const bool plain = ev.GetTimeSigNumerator() == 4 && ev.GetTimeSigDenominator() == 4;
            out << (plain ? QStringLiteral("B")
                          : QStringLiteral("B%1/%2").arg(ev.GetTimeSigNumerator()).arg(ev.GetTimeSigDenominator()));
        } else if (ev.IsRepeatPrev()) {
            out << QStringLiteral("R%1x%2").arg(ev.GetRepeatPrevNMeasures()).arg(ev.GetRepeatPrevCount());
        } else {
            out << QStringLiteral("%1@%2").arg(ev.GetEventType()).arg(ev.GetPosition());
        }
    }
    return out;
}

// "B 38@0 B" as items.
inline QStringList L(const char* text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); }
