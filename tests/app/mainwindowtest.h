#pragma once
// The ground every main-window test stands on: a settings file of its own, the play clock and
// the MIDI stream under the test's hand (a stream frame is 1 ms), and the user's messages
// recorded instead of shown; and a song to open.

#include "appwiring.h"
#include "mainframe.h"
#include "manualclock.h"
#include "midi.h"
#include "mididevices.h"
#include "midistream.h"
#include "playclock.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "settings.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

class CMainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SettingsStore::UseFile(m_dir.filePath(QStringLiteral("settings.ini")));
        PlayClock::UseManual(&m_clock);
        MidiStreams::SetOpener([this](int) -> std::unique_ptr<CMidiStream> {
            auto stream = std::make_unique<CManualClockStream>(1000.0);
            stream->SetRecording(false);
            m_stream = stream.get();
            return stream;
        });
    }
    void TearDown() override
    {
        MidiDevices::InstallStreamOpener();
        PlayClock::UseManual(nullptr);
        SettingsStore::UseFile(QString());
        AttachAppToLayers(); // tests replace hooks; later tests get the real ones back
    }

    // A main window of the usual size, shown and exposed.
    std::unique_ptr<CMainFrame> Frame()
    {
        auto f = std::make_unique<CMainFrame>();
        f->resize(1000, 700);
        f->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        return f;
    }

    // Moves both clocks on in the view's 50 ms steps, polling as its timer would; no time at
    // all polls once.
    void Advance(CMainFrame& f, int64_t msecs)
    {
        if (msecs == 0 && f.ActiveView())
            f.ActiveView()->OnPlayTimer();
        while (msecs > 0) {
            const int64_t step = std::min<int64_t>(msecs, 50);
            m_clock += step;
            for (int64_t i = 0; i < step; ++i)
                if (m_stream && CMidi::PlayerStream() == m_stream)
                    m_stream->Advance(1);
            if (f.ActiveView())
                f.ActiveView()->OnPlayTimer();
            msecs -= step;
        }
    }

    QTemporaryDir m_dir;
    int64_t m_clock = 1000;
    CManualClockStream* m_stream = nullptr;
    CRecordingReport m_report;
    CScopedUserReport m_scoped{&m_report};
};

// A song of 4/4 bars of hi-hat eighths at 120 BPM, saved at path.
inline QString WriteHatSong(const QString& path, int bars)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.DeleteContents();
    for (int b = 0; b < bars; ++b) {
        AppendEvent(doc.Events(), EventType::Bar | (b == 0 ? TempoBits(120) : 0), TimeSigWord(4, 4));
        for (uint32_t pos = 0; pos < 384; pos += 48)
            AppendEvent(doc.Events(), 42, pos);
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    QString error;
    EXPECT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
    return path;
}
