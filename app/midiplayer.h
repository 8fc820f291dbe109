#pragma once
// The transport's player over the document's CMidi: the stream on the chosen MIDI device,
// rendering bar by bar with the repeats expanded.

#include "player.h"

#include <functional>

class CMidi;
class CRondelDoc;

class CMidiPlayer : public CPlayer
{
public:
    // devicePosition: read when playback starts (0 the embedded synthesizer).
    CMidiPlayer(CRondelDoc& doc, std::function<int()> devicePosition);
    int State() const override;
    bool Play(bool loop, bool oneBar, int startBar) override;
    void Stop() override;
    void PauseResume() override;
    void SetTempo(int bpm) override;
    int GetPlayPosition() override;
    void SetVolume(int percent) override;
    bool TellsTransport() const override { return true; }
    void SetPlaySpan(int type, int barDn, int tickDn, int barUp, int tickUp) override;
    bool ContinueAt(int startBar) override;

private:
    CRondelDoc& m_doc;
    std::function<int()> m_devicePosition;
    int m_spanType = 0;
    int m_span[4] = {};
};
