#pragma once
// One event of a song: a measure opener (BAR, REPEAT_PREV_MEASURES), a note or a rest.
// Two saved 32-bit words hold every musical fact; see the masks below for their fields.
// A note is 16 bytes: the two words, its import reference and the handle of the side record
// that measures keep their layout and timing words and their text in.
// Positions are in units of 12 to a 32nd note (96 to a quarter); a tick is a 32nd index.

#include "eventextras.h"
#include "eventpool.h"

#include <QString>

#include <cstdint>
#include <list>
#include <memory>

class CArchive;

namespace EventType {
inline constexpr uint32_t Rest = 1;
inline constexpr uint32_t FirstNote = 2;
inline constexpr uint32_t LastNote = 99;
inline constexpr uint32_t Bar = 100;                // 'd'
inline constexpr uint32_t RepeatPrevMeasures = 101; // 'e'
}

namespace EventBits {
// m_word1, notes and rests
inline constexpr uint32_t TypeMask = 0xFF;
inline constexpr uint32_t Triplet = 1u << 8;
inline constexpr uint32_t Accent = 1u << 9;
inline constexpr uint32_t Ghost = 1u << 10;
inline constexpr uint32_t FlamOrPM = 1u << 11;
inline constexpr uint32_t Dynamics = Accent | Ghost | FlamOrPM;
inline constexpr uint32_t TailOverride = 1u << 12;
inline constexpr uint32_t TailDirection = 1u << 13;
// A cymbal grabbed right after the stroke (written '#' in tabs). Not one of the dynamics: it
// goes with any of them.
inline constexpr uint32_t Choked = 1u << 14;
// m_word1, BAR and REPEAT_PREV_MEASURES
inline constexpr uint32_t TempoPresent = 1u << 8;
inline constexpr uint32_t NewLine = 1u << 9;
inline constexpr uint32_t ImportedLineStart = 1u << 10;
inline constexpr uint32_t NewPage = 1u << 11;
inline constexpr uint32_t LayoutLineStart = 1u << 12;
inline constexpr uint32_t LayoutPageStart = 1u << 13;
inline constexpr int TempoShift = 14;
inline constexpr uint32_t TempoMask = 0xFFu << TempoShift;
inline constexpr int PatchShift = 22;
inline constexpr uint32_t PatchMask = 0x7Fu << PatchShift;
inline constexpr uint32_t PatchPresent = 1u << 29;
inline constexpr uint32_t TextFollows = 1u << 30; // only inside the file
// m_word2, notes and rests
inline constexpr uint32_t PositionMask = 0xFFFFF;
inline constexpr int StringShift = 20;
inline constexpr uint32_t StringMask = 0x7u << StringShift;
// m_word2, BAR and REPEAT_PREV_MEASURES
inline constexpr uint32_t NumeratorMask = 0x3F;
inline constexpr int DenominatorShift = 6;
inline constexpr uint32_t DenominatorMask = 0xFFu << DenominatorShift;
inline constexpr uint32_t TimeSigMask = NumeratorMask | DenominatorMask;
inline constexpr uint32_t TimeSigShown = 1u << 14;
inline constexpr uint32_t RepeatGroupStart = 1u << 16;
inline constexpr uint32_t RepeatGroupEnd = 1u << 17;
inline constexpr int AltEndShift = 18;
inline constexpr uint32_t AltEndMask = 0xFu << AltEndShift;
// m_word2, REPEAT_PREV_MEASURES
inline constexpr uint32_t RepeatNHigh = 1u << 15;
inline constexpr int RepeatNShift = 16;
inline constexpr uint32_t RepeatNLowMask = 0x7u << RepeatNShift;
inline constexpr int RepeatCountShift = 19;
inline constexpr uint32_t RepeatCountMask = 0x3Fu << RepeatCountShift;
}

// Composes the second word of a measure opener with time signature num/den.
constexpr uint32_t TimeSigWord(uint32_t num, uint32_t den)
{
    return (num & EventBits::NumeratorMask) | ((den << EventBits::DenominatorShift) & EventBits::DenominatorMask);
}
// Composes the second word of a REPEAT_PREV_MEASURES event (time signature num/den).
uint32_t RepeatPrevWord(uint32_t n, uint32_t count, uint32_t num = 4, uint32_t den = 4);
// Composes the tempo field and its present bit.
constexpr uint32_t TempoBits(uint32_t bpm)
{
    return EventBits::TempoPresent | ((bpm << EventBits::TempoShift) & EventBits::TempoMask);
}
constexpr uint32_t PatchBits(uint32_t patch)
{
    return EventBits::PatchPresent | ((patch << EventBits::PatchShift) & EventBits::PatchMask);
}

class CEvent
{
public:
    CEvent() = default; // for loading: Serialize fills the words
    // A BAR with a zero numerator or denominator becomes 4/4. A non-null text is kept even
    // when empty.
    CEvent(uint32_t word1, uint32_t word2, uint32_t importRef = 0, const QString* text = nullptr);
    CEvent(uint32_t word1, uint32_t word2, uint32_t importRef, const QString& text);
    // Copies the saved words and the import reference; the text only for a BAR with a
    // non-empty text, cut to 100 characters. Layout and run-time words start at 0.
    CEvent(const CEvent& other);
    CEvent& operator=(const CEvent&) = delete;
    ~CEvent()
    {
        if (m_extra)
            EventExtras::Release(m_extra);
    }

    // Events come from their own pool; see eventpool.h.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size) noexcept;

    static constexpr int kMaxSavedText = 100;

    uint32_t GetEventType() const { return m_word1 & EventBits::TypeMask; }
    bool IsTriplet() const { return m_word1 & EventBits::Triplet; }
    bool IsAccent() const { return m_word1 & EventBits::Accent; }
    bool IsGhost() const { return m_word1 & EventBits::Ghost; }
    bool IsFlamOrPM() const { return m_word1 & EventBits::FlamOrPM; }
    // Only a cymbal keeps the mark (a note changed to another drum leaves it unused).
    bool IsChoked() const { return (m_word1 & EventBits::Choked) && IsCymbal(); }

    uint32_t GetTimeSigNumerator() const { return m_word2 & EventBits::NumeratorMask; }
    uint32_t GetTimeSigDenominator() const { return (m_word2 & EventBits::DenominatorMask) >> EventBits::DenominatorShift; }
    bool IsTimeSigShown() const { return m_word2 & EventBits::TimeSigShown; }
    bool IsRepeatGroupStart() const { return m_word2 & EventBits::RepeatGroupStart; }
    bool IsRepeatGroupEnd() const { return m_word2 & EventBits::RepeatGroupEnd; }
    uint32_t GetRepeatGroupAltEnd() const { return (m_word2 & EventBits::AltEndMask) >> EventBits::AltEndShift; }
    uint32_t GetRepeatPrevCount() const { return (m_word2 & EventBits::RepeatCountMask) >> EventBits::RepeatCountShift; }
    uint32_t GetRepeatPrevNMeasures() const
    {
        return ((m_word2 & EventBits::RepeatNLowMask) >> EventBits::RepeatNShift) + ((m_word2 & EventBits::RepeatNHigh) ? 8 : 0);
    }

    bool IsBar() const { return GetEventType() == EventType::Bar; }
    bool IsRepeatPrev() const { return GetEventType() == EventType::RepeatPrevMeasures; }
    bool IsMeasure() const { return IsBar() || IsRepeatPrev(); }
    bool IsNote() const { return GetEventType() >= EventType::FirstNote && GetEventType() <= EventType::LastNote; }
    bool IsRest() const { return GetEventType() == EventType::Rest; }

    uint32_t GetPosition() const { return m_word2 & EventBits::PositionMask; }
    uint32_t GetTick() const { return GetPosition() * 8 / 96; }
    uint32_t GetString() const { return (m_word2 & EventBits::StringMask) >> EventBits::StringShift; }
    uint32_t GetTempo() const { return (m_word1 & EventBits::TempoPresent) ? (m_word1 & EventBits::TempoMask) >> EventBits::TempoShift : 0; }
    uint32_t GetPatch() const { return (m_word1 & EventBits::PatchPresent) ? (m_word1 & EventBits::PatchMask) >> EventBits::PatchShift : 0; }

    // Measure length: numerator * 32 / denominator 32nds; * 12 position units.
    uint32_t GetMeasureTicks() const;
    uint32_t GetMeasurePositions() const { return GetMeasureTicks() * 12; }

    // Empty string when there is no text.
    QString GetText() const
    {
        const QString* text = GetTextOrNull();
        return text ? *text : QString();
    }
    bool HasText() const
    {
        const QString* text = GetTextOrNull();
        return text && !text->isEmpty();
    }
    // The text, or nullptr when the event has none (a text read from a file may be empty).
    const QString* GetTextOrNull() const
    {
        const EventExtras::SRecord* r = Record();
        return r ? r->m_pText.get() : nullptr;
    }
    void SetText(const QString& text);

    // Words that only measure openers use, filled by the layout and the render passes; 0
    // until set. Kept beside the event rather than in it, so that a note costs only its
    // saved words.
    uint32_t GetLayoutPos() const { return m_extra ? EventExtras::At(m_extra).m_layoutPos : 0; }   // staff top y in bits 0-19, bar left x in bits 20-31
    uint32_t GetLayoutSize() const { return m_extra ? EventExtras::At(m_extra).m_layoutSize : 0; } // row offsets of the bar's system
    uint32_t GetRunTime1() const { return m_extra ? EventExtras::At(m_extra).m_runTime1 : 0; }     // bar start in position units, last render pass
    uint32_t GetRunTime2() const { return m_extra ? EventExtras::At(m_extra).m_runTime2 : 0; }     // bar start in milliseconds, timing pass
    void SetLayoutPos(uint32_t value) { SetWord(&EventExtras::SRecord::m_layoutPos, value); }
    void SetLayoutSize(uint32_t value) { SetWord(&EventExtras::SRecord::m_layoutSize, value); }
    void SetRunTime1(uint32_t value) { SetWord(&EventExtras::SRecord::m_runTime1, value); }
    void SetRunTime2(uint32_t value) { SetWord(&EventExtras::SRecord::m_runTime2, value); }

    // mask is one of Accent, Ghost, FlamOrPM: set it alone, or clear all three if it was set.
    void ToggleDynamic(uint32_t mask);

    bool IsCymbal() const;
    bool IsSnare() const;
    bool IsTom() const;
    bool IsBassDrum() const;
    bool IsPercussion() const;
    bool IsBongoOrConga() const;

    // true = tail (stem) up.
    bool GetTailDirection(uint32_t trackType) const;
    // Width of a measure in the notation view, in pixels.
    int GetDisplayWidth() const;
    // Staff step (half line-spaces below the top line) of a pitched note; -22 and an internal
    // problem report when the pitch is outside the table.
    int GetStaffStep(uint32_t trackType, bool octaveDown) const;
    int GetAccidental(uint32_t trackType) const;

    void Serialize(CArchive& ar);

    uint32_t m_word1 = 0;
    uint32_t m_word2 = 0;
    uint32_t m_importRef = 0; // (import line index << 10) | (column & 0x3FF)

private:
    // The measure's side record, made when one of its words is first set to a non-zero
    // value or a text is set. Notes never get one.
    EventExtras::SRecord* Record() const { return m_extra ? &EventExtras::At(m_extra) : nullptr; }
    EventExtras::SRecord& NeedRecord();
    void SetWord(uint32_t EventExtras::SRecord::*word, uint32_t value)
    {
        if (m_extra)
            EventExtras::At(m_extra).*word = value;
        else if (value)
            NeedRecord().*word = value;
    }

    uint32_t m_extra = 0; // handle of the side record, 0 for none
};

inline void* CEvent::operator new(size_t size)
{
    if constexpr (KADENZO_EVENT_POOL) {
        if (size == sizeof(CEvent))
            return EventPool::CFixedPool<EventPool::ChunkSizeFor(sizeof(CEvent))>::Allocate();
    }
    return ::operator new(size);
}

inline void CEvent::operator delete(void* p, size_t size) noexcept
{
    if constexpr (KADENZO_EVENT_POOL) {
        if (size == sizeof(CEvent)) {
            EventPool::CFixedPool<EventPool::ChunkSizeFor(sizeof(CEvent))>::Free(p);
            return;
        }
    }
    ::operator delete(p);
}

static_assert(sizeof(CEvent) == 16, "a note holds its saved words, its import reference and a handle, nothing more");

// The song: an owning list; iterators stay valid while other elements are inserted or erased.
using CEventList = std::list<std::unique_ptr<CEvent>, EventPool::CNodeAllocator<std::unique_ptr<CEvent>>>;
using EventPos = CEventList::iterator;

// Appends a new event and returns it.
CEvent* AppendEvent(CEventList& list, uint32_t word1, uint32_t word2, uint32_t importRef = 0);
// 1-based bar number of the measure that `pos` belongs to (0 before the first measure).
int BarNumberOf(const CEventList& list, CEventList::const_iterator pos);
