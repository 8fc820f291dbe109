// CMidi's player: one bar at a time into the MIDI stream, with one bar of look-ahead so the
// stream always holds the next bar before the current one ends. Every bar is rendered on the
// user interface thread: the stream's done notifications are delivered by the 50 ms poll
// (PollPlayer), never from the audio or timer thread.

#include "midi.h"

#include "midistream.h"

#include <atomic>
#include <deque>

namespace {
// The one player of the program.
struct SPlayer
{
    std::unique_ptr<CMidiStream> m_stream;
    CMidi* m_owner = nullptr;
    int m_listener = 0;
    // Tempo events of the queued buffers, oldest first (0: the buffer carries none).
    std::deque<int> m_queuedTempi;
    bool m_silentNoticeShown = false;
    // A count-in longer than the recording's lead before the first bar: the recording starts
    // when the stream reaches this tick (-1: started, or nothing to start), at this tempo.
    int64_t m_overlayDueTick = -1;
    int m_overlayTempo = 0;
};
SPlayer g_player;
// A stream closed from inside its own done notification lives until the notification
// returns.
std::unique_ptr<CMidiStream> g_retired;
bool g_inDoneHandler = false;
std::atomic<bool> g_stopRequest{false};

int StoredTempo(const CEvent& bar)
{
    return int((bar.m_word1 & EventBits::TempoMask) >> EventBits::TempoShift);
}

void PutWord(std::vector<uint8_t>& out, uint32_t w)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(w >> (8 * i)));
}

bool ContainsEvent(const CEventList& list, const CEvent* ev)
{
    for (const auto& e : list)
        if (&e == ev)
            return true;
    return false;
}
}

// Everything a bar step changes, so that the look-ahead bar can be rendered again.
struct CMidi::SRenderSnapshot
{
    int m_barNumber, m_msecs, m_ticks;
    EventPos m_nextNode, m_prevMeasuresNode, m_groupStart;
    int m_prevMeasuresTimes, m_prevMeasuresPass, m_prevMeasuresBars, m_groupPass;
    uint8_t m_inAlternate;
    int m_tempo, m_patch, m_timeDebt;
    int64_t m_noteCursor, m_writeCursor;
    bool m_sounding[100];
};

CMidi::SRenderSnapshot CMidi::SaveRenderState() const
{
    SRenderSnapshot s{};
    s.m_barNumber = m_barNumber;
    s.m_msecs = m_msecs;
    s.m_ticks = m_ticks;
    s.m_nextNode = m_nextNode;
    s.m_prevMeasuresNode = m_prevMeasuresNode;
    s.m_groupStart = m_groupStart;
    s.m_prevMeasuresTimes = m_prevMeasuresTimes;
    s.m_prevMeasuresPass = m_prevMeasuresPass;
    s.m_prevMeasuresBars = m_prevMeasuresBars;
    s.m_groupPass = m_groupPass;
    s.m_inAlternate = m_inAlternate;
    s.m_tempo = m_tempo;
    s.m_patch = m_patch;
    s.m_timeDebt = m_timeDebt;
    s.m_noteCursor = m_noteCursor;
    s.m_writeCursor = m_writeCursor;
    std::copy(std::begin(m_sounding), std::end(m_sounding), s.m_sounding);
    return s;
}

void CMidi::RestoreRenderState(const SRenderSnapshot& s)
{
    m_barNumber = s.m_barNumber;
    m_msecs = s.m_msecs;
    m_ticks = s.m_ticks;
    m_nextNode = s.m_nextNode;
    m_prevMeasuresNode = s.m_prevMeasuresNode;
    m_groupStart = s.m_groupStart;
    m_prevMeasuresTimes = s.m_prevMeasuresTimes;
    m_prevMeasuresPass = s.m_prevMeasuresPass;
    m_prevMeasuresBars = s.m_prevMeasuresBars;
    m_groupPass = s.m_groupPass;
    m_inAlternate = s.m_inAlternate;
    m_tempo = s.m_tempo;
    m_patch = s.m_patch;
    m_timeDebt = s.m_timeDebt;
    m_noteCursor = s.m_noteCursor;
    m_writeCursor = s.m_writeCursor;
    std::copy(std::begin(s.m_sounding), std::end(s.m_sounding), m_sounding);
}

CMidi::CPlayerGuard::~CPlayerGuard()
{
    // Destroying the CMidi that plays stops and closes its stream.
    if (g_player.m_owner == m_owner)
        m_owner->ClosePlayer();
}

CMidiStream* CMidi::PlayerStream()
{
    return g_player.m_stream.get();
}

void CMidi::SetStopRequest(bool on)
{
    g_stopRequest.store(on);
}

bool CMidi::StopRequested()
{
    return g_stopRequest.load();
}

std::vector<uint8_t> CMidi::StreamBytes(int* tempoBpm) const
{
    // The bar's own tempo travels with it, so it applies when the bar begins, unless the user
    // typed a play tempo.
    std::vector<uint8_t> out;
    out.reserve(m_streamBuffer.m_events.size() * 12 + 32);
    const int tempo = PlayerHost::Get().CurrentPlayTempo() == 0 ? m_streamBuffer.m_tempo : 0;
    if (tempo > 0) {
        PutWord(out, 0);
        PutWord(out, 0);
        PutWord(out, StreamEvent::TempoWord(uint32_t(60000000.0 / tempo)));
    }
    if (tempoBpm)
        *tempoBpm = tempo;
    for (const SStreamEvent& e : m_streamBuffer.m_events) {
        PutWord(out, e.m_delta);
        PutWord(out, 0);
        if (e.m_long) {
            PutWord(out, StreamEvent::LongFlag | e.m_length);
            for (int i = 0; i < (e.m_length + 3) / 4 * 4; ++i)
                out.push_back(i < e.m_length ? e.m_bytes[size_t(i)] : 0);
        } else {
            PutWord(out, e.ShortWord());
        }
    }
    return out;
}

bool CMidi::QueueRenderedBar()
{
    int tempo = 0;
    const std::vector<uint8_t> bytes = StreamBytes(&tempo);
    SMidiHeader header;
    header.m_pData = bytes.data();
    header.m_bufferLength = header.m_bytesRecorded = uint32_t(bytes.size());
    if (!g_player.m_stream->Out(header))
        return false;
    g_player.m_queuedTempi.push_back(tempo);
    return true;
}

bool CMidi::RenderAhead()
{
    // A click moved playback: the bar after the look-ahead is the clicked one.
    if (m_continueNode) {
        m_nextNode = *m_continueNode;
        m_continueNode.reset();
        m_haveJump = false;
        ResetRepeatState();
        // Bars skipped over still hold the start ticks of the timing pass, which may equal
        // those of the bars played now: they get theirs again when they are rendered.
        if (const CEvent* playing = m_streamBuffer.m_bar)
            for (auto& e : Events())
                if (e.IsMeasure() && &e != playing && e.GetRunTime1() > playing->GetRunTime1())
                    e.SetRunTime1(0);
    }
    // One bar of look-ahead: keep the bar after the one playing in the stream.
    if (m_oneBar || (m_nextNode == None() && !m_loop))
        return true;
    m_lookAheadBefore = std::make_shared<SRenderSnapshot>(SaveRenderState());
    int total = 0;
    m_nextNode = RenderBar(m_nextNode, total);
    if (!QueueRenderedBar())
        return false;
    m_lookAheadAfter = std::make_shared<SRenderSnapshot>(SaveRenderState());
    return true;
}

bool CMidi::Play(int devicePosition, const SPlayRange& range, bool loop, bool oneBar, std::optional<EventPos> startNode)
{
    if (GetPlayState() != 0)
        return false;
    return PlayOn(MidiStreams::Open(devicePosition), range, loop, oneBar, startNode);
}

bool CMidi::PlayOn(std::unique_ptr<CMidiStream> stream, const SPlayRange& range, bool loop, bool oneBar, std::optional<EventPos> startNode)
{
    if (GetPlayState() != 0 || !stream)
        return false;
    CEventList& events = Events();
    if (events.empty())
        return false;

    // 1. The selection, the flags, the pass.
    m_playRange = range;
    m_loop = loop ? 1 : 0;
    m_oneBar = oneBar ? 1 : 0;
    BeginPass(RENDER_PLAY);
    m_tempo = int(events.front().GetTempo());
    m_patch = int(events.front().GetPatch());

    // 2. The first bar.
    EventPos first = Events().begin();
    if (startNode)
        first = *startNode;
    else if (m_playStartMarker)
        first = *m_playStartMarker;
    else if ((range.m_type == 1 || range.m_type == 2) && range.m_startBarPos)
        first = *range.m_startBarPos;
    if (first != None() && !first->IsMeasure())
        first = NextMeasure(first);
    if (first == None())
        return false;
    // A loop from the closing bar would render nothing, over and over.
    if (m_loop && std::next(first) == None())
        return false;
    m_startNode = first;
    int total = 0;
    // The count-in goes first, as a buffer of its own; the song's ticks start after it.
    m_countInTicks = 0;
    std::vector<uint8_t> countIn;
    int countInTempo = 0;
    if (ClickOptions().m_countIn) {
        total += RenderCountIn(first);
        m_countInTicks = m_noteCursor;
        countIn = StreamBytes(&countInTempo);
    }
    m_nextNode = RenderBar(first, total);

    // 3-5. Open, time division, the first buffer and the look-ahead.
    if (!g_inDoneHandler)
        g_retired.reset();
    g_player = SPlayer{std::move(stream), this, 0, {}, g_player.m_silentNoticeShown, -1, 0};
    g_player.m_stream->SetDoneHandler([this](uintptr_t) { OnBufferDone(); });
    const auto queueCountIn = [&] {
        if (countIn.empty())
            return true;
        SMidiHeader header;
        header.m_pData = countIn.data();
        header.m_bufferLength = header.m_bytesRecorded = uint32_t(countIn.size());
        if (!g_player.m_stream->Out(header))
            return false;
        g_player.m_queuedTempi.push_back(countInTempo);
        return true;
    };
    if (!g_player.m_stream->SetTimeDivision(96) || !queueCountIn() || !QueueRenderedBar() || !RenderAhead()) {
        g_player.m_stream.reset();
        g_player.m_owner = nullptr;
        g_player.m_queuedTempi.clear();
        m_loop = m_oneBar = 0;
        return false;
    }
    if (m_trackType != 10) {
        // Guitar and bass: every program the song may select, loaded before the clock runs.
        std::vector<int> programs{28};
        for (const auto& ev : events)
            if (ev.IsMeasure())
                programs.push_back(int((ev.m_word1 & EventBits::PatchMask) >> EventBits::PatchShift));
        g_player.m_stream->PreparePrograms(programs);
    }

    // 6. Playing.
    SetPlayState(1);
    m_buffersDone = 0;
    CPlayerHost& host = PlayerHost::Get();

    // 7. Volume from the fader.
    SetVolume(100 - host.FaderPos());

    // 8. Tempo.
    m_tempo = StoredTempo(*first);
    const int playTempo = host.CurrentPlayTempo();
    SetTempo(playTempo != 0 ? playTempo : m_tempo);
    if (playTempo == 0 && m_tempo > 0)
        host.ShowDefaultTempo(m_tempo);

    // 9. The transport and the overlay.
    host.ShowPlayState(1, m_loop);
    // The recording keeps its place against the song: a count-in plays what comes before the
    // first bar in the recording, or waits in silence where the recording has less.
    const int startMsecs = int(first->GetRunTime2());
    if (m_countInTicks == 0) {
        host.NotifyOverlay(1, startMsecs);
    } else {
        const int tempo = playTempo != 0 ? playTempo : TempoForTime();
        const int countInMsecs = BarMsecs(int(m_countInTicks), tempo);
        if (startMsecs >= countInMsecs) {
            host.NotifyOverlay(1, startMsecs - countInMsecs);
        } else {
            g_player.m_overlayDueTick = m_countInTicks - int64_t(double(startMsecs) * tempo * 96 / 60000.0);
            g_player.m_overlayTempo = tempo;
        }
    }
    const char* silent = g_player.m_stream->SilentReason();
    if (silent && *silent && !g_player.m_silentNoticeShown) {
        g_player.m_silentNoticeShown = true;
        host.ShowSilentNotice(silent);
    }

    // Edits during playback can change the look-ahead bar.
    g_player.m_listener = m_doc.AddListener([this](CRondelDoc&) { RefreshLookAhead(); });

    // 10. Go.
    g_player.m_stream->Restart();
    return true;
}

void CMidi::OnEventsReloaded()
{
    // The look-ahead and the next bar point into the events that are gone.
    if (g_player.m_owner == this && (GetPlayState() == 1 || GetPlayState() == 2))
        Stop();
    else if (g_player.m_owner == this)
        ClosePlayer();
    m_startNode = m_nextNode = m_prevMeasuresNode = m_groupStart = m_jump = None();
    m_playRange = SPlayRange{};
    m_playStartMarker.reset();
    m_playEndMarker.reset();
}

void CMidi::OnBufferDone()
{
    if (g_player.m_owner != this || !g_player.m_stream)
        return;
    struct SInHandler
    {
        SInHandler() { g_inDoneHandler = true; }
        ~SInHandler() { g_inDoneHandler = false; }
    } inHandler;
    ++m_buffersDone;
    if (!g_player.m_queuedTempi.empty())
        g_player.m_queuedTempi.pop_front();
    // The next buffer has begun: its bar's tempo is the one shown.
    if (!g_player.m_queuedTempi.empty() && g_player.m_queuedTempi.front() > 0)
        PlayerHost::Get().ShowDefaultTempo(g_player.m_queuedTempi.front());

    if (g_stopRequest.load()) {
        Stop();
        SetPlayState(-5);
        return;
    }
    const bool lastDone = g_player.m_stream->Pending() == 0;
    if (m_oneBar || (lastDone && m_nextNode == None() && !m_loop && !m_continueNode)) {
        if (lastDone)
            SetPlayState(-5);
        return;
    }
    // The bar that just began no longer changes; render the one after it.
    m_lookAheadBefore.reset();
    m_lookAheadAfter.reset();
    if (!RenderAhead())
        ClosePlayer();
}

void CMidi::ContinueAt(EventPos bar)
{
    if (g_player.m_owner != this || (GetPlayState() != 1 && GetPlayState() != 2) || m_oneBar)
        return;
    if (bar == None() || !bar->IsMeasure())
        return;
    m_continueNode = bar;
}

void CMidi::RefreshLookAhead()
{
    if (g_player.m_owner != this || !m_lookAheadBefore || !m_lookAheadAfter || (GetPlayState() != 1 && GetPlayState() != 2))
        return;
    // Nodes of the saved state must still be in the song.
    for (EventPos pos : {m_lookAheadBefore->m_nextNode, m_lookAheadBefore->m_prevMeasuresNode, m_lookAheadBefore->m_groupStart,
                         m_startNode}) {
        if (pos != None() && !ContainsEvent(Events(), &*pos))
            return;
    }
    const SRenderSnapshot after = *m_lookAheadAfter;
    RestoreRenderState(*m_lookAheadBefore);
    int total = 0;
    const EventPos next = RenderBar(m_nextNode, total);
    int tempo = 0;
    const std::vector<uint8_t> bytes = StreamBytes(&tempo);
    SMidiHeader header;
    header.m_pData = bytes.data();
    header.m_bufferLength = header.m_bytesRecorded = uint32_t(bytes.size());
    if (g_player.m_stream->ReplaceLast(header)) {
        m_nextNode = next;
        if (!g_player.m_queuedTempi.empty())
            g_player.m_queuedTempi.back() = tempo;
        m_lookAheadAfter = std::make_shared<SRenderSnapshot>(SaveRenderState());
    } else {
        RestoreRenderState(after); // it has begun already: it stays as it was
    }
}

void CMidi::Stop()
{
    const int state = GetPlayState();
    if ((state != 1 && state != 2) || g_player.m_owner != this)
        return;
    g_player.m_stream->SetDoneHandler({});
    g_player.m_stream->Stop();
    m_nextNode = None();
    ClosePlayer();
    PlayerHost::Get().NotifyOverlay(2, 0);
}

void CMidi::PauseResume()
{
    if (g_player.m_owner != this || !g_player.m_stream)
        return;
    CPlayerHost& host = PlayerHost::Get();
    switch (GetPlayState()) {
    case 1:
        g_player.m_stream->Pause();
        SetPlayState(2);
        host.ShowPlayState(2, m_loop);
        host.NotifyOverlay(3, 0);
        break;
    case 2:
        g_player.m_stream->Restart();
        SetPlayState(1);
        host.ShowPlayState(1, m_loop);
        host.NotifyOverlay(4, 0);
        break;
    default:
        break;
    }
}

void CMidi::SetVolume(int percent)
{
    const int state = GetPlayState();
    if ((state != 1 && state != 2) || !g_player.m_stream)
        return;
    const uint32_t v = uint32_t(std::clamp(percent, 0, 100)) * 65535u / 100u;
    g_player.m_stream->SetVolume(v | v << 16);
}

void CMidi::SetTempo(int bpm)
{
    if (!g_player.m_stream || g_player.m_owner != this || bpm <= 0)
        return;
    if (!g_player.m_stream->SetTempo(uint32_t(60000000.0 / bpm))) {
        ClosePlayer();
        return;
    }
    // A typed play tempo must not be undone by the bar tempo in the look-ahead bar (and a
    // cleared one lets that bar's tempo apply again).
    RefreshLookAhead();
}

int64_t CMidi::GetPlayPosition()
{
    if (GetPlayState() == 0)
        return 0;
    if (!g_player.m_stream)
        return -1;
    int64_t ticks = 0;
    if (!g_player.m_stream->Position(&ticks))
        return -1;
    // The count-in holds the position at the first bar's start.
    return std::max<int64_t>(0, ticks - m_countInTicks);
}

int64_t CMidi::PollPlayer()
{
    if (g_player.m_stream && g_player.m_owner == this)
        g_player.m_stream->DispatchDone();
    g_retired.reset();
    if (g_stopRequest.load())
        return 0;
    int state = GetPlayState();
    if (state == 0)
        return -1;
    const int64_t position = GetPlayPosition();
    if (position < 0) {
        // No stream to ask (closed by a stop request, or a failed device): the state ends.
        ClosePlayer();
        SetPlayState(0);
        return -1;
    }
    int64_t raw = 0;
    if (state == 1 && g_player.m_overlayDueTick >= 0 && g_player.m_stream && g_player.m_stream->Position(&raw)
        && raw >= g_player.m_overlayDueTick) {
        // The recording's start came during the count-in: it begins now, as far in as the
        // stream has gone past that point.
        const int late = int((raw - g_player.m_overlayDueTick) * 60000.0 / (std::max(g_player.m_overlayTempo, 1) * 96));
        g_player.m_overlayDueTick = -1;
        PlayerHost::Get().NotifyOverlay(1, late);
    }
    if (state < 0) {
        SetPlayState(++state);
        if (state == -1) {
            ClosePlayer();
            PlayerHost::Get().NotifyOverlay(2, 0);
            return -1;
        }
    }
    return position;
}

void CMidi::ClosePlayer()
{
    if (g_player.m_owner != this)
        return;
    if (g_player.m_listener)
        m_doc.RemoveListener(g_player.m_listener);
    std::unique_ptr<CMidiStream> stream = std::move(g_player.m_stream);
    if (stream)
        stream->SetDoneHandler({});
    g_player.m_owner = nullptr;
    g_player.m_listener = 0;
    g_player.m_queuedTempi.clear();
    if (g_inDoneHandler)
        g_retired = std::move(stream);
    else
        stream.reset();
    m_lookAheadBefore.reset();
    m_lookAheadAfter.reset();
    m_continueNode.reset();
    SetPlayState(0);
    m_loop = 0;
    m_oneBar = 0;
    CPlayerHost& host = PlayerHost::Get();
    host.ShowPlayState(0, false);
    host.RedrawViews();
}
