#include "barproperties.h"

#include "rondeldoc.h"

namespace {

bool IsStringTrack(uint32_t trackType) { return trackType != TrackType::Drums; }

QString RangeMessage(int low, int high)
{
    return QStringLiteral("Please enter an integer between %1 and %2.").arg(low).arg(high);
}

// The number at the start of the patch box; -1 when it does not start with a digit.
int LeadingNumber(const QString& text)
{
    int value = -1;
    for (QChar c : text.trimmed()) {
        if (c.unicode() < '0' || c.unicode() > '9')
            break;
        value = (value < 0 ? 0 : value) * 10 + (c.unicode() - '0');
        if (value > 100000)
            break; // far outside any patch; stop before it overflows
    }
    return value;
}

} // namespace

void SBarProperties::SetAlternateEnding(bool on)
{
    m_altEnding = on;
    if (!on)
        return;
    m_repeatEnd = m_repeatStart = m_repeatPreceding = false;
    m_measuresSpinEnabled = m_timesSpinEnabled = false;
    m_altEndSpinEnabled = true;
    if (m_altEndNumber < 1)
        m_altEndNumber = 1; // a measure that was no ending shows 0; 0 would mean "none"
}

void SBarProperties::SetRepeatGroupEnd(bool on)
{
    m_repeatEnd = on;
    if (!on)
        return;
    m_repeatStart = m_repeatPreceding = false;
    m_measuresSpinEnabled = m_timesSpinEnabled = false;
    m_altEndSpinEnabled = true;
}

void SBarProperties::SetRepeatGroupStart(bool on)
{
    m_repeatStart = on;
    if (!on)
        return;
    m_altEnding = m_repeatEnd = m_repeatPreceding = false;
    m_measuresSpinEnabled = m_timesSpinEnabled = m_altEndSpinEnabled = false;
}

void SBarProperties::SetRepeatPreceding(bool on)
{
    m_repeatPreceding = on;
    if (!on)
        return;
    m_altEnding = m_repeatEnd = m_repeatStart = false;
    m_measures = m_times = 1;
    m_measuresSpinEnabled = m_timesSpinEnabled = true;
    m_altEndSpinEnabled = false;
}

void SBarProperties::SetTimeSignature(int numerator, int denominator)
{
    m_numerator = numerator;
    m_denominator = denominator;
}

const std::array<STimeSigButton, 10>& TimeSigButtons()
{
    static const std::array<STimeSigButton, 10> buttons{{
        {"2/4", 2, 4, 1026},
        {"3/4", 3, 4, 1015},
        {"4/4", 4, 4, 1014},
        {"5/4", 5, 4, 1016},
        {"5/8", 5, 8, 1017},
        {"6/8", 6, 8, 1018},
        {"7/8", 7, 8, 1019},
        {"8/8", 8, 8, 1020},
        {"9/8", 9, 8, 1021},
        {"12/8", 12, 8, 1022},
    }};
    return buttons;
}

const std::array<const char*, 16>& PatchNames()
{
    static const std::array<const char*, 16> names{
        "24 Acoustic guitar (nylon)", "25 Acoustic guitar (steel)", "26 Electric guitar (jazz)",
        "27 Electric guitar (clean)", "28 Electric guitar (muted)", "29 Overdriven guitar",
        "30 Distortion guitar",       "31 Guitar harmonics",        "32 Acoustic bass",
        "33 Electric bass (finger)",  "34 Electric bass (pick)",    "35 Fretless bass",
        "36 Slap bass 1",             "37 Slap bass 2",             "38 Synth bass 1",
        "39 Synth bass 2"};
    return names;
}

QString PatchBoxText(int patch)
{
    if (patch >= 24 && patch <= 39)
        return QString::fromLatin1(PatchNames()[size_t(patch - 24)]);
    return QString::number(patch);
}

SBarProperties FillBarProperties(const CEvent& ev, uint32_t trackType)
{
    SBarProperties v;
    v.m_newLine = ev.m_word1 & EventBits::NewLine;
    v.m_newPage = ev.m_word1 & EventBits::NewPage;
    v.m_numerator = int(ev.GetTimeSigNumerator());
    v.m_denominator = int(ev.GetTimeSigDenominator());
    v.m_tempo = int(ev.GetTempo());
    if (ev.IsRepeatPrev()) {
        v.m_repeatPreceding = true;
        v.m_measures = int(ev.GetRepeatPrevNMeasures());
        v.m_times = int(ev.GetRepeatPrevCount());
        v.m_repeatStart = v.m_repeatEnd = v.m_altEnding = false;
    } else {
        v.m_repeatPreceding = false;
        v.m_measures = v.m_times = 0;
        v.m_repeatStart = ev.IsRepeatGroupStart();
        v.m_repeatEnd = ev.IsRepeatGroupEnd();
        v.m_altEndNumber = int(ev.GetRepeatGroupAltEnd());
        v.m_altEnding = v.m_altEndNumber != 0;
    }
    v.m_text = ev.GetText().left(CEvent::kMaxSavedText);
    // Any patch the measure carries is shown, so that OK keeps it.
    if (IsStringTrack(trackType) && (ev.m_word1 & EventBits::PatchPresent))
        v.m_patch = PatchBoxText(int(ev.GetPatch()));
    v.m_measuresSpinEnabled = v.m_timesSpinEnabled = v.m_repeatPreceding;
    v.m_altEndSpinEnabled = v.m_altEnding;
    return v;
}

QString CheckBarProperties(const SBarProperties& v, uint32_t trackType)
{
    if (v.m_tempo < 0 || v.m_tempo > 255)
        return RangeMessage(0, 255);
    if (v.m_numerator < 1 || v.m_numerator > 63)
        return RangeMessage(1, 63);
    switch (v.m_denominator) {
    case 1: case 2: case 4: case 8: case 16: case 32: break;
    default: return QStringLiteral("Please enter a denominator of 1, 2, 4, 8, 16 or 32.");
    }
    if (v.m_repeatPreceding) {
        if (v.m_measures < 1 || v.m_measures > 15)
            return RangeMessage(1, 15);
        if (v.m_times < 1 || v.m_times > 63)
            return RangeMessage(1, 63);
    } else if (v.m_altEnding && !v.m_repeatStart && !v.m_repeatEnd) {
        if (v.m_altEndNumber < 1 || v.m_altEndNumber > 15)
            return RangeMessage(1, 15);
    }
    if (IsStringTrack(trackType) && !v.m_patch.trimmed().isEmpty()) {
        const int patch = LeadingNumber(v.m_patch);
        if (patch < 0 || patch > 127)
            return RangeMessage(0, 127);
    }
    return {};
}

CEvent* ApplyBarProperties(CRondelDoc& doc, EventPos node, const SBarProperties& v, QString* error)
{
    if (const QString why = CheckBarProperties(v, doc.m_trackType); !why.isEmpty()) {
        if (error)
            *error = why;
        return nullptr;
    }
    CEventList& events = doc.Events();
    if (v.m_insertNewMeasure)
        node = events.insert(node, std::make_unique<CEvent>(EventType::Bar, TimeSigWord(4, 4)));
    CEvent& ev = *node;

    auto setBit = [](uint32_t& word, uint32_t bit, bool on) { word = on ? (word | bit) : (word & ~bit); };
    setBit(ev.m_word1, EventBits::NewLine, v.m_newLine);
    setBit(ev.m_word1, EventBits::NewPage, v.m_newPage);
    ev.m_word2 = (ev.m_word2 & ~EventBits::TimeSigMask) | TimeSigWord(uint32_t(v.m_numerator), uint32_t(v.m_denominator));
    if (v.m_tempo != 0)
        ev.m_word1 = (ev.m_word1 & ~EventBits::TempoMask) | TempoBits(uint32_t(v.m_tempo));
    else
        ev.m_word1 &= ~EventBits::TempoPresent; // the old tempo bits stay, unused
    ev.SetText(v.m_text);

    if (v.m_repeatPreceding) {
        ev.m_word1 = (ev.m_word1 & ~EventBits::TypeMask) | EventType::RepeatPrevMeasures;
        ev.m_word2 &= ~(EventBits::RepeatNHigh | EventBits::RepeatNLowMask | EventBits::RepeatCountMask);
        ev.m_word2 |= (uint32_t(v.m_measures & 7) << EventBits::RepeatNShift);
        if (v.m_measures > 7)
            ev.m_word2 |= EventBits::RepeatNHigh;
        ev.m_word2 |= uint32_t(v.m_times) << EventBits::RepeatCountShift;
        // A measure repeat is never the last event: the song keeps a closing bar line.
        if (std::next(node) == events.end())
            AppendEvent(events, EventType::Bar, ev.m_word2 & EventBits::TimeSigMask);
    } else {
        ev.m_word1 = (ev.m_word1 & ~EventBits::TypeMask) | EventType::Bar;
        ev.m_word2 &= ~(EventBits::RepeatGroupStart | EventBits::RepeatGroupEnd | EventBits::AltEndMask);
        if (v.m_repeatStart)
            ev.m_word2 |= EventBits::RepeatGroupStart;
        else if (v.m_repeatEnd)
            ev.m_word2 |= EventBits::RepeatGroupEnd;
        else if (v.m_altEnding)
            ev.m_word2 |= uint32_t(v.m_altEndNumber) << EventBits::AltEndShift;
    }

    if (IsStringTrack(doc.m_trackType) && !v.m_patch.trimmed().isEmpty())
        ev.m_word1 = (ev.m_word1 & ~EventBits::PatchMask) | PatchBits(uint32_t(LeadingNumber(v.m_patch)));

    doc.CommitEdit();
    return &ev;
}
