#pragma once
// The values of the "Bar (measure) Control" dialog and the rules behind it: filling them from a
// measure's opening event, the exclusive repeat choices, the range checks, and applying
// confirmed values to the song. The dialog itself only shows these values and calls these
// functions.

#include "event.h"

#include <QString>

#include <array>

class CRondelDoc;

struct SBarProperties
{
    bool m_insertNewMeasure = false;
    QString m_text;
    bool m_newLine = false;
    bool m_altEnding = false;
    bool m_repeatEnd = false;
    bool m_repeatStart = false;
    bool m_repeatPreceding = false;
    int m_altEndNumber = 1;
    int m_times = 1;    // GetRepeatPrevCount
    int m_measures = 1; // GetRepeatPrevNMeasures
    bool m_newPage = false;
    int m_tempo = 0; // 0 = use the song's or the previous tempo
    QString m_patch; // the patch box: "34 Electric bass (pick)", a number, or empty
    QString m_scale; // shown, has no effect
    int m_numerator = 4;
    int m_denominator = 4;

    bool m_measuresSpinEnabled = false;
    bool m_timesSpinEnabled = false;
    bool m_altEndSpinEnabled = false;

    // The exclusive choices, run when the user ticks a box (turning one off changes nothing
    // else).
    void SetAlternateEnding(bool on);
    void SetRepeatGroupEnd(bool on);
    void SetRepeatGroupStart(bool on);
    void SetRepeatPreceding(bool on);
    void SetTimeSignature(int numerator, int denominator);
};

struct STimeSigButton
{
    const char* caption;
    int numerator;
    int denominator;
    int controlId;
};
const std::array<STimeSigButton, 10>& TimeSigButtons();

// "24 Acoustic guitar (nylon)" to "39 Synth bass 2", the list of the patch box.
const std::array<const char*, 16>& PatchNames();
// What the patch box shows for a patch: its name from the list for 24 to 39, else the number.
QString PatchBoxText(int patch);

// The values the dialog opens with for the measure opened by `ev`.
SBarProperties FillBarProperties(const CEvent& ev, uint32_t trackType);
// The range checks made on OK. Empty when the values can be applied, else the message to show
// while the dialog stays open. Beyond the tempo (0-255) this refuses what the event fields
// cannot hold: a numerator outside 1-63, a denominator other than 1, 2, 4, 8, 16 or 32, and on
// guitar and bass tracks a patch box that does not start with a number from 0 to 127; the
// repeat numbers are checked while their boxes are ticked.
QString CheckBarProperties(const SBarProperties& values, uint32_t trackType);
// OK: applies checked values to the measure opened at `node` (or to a new 4/4 measure inserted
// before it) and commits the change. Returns the event that was changed, or nullptr (and
// *error) when CheckBarProperties refused the values; nothing is changed then.
CEvent* ApplyBarProperties(CRondelDoc& doc, EventPos node, const SBarProperties& values, QString* error = nullptr);
