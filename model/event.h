#pragma once
// One event of a song: a measure opener (BAR, REPEAT_PREV_MEASURES), a note or a rest.
// Two saved 32-bit words hold every musical fact; see the masks below for their fields.
// An event is 20 bytes: the two words; one word holding either its import reference or the
// handle of the side record that measures keep their layout and timing words, their text and
// then their import reference in; and the links of the song list it belongs to.
// Positions are in units of 12 to a 32nd note (96 to a quarter); a tick is a 32nd index.

#include "eventextras.h"
#include "eventpool.h"

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

class CArchive;
class CEventList;
struct SEventWords;

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
    // non-empty text, cut to 100 characters. Layout and run-time words start at 0, and the
    // copy belongs to no list.
    CEvent(const CEvent& other);
    CEvent& operator=(const CEvent&) = delete;
    ~CEvent()
    {
        if (m_ref & kRecordTag)
            EventExtras::Release(m_ref & ~kRecordTag);
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
    uint32_t GetLayoutPos() const { return Word(&EventExtras::SRecord::m_layoutPos); }   // staff top y in bits 0-19, bar left x in bits 20-31
    uint32_t GetLayoutSize() const { return Word(&EventExtras::SRecord::m_layoutSize); } // row offsets of the bar's system
    uint32_t GetRunTime1() const { return Word(&EventExtras::SRecord::m_runTime1); }     // bar start in position units, last render pass
    uint32_t GetRunTime2() const { return Word(&EventExtras::SRecord::m_runTime2); }     // bar start in milliseconds, timing pass
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

    // (import line index << 10) | (column & 0x3FF); 0 for none.
    uint32_t GetImportRef() const
    {
        const EventExtras::SRecord* r = Record();
        return r ? r->m_importRef : m_ref;
    }
    void SetImportRef(uint32_t ref);

    uint32_t m_word1 = 0;
    uint32_t m_word2 = 0;

private:
    friend CEvent* AppendEvent(CEventList& list, uint32_t word1, uint32_t word2, uint32_t importRef);
    friend void AppendEvents(CEventList& list, std::span<const SEventWords> events);

    // In m_ref: the rest of the word is a side record's handle, not an import reference.
    static constexpr uint32_t kRecordTag = 1u << 31;

    // The words as given: for an event that needs no side record and no correction.
    struct SPlain
    {
    };
    CEvent(uint32_t word1, uint32_t word2, uint32_t importRef, SPlain) : m_word1(word1), m_word2(word2), m_ref(importRef) {}

    // The measure's side record, made when one of its words is first set to a non-zero
    // value or a text is set. Notes never get one.
    EventExtras::SRecord* Record() const { return (m_ref & kRecordTag) ? &EventExtras::At(m_ref & ~kRecordTag) : nullptr; }
    EventExtras::SRecord& NeedRecord();
    uint32_t Word(uint32_t EventExtras::SRecord::*word) const
    {
        const EventExtras::SRecord* r = Record();
        return r ? r->*word : 0;
    }
    void SetWord(uint32_t EventExtras::SRecord::*word, uint32_t value)
    {
        if (EventExtras::SRecord* r = Record())
            r->*word = value;
        else if (value)
            NeedRecord().*word = value;
    }

    // The import reference while the event has no side record; once it has one, kRecordTag
    // and the record's handle, and the reference moves into the record. An event takes a
    // record for a reference only when its line number is too large to leave the tag bit free.
    uint32_t m_ref = 0;

    // Slots of the neighbours in the song list (0: none, or not in a list).
    friend class CEventList;
    template <bool Const>
    friend class CEventIterator;
    uint32_t m_prev = 0;
    uint32_t m_next = 0;
};

inline void* CEvent::operator new(size_t size)
{
    if (size == sizeof(CEvent))
        return EventPool::Allocate();
    return ::operator new(size);
}

inline void CEvent::operator delete(void* p, size_t size) noexcept
{
    if (size == sizeof(CEvent)) {
        EventPool::Free(p);
        return;
    }
    ::operator delete(p);
}

static_assert(sizeof(CEvent) == EventPool::kEventBytes, "a note holds its saved words, its import reference, a handle and its links, nothing more");

// Position in a song list. `*it` is the event, `it->` reaches its members. Stays valid while
// other events are inserted or erased, and while its event is spliced to another list.
// A position is the event's slot number (0 at the end), so stepping is one load from the
// slot's address; the list is only needed to step back from the end.
template <bool Const>
class CEventIterator
{
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = CEvent;
    using difference_type = std::ptrdiff_t;
    using pointer = std::conditional_t<Const, const CEvent*, CEvent*>;
    using reference = std::conditional_t<Const, const CEvent&, CEvent&>;

    CEventIterator() = default;
    template <bool OtherConst>
        requires(Const && !OtherConst)
    CEventIterator(const CEventIterator<OtherConst>& other) : m_slot(other.m_slot), m_list(other.m_list)
    {
    }

    reference operator*() const { return *Get(); }
    pointer operator->() const { return Get(); }

    CEventIterator& operator++()
    {
        m_slot = EventPool::Follow(m_slot, Get()->m_next, EventPool::kSlotStep);
        return *this;
    }
    CEventIterator operator++(int)
    {
        CEventIterator old = *this;
        ++*this;
        return old;
    }
    CEventIterator& operator--();
    CEventIterator operator--(int)
    {
        CEventIterator old = *this;
        --*this;
        return old;
    }

    // Every list's end compares equal: positions are events.
    friend bool operator==(const CEventIterator& a, const CEventIterator& b) { return a.m_slot == b.m_slot; }

private:
    friend class CEventList;
    friend class CEventIterator<!Const>;
    CEventIterator(uint32_t slot, const CEventList* list) : m_slot(slot), m_list(list) {}
    // Not to be called at the end.
    pointer Get() const { return static_cast<pointer>(EventPool::LiveSlotAddress(m_slot)); }

    uint32_t m_slot = 0; // 0 at the end
    const CEventList* m_list = nullptr;
};

// The song: a list that owns its events and links them through the events themselves, so an
// event costs no node of its own. An event keeps its address while it is in a list, is moved
// to another or handed out and back: inserting a std::unique_ptr moves that very event into
// the list, `extract` hands it back. Iterators stay valid while other elements are inserted or
// erased. Not copyable; moving a list moves its events, and positions in the moved-from list
// no longer step back from its end.
class CEventList
{
public:
    using value_type = CEvent;
    using size_type = size_t;
    using difference_type = std::ptrdiff_t;
    using reference = CEvent&;
    using const_reference = const CEvent&;
    using iterator = CEventIterator<false>;
    using const_iterator = CEventIterator<true>;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    CEventList() noexcept = default;
    CEventList(const CEventList&) = delete;
    CEventList& operator=(const CEventList&) = delete;
    CEventList(CEventList&& other) noexcept : m_head(other.m_head), m_tail(other.m_tail), m_size(other.m_size)
    {
        other.m_head = other.m_tail = 0;
        other.m_size = 0;
    }
    CEventList& operator=(CEventList&& other) noexcept
    {
        if (this != &other) {
            clear();
            swap(other);
        }
        return *this;
    }
    ~CEventList() { clear(); }

    iterator begin() noexcept { return {m_head, this}; }
    iterator end() noexcept { return {0, this}; }
    const_iterator begin() const noexcept { return {m_head, this}; }
    const_iterator end() const noexcept { return {0, this}; }
    const_iterator cbegin() const noexcept { return begin(); }
    const_iterator cend() const noexcept { return end(); }
    reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
    reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
    const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }

    size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    CEvent& front() { return *Event(m_head); }
    CEvent& back() { return *Event(m_tail); }
    const CEvent& front() const { return *Event(m_head); }
    const CEvent& back() const { return *Event(m_tail); }

    // Moves the event into the list before pos and returns its position; an empty pointer
    // inserts nothing and returns pos.
    iterator insert(const_iterator pos, std::unique_ptr<CEvent> event) noexcept;
    template <class... Args>
    iterator emplace(const_iterator pos, Args&&... args)
    {
        return insert(pos, std::make_unique<CEvent>(std::forward<Args>(args)...));
    }
    void push_back(std::unique_ptr<CEvent> event) noexcept
    {
        if (event)
            LinkBack(event.release());
    }
    void push_front(std::unique_ptr<CEvent> event) noexcept { insert(begin(), std::move(event)); }
    template <class... Args>
    CEvent& emplace_back(Args&&... args)
    {
        return *emplace(end(), std::forward<Args>(args)...);
    }

    // Frees the event at pos and returns the position after it.
    iterator erase(const_iterator pos) noexcept;
    iterator erase(const_iterator first, const_iterator last) noexcept;
    void pop_front() noexcept { erase(begin()); }
    void pop_back() noexcept { erase(iterator(m_tail, this)); }
    void clear() noexcept;
    // Takes the event at pos out of the list and hands it over, at the same address.
    std::unique_ptr<CEvent> extract(const_iterator pos) noexcept;

    // Moves events of other (all, one, or [first, last)) before pos; only links change.
    void splice(const_iterator pos, CEventList& other) noexcept;
    void splice(const_iterator pos, CEventList&& other) noexcept { splice(pos, other); }
    void splice(const_iterator pos, CEventList& other, const_iterator it) noexcept;
    void splice(const_iterator pos, CEventList&& other, const_iterator it) noexcept { splice(pos, other, it); }
    void splice(const_iterator pos, CEventList& other, const_iterator first, const_iterator last) noexcept;
    void splice(const_iterator pos, CEventList&& other, const_iterator first, const_iterator last) noexcept
    {
        splice(pos, other, first, last);
    }

    // Puts the events in order by less(const CEvent&, const CEvent&), keeping equal ones in
    // their order. Events keep their addresses.
    template <class Less>
    void sort(Less less);

    void swap(CEventList& other) noexcept
    {
        std::swap(m_head, other.m_head);
        std::swap(m_tail, other.m_tail);
        std::swap(m_size, other.m_size);
    }

private:
    template <bool Const>
    friend class CEventIterator;
    friend CEvent* AppendEvent(CEventList& list, uint32_t word1, uint32_t word2, uint32_t importRef);
    friend void AppendEvents(CEventList& list, std::span<const SEventWords> events);

    static CEvent* Event(uint32_t slot) { return static_cast<CEvent*>(EventPool::SlotAddress(slot)); }
    static CEvent* Mutable(const_iterator pos) { return Event(pos.m_slot); }
    // Links the chain first..last (already linked among themselves) before next.
    void LinkBefore(CEvent* next, CEvent* first, CEvent* last, uint32_t firstSlot, uint32_t lastSlot) noexcept;
    // Links e, in no list, at the end.
    void LinkBack(CEvent* e) noexcept
    {
        const uint32_t slot = EventPool::SlotOf(e);
        e->m_prev = m_tail;
        e->m_next = 0;
        if (m_tail)
            Event(m_tail)->m_next = slot;
        else
            m_head = slot;
        m_tail = slot;
        ++m_size;
    }
    // Unlinks first..last from this list; their outer links are left as they were.
    void Unlink(CEvent* first, CEvent* last) noexcept;

    uint32_t m_head = 0;
    uint32_t m_tail = 0;
    size_t m_size = 0;
};

template <bool Const>
CEventIterator<Const>& CEventIterator<Const>::operator--()
{
    m_slot = m_slot ? EventPool::Follow(m_slot, Get()->m_prev, -EventPool::kSlotStep) : m_list->m_tail;
    return *this;
}

template <class Less>
void CEventList::sort(Less less)
{
    if (m_size < 2)
        return;
    std::vector<CEvent*> order;
    order.reserve(m_size);
    for (uint32_t slot = m_head; slot; slot = Event(slot)->m_next)
        order.push_back(Event(slot));
    std::stable_sort(order.begin(), order.end(), [&less](const CEvent* a, const CEvent* b) { return less(*a, *b); });
    uint32_t prev = 0;
    for (CEvent* e : order) {
        const uint32_t slot = EventPool::SlotOf(e);
        e->m_prev = prev;
        if (prev)
            Event(prev)->m_next = slot;
        else
            m_head = slot;
        prev = slot;
    }
    Event(prev)->m_next = 0;
    m_tail = prev;
}

using EventPos = CEventList::iterator;

// Appends a new event and returns it.
CEvent* AppendEvent(CEventList& list, uint32_t word1, uint32_t word2, uint32_t importRef = 0);
// The words of one event for AppendEvents.
struct SEventWords
{
    uint32_t word1;
    uint32_t word2;
    uint32_t importRef;
};
// Appends new events in the order given, as AppendEvent would one by one (a bar's notes in
// one call).
void AppendEvents(CEventList& list, std::span<const SEventWords> events);
// 1-based bar number of the measure that `pos` belongs to (0 before the first measure).
int BarNumberOf(const CEventList& list, CEventList::const_iterator pos);
