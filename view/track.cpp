#include "track.h"

#include "catalogue.h"
#include "drumlayout.h"
#include "importtext.h"
#include "report.h"
#include "trackpass.h"

#include <QPainter>

#include <algorithm>

namespace {
CTrack::ImportTextProvider& ImportProvider()
{
    static CTrack::ImportTextProvider provider;
    return provider;
}

CTrack::PlayerQuery& PlayerQueryHook()
{
    static CTrack::PlayerQuery query;
    return query;
}

// Geometry fields of the measure events.
constexpr uint32_t kYMask = 0xFFFFF;
constexpr int kXShift = 20;
constexpr uint32_t kXMax = 0xFFF;
constexpr int kMaxCandidates = 46;

// A bar's notes in position order (they should already be; drawing does not rely on it).
std::vector<CEvent*>& SortedByPosition(std::vector<CEvent*>& notes)
{
    if (!std::is_sorted(notes.begin(), notes.end(), [](const CEvent* a, const CEvent* b) { return a->GetPosition() < b->GetPosition(); }))
        std::stable_sort(notes.begin(), notes.end(),
                         [](const CEvent* a, const CEvent* b) { return a->GetPosition() < b->GetPosition(); });
    return notes;
}

bool IsGuitar(uint32_t trackType) { return trackType == TrackType::Guitar6 || trackType == TrackType::Guitar7; }
}

// ----- CTrack ---------------------------------------------------------------------------

CTrack::CTrack(CRondelDoc& doc) : m_trackType(int(doc.m_trackType)), m_doc(doc) {}

CTrack::~CTrack() = default;

CTrack* CTrack::Of(CRondelDoc& doc)
{
    return dynamic_cast<CTrack*>(doc.m_pTrack.get());
}

void CTrack::SetImportTextProvider(ImportTextProvider provider)
{
    ImportProvider() = std::move(provider);
}

void CTrack::SetPlayerQuery(PlayerQuery query)
{
    PlayerQueryHook() = std::move(query);
}

bool CTrack::IsPlayerActive() const
{
    return PlayerQueryHook() && PlayerQueryHook()(m_doc);
}

int CTrack::Draw(const SDrawTarget& target, QSize* sizeOut)
{
    CTrackPass pass(*this, target);
    return pass.Run(sizeOut);
}

SBarGeometry CTrack::GeometryOf(const CEvent& measure)
{
    SBarGeometry g;
    g.x = int(measure.GetLayoutPos() >> kXShift);
    g.staffTop = int(measure.GetLayoutPos() & kYMask);
    g.T = int(measure.GetLayoutSize() & 0xFF);
    g.B = int((measure.GetLayoutSize() >> 8) & 0x3FF);
    g.S = int((measure.GetLayoutSize() >> 18) & 0x3FF);
    g.width = measure.GetDisplayWidth();
    g.systemStart = measure.m_word1 & EventBits::LayoutLineStart;
    g.pageStart = measure.m_word1 & EventBits::LayoutPageStart;
    return g;
}

const CEvent* CTrack::FindBar(int bar) const
{
    if (bar <= 0)
        return nullptr;
    int n = 0;
    for (const auto& ev : m_doc.Events())
        if (ev.IsMeasure() && ++n == bar)
            return &ev;
    return nullptr;
}

bool CTrack::HitTestBarTick(int px, int py, int* bar, int* tick) const
{
    *bar = 0;
    *tick = 0;
    int n = 0;
    for (const auto& ev : m_doc.Events()) {
        if (!ev.IsMeasure())
            continue;
        ++n;
        const SBarGeometry g = GeometryOf(ev);
        if (!(g.staffTop - 68 < py && py < g.staffTop + g.S))
            continue;
        if (g.systemStart && px < g.x)
            return false; // the left margin of a system
        if (px < g.x + g.width) {
            const int d = px - g.x;
            const int lead = (ev.m_word2 & EventBits::TimeSigShown) && ev.IsBar() ? 32 : 10;
            if (d > lead) {
                const int t = (d - lead) / 8;
                *tick = t >= int(ev.GetMeasureTicks()) ? INT_MAX : t;
            } else {
                *tick = -1;
            }
            *bar = n;
            return true;
        }
    }
    return false;
}

void CTrack::GetDrumKeysAtY(int bar, int y, std::vector<int>* keys) const
{
    keys->clear();
    const CEvent* ev = FindBar(bar);
    if (!ev)
        return;
    const SBarGeometry g = GeometryOf(*ev);
    const int top = g.staffTop;
    auto add = [&](int key) {
        if (int(keys->size()) >= kMaxCandidates) {
            KADENZO_INTERNAL_PROBLEM(ReportSource::Event);
            return false;
        }
        keys->push_back(key);
        return true;
    };
    if (m_lastRows.standard && y >= top - 4 && y <= top + 32) {
        const int step = y < top + 2 ? 0 : 1 + (y - top - 2) / 4;
        for (int key = DrumLayout::kFirstKey; key <= DrumLayout::kLastKey; ++key)
            if (10 - DrumLayout::Position(key) == step && !add(key))
                return;
        return;
    }
    if (m_lastRows.tab && y >= top + g.T - 6 && y <= top + g.B + 4) {
        const int k = y < top + g.T + 6 ? 0 : 1 + (y - top - g.T - 6) / 12;
        int shown = 0;
        for (int row = 0; row < TabLines::kCount; ++row) {
            if (!TabLines::IsShown(row))
                continue;
            if (shown++ == k) {
                for (const TabLines::SPair& pair : TabLines::Pairs(row))
                    if (!add(pair.key))
                        return;
                return;
            }
        }
    }
}

namespace {
// The naturals and accidentals of each staff step, from the pitch-to-staff tables.
struct SStepPitches
{
    int natural = 0;
    int other = 0; // the sharp or flat on the same step
};

int StepTableIndex(int step) { return step + 40; } // steps run from -25 to 18

const std::array<SStepPitches, 80>& StepPitches(bool guitar)
{
    auto build = [](bool g) {
        std::array<SStepPitches, 80> table{};
        const uint32_t type = g ? TrackType::Guitar6 : TrackType::Bass4;
        const int first = g ? 35 : 23;
        for (int pitch = first; pitch <= first + 64; ++pitch) {
            const CEvent note(uint32_t(pitch), 0);
            const int step = note.GetStaffStep(type, false);
            const int idx = StepTableIndex(step);
            if (idx < 0 || idx >= int(table.size()))
                continue;
            if (note.GetAccidental(type) == 0)
                table[size_t(idx)].natural = pitch;
            else if (table[size_t(idx)].other == 0)
                table[size_t(idx)].other = pitch;
        }
        return table;
    };
    static const auto guitarTable = build(true);
    static const auto bassTable = build(false);
    return guitar ? guitarTable : bassTable;
}
}

int CTrack::GetPitchAtY(int bar, uint32_t trackType, int y, int* alternative) const
{
    *alternative = 0;
    const CEvent* ev = FindBar(bar);
    if (!ev)
        return 0;
    const SBarGeometry g = GeometryOf(*ev);
    const int top = g.staffTop;
    if (m_lastRows.standard && y >= top - 44 && y <= top + 68) {
        const int step = y < top - 38 ? -10 : -9 + (y - top + 38) / 4;
        const int idx = StepTableIndex(step);
        const auto& table = StepPitches(IsGuitar(trackType));
        if (idx < 0 || idx >= int(table.size()) || table[size_t(idx)].natural == 0)
            return 0;
        const SStepPitches& sp = table[size_t(idx)];
        *alternative = sp.other ? sp.other : sp.natural;
        return sp.natural;
    }
    if (m_lastRows.tab && y >= top + g.T - 6 && y <= top + g.B + 4) {
        const int k = y < top + g.T + 6 ? 0 : 1 + (y - top - g.T - 6) / 12;
        if (k < int(OpenStrings(trackType).size()))
            return -(1 + k);
    }
    return 0;
}

std::vector<int> CTrack::OpenStrings(uint32_t trackType)
{
    switch (trackType) {
    case TrackType::Bass4: return {43, 38, 33, 28};
    case TrackType::Bass5: return {43, 38, 33, 28, 23};
    case TrackType::Bass6: return {48, 43, 38, 33, 28, 23};
    case TrackType::Guitar6: return {64, 59, 55, 50, 45, 40};
    case TrackType::Guitar7: return {64, 59, 55, 50, 45, 40, 35};
    default: return {};
    }
}

QString CTrack::PitchName(int pitch)
{
    static const char* const names[12] = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"};
    return QString::fromLatin1(names[((pitch % 12) + 12) % 12]);
}

// ----- the pass -------------------------------------------------------------------------

CTrackPass::CTrackPass(CTrack& track, const SDrawTarget& target)
    : m_track(track), m_doc(track.m_doc), m_target(target), m_p(target.painter)
{
}

void CTrackPass::Setup()
{
    const CDisplayConfig& cfg = DisplayConfig();
    m_printing = m_target.printing;
    if (m_target.mode)
        m_mode = *m_target.mode;
    else if (m_printing)
        m_mode = EDisplayMode::Print;
    else
        m_mode = m_track.IsPlayerActive() ? EDisplayMode::Playback : EDisplayMode::Edit;
    m_rows = cfg.Rows(m_mode);
    m_trackType = int(m_doc.m_trackType);
    m_track.m_trackType = m_trackType;
    m_drums = m_trackType == int(TrackType::Drums) || CTrack::OpenStrings(uint32_t(m_trackType)).empty();

    const int P = cfg.m_printSize;
    const int u = CDisplayConfig::kUnitsPerInch;
    m_pageHeight = P - int(u * cfg.m_marginTop) - int(u * cfg.m_marginBottom);
    // Lines are 0.75 (portrait) or 1.3 (landscape) page heights long, but never longer than the
    // paper is wide (A4 is narrower than 0.75).
    double factor = m_target.landscape ? 1.3 : 0.75;
    if (m_target.pageAspect > 0)
        factor = std::min(factor, m_target.pageAspect);
    m_usableWidth = int(factor * P) - int(u * cfg.m_marginLeft) - int(u * cfg.m_marginRight);
    m_width = m_printing ? m_usableWidth : m_target.width;
    // A bar's x is kept in 12 bits of its geometry word.
    m_width = std::clamp(m_width, 1, int(kXMax));
    m_pageHeight = std::max(m_pageHeight, 1);

    if (m_rows.tab && m_drums)
        ApplyTabStaffFormat(m_target.tabFormat.cymbalsOwnLines, m_target.tabFormat.tomsOwnLines,
                            m_target.tabFormat.showPercussion);

    m_import = m_track.m_importText;
    if (!m_import && ImportProvider()) {
        m_ownImport = ImportProvider()(m_doc);
        m_import = m_ownImport.get();
    }
    m_hasImport = m_import && m_import->HasText() && m_doc.m_bImported;
}

void CTrackPass::PreScan()
{
    // Drum keys that only a hidden tab row holds switch that row on before the rows are
    // counted, so that every pass of the same song has the same rows.
    std::array<bool, 128> used{};
    for (const auto& ev : m_doc.Events()) {
        if (ev.IsNote())
            used[ev.GetEventType()] = true;
        else if (ev.IsMeasure() && (ev.m_word1 & EventBits::ImportedLineStart)) {
            if (!m_blockRefs.empty() && (ev.GetImportRef() >> 10) < (m_blockRefs.back() >> 10))
                m_blockRefsInOrder = false;
            m_blockRefs.push_back(ev.GetImportRef());
        }
    }
    if (m_rows.tab && m_drums) {
        for (int key = 0; key < int(used.size()); ++key) {
            if (!used[size_t(key)])
                continue;
            char letter = 0;
            FindTabLine(key, &letter);
        }
    }
    m_tabRows = m_drums ? CountShownTabLines() : int(CTrack::OpenStrings(uint32_t(m_trackType)).size());
    m_tabRows = std::max(m_tabRows, 1);
}

uint32_t CTrackPass::NextBlockRef(uint32_t importRef)
{
    // The first block start, in song order, on a later line than importRef's.
    const uint32_t line = importRef >> 10;
    if (!m_blockRefsInOrder) {
        for (uint32_t ref : m_blockRefs)
            if ((ref >> 10) > line)
                return ref;
        return 0;
    }
    // Lines only grow along the list and the layout asks in song order, so the answer is at
    // or after the previous one: the cursor moves forward, a step per block over the pass.
    if (m_blockCursor > 0 && (m_blockRefs[m_blockCursor - 1] >> 10) > line)
        m_blockCursor = size_t(std::upper_bound(m_blockRefs.begin(), m_blockRefs.end(), line,
                                                [](uint32_t l, uint32_t ref) { return l < (ref >> 10); }) -
                               m_blockRefs.begin());
    while (m_blockCursor < m_blockRefs.size() && (m_blockRefs[m_blockCursor] >> 10) <= line)
        ++m_blockCursor;
    return m_blockCursor < m_blockRefs.size() ? m_blockRefs[m_blockCursor] : 0;
}

bool CTrackPass::IsSystemVisible(int systemTop) const
{
    if (!m_p)
        return false;
    if (m_printing)
        return m_page == m_target.page;
    if (m_target.visible.isNull())
        return true;
    int k = 42;
    if (m_rows.standard)
        k += 144;
    if (m_rows.tab)
        k += 12 * m_tabRows + 25;
    if (m_rows.import)
        k += 130;
    return QRect(0, systemTop - k, m_width, 2 * k).intersects(m_target.visible);
}

int CTrackPass::Run(QSize* sizeOut)
{
    // One pass at a time, program-wide: drawing may correct the song.
    static bool s_running = false;
    if (s_running)
        return 0;
    s_running = true;
    struct SGuard
    {
        ~SGuard() { s_running = false; }
    } guard;

    Setup();
    PreScan();
    if (m_track.m_glyphLog)
        m_track.m_glyphLog->clear();
    if (m_p) {
        m_p->save();
        m_p->setRenderHint(QPainter::Antialiasing, true);
        m_p->setRenderHint(QPainter::TextAntialiasing, true);
        m_p->setPen(QPen(Qt::black, 1));
        m_p->setBrush(Qt::NoBrush);
    }

    std::vector<std::pair<QString, QString>> header;
    m_track.m_headerHeight = HeaderLines(&header) * 21;
    DrawHeader();
    const int firstTop = m_track.m_headerHeight + 10;

    const int T = m_rows.standard ? 98 : 25;
    const int B = T + (m_rows.tab ? 12 * (m_tabRows - 1) : 0);
    const int S = B + 8 + (m_rows.count ? 26 : 0);
    const uint32_t sizeWord = uint32_t(T) | (uint32_t(B) << 8) | (uint32_t(S) << 18);
    const bool importShown = m_rows.import && m_hasImport;

    CEventList& events = m_doc.Events();
    CEvent* current = nullptr;
    uint32_t currentLength = 0; // events before the first measure count against length 0
    bool currentVisible = false;
    std::vector<CEvent*> notes;
    uint32_t previousSig = 0;
    int x = 0;
    int staffTop = 0;
    int systemTop = firstTop;
    int nextTop = firstTop;
    int systemHeight = 0;
    int pageTotal = 0;
    int importHeight = 0;
    int widest = 0;
    int bottom = firstTop;
    bool stopped = false;

    for (auto it = events.begin(); it != events.end();) {
        CEvent* ev = &*it;
        if (!ev->IsMeasure()) {
            if (ev->GetPosition() > currentLength) {
                // An event outside its measure: removing bogus event.
                it = events.erase(it);
                continue;
            }
            if (current)
                notes.push_back(ev);
            ++it;
            continue;
        }

        if (current && currentVisible)
            DrawNotes(*current, SortedByPosition(notes), false);
        notes.clear();
        ++m_barNo;

        // Bit 14: this bar shows its time signature when it differs from the previous
        // measure's. Set for every bar as the walk goes, so that widths never depend on what
        // was on screen before.
        const uint32_t sig = ev->m_word2 & EventBits::TimeSigMask;
        if (ev->IsBar()) {
            if (m_barNo == 1 || sig != previousSig)
                ev->m_word2 |= EventBits::TimeSigShown;
            else
                ev->m_word2 &= ~EventBits::TimeSigShown;
        }
        previousSig = sig;

        const int width = ev->GetDisplayWidth();
        const bool blockStart = ev->m_word1 & EventBits::ImportedLineStart;
        const bool newSystem = m_barNo == 1 || (ev->m_word1 & (EventBits::NewLine | EventBits::NewPage))
                               || (importShown && blockStart) || x + width > m_width - 5;
        ev->m_word1 &= ~(EventBits::LayoutLineStart | EventBits::LayoutPageStart);
        if (newSystem) {
            ev->m_word1 |= EventBits::LayoutLineStart;
            if (m_barNo == 1) {
                ev->m_word1 |= EventBits::LayoutPageStart;
                m_page = 1;
                pageTotal = firstTop;
                systemTop = firstTop;
            } else {
                systemTop = nextTop;
                pageTotal += systemHeight;
                if (pageTotal > m_pageHeight - systemHeight || (ev->m_word1 & EventBits::NewPage)) {
                    ev->m_word1 |= EventBits::LayoutPageStart;
                    ++m_page;
                    pageTotal = 0;
                    if (m_printing && m_page > m_target.page) {
                        stopped = true;
                        break;
                    }
                    if (m_printing && m_page == m_target.page)
                        systemTop = 0;
                }
            }
            x = (!m_printing || m_rows.tab || m_rows.import) ? 80 : 40;
            staffTop = systemTop + (m_rows.standard ? 93 : 35);

            std::vector<SImportTextLine> lines;
            if (importShown && blockStart) {
                lines = m_import->LinesForBlock(ev->GetImportRef(), NextBlockRef(ev->GetImportRef()));
                importHeight = lines.empty() ? 0 : 13 * int(lines.size());
            }
            const int systemBottom = staffTop + S + (importShown && importHeight > 0 ? 10 + importHeight : 0);
            nextTop = systemBottom + (m_printing ? 0 : 10);
            systemHeight = nextTop - systemTop;
            bottom = nextTop;

            m_systemVisible = IsSystemVisible(systemTop);
            m_shape.clear();
            if (m_systemVisible) {
                DrawSystemMargin(*ev, systemTop);
                if (m_printing && m_page > 1 && (ev->m_word1 & EventBits::LayoutPageStart))
                    DrawPageBand(systemTop);
                if (!lines.empty())
                    DrawImportText(lines, *ev, staffTop + S + 10);
            }
        }
        m_firstInSystem = newSystem;

        const uint32_t yField = uint32_t(std::clamp(staffTop, 0, int(kYMask)));
        ev->SetLayoutPos((uint32_t(std::clamp(x, 0, int(kXMax))) << kXShift) | yField);
        ev->SetLayoutSize(sizeWord);
        if (ev->IsBar())
            widest = std::max(widest, x + width + 10);

        DrawMeasure(*ev, it, systemTop);

        x += width;
        current = ev;
        currentLength = ev->GetMeasurePositions();
        currentVisible = m_systemVisible;
        ++it;
    }
    if (current && currentVisible && !stopped)
        DrawNotes(*current, SortedByPosition(notes), notes.empty() && current->IsBar());

    if (m_printing && m_target.page == 1 && m_p)
        DrawCornerMark();
    for (QRect& r : m_track.m_highlights)
        r = QRect();
    m_track.m_lastRows = m_rows;
    m_track.m_lastMode = m_mode;
    m_track.m_lastTabRows = m_tabRows;
    if (m_p)
        m_p->restore();
    if (sizeOut)
        *sizeOut = QSize(widest, bottom);
    return std::max(m_page, 1);
}
