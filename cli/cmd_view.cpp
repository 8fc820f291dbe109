// layout, render: the notation of a song as geometry (JSON), PNG or PDF.

#include "commands.h"

#include "rondeldoc.h"
#include "safefile.h"
#include "trackrender.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {
constexpr int kDefaultWidth = 1200;

struct SViewOptions
{
    int width = kDefaultWidth;
    std::optional<EDisplayMode> mode;
    QString paper = QStringLiteral("a4");
    int page = 0; // 0: every page
    QStringList files;
};

// Takes --width N, --mode edit|playback|print and --paper a4|letter; false with a usage
// error printed on anything else.
bool ParseViewOptions(const QStringList& args, SViewOptions* options, int* exitCode)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith(QLatin1String("--"))) {
            options->files << a;
            continue;
        }
        if (i + 1 >= args.size()) {
            *exitCode = UsageError(QStringLiteral("%1 needs a value").arg(a));
            return false;
        }
        const QString value = args[++i];
        if (a == QLatin1String("--width")) {
            bool ok = false;
            options->width = value.toInt(&ok);
            if (!ok || options->width < 100 || options->width > 4095) {
                *exitCode = UsageError(QStringLiteral("--width must be a number from 100 to 4095"));
                return false;
            }
        } else if (a == QLatin1String("--mode")) {
            if (value == QLatin1String("edit"))
                options->mode = EDisplayMode::Edit;
            else if (value == QLatin1String("playback"))
                options->mode = EDisplayMode::Playback;
            else if (value == QLatin1String("print"))
                options->mode = EDisplayMode::Print;
            else {
                *exitCode = UsageError(QStringLiteral("--mode must be edit, playback or print"));
                return false;
            }
        } else if (a == QLatin1String("--page")) {
            bool ok = false;
            options->page = value.toInt(&ok);
            if (!ok || options->page < 1) {
                *exitCode = UsageError(QStringLiteral("--page must be a page number from 1"));
                return false;
            }
        } else if (a == QLatin1String("--paper")) {
            if (value != QLatin1String("a4") && value != QLatin1String("letter")) {
                *exitCode = UsageError(QStringLiteral("--paper must be a4 or letter"));
                return false;
            }
            options->paper = value;
        } else {
            *exitCode = UsageError(QStringLiteral("unknown option %1").arg(a));
            return false;
        }
    }
    return true;
}

int CmdLayout(const QStringList& args)
{
    SViewOptions options;
    int exitCode = 0;
    if (!ParseViewOptions(args, &options, &exitCode))
        return exitCode;
    if (options.files.size() != 1)
        return UsageError(QStringLiteral("usage: kadenzo-cli layout FILE [--width N] [--mode edit|playback|print] [--paper a4|letter]"));
    CRondelDoc doc;
    if (!OpenInput(doc, options.files[0]))
        return 1;
    const std::vector<SLayoutEntry> entries =
        LayoutSong(doc, options.width, options.mode.value_or(EDisplayMode::Edit), nullptr, nullptr, options.paper);
    QJsonArray out;
    for (const SLayoutEntry& e : entries) {
        QJsonObject o;
        o[QStringLiteral("bar")] = e.bar;
        o[QStringLiteral("type")] = e.type;
        o[QStringLiteral("x")] = e.geometry.x;
        o[QStringLiteral("staffTop")] = e.geometry.staffTop;
        o[QStringLiteral("T")] = e.geometry.T;
        o[QStringLiteral("B")] = e.geometry.B;
        o[QStringLiteral("S")] = e.geometry.S;
        o[QStringLiteral("width")] = e.geometry.width;
        o[QStringLiteral("systemStart")] = e.geometry.systemStart;
        o[QStringLiteral("pageStart")] = e.geometry.pageStart;
        o[QStringLiteral("page")] = e.page;
        out.append(o);
    }
    std::fputs(QJsonDocument(out).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

// Big images are compressed at zlib's fastest level: they are mostly white and still shrink
// well, at a fraction of the default level's time.
constexpr qint64 kBigImagePixels = 4'000'000;
constexpr int kFastPngQuality = 89; // Qt's PNG writer: compression level (100 - quality) * 9 / 91 = 1

bool SavePng(const QImage& image, const QString& path, QString* error)
{
    // Checked writes: a full disk leaves the old file and says why.
    CSafeFile file(path);
    if (!file.Open(error))
        return false;
    const int quality = qint64(image.width()) * image.height() > kBigImagePixels ? kFastPngQuality : -1;
    if (!image.save(&file, "PNG", quality) && !file.Failed()) {
        file.Cancel();
        *error = CannotWriteText(path, QStringLiteral("the image could not be encoded"));
        return false;
    }
    return file.Commit(error);
}

// out.png with the page number before the extension: out-2.png.
QString PagePath(const QString& out, int page)
{
    const QFileInfo info(out);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-%1.").arg(page) + info.suffix());
}

// The song as one PNG; a song taller than one image as numbered pages beside it (*written
// lists them), or only page `page` (from 1) at out.
bool WritePngPages(CRondelDoc& doc, const QString& out, int width, std::optional<EDisplayMode> mode, int page,
                   QStringList* written, QString* error)
{
    const std::vector<std::pair<int, int>> pages = SongImagePages(doc, width, mode);
    if (page > int(pages.size())) {
        *error = QStringLiteral("the song has %1 page%2 at this width").arg(pages.size()).arg(pages.size() == 1 ? "" : "s");
        return false;
    }
    if (pages.size() <= 1 && page <= 1) {
        const QImage image = RenderSongImage(doc, width, mode, error);
        if (image.isNull() || !SavePng(image, out, error))
            return false;
        *written << out;
        return true;
    }
    for (int n = 1; n <= int(pages.size()); ++n) {
        if (page && n != page)
            continue;
        const QImage image = RenderSongImagePart(doc, width, mode, pages[size_t(n - 1)].first, pages[size_t(n - 1)].second);
        const QString path = page ? out : PagePath(out, n);
        if (image.isNull()) {
            *error = QStringLiteral("page %1 could not be drawn").arg(n);
            return false;
        }
        if (!SavePng(image, path, error))
            return false;
        *written << path;
    }
    return true;
}

int CmdRender(const QStringList& args)
{
    SViewOptions options;
    int exitCode = 0;
    if (!ParseViewOptions(args, &options, &exitCode))
        return exitCode;
    if (options.files.size() != 2)
        return UsageError(QStringLiteral(
            "usage: kadenzo-cli render FILE OUT.png [--width N] [--mode edit|playback|print] [--page N] | render FILE OUT.pdf [--paper a4|letter]"));
    const QString out = options.files[1];
    const QString ext = QFileInfo(out).suffix().toLower();
    if (ext != QLatin1String("png") && ext != QLatin1String("pdf"))
        return UsageError(FileMessage(out, QStringLiteral("render writes .png or .pdf files")));
    if (QFileInfo(out).isDir())
        return FailFile(out, QStringLiteral("is a folder; name the file to write"));
    if (IsSameFile(options.files[0], out))
        return FailFile(out, QStringLiteral("is the input file; write the drawing to another file"));
    CRondelDoc doc;
    if (!OpenInput(doc, options.files[0]))
        return 1;
    QString error;
    if (ext == QLatin1String("png")) {
        QStringList written;
        if (!WritePngPages(doc, out, options.width, options.mode, options.page, &written, &error))
            return FailFile(out, error);
        if (written.size() > 1)
            std::fprintf(stderr, "The song is taller than one image: %lld pages, %s to %s\n", qlonglong(written.size()),
                         written.first().toLocal8Bit().constData(), written.last().toLocal8Bit().constData());
        return 0;
    }
    if (options.page)
        return UsageError(QStringLiteral("--page is for .png files"));
    if (ext == QLatin1String("pdf")) {
        int pages = 0;
        if (!WriteSongPdf(doc, out, &error, options.paper, &pages))
            return FailFile(out, error);
        std::fprintf(stderr, "%d page%s\n", pages, pages == 1 ? "" : "s");
    }
    return 0;
}

CCommandRegistrar s_layout{"layout", "layout FILE [--width N] [--mode edit|playback|print] [--paper a4|letter]\n"
                                     "      print the measures' geometry as JSON\n"
                                     "      reads: song files; writes nothing\n"
                                     "      --width N         the window width in pixels, 100 to 4095 (default 1200)\n"
                                     "      --mode M          edit (default), playback or print\n"
                                     "      --paper P         a4 (default) or letter, for print mode",
                           CmdLayout};
CCommandRegistrar s_render{"render", "render FILE OUT.png|OUT.pdf [--width N] [--mode M] [--page N] [--paper a4|letter]\n"
                                     "      draw the notation: one image (a song taller than one image: OUT-1.png,\n"
                                     "      OUT-2.png...), or printed pages\n"
                                     "      reads: song files; writes: .png .pdf\n"
                                     "      --width N, --mode M (for .png) and --paper P (for .pdf) as for layout\n"
                                     "      --page N          only page N of a song taller than one image",
                           CmdRender};
CCommandRegistrar s_targets{[] {
    AddConvertTarget(QStringLiteral(".png"), [](CRondelDoc& doc, const QString& out, QString* error) {
        QStringList written;
        return WritePngPages(doc, out, kDefaultWidth, std::nullopt, 0, &written, error);
    });
    AddConvertTarget(QStringLiteral(".pdf"), [](CRondelDoc& doc, const QString& out, QString* error) {
        return WriteSongPdf(doc, out, error);
    });
}};
} // namespace
