#include "trackrender.h"

#include "safefile.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <memory>

namespace {
constexpr int kMaxImageSide = kMaxSongImageSide;

QPageSize PaperSize(const QString& paper)
{
    return QPageSize(paper.compare(QLatin1String("letter"), Qt::CaseInsensitive) == 0 ? QPageSize::Letter
                                                                                       : QPageSize::A4);
}

// The document's track, or a temporary one when no factory attached any.
class CTrackUse
{
public:
    explicit CTrackUse(CRondelDoc& doc) : m_track(CTrack::Of(doc))
    {
        if (!m_track) {
            m_own = std::make_unique<CTrack>(doc);
            m_track = m_own.get();
        }
    }
    CTrack* operator->() const { return m_track; }
    CTrack& operator*() const { return *m_track; }

private:
    CTrack* m_track;
    std::unique_ptr<CTrack> m_own;
};
}

QSize PaintView(CRondelDoc& doc, QPainter& painter, int clientWidth, const QRect& visibleDevice,
                const STabStaffFormat& format)
{
    CTrackUse track(doc);
    const bool supersize = DisplayConfig().IsSupersize() && !track->IsPlayerActive();
    const int scale = supersize ? 2 : 1;
    painter.save();
    painter.scale(scale, scale);
    SDrawTarget target;
    target.painter = &painter;
    target.width = clientWidth / scale;
    if (!visibleDevice.isNull())
        target.visible = QRect(visibleDevice.x() / scale, visibleDevice.y() / scale,
                               visibleDevice.width() / scale + 1, visibleDevice.height() / scale + 1);
    target.tabFormat = format;
    QSize size;
    track->Draw(target, &size);
    painter.restore();
    doc.m_sizeDoc[0] = uint32_t(size.width());
    doc.m_sizeDoc[1] = uint32_t(size.height());
    return size * scale;
}

QImage RenderSongImage(CRondelDoc& doc, int width, std::optional<EDisplayMode> mode, QString* error)
{
    CTrackUse track(doc);
    const bool supersize = DisplayConfig().IsSupersize() && (!mode || *mode == EDisplayMode::Edit);
    const int scale = supersize ? 2 : 1;
    SDrawTarget target;
    target.width = width / scale;
    target.mode = mode;
    QSize size;
    track->Draw(target, &size);
    const int height = size.height() * scale;
    if (width <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        if (error)
            *error = QStringLiteral("The song is too long for one image (%1 x %2 pixels); write a PDF instead.")
                         .arg(width)
                         .arg(height);
        return {};
    }
    QImage image(width, std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(scale, scale);
    target.painter = &painter;
    track->Draw(target, &size);
    painter.end();
    return image;
}

std::vector<std::pair<int, int>> SongImagePages(CRondelDoc& doc, int width, std::optional<EDisplayMode> mode, int maxHeight)
{
    CTrackUse track(doc);
    const bool supersize = DisplayConfig().IsSupersize() && (!mode || *mode == EDisplayMode::Edit);
    const int scale = supersize ? 2 : 1;
    SDrawTarget target;
    target.width = std::max(width / scale, 1);
    target.mode = mode;
    QSize size;
    track->Draw(target, &size);
    const int height = std::max(size.height() * scale, 1);
    // Where a page may end: above each system's furniture (at most 93 pixels over its staff)
    // and never into the staff of the system before it.
    std::vector<int> cuts;
    int previousBottom = 0;
    for (const auto& ev : doc.Events()) {
        if (!ev.IsMeasure())
            continue;
        const SBarGeometry g = CTrack::GeometryOf(ev);
        if (g.systemStart && g.staffTop > 0)
            cuts.push_back(std::max(g.staffTop - 93, previousBottom) * scale);
        previousBottom = std::max(previousBottom, g.staffTop + g.S);
    }
    cuts.push_back(height);
    std::vector<std::pair<int, int>> pages;
    int top = 0;
    int lastCut = 0;
    for (int cut : cuts) {
        if (cut <= top)
            continue;
        if (cut - top > maxHeight) {
            // A page ends at the last system that fits (or, for a system taller than a page,
            // at the page's height).
            const int bottom = lastCut > top ? lastCut : top + maxHeight;
            pages.emplace_back(top, bottom);
            top = bottom;
        }
        lastCut = cut;
        while (cut - top > maxHeight) {
            pages.emplace_back(top, top + maxHeight);
            top += maxHeight;
        }
    }
    if (top < height)
        pages.emplace_back(top, height);
    return pages;
}

QImage RenderSongImagePart(CRondelDoc& doc, int width, std::optional<EDisplayMode> mode, int top, int bottom)
{
    CTrackUse track(doc);
    const bool supersize = DisplayConfig().IsSupersize() && (!mode || *mode == EDisplayMode::Edit);
    const int scale = supersize ? 2 : 1;
    if (width <= 0 || width > kMaxImageSide || bottom <= top || bottom - top > kMaxImageSide)
        return {};
    SDrawTarget target;
    target.width = std::max(width / scale, 1);
    target.mode = mode;
    target.visible = QRect(0, top / scale, target.width, (bottom - top) / scale + 1);
    QImage image(width, bottom - top, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(0, -top);
    painter.scale(scale, scale);
    target.painter = &painter;
    QSize size;
    track->Draw(target, &size);
    painter.end();
    return image;
}

bool WriteSongPng(CRondelDoc& doc, const QString& path, int width, std::optional<EDisplayMode> mode, QString* error)
{
    const QImage image = RenderSongImage(doc, width, mode, error);
    if (image.isNull())
        return false;
    CSafeFile file(path);
    if (!file.Open(error))
        return false;
    if (!image.save(&file, "PNG") && !file.Failed()) {
        file.Cancel();
        if (error)
            *error = CannotWriteText(path, QStringLiteral("the image could not be encoded"));
        return false;
    }
    return file.Commit(error);
}

int PrintSong(CRondelDoc& doc, QPagedPaintDevice& device)
{
    CTrackUse track(doc);
    const CDisplayConfig& cfg = DisplayConfig();
    const int P = cfg.m_printSize;
    const int u = CDisplayConfig::kUnitsPerInch;

    SDrawTarget target;
    target.printing = true;
    target.landscape = device.width() > device.height();
    target.pageAspect = device.height() > 0 ? double(device.width()) / device.height() : 0;
    // Count the pages first: a page number no song reaches lays out without drawing.
    target.page = SDrawTarget::kCountPages;
    const int pages = track->Draw(target);

    QPainter painter;
    if (pages <= 0 || !painter.begin(&device))
        return 0;
    // A P x P window, isotropic, with the margins left blank by moving its origin.
    const qreal scale = std::min(2.0 * device.width(), qreal(device.height())) / P;
    for (int page = 1; page <= pages; ++page) {
        if (page > 1 && !device.newPage())
            break;
        painter.setWindow(QRect(-int(u * cfg.m_marginLeft), -int(u * cfg.m_marginTop), P, P));
        painter.setViewport(QRect(0, 0, qRound(P * scale), qRound(P * scale)));
        target.painter = &painter;
        target.page = page;
        track->Draw(target);
    }
    painter.end();
    return pages;
}

bool WriteSongPdf(CRondelDoc& doc, const QString& path, QString* error, const QString& paper, int* pages)
{
    CSafeFile file(path);
    if (!file.Open(error))
        return false;
    int count = 0;
    {
        QPdfWriter writer(&file);
        writer.setPageSize(PaperSize(paper));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("Kadenzo"));
        writer.setTitle(doc.m_header[Header::Song]);
        count = PrintSong(doc, writer);
    }
    if (pages)
        *pages = count;
    if (count <= 0) {
        file.Cancel();
        if (error)
            *error = QStringLiteral("Nothing to print in %1").arg(path);
        return false;
    }
    return file.Commit(error);
}

std::vector<SLayoutEntry> LayoutSong(CRondelDoc& doc, int width, EDisplayMode mode, int* pages, QSize* size,
                                     const QString& paper)
{
    CTrackUse track(doc);
    SDrawTarget target;
    target.width = width;
    target.mode = mode;
    target.printing = mode == EDisplayMode::Print;
    const QSizeF mm = PaperSize(paper).size(QPageSize::Millimeter);
    target.pageAspect = mm.width() / mm.height();
    target.page = SDrawTarget::kCountPages;
    const int count = track->Draw(target, size);
    if (pages)
        *pages = count;
    std::vector<SLayoutEntry> entries;
    int bar = 0;
    int page = 0;
    for (const auto& ev : doc.Events()) {
        if (!ev.IsMeasure())
            continue;
        ++bar;
        const SBarGeometry g = CTrack::GeometryOf(ev);
        if (g.pageStart)
            ++page;
        entries.push_back({bar, int(ev.GetEventType()), g, std::max(page, 1)});
    }
    return entries;
}
