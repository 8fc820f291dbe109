// layout, render: the notation of a song as geometry (JSON), PNG or PDF.

#include "commands.h"

#include "rondeldoc.h"
#include "trackrender.h"

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

int CmdRender(const QStringList& args)
{
    SViewOptions options;
    int exitCode = 0;
    if (!ParseViewOptions(args, &options, &exitCode))
        return exitCode;
    if (options.files.size() != 2)
        return UsageError(QStringLiteral(
            "usage: kadenzo-cli render FILE OUT.png [--width N] [--mode edit|playback|print] | render FILE OUT.pdf [--paper a4|letter]"));
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
        if (!WriteSongPng(doc, out, options.width, options.mode, &error))
            return FailFile(out, error);
        return 0;
    }
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
CCommandRegistrar s_render{"render", "render FILE OUT.png|OUT.pdf [--width N] [--mode M] [--paper a4|letter]\n"
                                     "      draw the notation: one image, or printed pages\n"
                                     "      reads: song files; writes: .png .pdf\n"
                                     "      --width N, --mode M (for .png) and --paper P (for .pdf) as for layout",
                           CmdRender};
CCommandRegistrar s_targets{[] {
    AddConvertTarget(QStringLiteral(".png"), [](CRondelDoc& doc, const QString& out, QString* error) {
        return WriteSongPng(doc, out, kDefaultWidth, std::nullopt, error);
    });
    AddConvertTarget(QStringLiteral(".pdf"), [](CRondelDoc& doc, const QString& out, QString* error) {
        return WriteSongPdf(doc, out, error);
    });
}};
} // namespace
