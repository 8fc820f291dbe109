#include "clipboard.h"

#include "archive.h"
#include "report.h"
#include "rondeldoc.h"

#include <QDir>

#include <algorithm>

QByteArray CopyEvents(const SEventSpan& span)
{
    uint32_t count = 0;
    for (auto it = span.m_first;; ++it) {
        ++count;
        if (it == span.m_last)
            break;
    }
    QByteArray bytes;
    CArchive ar(&bytes);
    ar.WriteCount(count);
    for (auto it = span.m_first;; ++it) {
        it->Serialize(ar);
        if (it == span.m_last)
            break;
    }
    return bytes;
}

bool ReadClipboardEvents(const QByteArray& bytes, std::vector<std::unique_ptr<CEvent>>* events, QString* error)
{
    events->clear();
    CArchive ar(bytes);
    try {
        const uint32_t count = ar.ReadCount();
        // The count is not trusted for allocation: damaged data runs out of bytes first.
        for (uint32_t i = 0; i < count; ++i) {
            auto ev = std::make_unique<CEvent>();
            ev->Serialize(ar);
            const uint32_t type = ev->GetEventType();
            if (type < EventType::Rest || type > EventType::RepeatPrevMeasures)
                throw CArchiveException("an event of unknown type " + std::to_string(type));
            if (ev->IsMeasure() && (ev->GetTimeSigNumerator() == 0 || ev->GetTimeSigDenominator() == 0))
                ev->m_word2 = (ev->m_word2 & ~EventBits::TimeSigMask) | TimeSigWord(4, 4);
            events->push_back(std::move(ev));
        }
    } catch (const CArchiveException& e) {
        events->clear();
        if (error)
            *error = QStringLiteral("The clipboard data cannot be pasted: %1.").arg(QString::fromStdString(e.what()));
        return false;
    }
    return true;
}

namespace {

// The song ends with a plain BAR; a new one takes the time signature of the last BAR.
void KeepClosingBar(CEventList& events)
{
    if (!events.empty() && events.back().IsBar())
        return;
    uint32_t sig = TimeSigWord(4, 4);
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        if (it->IsBar()) {
            sig = it->m_word2 & EventBits::TimeSigMask;
            break;
        }
    }
    AppendEvent(events, EventType::Bar, sig);
}

} // namespace

bool PasteEvents(CRondelDoc& doc, const QByteArray& bytes, const std::optional<SInsertPoint>& at, QString* error)
{
    if (!at) {
        KADENZO_INTERNAL_PROBLEM(ReportSource::RondelDoc);
        return false;
    }
    std::vector<std::unique_ptr<CEvent>> pasted;
    if (!ReadClipboardEvents(bytes, &pasted, error) || pasted.empty())
        return false;
    CEventList& events = doc.Events();
    const bool withMeasures =
        std::any_of(pasted.begin(), pasted.end(), [](const auto& ev) { return ev->IsMeasure(); });
    if (!withMeasures) {
        // Notes in a measure repeat would never sound.
        if (at->m_bar->IsRepeatPrev()) {
            UserReport().Warning(QString::fromLatin1(kNoNotesInRepeat));
            return false;
        }
        // The first note lands on the cursor tick; the others keep their distance to it. Notes
        // that would end up past the bar end are refused rather than lost later.
        const int64_t base = pasted.front()->GetPosition();
        const int64_t cursor = int64_t(at->m_tick) * 12;
        const int64_t barEnd = int64_t(at->m_bar->GetMeasurePositions());
        for (const auto& ev : pasted)
            if (int64_t(ev->GetPosition()) - base + cursor >= barEnd) {
                UserReport().Warning(QString::fromLatin1(kPasteDoesNotFit));
                return false;
            }
        const EventPos before = std::next(at->m_after);
        for (auto& ev : pasted) {
            const int64_t pos = std::clamp<int64_t>(int64_t(ev->GetPosition()) - base + cursor, 0, EventBits::PositionMask);
            ev->m_word2 = (ev->m_word2 & ~EventBits::PositionMask) | uint32_t(pos);
            events.insert(before, std::move(ev));
        }
        SortMeasure(events, at->m_bar);
    } else {
        const EventPos before = at->m_bar;
        const bool atHead = before == events.begin();
        const uint32_t songStart = before->m_word1 & (EventBits::TempoPresent | EventBits::TempoMask | EventBits::PatchPresent | EventBits::PatchMask);
        if (!pasted.front()->IsMeasure())
            events.insert(before, std::make_unique<CEvent>(EventType::Bar, TimeSigWord(4, 4)));
        for (auto& ev : pasted)
            events.insert(before, std::move(ev));
        if (atHead) {
            // Pasted in front of bar 1: the song still starts with its own tempo and patch.
            CEvent& first = events.front();
            constexpr uint32_t kTempo = EventBits::TempoPresent | EventBits::TempoMask;
            constexpr uint32_t kPatch = EventBits::PatchPresent | EventBits::PatchMask;
            if ((songStart & EventBits::TempoPresent) && !(first.m_word1 & EventBits::TempoPresent))
                first.m_word1 = (first.m_word1 & ~kTempo) | (songStart & kTempo);
            if ((songStart & EventBits::PatchPresent) && !(first.m_word1 & EventBits::PatchPresent))
                first.m_word1 = (first.m_word1 & ~kPatch) | (songStart & kPatch);
        }
    }
    // The closing bar line goes in before the undo snapshot, so that undo and redo keep it.
    KeepClosingBar(events);
    doc.CommitEdit();
    return true;
}

int DeleteEvents(CRondelDoc& doc, const SEventSpan& span)
{
    const int bars = RemoveEvents(doc, span);
    doc.CommitEdit();
    return bars;
}

bool AdjustMeasureRepeat(CEventList& events, int fromBar, int delta)
{
    if (delta == 0 || fromBar < 1)
        return true;
    int bar = 0;
    int counted = 0; // measures between the change and the one looked at
    for (auto& ev : events) {
        if (!ev.IsMeasure() || ++bar < fromBar)
            continue;
        if (counted >= 8)
            break;
        if (ev.IsRepeatPrev()) {
            const int n = int(ev.GetRepeatPrevNMeasures());
            if (n > counted) {
                // Only the removed measures that lay inside the group leave it.
                const int changed = delta > 0 ? delta : -std::min(-delta, n - counted);
                const int newN = n + changed;
                if (newN < 1 || newN > 15)
                    return false;
                ev.m_word2 = (ev.m_word2 & ~(EventBits::RepeatNLowMask | EventBits::RepeatNHigh))
                    | ((uint32_t(newN) & 7) << EventBits::RepeatNShift) | ((newN & 8) ? EventBits::RepeatNHigh : 0);
                return true;
            }
        }
        ++counted;
    }
    return true;
}

int RemoveEvents(CRondelDoc& doc, const SEventSpan& span)
{
    CEventList& events = doc.Events();
    // The song's opening tempo and patch stay with whatever becomes the first measure.
    const CEvent& head = events.front();
    const uint32_t headTempo = head.m_word1 & (EventBits::TempoPresent | EventBits::TempoMask);
    const uint32_t headPatch = head.m_word1 & (EventBits::PatchPresent | EventBits::PatchMask);
    const bool headHasTempo = head.IsMeasure() && (head.m_word1 & EventBits::TempoPresent);
    const bool headHasPatch = head.IsMeasure() && (head.m_word1 & EventBits::PatchPresent);
    // A bar line goes with the range only when its whole measure does: the span must reach the
    // measure's last event. The last measure opener of the span is the only one in doubt.
    const auto stop = std::next(span.m_last);
    const bool lastMeasureWhole = stop == events.end() || stop->IsMeasure();
    EventPos lastOpener = events.end();
    for (auto it = span.m_first; it != stop && it != span.m_endBar && it != events.end(); ++it)
        if (it->IsMeasure())
            lastOpener = it;
    int bars = 0;
    uint32_t firstRemovedSig = 0;
    auto it = span.m_first;
    while (it != events.end() && it != stop && it != span.m_endBar) {
        if (it->IsMeasure()) {
            if (it == lastOpener && !lastMeasureWhole) {
                ++it; // its measure goes on after the range: the bar line stays
                continue;
            }
            if (bars++ == 0)
                firstRemovedSig = it->m_word2 & EventBits::TimeSigMask;
            doc.ForgetMarkersAt(&*it);
        }
        it = events.erase(it);
    }
    if (it == events.end() && (events.empty() || !events.back().IsBar()))
        AppendEvent(events, EventType::Bar, TimeSigWord(4, 4));
    // Notes whose opening bar line went with the range would otherwise stand before the first
    // measure; they keep their measure's time signature.
    if (!events.front().IsMeasure())
        events.push_front(std::make_unique<CEvent>(EventType::Bar, firstRemovedSig ? firstRemovedSig : TimeSigWord(4, 4)));
    CEvent& first = events.front();
    if (headHasTempo && !(first.m_word1 & EventBits::TempoPresent))
        first.m_word1 = (first.m_word1 & ~(EventBits::TempoPresent | EventBits::TempoMask)) | headTempo;
    if (headHasPatch && !(first.m_word1 & EventBits::PatchPresent))
        first.m_word1 = (first.m_word1 & ~(EventBits::PatchPresent | EventBits::PatchMask)) | headPatch;
    return bars;
}

QByteArray PastedTextBytes(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the text's own last line end
    QByteArray bytes;
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        bytes += line.toUtf8() + '\n';
    }
    return bytes;
}

QString SavePastedText(const QString& text, const std::function<QString(const QString& folder)>& chooseFile)
{
    if (!UserReport().Question(QString::fromLatin1(TextPaste::kQuestion)))
        return {};
    const QString folder = SampleTabFolder();
    QDir().mkpath(folder);
    const QString path = chooseFile(folder);
    if (path.isEmpty())
        return {};
    QString error;
    if (!WriteFileAtomically(path, PastedTextBytes(text), &error)) {
        // The short text first, then which file and the system's reason, as every save says.
        UserReport().Error(QString::fromLatin1(TextPaste::kCannotCreate) + QStringLiteral("\n") + error);
        return {};
    }
    return path;
}
