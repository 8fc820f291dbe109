// Hooks the desktop program's windows to the layers below: the importer's lines and issues
// for the panes, the audio loader and the synthesizer's overlay output for the waveform bar,
// the MIDI device list for the device menu.
#include "appwiring.h"

#include "audioload.h"
#include "mainframe.h"
#include "mididevices.h"
#include "panes.h"
#include "scopebar.h"
#include "synthengine.h"
#include "tabimporter.h"

#include <QFileInfo>

namespace {
SImportReport ReadImporter(const CRondelDoc& doc)
{
    SImportReport report;
    const auto* imp = dynamic_cast<const CTabImporter*>(doc.m_pImport.get());
    if (!imp)
        return report;
    for (const CImportLine& line : imp->m_lines) {
        if (&line == &imp->m_lines.back() && line.m_text.empty())
            break; // the sentinel
        report.lines.push_back({line.m_lineNo, QString::fromLatin1(LineType::Name(line.m_type)).leftJustified(12, QLatin1Char(' ')),
                                ImportedText(line.m_text)});
    }
    const int count = int(imp->m_lines.size());
    for (const CImportIssue& issue : imp->m_issues) {
        SImportIssueRow row;
        row.column = issue.m_start;
        row.message = ImportIssueText(issue);
        row.line = issue.m_line + 1;
        if (issue.m_line >= 0 && issue.m_line < count) {
            const CImportLine& line = imp->m_lines[size_t(issue.m_line)];
            row.line = line.m_lineNo;
            row.groupLineIndex = line.m_groupFirst >= 0 ? line.m_groupFirst : issue.m_line;
            // The bar of the staff line the column falls in.
            const CImportLine& first = imp->m_lines[size_t(row.groupLineIndex)];
            int bars = 0;
            for (int column : first.BarColumn())
                if (column <= issue.m_start - line.m_columnShift)
                    ++bars;
            row.barInLine = std::max(bars - 1, 0);
        }
        report.issues.push_back(row);
    }
    return report;
}

bool LoadRecording(const QString& path, CScopeBar::SAudio* audio, QString* error)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("mp3"))
        audio->samples = DecodeMp3File(path);
    else if (ext == QLatin1String("wav"))
        audio->samples = ReadWaveFile(path);
    if (audio->samples.empty()) {
        *error = QStringLiteral("Audio file read failed");
        return false;
    }
    audio->sampleCount = int(std::min<size_t>(audio->samples.size(), size_t(INT32_MAX)));
    audio->overview = BuildOverview(audio->samples.data(), audio->sampleCount);
    return true;
}

CScopeBar::SWaveOutput EngineOutput()
{
    CScopeBar::SWaveOutput out;
    out.start = [](const int16_t* samples, int64_t count, int64_t startSample) {
        CSynthEngine& engine = CSynthEngine::Shared();
        QString error;
        if (!engine.IsOpen() && !engine.Open(&error))
            return false;
        engine.SetOverlaySamples(samples, count);
        engine.StartOverlay(startSample);
        return true;
    };
    out.stop = [] {
        CSynthEngine& engine = CSynthEngine::Shared();
        engine.StopOverlay();
        engine.SetOverlaySamples(nullptr, 0);
    };
    out.pause = [](bool paused) { CSynthEngine::Shared().PauseOverlay(paused); };
    out.volume = [](int volume) { CSynthEngine::Shared().SetOverlayGain(float(volume) / 65535.0f); };
    out.samplesPlayed = [] { return CSynthEngine::Shared().OverlaySamplesPlayed(); };
    return out;
}
}

void AttachAppToLayers()
{
    SetImportReportSource(ReadImporter);
    CScopeBar::SetLoader(LoadRecording);
    CScopeBar::SetWaveOutput(EngineOutput());
    CMainFrame::SetMidiDeviceList([] { return MidiDevices::List(); });
}
