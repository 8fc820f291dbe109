#include "midi_click.h"

#include "settings.h"

#include <QString>

#include <algorithm>

SClickOptions& ClickOptions()
{
    static SClickOptions options;
    return options;
}

void LoadClickOptions()
{
    SClickOptions& o = ClickOptions();
    o.m_click = SettingsStore::Read(QStringLiteral("click")) == QLatin1String("1");
    o.m_countIn = SettingsStore::Read(QStringLiteral("count_in")) == QLatin1String("1");
}

void SaveClickOptions()
{
    const SClickOptions& o = ClickOptions();
    SettingsStore::Write(QStringLiteral("click"), o.m_click ? QStringLiteral("1") : QStringLiteral("0"));
    SettingsStore::Write(QStringLiteral("count_in"), o.m_countIn ? QStringLiteral("1") : QStringLiteral("0"));
}

namespace Click {

std::vector<int> BeatOffsets(int numerator, int denominator, int barTicks)
{
    std::vector<int> out;
    if (barTicks <= 0)
        return out;
    if (numerator <= 0) {
        out.push_back(0);
        return out;
    }
    const bool powerOfTwo = denominator >= 1 && denominator <= 32 && (denominator & (denominator - 1)) == 0;
    if (!powerOfTwo) {
        // A meter the notation cannot really hold: the bar split evenly.
        const int unit = std::max(1, barTicks / numerator);
        for (int t = 0; t < barTicks && int(out.size()) < numerator; t += unit)
            out.push_back(t);
        return out;
    }
    const int unit = 384 / denominator;
    std::vector<int> groups; // units per beat
    if (denominator <= 4 || numerator <= 3) {
        groups.assign(size_t(numerator), 1);
    } else if (numerator % 3 == 0) {
        groups.assign(size_t(numerator / 3), 3);
    } else {
        groups.assign(size_t(numerator / 2), 2);
        if (numerator % 2)
            groups.back() = 3;
    }
    int t = 0;
    for (int g : groups) {
        if (t >= barTicks)
            break;
        out.push_back(t);
        t += g * unit;
    }
    return out;
}

std::vector<SClickEvent> BarClicks(int64_t barStart, int numerator, int denominator, int barTicks)
{
    const std::vector<int> beats = BeatOffsets(numerator, denominator, barTicks);
    std::vector<SClickEvent> out;
    out.reserve(beats.size() * 2);
    for (size_t i = 0; i < beats.size(); ++i) {
        const int next = i + 1 < beats.size() ? beats[i + 1] : barTicks;
        // Held at most half the way to the next beat, so the release never meets it.
        const int length = std::clamp((next - beats[i]) / 2, 1, kMaxLength);
        const bool accent = i == 0;
        out.push_back({barStart + beats[i], uint8_t(accent ? kAccentNote : kBeatNote), uint8_t(accent ? kAccentVelocity : kBeatVelocity)});
        out.push_back({barStart + beats[i] + length, uint8_t(accent ? kAccentNote : kBeatNote), 0});
    }
    return out;
}

}
