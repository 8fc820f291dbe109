#pragma once
// The main window: one MDI child per open document.

#include <QMainWindow>

class QMdiArea;
class CRondelDoc;

class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Opens a file as a new document window; false (after telling the user) on failure.
    bool OpenFile(const QString& path);
    void NewDocument();
    QMdiArea* MdiArea() const { return m_mdi; }

private:
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void AddDocumentWindow(std::unique_ptr<CRondelDoc> doc, const QString& title);
    CRondelDoc* ActiveDocument() const;

    QMdiArea* m_mdi;
    int m_untitled = 0;
};
