#include "mainframe.h"

#include "report.h"
#include "rondeldoc.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>

#include <memory>

namespace {
// A child window that owns its document until the notation view arrives.
class CDocWindow : public QLabel
{
public:
    explicit CDocWindow(std::unique_ptr<CRondelDoc> doc) : m_doc(std::move(doc))
    {
        setAlignment(Qt::AlignCenter);
        setText(QStringLiteral("%1 events").arg(m_doc->Events().size()));
        setAttribute(Qt::WA_DeleteOnClose);
    }
    CRondelDoc* Doc() const { return m_doc.get(); }

private:
    std::unique_ptr<CRondelDoc> m_doc;
};
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_mdi(new QMdiArea(this))
{
    setCentralWidget(m_mdi);
    setWindowTitle(QStringLiteral("Kadenzo"));
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&New"), QKeySequence::New, this, &CMainFrame::NewDocument);
    file->addAction(QStringLiteral("&Open..."), QKeySequence::Open, this, &CMainFrame::OnFileOpen);
    file->addAction(QStringLiteral("&Save"), QKeySequence::Save, this, &CMainFrame::OnFileSave);
    file->addAction(QStringLiteral("Save &As..."), this, &CMainFrame::OnFileSaveAs);
    file->addAction(QStringLiteral("&Close"), m_mdi, &QMdiArea::closeActiveSubWindow);
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    resize(1000, 700);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::NewDocument()
{
    auto doc = std::make_unique<CRondelDoc>();
    doc->OnNewDocument();
    ++m_untitled;
    AddDocumentWindow(std::move(doc), QStringLiteral("Song%1").arg(m_untitled));
}

bool CMainFrame::OpenFile(const QString& path)
{
    auto doc = std::make_unique<CRondelDoc>();
    QString error;
    if (!doc->OnOpenDocument(path, &error)) {
        if (!error.isEmpty())
            UserReport().Message(error);
        return false;
    }
    AddDocumentWindow(std::move(doc), QFileInfo(path).fileName());
    return true;
}

void CMainFrame::AddDocumentWindow(std::unique_ptr<CRondelDoc> doc, const QString& title)
{
    auto* child = new CDocWindow(std::move(doc));
    QMdiSubWindow* sub = m_mdi->addSubWindow(child);
    sub->setWindowTitle(title);
    sub->show();
}

CRondelDoc* CMainFrame::ActiveDocument() const
{
    QMdiSubWindow* sub = m_mdi->activeSubWindow();
    auto* win = sub ? dynamic_cast<CDocWindow*>(sub->widget()) : nullptr;
    return win ? win->Doc() : nullptr;
}

void CMainFrame::OnFileOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
        QStringLiteral("Kadenzo Files (*.kdz);;Text Tab Files (*.txt *.tab);;Midi Files (*.mid);;All Files (*)"));
    if (!path.isEmpty())
        OpenFile(path);
}

void CMainFrame::OnFileSave()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    if (doc->m_pathName.isEmpty() || DocFormats::ExtensionOf(doc->m_pathName) != QLatin1String(".kdz")) {
        OnFileSaveAs();
        return;
    }
    QString error;
    if (!doc->OnSaveDocument(doc->m_pathName, &error))
        UserReport().Message(error);
}

void CMainFrame::OnFileSaveAs()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), doc->m_pathName,
        QStringLiteral("Kadenzo Files (*.kdz);;Text Tab Files (*.txt);;Midi Files (*.mid);;All Files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!doc->OnSaveDocument(path, &error))
        UserReport().Message(error);
}
