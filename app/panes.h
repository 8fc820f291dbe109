#pragma once
// The panes beside the notation view: the index of imported lines, the bar comments, the
// import issues, and the Files pane over the tab folder.

#include <QListWidget>
#include <QTreeWidget>

#include <functional>
#include <vector>

class CRondelDoc;

// What the import panes show of a document's importer.
struct SImportLineRow
{
    int line = 0;     // 1-based line number in the imported file
    QString typeName; // "STAFF LINE  " and so on, padded to 12
    QString text;
};
struct SImportIssueRow
{
    int line = 0;
    int column = 0;
    QString message;
    // Where it is in the song: the importer's index of the staff group's first line (the
    // line measure events refer to) and the bar of that line, counted from 0.
    int groupLineIndex = -1;
    int barInLine = 0;
};
struct SImportReport
{
    std::vector<SImportLineRow> lines;
    std::vector<SImportIssueRow> issues;
};
// Reads the document's importer; an empty report for documents that were not imported.
using ImportReportFn = std::function<SImportReport(const CRondelDoc&)>;
void SetImportReportSource(ImportReportFn fn);
SImportReport ImportReportOf(const CRondelDoc& doc);

// A list that remembers the document it was told of and fills itself from it.
class CIndexListView : public QListWidget
{
    Q_OBJECT
public:
    explicit CIndexListView(QWidget* parent = nullptr);
    // nullptr only empties the list.
    void SetDocument(CRondelDoc* doc);
    CRondelDoc* Document() const { return m_pDoc; }
    virtual void Fill();

protected:
    CRondelDoc* m_pDoc = nullptr;
};

// The imported lines: "%s %4d:   %s" (type, line number, text).
class CImportIndexView : public CIndexListView
{
    Q_OBJECT
public:
    using CIndexListView::CIndexListView;
    void Fill() override;
signals:
    void ShowLine(int line);
};

// One row per measure with a comment, in song order.
class CCommentListView : public CIndexListView
{
    Q_OBJECT
public:
    explicit CCommentListView(QWidget* parent = nullptr);
    void Fill() override;
signals:
    void ShowBar(int barNo);
};

// One row per import issue, "%3d: %s"; choosing one shows its place.
class CIssueListView : public CIndexListView
{
    Q_OBJECT
public:
    explicit CIssueListView(QWidget* parent = nullptr);
    void Fill() override;
    const std::vector<SImportIssueRow>& Issues() const { return m_rows; }
signals:
    void ShowIssue(const SImportIssueRow& issue);

private:
    std::vector<SImportIssueRow> m_rows;
};

// Two roots, "Kadenzo Files" (*.kdz) and "Tab Files" (*.txt), each the tab folder's sub-folders
// and then its files, recursively (symlinked folders are not entered). Rebuilt only when the
// list of file names changes. The user may choose another folder (the "tab_folder" setting).
class CFileView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit CFileView(QWidget* parent = nullptr);
    void SetFolder(const QString& folder);
    QString Folder() const { return m_folder; }
    // True when the tree was rebuilt.
    bool Refresh();
    static QString DefaultFolder();
    // The folder the user chose, else the default.
    static QString ChosenFolder();
    // Shows `folder` and keeps it for the next start.
    void ChooseFolder(const QString& folder);
    // The full name of the entry at `pos` (viewport coordinates) when the pane cuts it
    // short; empty when it is shown whole or nothing is there.
    QString CutNameAt(const QPoint& pos) const;
signals:
    void OpenPath(const QString& path);

protected:
    bool viewportEvent(QEvent* e) override;

private:
    void AddFolder(QTreeWidgetItem* parent, const QString& dir, const QString& pattern, int depth);
    QString m_folder;
    QStringList m_names;
    bool m_built = false;
};
