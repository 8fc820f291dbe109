#pragma once
// What the notation shows: the rows of each display mode, Supersize, the print page setup and
// the per-view Tab Staff Format options. The configuration belongs to the main window and is
// kept in the "display" setting; the Tab Staff Format options belong to a view and are not
// saved. The drum layout bytes are model/drumlayout.h.

#include <QString>

#include <array>

enum class EDisplayMode { Edit = 0, Playback = 1, Print = 2 };

// The rows a system has.
struct SRowSettings
{
    bool standard = true;
    bool tab = true;
    bool import = true;
    bool count = true;
};

class CDisplayConfig
{
public:
    CDisplayConfig();

    // The rows of a mode. Edit has no Count setting: its count row is always there.
    SRowSettings Rows(EDisplayMode mode) const;
    void SetRows(EDisplayMode mode, const SRowSettings& rows);

    // 12 flag characters, a comma, then "%.1f,%.1f,%.1f,%.1f,%d,%d": Left, Top, Bottom and
    // Right margins, print size, Play Time.
    QString ToDisplayString() const;
    // Reads a stored value the way the settings were always read: 12 flags when the value has
    // at least 12 characters; from the 14th character the margins, print size and Play Time,
    // each field only as far as the text parses. Values no page could use are ignored.
    void ApplyDisplayString(const QString& value);

    void LoadFromSettings();
    void SaveToSettings() const;

    // The OK rule of the configuration dialog: a mode that shows neither Standard nor Tab gets
    // Standard.
    void EnsureStandardOrTab();

    // Dialog helpers: a spin click moves a margin by 0.1 inch within 0.2 .. 2.0; the slider
    // (0 .. 100) maps to print sizes 1000 .. 3000 in steps of 20.
    static double SpinMargin(double inches, int direction);
    static int PrintSizeFromSlider(int slider);
    static int SliderFromPrintSize(int printSize);

    static constexpr int kUnitsPerInch = 110;

    // Flags in the order of the stored string.
    enum Flag {
        EditStandard, EditTab, EditImport,
        PlaybackStandard, PlaybackTab, PlaybackImport, PlaybackCount,
        Supersize,
        PrintStandard, PrintTab, PrintImport, PrintCount,
        FlagCount
    };
    std::array<bool, FlagCount> m_flags{};
    double m_marginLeft = 0.8;
    double m_marginTop = 1.0;
    double m_marginBottom = 1.0;
    double m_marginRight = 0.8;
    int m_printSize = 2000; // logical units per page height
    bool m_playTime = false;

    bool IsSupersize() const { return m_flags[Supersize]; }
};

// The program-wide configuration (the main window's).
CDisplayConfig& DisplayConfig();

// Per-view options of the drum tab staff.
struct STabStaffFormat
{
    bool cymbalsOwnLines = true;
    bool tomsOwnLines = false;
    bool showPercussion = true;
    bool operator==(const STabStaffFormat&) const = default;
};

// The tab rows one view shows. A layout pass leaves the rows of its view (its Tab Staff
// Format, plus rows switched on for drums only they hold) in the catalogue's table, which
// every view shares; each view keeps its own copy and puts it back before anything reads the
// table for it (hit tests, tab clicks), so that views with other options do not mix.
class CShownTabRows
{
public:
    static constexpr int kRows = 15;
    // Copies the table as the last pass left it.
    void Capture();
    // Puts this view's rows into the table; nothing before the first Capture.
    void Install() const;
    bool IsShown(int row) const { return m_valid && row >= 0 && row < kRows && m_rows[size_t(row)]; }
    bool Valid() const { return m_valid; }

private:
    std::array<bool, kRows> m_rows{};
    bool m_valid = false;
};
