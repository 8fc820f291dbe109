#include "panes.h"

#include "appfunctions.h"
#include "rondeldoc.h"

#include "settings.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QDirIterator>
#include <QToolTip>
#include <QStyle>
#include <QHelpEvent>
#include <QFontDatabase>
#include <QStandardPaths>

namespace {
ImportReportFn& Source()
{
    static ImportReportFn fn;
    return fn;
}
constexpr int kLineRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 2;
}

void SetImportReportSource(ImportReportFn fn)
{
    Source() = std::move(fn);
}

SImportReport ImportReportOf(const CRondelDoc& doc)
{
    return Source() ? Source()(doc) : SImportReport{};
}

CIndexListView::CIndexListView(QWidget* parent) : QListWidget(parent)
{
    setUniformItemSizes(true);
}

void CIndexListView::SetDocument(CRondelDoc* doc)
{
    m_pDoc = doc;
    Fill();
}

void CIndexListView::Fill()
{
    clear();
}

void CImportIndexView::Fill()
{
    clear();
    if (!m_pDoc)
        return;
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Each row is complete before the list sees it: data set on a listed row makes the list
    // lay every row out again, which a big tab's thousands of lines cannot afford.
    for (const SImportLineRow& row : ImportReportOf(*m_pDoc).lines) {
        auto* item = new QListWidgetItem(QString::asprintf("%s %4d:   ", qPrintable(row.typeName), row.line) + row.text);
        item->setData(kLineRole, row.line);
        addItem(item);
    }
}

CCommentListView::CCommentListView(QWidget* parent) : CIndexListView(parent)
{
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        emit ShowBar(item->data(kLineRole).toInt());
    });
}

void CCommentListView::Fill()
{
    clear();
    if (!m_pDoc)
        return;
    int barNo = 0;
    for (const auto& e : m_pDoc->Events()) {
        if (!e.IsMeasure())
            continue;
        ++barNo;
        if (!e.HasText())
            continue;
        auto* item = new QListWidgetItem(e.GetText().left(100));
        item->setData(kLineRole, barNo);
        addItem(item);
    }
}

CIssueListView::CIssueListView(QWidget* parent) : CIndexListView(parent)
{
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = this->row(item);
        if (row >= 0 && row < int(m_rows.size()))
            emit ShowIssue(m_rows[size_t(row)]);
    });
}

void CIssueListView::Fill()
{
    clear();
    m_rows.clear();
    if (!m_pDoc)
        return;
    m_rows = ImportReportOf(*m_pDoc).issues;
    for (const SImportIssueRow& issue : m_rows)
        new QListWidgetItem(QString::asprintf("%3d: ", issue.line) + issue.message, this);
}

CFileView::CFileView(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* choose = new QAction(QStringLiteral("Choose folder..."), this);
    connect(choose, &QAction::triggered, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Tab folder"), m_folder);
        if (!folder.isEmpty())
            ChooseFolder(folder);
    });
    addAction(choose);
    setRootIsDecorated(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const QString path = item->data(0, kPathRole).toString();
        if (!path.isEmpty() && QFileInfo(path).isFile())
            emit OpenPath(path);
    });
}

QString CFileView::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/Tabs/");
}

void CFileView::SetFolder(const QString& folder)
{
    m_folder = folder;
    m_names.clear();
    m_built = false;
    Refresh();
}

QString CFileView::ChosenFolder()
{
    const QString stored = SettingsStore::Read(QStringLiteral("tab_folder"));
    return stored.isEmpty() ? DefaultFolder() : stored;
}

void CFileView::ChooseFolder(const QString& folder)
{
    SettingsStore::Write(QStringLiteral("tab_folder"), folder);
    SetFolder(folder);
}

bool CFileView::Refresh()
{
    QStringList names;
    if (!m_folder.isEmpty() && QDir(m_folder).exists()) {
        // Symlinked folders are not entered (a link to a parent would never end).
        QDirIterator it(m_folder, {QStringLiteral("*.kdz"), QStringLiteral("*.txt")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            names << it.next();
    }
    names.sort();
    // The names themselves, not a sum of their characters: a rename is a change.
    if (m_built && names == m_names)
        return false;
    m_names = names;
    m_built = true;
    clear();
    auto* kdz = new QTreeWidgetItem(this, {QStringLiteral("Kadenzo Files")});
    auto* txt = new QTreeWidgetItem(this, {QStringLiteral("Tab Files")});
    AddFolder(kdz, m_folder, QStringLiteral("*.kdz"), 0);
    AddFolder(txt, m_folder, QStringLiteral("*.txt"), 0);
    kdz->setExpanded(true);
    txt->setExpanded(true);
    return true;
}

QString CFileView::CutNameAt(const QPoint& pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return {};
    const QString name = index.data(Qt::DisplayRole).toString();
    const QRect rect = visualRect(index);
    // The text is drawn inside the item's margins; past the viewport's edge nothing shows.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int room = std::min(rect.right(), viewport()->width() - 1) - rect.left() + 1 - 2 * margin;
    if (QFontMetrics(font()).horizontalAdvance(name) <= room)
        return {};
    return name;
}

bool CFileView::viewportEvent(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString name = CutNameAt(help->pos());
        if (name.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
        } else {
            QToolTip::showText(help->globalPos(), name, viewport(), visualRect(indexAt(help->pos())));
        }
        return true;
    }
    return QTreeWidget::viewportEvent(e);
}

void CFileView::AddFolder(QTreeWidgetItem* parent, const QString& dir, const QString& pattern, int depth)
{
    // Deep or looping folder trees (links to a parent) stop here.
    if (dir.isEmpty() || depth > 12)
        return;
    QDir d(dir);
    for (const QFileInfo& sub : d.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
        auto* item = new QTreeWidgetItem(parent, {sub.fileName()});
        item->setData(0, kPathRole, sub.absoluteFilePath());
        AddFolder(item, sub.absoluteFilePath(), pattern, depth + 1);
    }
    for (const QFileInfo& f : d.entryInfoList({pattern}, QDir::Files, QDir::Name)) {
        auto* item = new QTreeWidgetItem(parent, {f.fileName()});
        item->setData(0, kPathRole, f.absoluteFilePath());
    }
}
