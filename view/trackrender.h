#pragma once
// Putting a song's notation on a device: a view's paint (with Supersize), a whole-song image,
// printed pages (a QPdfWriter here; the desktop program hands its QPrinter, which is a paged
// device as well), and the geometry of every measure.

#include "track.h"

#include <QImage>

#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPainter;

// Paints the visible part of a view of `clientWidth` device pixels. Supersize (on screen,
// player stopped) doubles everything and halves the line width. Returns the scroll size in
// device pixels and stores the layout size in the document.
QSize PaintView(CRondelDoc& doc, QPainter& painter, int clientWidth, const QRect& visibleDevice,
                const STabStaffFormat& format = {});

// The whole song as one image `width` pixels wide; a null image and *error when the song is
// too tall for one image.
QImage RenderSongImage(CRondelDoc& doc, int width, std::optional<EDisplayMode> mode, QString* error);
bool WriteSongPng(CRondelDoc& doc, const QString& path, int width, std::optional<EDisplayMode> mode, QString* error);

// The tallest image RenderSongImage makes.
inline constexpr int kMaxSongImageSide = 32000;
// A song too tall for one image in several: the [top, bottom) pixel ranges of pages at most
// maxHeight tall, cut between systems (one range when the song fits).
std::vector<std::pair<int, int>> SongImagePages(CRondelDoc& doc, int width, std::optional<EDisplayMode> mode,
                                                int maxHeight = kMaxSongImageSide);
// One such page as an image.
QImage RenderSongImagePart(CRondelDoc& doc, int width, std::optional<EDisplayMode> mode, int top, int bottom);

// Prints every page on `device` (which must be opened by the painter); returns the page count,
// 0 when nothing could be printed.
int PrintSong(CRondelDoc& doc, QPagedPaintDevice& device);
// Print mode, all pages, through a temporary file and a rename. `paper` is "a4" or "letter".
bool WriteSongPdf(CRondelDoc& doc, const QString& path, QString* error, const QString& paper = QStringLiteral("a4"),
                  int* pages = nullptr);

struct SLayoutEntry
{
    int bar;
    int type; // 100 BAR, 101 REPEAT_PREV_MEASURES
    SBarGeometry geometry;
    int page;
};
// Lays the song out without drawing. In Print mode the width and pages are those of
// WriteSongPdf on the same paper.
std::vector<SLayoutEntry> LayoutSong(CRondelDoc& doc, int width, EDisplayMode mode, int* pages = nullptr,
                                     QSize* size = nullptr, const QString& paper = QStringLiteral("a4"));
