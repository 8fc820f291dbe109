#include "event.h"

#include "archive.h"
#include "catalogue.h"
#include "drumlayout.h"
#include "report.h"

#include <array>

namespace {

// Staff step and accidental of every pitch in a 65-entry table whose first pitch is
// `firstPitch` and whose step 0 (top staff line) is the natural `topPitch`. Pitches are
// spelled C C# D Eb E F F# G G# A Bb B: a sharp takes the step of the natural below, a flat
// the step of the natural above.
struct SStep
{
    int8_t step;
    int8_t accidental;
};
using StepTable = std::array<SStep, 65>;

constexpr int kLetter[12] = {0, 0, 1, 2, 2, 3, 3, 4, 4, 5, 6, 6};
constexpr int kAccidental[12] = {0, 1, 0, -1, 0, 0, 1, 0, 1, 0, -1, 0};

constexpr int Diatonic(int pitch) { return (pitch / 12) * 7 + kLetter[pitch % 12]; }

constexpr StepTable MakeStepTable(int firstPitch, int topPitch)
{
    StepTable t{};
    for (int i = 0; i < 65; ++i) {
        const int pitch = firstPitch + i;
        t[size_t(i)] = {int8_t(Diatonic(topPitch) - Diatonic(pitch)), int8_t(kAccidental[pitch % 12])};
    }
    return t;
}

constexpr StepTable kGuitarSteps = MakeStepTable(35, 65); // F on the top line
constexpr StepTable kBassSteps = MakeStepTable(23, 45);   // A on the top line
static_assert(kGuitarSteps[0].step == 18 && kGuitarSteps[64].step == -20);
static_assert(kBassSteps[0].step == 13 && kBassSteps[64].step == -25);

bool IsGuitarTrack(uint32_t trackType) { return trackType == 30 || trackType == 31; }

} // namespace

uint32_t RepeatPrevWord(uint32_t n, uint32_t count, uint32_t num, uint32_t den)
{
    uint32_t w = TimeSigWord(num, den);
    w |= ((n & 7) << EventBits::RepeatNShift) & EventBits::RepeatNLowMask;
    if (n & 8)
        w |= EventBits::RepeatNHigh;
    w |= (count << EventBits::RepeatCountShift) & EventBits::RepeatCountMask;
    return w;
}

CEvent::CEvent(uint32_t word1, uint32_t word2, uint32_t importRef, const QString* text)
    : m_word1(word1), m_word2(word2), m_ref(importRef)
{
    if (importRef & kRecordTag) {
        m_ref = 0;
        NeedRecord().m_importRef = importRef;
    }
    if (text) {
        auto copy = std::make_unique<QString>(*text);
        NeedRecord().m_pText = std::move(copy);
    }
    if (IsBar() && (GetTimeSigNumerator() == 0 || GetTimeSigDenominator() == 0))
        m_word2 = (m_word2 & ~EventBits::TimeSigMask) | TimeSigWord(4, 4);
}

CEvent::CEvent(uint32_t word1, uint32_t word2, uint32_t importRef, const QString& text)
    : CEvent(word1, word2, importRef, &text)
{
}

CEvent::CEvent(const CEvent& other)
    : m_word1(other.m_word1), m_word2(other.m_word2)
{
    SetImportRef(other.GetImportRef());
    if (other.IsBar() && other.HasText()) {
        auto copy = std::make_unique<QString>(other.GetTextOrNull()->left(kMaxSavedText));
        NeedRecord().m_pText = std::move(copy);
    }
}

EventExtras::SRecord& CEvent::NeedRecord()
{
    if (EventExtras::SRecord* r = Record())
        return *r;
    const uint32_t handle = EventExtras::Acquire();
    EventExtras::SRecord& r = EventExtras::At(handle);
    r.m_importRef = m_ref;
    m_ref = kRecordTag | handle;
    return r;
}

void CEvent::SetImportRef(uint32_t ref)
{
    if (EventExtras::SRecord* r = Record())
        r->m_importRef = ref;
    else if (ref & kRecordTag)
        NeedRecord().m_importRef = ref;
    else
        m_ref = ref;
}

uint32_t CEvent::GetMeasureTicks() const
{
    const uint32_t den = GetTimeSigDenominator();
    return den ? GetTimeSigNumerator() * 32 / den : 0;
}

void CEvent::SetText(const QString& text)
{
    if (EventExtras::SRecord* r = Record())
        r->m_pText.reset();
    if (!text.isEmpty()) {
        auto copy = std::make_unique<QString>(text);
        NeedRecord().m_pText = std::move(copy);
    }
}

void CEvent::ToggleDynamic(uint32_t mask)
{
    const bool wasSet = m_word1 & mask;
    m_word1 &= ~EventBits::Dynamics;
    if (!wasSet)
        m_word1 |= mask;
}

bool CEvent::IsCymbal() const { return Catalogue::IsInGroup(int(GetEventType()), EDrumGroup::Cymbal); }
bool CEvent::IsSnare() const { return Catalogue::IsInGroup(int(GetEventType()), EDrumGroup::Snare); }
bool CEvent::IsTom() const { return Catalogue::IsInGroup(int(GetEventType()), EDrumGroup::Tom); }
bool CEvent::IsBassDrum() const { return Catalogue::IsInGroup(int(GetEventType()), EDrumGroup::BassDrum); }
bool CEvent::IsPercussion() const { return Catalogue::IsInGroup(int(GetEventType()), EDrumGroup::Percussion); }
bool CEvent::IsBongoOrConga() const { return Catalogue::IsInGroup(int(GetEventType()), EDrumGroup::BongoConga); }

bool CEvent::GetTailDirection(uint32_t trackType) const
{
    if (m_word1 & EventBits::TailOverride)
        return m_word1 & EventBits::TailDirection;
    if (trackType == 10)
        return !DrumLayout::TailDown(int(GetEventType()));
    return true;
}

int CEvent::GetDisplayWidth() const
{
    if (IsRepeatPrev())
        return 60 + 7 * int(std::min<uint32_t>(GetRepeatPrevNMeasures(), 6));
    int width = int(GetTimeSigNumerator()) * 64;
    // 8 pixels to a 32nd: a quarter beat is 64 pixels, a half-note beat 128.
    switch (GetTimeSigDenominator()) {
    case 1: width *= 4; break;
    case 2: width *= 2; break;
    case 8: width /= 2; break;
    case 16: width /= 4; break;
    case 32: width /= 8; break;
    default: break;
    }
    width += (m_word2 & EventBits::TimeSigShown) ? 32 : 10;
    return width + 10;
}

int CEvent::GetStaffStep(uint32_t trackType, bool octaveDown) const
{
    const int pitch = int(GetEventType());
    const bool guitar = IsGuitarTrack(trackType);
    const int index = guitar ? pitch - (octaveDown ? 47 : 35) : pitch - 23;
    if (index < 0 || index > 64) {
        KADENZO_INTERNAL_PROBLEM(ReportSource::Event);
        return -22;
    }
    return (guitar ? kGuitarSteps : kBassSteps)[size_t(index)].step;
}

int CEvent::GetAccidental(uint32_t trackType) const
{
    const int pitch = int(GetEventType());
    const bool guitar = IsGuitarTrack(trackType);
    const int index = pitch - (guitar ? 35 : 23);
    if (index < 0 || index > 64)
        return 0;
    return (guitar ? kGuitarSteps : kBassSteps)[size_t(index)].accidental;
}

void CEvent::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        if (IsBar() && HasText()) {
            ar.WriteU32(m_word1 | EventBits::TextFollows);
            ar.WriteU32(m_word2);
            ar.WriteString(GetTextOrNull()->left(kMaxSavedText));
        } else {
            ar.WriteU32(m_word1);
            ar.WriteU32(m_word2);
        }
        return;
    }
    m_word1 = ar.ReadU32();
    m_word2 = ar.ReadU32();
    if (EventExtras::SRecord* r = Record())
        r->m_pText.reset();
    if (IsBar() && (m_word1 & EventBits::TextFollows)) {
        auto text = std::make_unique<QString>(ar.ReadString());
        m_word1 &= ~EventBits::TextFollows;
        const bool empty = text->isEmpty();
        NeedRecord().m_pText = std::move(text);
        // An empty text counts as no text everywhere, here too: otherwise a file that holds
        // one would load differently once saved again.
        if (empty)
            return;
        if (m_word1 & EventBits::NewPage)
            ++ar.m_textsOnNewPageBars;
        else
            ++ar.m_textsOnOtherBars;
    }
}

namespace {
[[gnu::noinline]] CEvent* NewEvent(uint32_t word1, uint32_t word2, uint32_t importRef)
{
    return new CEvent(word1, word2, importRef);
}
} // namespace

// The importer's hot path, once per note: a slot from the pool, the words, the links at the
// list's end. Only what needs a side record takes the general constructor.
CEvent* AppendEvent(CEventList& list, uint32_t word1, uint32_t word2, uint32_t importRef)
{
    CEvent* e = nullptr;
    if (!(importRef & CEvent::kRecordTag) && (word1 & EventBits::TypeMask) != EventType::Bar) [[likely]]
        e = ::new (EventPool::Allocate()) CEvent(word1, word2, importRef, CEvent::SPlain{});
    else
        e = NewEvent(word1, word2, importRef);
    list.LinkBack(e);
    return e;
}

void AppendEvents(CEventList& list, std::span<const SEventWords> events)
{
    for (const SEventWords& w : events) {
        CEvent* e = nullptr;
        if (!(w.importRef & CEvent::kRecordTag) && (w.word1 & EventBits::TypeMask) != EventType::Bar) [[likely]]
            e = ::new (EventPool::Allocate()) CEvent(w.word1, w.word2, w.importRef, CEvent::SPlain{});
        else
            e = NewEvent(w.word1, w.word2, w.importRef);
        list.LinkBack(e);
    }
}

void CEventList::LinkBefore(CEvent* next, CEvent* first, CEvent* last, uint32_t firstSlot, uint32_t lastSlot) noexcept
{
    const uint32_t prevSlot = next ? next->m_prev : m_tail;
    first->m_prev = prevSlot;
    last->m_next = next ? EventPool::SlotOf(next) : 0;
    if (prevSlot)
        Event(prevSlot)->m_next = firstSlot;
    else
        m_head = firstSlot;
    if (next)
        next->m_prev = lastSlot;
    else
        m_tail = lastSlot;
}

void CEventList::Unlink(CEvent* first, CEvent* last) noexcept
{
    if (first->m_prev)
        Event(first->m_prev)->m_next = last->m_next;
    else
        m_head = last->m_next;
    if (last->m_next)
        Event(last->m_next)->m_prev = first->m_prev;
    else
        m_tail = first->m_prev;
}

CEventList::iterator CEventList::insert(const_iterator pos, std::unique_ptr<CEvent> event) noexcept
{
    CEvent* next = Mutable(pos);
    if (!event)
        return {pos.m_slot, this};
    CEvent* e = event.release();
    const uint32_t slot = EventPool::SlotOf(e);
    LinkBefore(next, e, e, slot, slot);
    ++m_size;
    return {slot, this};
}

std::unique_ptr<CEvent> CEventList::extract(const_iterator pos) noexcept
{
    CEvent* e = Mutable(pos);
    Unlink(e, e);
    e->m_prev = e->m_next = 0;
    --m_size;
    return std::unique_ptr<CEvent>(e);
}

CEventList::iterator CEventList::erase(const_iterator pos) noexcept
{
    const uint32_t next = pos->m_next;
    extract(pos);
    return {next, this};
}

CEventList::iterator CEventList::erase(const_iterator first, const_iterator last) noexcept
{
    while (first != last)
        first = erase(first);
    return {last.m_slot, this};
}

void CEventList::clear() noexcept
{
    // From the back: the pool hands freed slots out again last freed first, so the events
    // made next get the slots in the order this list had them, and lie one after another
    // again when these did.
    uint32_t slot = m_tail;
    m_head = m_tail = 0;
    m_size = 0;
    while (slot) {
        CEvent* e = Event(slot);
        slot = EventPool::Follow(slot, e->m_prev, -EventPool::kSlotStep);
        delete e; // its links go with it
    }
}

void CEventList::splice(const_iterator pos, CEventList& other) noexcept
{
    if (&other == this || other.empty())
        return;
    CEvent* first = Event(other.m_head);
    CEvent* last = Event(other.m_tail);
    const uint32_t firstSlot = other.m_head;
    const uint32_t lastSlot = other.m_tail;
    LinkBefore(Mutable(pos), first, last, firstSlot, lastSlot);
    m_size += other.m_size;
    other.m_head = other.m_tail = 0;
    other.m_size = 0;
}

void CEventList::splice(const_iterator pos, CEventList& other, const_iterator it) noexcept
{
    CEvent* e = Mutable(it);
    if (it == pos)
        return;
    if (e->m_next && e->m_next == pos.m_slot && &other == this)
        return; // already in place
    insert(pos, other.extract(it));
}

void CEventList::splice(const_iterator pos, CEventList& other, const_iterator first, const_iterator last) noexcept
{
    if (first == last)
        return;
    CEvent* f = Mutable(first);
    CEvent* l = Event(last.m_slot ? last->m_prev : other.m_tail);
    if (&other != this) {
        size_t n = 1;
        for (CEvent* e = f; e != l; e = Event(e->m_next))
            ++n;
        other.m_size -= n;
        m_size += n;
    }
    const uint32_t firstSlot = EventPool::SlotOf(f);
    const uint32_t lastSlot = EventPool::SlotOf(l);
    other.Unlink(f, l);
    LinkBefore(Mutable(pos), f, l, firstSlot, lastSlot);
}

int BarNumberOf(const CEventList& list, CEventList::const_iterator pos)
{
    int bar = 0;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->IsMeasure())
            ++bar;
        if (it == pos)
            break;
    }
    return bar;
}
