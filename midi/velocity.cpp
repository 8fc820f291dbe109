#include "velocity.h"

#include "settings.h"

#include <QStringList>

#include <algorithm>

namespace {
constexpr int kDefaultNormal = 70;
constexpr int kDefaultGhost = 50;
constexpr int kDefaultAccent = 100;
constexpr int kMaxDrumText = 511; // the stored value is read into a buffer of this size


int Truncate(double v) { return int(v); }
int ClampSlider(int s) { return std::clamp(s, 0, 100); }
// Inverted slider: base at position 100, base + span at position 0.
int FromInverted(int s, int base, int span) { return Truncate(double(100 - ClampSlider(s)) / 100 * span + base); }
int ToInverted(int v, int base, int span) { return ClampSlider(100 - ((v - base) * 100) / span); }
}

SDrumVolumes::SDrumVolumes()
{
    for (auto& g : m_velocity)
        g = {kDefaultNormal, kDefaultGhost, kDefaultAccent};
}

QString SDrumVolumes::ToText() const
{
    QStringList fields;
    fields << QString::number(m_flamGap) << QString::number(m_flamPreVolume);
    for (const auto& g : m_velocity)
        for (int v : g)
            fields << QString::number(v);
    return fields.join(QLatin1Char(','));
}

int SDrumVolumes::FromText(const QString& text)
{
    const QStringList fields = text.left(kMaxDrumText).split(QLatin1Char(','));
    int taken = 0;
    for (const QString& f : fields) {
        if (taken == kValueCount)
            break;
        bool ok = false;
        const int v = f.trimmed().toInt(&ok);
        if (!ok)
            break;
        // Stored values are held to what the dialog can set and a MIDI velocity can be.
        if (taken == 0)
            m_flamGap = std::clamp(v, 1, 10);
        else if (taken == 1)
            m_flamPreVolume = std::clamp(v, 10, 90);
        else
            m_velocity[size_t((taken - 2) / 3)][size_t((taken - 2) % 3)] = std::clamp(v, 1, 127);
        ++taken;
    }
    return taken;
}

SGuitarVolumes::SGuitarVolumes()
{
    for (auto& r : m_record)
        r = kFallbackGuitarVelocities;
}

QString SGuitarVolumes::ToText() const
{
    QString s;
    s.reserve(kRecordCount * 10);
    for (const auto& r : m_record)
        for (int8_t b : r)
            s += QStringLiteral("%1").arg(uint8_t(b), 2, 16, QLatin1Char('0'));
    return s;
}

int SGuitarVolumes::FromText(const QString& text)
{
    int taken = 0;
    for (int i = 0; i + 1 < text.size() && taken < kRecordCount * 5; i += 2) {
        const int hi = SettingsStore::HexDigitValue(text[i]);
        const int lo = SettingsStore::HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        // The bytes are unsigned; a velocity above 127 or of 0 is held to 1..127.
        m_record[size_t(taken / 5)][size_t(taken % 5)] = int8_t(std::clamp(hi * 16 + lo, 1, 127));
        ++taken;
    }
    return taken;
}

SDrumVolumes& DrumVolumes()
{
    static SDrumVolumes volumes;
    return volumes;
}

SGuitarVolumes& GuitarVolumes()
{
    static SGuitarVolumes volumes;
    return volumes;
}

void LoadDrumVolumes()
{
    QString text = SettingsStore::Read(QStringLiteral("drum_vol"));
    if (text.isEmpty())
        text = SettingsStore::Read(QStringLiteral("inst_cfg"));
    if (!text.isEmpty())
        DrumVolumes().FromText(text);
}

void SaveDrumVolumes()
{
    SettingsStore::Write(QStringLiteral("drum_vol"), DrumVolumes().ToText());
}

void LoadGuitarVolumes()
{
    const QString text = SettingsStore::Read(QStringLiteral("gtr_vol"));
    if (!text.isEmpty())
        GuitarVolumes().FromText(text);
}

void SaveGuitarVolumes()
{
    SettingsStore::Write(QStringLiteral("gtr_vol"), GuitarVolumes().ToText());
}

int DrumGroupOf(int key)
{
    switch (key) {
    case 38:
    case 40:
        return DrumGroup::Snare;
    case 51:
    case 59:
        return DrumGroup::Ride;
    case 53:
        return DrumGroup::RideBell;
    case 46:
        return DrumGroup::OpenHiHat;
    case 44:
        return DrumGroup::PedalHiHat;
    case 42:
        return DrumGroup::ClosedHiHat;
    case 49:
    case 57:
        return DrumGroup::Crash;
    case 52:
        return DrumGroup::China;
    case 56:
        return DrumGroup::Cowbell;
    case 35:
    case 36:
        return DrumGroup::BassDrum;
    case 55:
        return DrumGroup::Splash;
    case 37:
        return DrumGroup::SideStick;
    case 41:
    case 43:
    case 45:
    case 47:
    case 48:
    case 50:
        return DrumGroup::Toms;
    default:
        return DrumGroup::Other;
    }
}

namespace VolumeSlider {
int FlamGapFromSlider(int s) { return FromInverted(s, 1, 9); }
int FlamPreVolumeFromSlider(int s) { return Truncate(double(ClampSlider(s)) / 100 * 80 + 10); }
int NormalFromSlider(int s) { return FromInverted(s, 40, 60); }
int GhostFromSlider(int s) { return FromInverted(s, 20, 60); }
int AccentFromSlider(int s) { return FromInverted(s, 80, 40); }
int SliderFromFlamGap(int v) { return ToInverted(v, 1, 9); }
int SliderFromFlamPreVolume(int v) { return ClampSlider(((v - 10) * 100) / 80); }
int SliderFromNormal(int v) { return ToInverted(v, 40, 60); }
int SliderFromGhost(int v) { return ToInverted(v, 20, 60); }
int SliderFromAccent(int v) { return ToInverted(v, 80, 40); }
}
