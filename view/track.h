#pragma once
// CTrack: the notation of a document's song. One pass (Draw) lays the measures out on
// systems and pages, writes the geometry back into the measure events (GetLayoutPos(),
// GetLayoutSize(), bits 12 and 13 of m_word1, bit 14 of m_word2) and draws the systems that are
// visible or on the printed page. Mouse and keyboard work read that geometry back through
// the hit tests.
//
// Units are logical: on screen one unit is one pixel (two in Supersize); in print the page
// height is the configured print size.

#include "displayconfig.h"
#include "rondeldoc.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class CImportTextSource;

// What a pass draws on, and how.
struct SDrawTarget
{
    static constexpr int kCountPages = INT_MAX; // a page no song reaches: lay out and count

    QPainter* painter = nullptr; // null: lay out only
    int width = 1200;            // screen: the line width
    QRect visible;               // screen: the part to draw; a null rectangle draws everything
    bool printing = false;
    int page = 1;                // printing: the page to draw, 1-based
    bool landscape = false;      // printing: the paper is wider than high
    double pageAspect = 0;       // printing: paper width / height, when known
    // Default: Print when printing, Playback while the player runs, otherwise Edit.
    std::optional<EDisplayMode> mode;
    STabStaffFormat tabFormat;
};

// The geometry of one measure, as the last pass stored it.
struct SBarGeometry
{
    int x = 0;
    int staffTop = 0;
    int T = 0; // tab-row top, from the staff top
    int B = 0; // tab-row bottom
    int S = 0; // system bottom
    int width = 0;
    bool systemStart = false;
    bool pageStart = false;
};

// Symbols in the order the last pass drew them, with the box each covers, for tests and
// diagnostics.
enum class EGlyph {
    Head,        // value = key or pitch
    Rest,        // value = length in 32nds
    Flag,        // value = number of flags
    Beam,        // value = level 1..3, to the next stem
    Stub,        // value = level; negative points left
    Dot,
    TimeSig,     // text = "num/den"
    Label,       // text; y = its row
    Accent,
    Flam,
    Triplet3,
    TabText,     // text = letter or digit
    FretLine,    // value = 1 (one long line) or 2 (two short lines)
    Count,       // text
    Tempo,       // value = bpm
    RepeatStart,
    RepeatEnd,
    Ending,      // value = number
    MeasureRepeat, // value = N
    Ledger,
    Accidental,  // value = +1 sharp, -1 flat
    PalmMute,
    Octave,      // "8va"
    ImportLine,  // value = line number, text
    BarText,
    Marker,      // value = 0 start, 1 end
    Stem,
    Choke,       // value = key
};

struct SGlyph
{
    EGlyph kind;
    int bar;   // 1-based bar number
    qreal x;
    qreal y;
    int value = 0;
    QString text;
    bool stemUp = true;
    QRectF box; // the ink (or, for text on a white background, the cell) it covers
};

class CTrack : public CDocPart
{
public:
    explicit CTrack(CRondelDoc& doc);
    ~CTrack() override;

    // The track attached to a document, or nullptr.
    static CTrack* Of(CRondelDoc& doc);

    // The layout and drawing pass. Returns the page count (0 for a nested pass) and fills
    // *sizeOut with the widest bar end and the bottom of the last system.
    int Draw(const SDrawTarget& target, QSize* sizeOut = nullptr);

    // True with the 1-based bar and the 32nd tick under (px, py): -1 over the time-signature
    // area, INT_MAX right of the last tick. False (bar 0) elsewhere, including the left
    // margin of a system.
    bool HitTestBarTick(int px, int py, int* bar, int* tick) const;
    // The drum keys at y inside a bar's system (standard staff or tab rows); at most 46.
    void GetDrumKeysAtY(int bar, int y, std::vector<int>* keys) const;
    // Guitar and bass: the natural pitch at y on the staff (with the sharp or flat sharing its
    // step as *alternative), -(1 + row) on a tab row, 0 elsewhere.
    int GetPitchAtY(int bar, uint32_t trackType, int y, int* alternative) const;

    static SBarGeometry GeometryOf(const CEvent& measure);
    // The measure event of a 1-based bar number, or nullptr.
    const CEvent* FindBar(int bar) const;

    // Open-string pitches of a guitar or bass track, top tab row first.
    static std::vector<int> OpenStrings(uint32_t trackType);
    static QString PitchName(int pitch);

    int m_trackType = TrackType::Drums;
    int m_headerHeight = 0;
    // Play markers (bar numbers, 0 = none), set by keyboard editing.
    int m_startMarkerBar = 0;
    int m_endMarkerBar = 0;
    // Highlight rectangles of the mouse-over and play cursor; each pass empties them.
    std::array<QRect, 4> m_highlights;

    // The imported text to show; when null, the process-wide provider is asked.
    const CImportTextSource* m_importText = nullptr;
    using ImportTextProvider = std::function<std::unique_ptr<CImportTextSource>(const CRondelDoc&)>;
    static void SetImportTextProvider(ImportTextProvider provider);
    // Whether the document's player is playing or paused (Playback mode).
    using PlayerQuery = std::function<bool(const CRondelDoc&)>;
    static void SetPlayerQuery(PlayerQuery query);
    bool IsPlayerActive() const;

    // When set, every pass records the symbols it draws here (tests, diagnostics).
    std::vector<SGlyph>* m_glyphLog = nullptr;

    // The rows and mode of the last pass (the hit tests use them).
    SRowSettings m_lastRows;
    EDisplayMode m_lastMode = EDisplayMode::Edit;
    int m_lastTabRows = 0;

private:
    friend class CTrackPass;
    CRondelDoc& m_doc;
    bool m_reportedDrawListOverflow = false;
};
