#pragma once
// Export Wave: the whole song, repeats included, rendered offline through the embedded
// synthesizer to a 44.1 kHz stereo 16-bit WAV file; or, when an outside renderer (SynthFont)
// is configured, the MIDI file handed to it.

#include <QString>

#include <functional>

class CRondelDoc;

struct SWaveOptions
{
    // The synthesizer at twice the output rate with a half-band filter: notes start within
    // 0.36 ms of their time instead of 0.73 ms, for twice the rendering time.
    bool m_precise = false;
    // The loudest sample raised (or lowered) to -1 dBFS by a second pass over the render.
    bool m_normalise = true;

    // From the settings "wave_precise" ("1" turns it on) and "wave_normalise" ("0" turns it off).
    static SWaveOptions FromSettings();
};

// The peak level the export is normalised to, in dBFS.
inline constexpr double kWavePeakDbfs = -1.0;

// progress gets 0-100 and may return false to cancel. Stops any playback of doc first.
// False with *error when nothing was written (a cancelled or failed export leaves no file).
// Notes sound at their exact times (the synthesizer's fixed delay is taken off the start).
bool ExportWave(CRondelDoc& doc, const QString& path, const std::function<bool(int percent)>& progress, QString* error,
                const QString& soundFont = QString());
bool ExportWave(CRondelDoc& doc, const QString& path, const std::function<bool(int percent)>& progress, QString* error,
                const SWaveOptions& options, const QString& soundFont = QString());

namespace SynthFont {
// The configured outside renderer's program ("synthfont" setting), empty when none.
QString ConfiguredProgram();
// Points the renderer's settings file at the MIDI file: a line beginning "Last=" becomes
// "Last=" + the MIDI file's path, one beginning "Explorer=" becomes "Explorer=" + its folder;
// other lines stay; every line ends with a newline. False when the file cannot be rewritten.
bool RewriteIni(const QString& iniPath, const QString& midiPath);
// Writes the MIDI file, says what happens next, rewrites the settings file beside the
// program (reporting an internal problem when that fails, and going on) and starts it.
bool HandOff(CRondelDoc& doc, const QString& program, const QString& midiPath, QString* error);
}
