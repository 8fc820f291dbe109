// The main window's editing side: the Edit, Instrument and Special menus, the clipboard, the
// "save changes?" question and the title mark of unsaved songs.
#include "mainframe.h"

#include "bardialog.h"
#include "catalogue.h"
#include "clipboard.h"
#include "editcontroller.h"
#include "player.h"
#include "rondeldoc.h"
#include "rondelview.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QToolBar>

#include <algorithm>
#include <tuple>

namespace {
QAction* AddAction(QMenu* menu, const QString& name, const QString& text, const QList<QKeySequence>& keys = {})
{
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    if (!keys.isEmpty())
        a->setShortcuts(keys);
    return a;
}
}

void CMainFrame::CreateEditMenus()
{
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    connect(AddAction(edit, QStringLiteral("EditUndo"), QStringLiteral("&Undo"),
                      {QKeySequence(QStringLiteral("Ctrl+Z")), QKeySequence(QStringLiteral("Alt+Backspace"))}),
            &QAction::triggered, this, &CMainFrame::OnUndo);
    connect(AddAction(edit, QStringLiteral("EditRedo"), QStringLiteral("Redo"), {QKeySequence(QStringLiteral("Ctrl+Y"))}),
            &QAction::triggered, this, &CMainFrame::OnRedo);
    edit->addSeparator();
    connect(AddAction(edit, QStringLiteral("EditCut"), QStringLiteral("Cu&t"), {QKeySequence(QStringLiteral("Ctrl+X"))}),
            &QAction::triggered, this, &CMainFrame::OnCut);
    connect(AddAction(edit, QStringLiteral("EditCopy"), QStringLiteral("&Copy"),
                      {QKeySequence(QStringLiteral("Ctrl+C")), QKeySequence(QStringLiteral("Ctrl+Insert"))}),
            &QAction::triggered, this, &CMainFrame::OnCopy);
    connect(AddAction(edit, QStringLiteral("EditPaste"), QStringLiteral("&Paste"),
                      {QKeySequence(QStringLiteral("Ctrl+V")), QKeySequence(QStringLiteral("Shift+Insert"))}),
            &QAction::triggered, this, &CMainFrame::OnPaste);
    connect(AddAction(edit, QStringLiteral("EditDelete"), QStringLiteral("&Delete"), {QKeySequence(Qt::Key_Delete)}),
            &QAction::triggered, this, &CMainFrame::OnDelete);
    connect(edit, &QMenu::aboutToShow, this, &CMainFrame::UpdateEditActions);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::UpdateEditActions);

    // The Instrument menu: one pop-up per group; a command replaces the drums of its group in
    // the range, or makes itself the group's default for new notes.
    QMenu* instruments = menuBar()->addMenu(QStringLiteral("&Instrument"));
    instruments->setObjectName(QStringLiteral("InstrumentMenu"));
    for (const Catalogue::SMenuGroup& group : Catalogue::MenuGroups()) {
        QMenu* sub = instruments->addMenu(QString::fromLatin1(group.caption));
        std::vector<const SInstrument*> items;
        for (const SInstrument& inst : Catalogue::Instruments())
            if (inst.group == group.group)
                items.push_back(&inst);
        std::sort(items.begin(), items.end(), [](const SInstrument* a, const SInstrument* b) { return a->commandId < b->commandId; });
        for (const SInstrument* inst : items) {
            QAction* a = sub->addAction(QString::fromLatin1(inst->caption));
            a->setObjectName(QStringLiteral("Instrument%1").arg(inst->key));
            a->setCheckable(true);
            const int code = int(inst->group);
            const int key = inst->key;
            connect(a, &QAction::triggered, this, [this, code, key] {
                if (CRondelView* view = ActiveView()) {
                    view->Edit().SetInstrument(code, key);
                    view->SelectionChangedNotify();
                }
            });
        }
        connect(sub, &QMenu::aboutToShow, this, [this, sub] {
            CRondelView* view = ActiveView();
            for (QAction* a : sub->actions()) {
                const int key = a->objectName().mid(10).toInt();
                const SInstrument* inst = Catalogue::Find(key);
                a->setChecked(view && inst && view->Edit().DefaultOf(int(inst->group)) == key);
            }
        });
    }
    // Drum numbers mean nothing on guitar and bass tracks.
    connect(instruments, &QMenu::aboutToShow, this, [this, instruments] {
        CRondelDoc* doc = ActiveDocument();
        for (QAction* a : instruments->actions())
            a->setEnabled(doc && doc->m_trackType == TrackType::Drums);
    });

    QMenu* special = menuBar()->addMenu(QStringLiteral("&Special"));
    special->setObjectName(QStringLiteral("SpecialMenu"));
    auto onView = [this](auto fn) {
        return [this, fn] {
            if (CRondelView* view = ActiveView()) {
                fn(view->Edit());
                view->SelectionChangedNotify();
            }
        };
    };
    connect(AddAction(special, QStringLiteral("SpecialTriplet"), QStringLiteral("Triplet-ize selection")), &QAction::triggered,
            this, onView([](CEditController& e) { e.TripletizeRange(false); }));
    connect(AddAction(special, QStringLiteral("SpecialTripletJog"), QStringLiteral("Triplet-ize and jog")), &QAction::triggered,
            this, onView([](CEditController& e) { e.TripletizeRange(true); }));
    special->addSeparator();
    const std::pair<const char*, uint32_t> marks[] = {
        {"Accent", EventBits::Accent}, {"Ghost note", EventBits::Ghost}, {"Flam", EventBits::FlamOrPM},
        {"Palm Mute (P.M.)", EventBits::FlamOrPM}};
    for (const auto& [text, mask] : marks) {
        const uint32_t m = mask;
        QAction* a = AddAction(special, QStringLiteral("Special%1").arg(QString::fromLatin1(text).remove(QLatin1Char(' '))),
                               QString::fromLatin1(text));
        connect(a, &QAction::triggered, this, [this, m] {
            if (CRondelView* view = ActiveView()) {
                view->Edit().ToggleMark(m, view->Edit().SelType() == CEditController::SelRange ? nullptr : view->Hover().note);
                view->SelectionChangedNotify();
            }
        });
    }
    special->addSeparator();
    const std::pair<const char*, int> lengths[] = {{"whole notes", 32}, {"1/2 notes", 16}, {"1/4 notes", 8},
                                                   {"1/8th notes", 4},  {"1/16th notes", 2}, {"1/32nd notes", 1}};
    for (const auto& [text, ticks] : lengths) {
        const int t = ticks;
        QAction* a = AddAction(special, QStringLiteral("SpecialLength%1").arg(t),
                               QStringLiteral("Set selected notes to %1").arg(QString::fromLatin1(text)));
        connect(a, &QAction::triggered, this, onView([t](CEditController& e) { e.SetNoteLengths(t); }));
    }
    connect(special, &QMenu::aboutToShow, this, [this, special] {
        CRondelView* view = ActiveView();
        const bool range = view && view->Edit().SelType() == CEditController::SelRange;
        const int triplet = view ? view->Edit().TripletState() : 0;
        for (QAction* a : special->actions()) {
            if (a->objectName().startsWith(QLatin1String("SpecialLength")))
                a->setEnabled(range);
            else if (a->objectName().startsWith(QLatin1String("SpecialTriplet")))
                a->setEnabled(triplet != 0);
        }
    });
    CreateInstrumentToolBar();
    UpdateEditActions();
}

namespace {
// The instrument buttons: a key, the button's short text and the instrument's name.
struct SToolDrum
{
    int key;
    const char* label;
    const char* name;
};
constexpr SToolDrum kToolDrums[] = {
    {36, "BD", "Bass drum 1"},       {44, "HF", "High hat foot"},     {38, "SD", "Snare Drum"},
    {37, "St", "Sticks"},            {56, "CB", "Cow bell"},          {42, "HH", "Closed high hat"},
    {46, "OH", "Open high hat"},     {51, "Rd", "Ride cymbal 1"},     {53, "Bell", "Ride cymbal bell"},
    {49, "Cr1", "Crash cymbal 1"},   {57, "Cr2", "Crash cymbal 2"},   {55, "Spl", "Splash cymbal"},
    {52, "Chn", "China (trash) cymbal"},
    {50, "T1", "Tom 1"}, {48, "T2", "Tom 2"}, {47, "T3", "Tom 3"}, {45, "T4", "Tom 4"}, {43, "T5", "Tom 5"}, {41, "T6", "Tom 6"},
};

const char* ToolTipOfGroup(int group)
{
    switch (group) {
    case MenuGroup::Foot: return "Set as foot default or set selected foot instruments as";
    case MenuGroup::Snare: return "Set as snare default or set selected snares as";
    case MenuGroup::Cymbal: return "Set as cymbal default or set selected cymbals as";
    case MenuGroup::Tom: return "Set as tom default or set selected toms as";
    default: return "";
    }
}
}

void CMainFrame::CreateInstrumentToolBar()
{
    // The drums for click entry (or for the selected notes), the marks and the triplets.
    auto* bar = new QToolBar(QStringLiteral("Instruments"), this);
    bar->setObjectName(QStringLiteral("InstrumentToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addToolBar(Qt::TopToolBarArea, bar);
    for (const SToolDrum& drum : kToolDrums) {
        const SInstrument* inst = Catalogue::Find(drum.key);
        if (!inst)
            continue;
        const int code = int(inst->group);
        const int key = drum.key;
        QAction* a = bar->addAction(QString::fromLatin1(drum.label));
        a->setObjectName(QStringLiteral("ToolInstrument%1").arg(key));
        a->setToolTip(QStringLiteral("%1 - %2").arg(QString::fromLatin1(drum.name), QString::fromLatin1(ToolTipOfGroup(code))));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, code, key] {
            if (CRondelView* view = ActiveView()) {
                view->Edit().SetInstrument(code, key);
                view->SelectionChangedNotify();
            }
            UpdateEditActions();
        });
    }
    bar->addSeparator();
    const std::tuple<const char*, const char*, const char*, uint32_t> marks[] = {
        {"ToolAccent", "Acc", "Accent", EventBits::Accent},
        {"ToolGhost", "Gh", "Ghost note", EventBits::Ghost},
        {"ToolFlam", "Flam", "Flam", EventBits::FlamOrPM},
        {"ToolPalmMute", "P.M.", "Palm Mute (P.M.)", EventBits::FlamOrPM}};
    for (const auto& [name, label, tip, mask] : marks) {
        const uint32_t m = mask;
        QAction* a = bar->addAction(QString::fromLatin1(label));
        a->setObjectName(QString::fromLatin1(name));
        a->setToolTip(QString::fromLatin1(tip));
        a->setCheckable(true);
        // A range gets the mark; otherwise it waits for the next note added by click.
        connect(a, &QAction::triggered, this, [this, m] {
            if (CRondelView* view = ActiveView()) {
                view->Edit().ToggleMark(m, nullptr);
                view->SelectionChangedNotify();
            }
            UpdateEditActions();
        });
    }
    bar->addSeparator();
    QAction* triplet = bar->addAction(QStringLiteral("3"));
    triplet->setObjectName(QStringLiteral("ToolTriplet"));
    triplet->setToolTip(QStringLiteral("Triplet-ize selection"));
    connect(triplet, &QAction::triggered, this, [this] {
        if (CRondelView* view = ActiveView()) {
            view->Edit().TripletizeRange(false);
            view->SelectionChangedNotify();
        }
    });
    QAction* tripletJog = bar->addAction(QStringLiteral("3>"));
    tripletJog->setObjectName(QStringLiteral("ToolTripletJog"));
    tripletJog->setToolTip(QStringLiteral("Group/ungroup notes as a triplet and jog following notes left/right"));
    connect(tripletJog, &QAction::triggered, this, [this] {
        if (CRondelView* view = ActiveView()) {
            view->Edit().TripletizeRange(true);
            view->SelectionChangedNotify();
        }
    });
    connect(MdiArea(), &QMdiArea::subWindowActivated, this, &CMainFrame::UpdateEditActions);
}

void CMainFrame::UpdateInstrumentToolBar()
{
    auto* bar = findChild<QToolBar*>(QStringLiteral("InstrumentToolBar"));
    if (!bar)
        return;
    CRondelDoc* doc = ActiveDocument();
    CRondelView* view = ActiveView();
    const bool drums = doc && view && doc->m_trackType == TrackType::Drums;
    const uint32_t mode = view ? view->Edit().m_pendingMark : 0;
    const int triplet = view ? view->Edit().TripletState() : 0;
    for (QAction* a : bar->actions()) {
        const QString name = a->objectName();
        if (name.startsWith(QLatin1String("ToolInstrument"))) {
            // Drum numbers mean nothing on guitar and bass tracks.
            const int key = name.mid(14).toInt();
            const SInstrument* inst = Catalogue::Find(key);
            a->setEnabled(drums);
            a->setChecked(drums && inst && view->Edit().DefaultOf(int(inst->group)) == key);
        } else if (name == QLatin1String("ToolAccent")) {
            a->setEnabled(view != nullptr);
            a->setChecked(mode == EventBits::Accent);
        } else if (name == QLatin1String("ToolGhost")) {
            a->setEnabled(view != nullptr);
            a->setChecked(mode == EventBits::Ghost);
        } else if (name == QLatin1String("ToolFlam")) {
            a->setEnabled(drums);
            a->setChecked(drums && mode == EventBits::FlamOrPM);
        } else if (name == QLatin1String("ToolPalmMute")) {
            a->setEnabled(view && !drums);
            a->setChecked(view && !drums && mode == EventBits::FlamOrPM);
        } else if (name.startsWith(QLatin1String("ToolTriplet"))) {
            a->setEnabled(triplet != 0);
        }
    }
}

QAction* CMainFrame::EditAction(const QString& objectName) const
{
    return menuBar()->findChild<QAction*>(objectName);
}

void CMainFrame::UpdateEditActions()
{
    CRondelDoc* doc = ActiveDocument();
    CRondelView* view = ActiveView();
    const int sel = view ? view->Edit().SelType() : 0;
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    const bool clip = mime && (mime->hasFormat(QString::fromLatin1(kKadenzoMimeType)) || mime->hasText());
    auto set = [this](const char* name, bool on) {
        if (QAction* a = EditAction(QString::fromLatin1(name)))
            a->setEnabled(on);
    };
    set("EditUndo", doc && doc->CanUndo());
    set("EditRedo", doc && doc->CanRedo());
    set("EditCut", sel == CEditController::SelRange);
    set("EditCopy", sel == CEditController::SelRange);
    // Kadenzo data needs an insert point; plain text opens as a new song.
    const bool kadenzo = mime && mime->hasFormat(QString::fromLatin1(kKadenzoMimeType));
    set("EditPaste", clip && (kadenzo ? sel != CEditController::SelNone : true));
    set("EditDelete", view != nullptr);
    UpdateInstrumentToolBar();
}

void CMainFrame::StopActivePlayer()
{
    if (CPlayer* p = ActivePlayer(); p && p->State() != PlayerState::Stopped)
        OnStop();
}

void CMainFrame::OnUndo()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc || !doc->CanUndo())
        return;
    // The player renders from list positions that the reload takes away.
    StopActivePlayer();
    doc->Undo();
    if (CRondelView* view = ActiveView()) {
        view->Edit().ClearSelection();
        view->SelectionChangedNotify();
    }
    UpdateEditActions();
}

void CMainFrame::OnRedo()
{
    CRondelDoc* doc = ActiveDocument();
    if (!doc || !doc->CanRedo())
        return;
    StopActivePlayer();
    doc->Redo();
    if (CRondelView* view = ActiveView()) {
        view->Edit().ClearSelection();
        view->SelectionChangedNotify();
    }
    UpdateEditActions();
}

void CMainFrame::OnCopy()
{
    CRondelView* view = ActiveView();
    if (!view)
        return;
    const QByteArray bytes = view->Edit().CopySelection();
    if (bytes.isEmpty())
        return;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kKadenzoMimeType), bytes);
    QApplication::clipboard()->setMimeData(mime);
    UpdateEditActions();
}

void CMainFrame::OnCut()
{
    CRondelView* view = ActiveView();
    if (!view || view->Edit().SelType() != CEditController::SelRange || !view->Edit().CanEdit())
        return;
    OnCopy();
    view->Edit().DeleteSelection();
    view->SelectionChangedNotify();
    UpdateEditActions();
}

void CMainFrame::OnPaste()
{
    CRondelView* view = ActiveView();
    if (!view)
        return;
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime)
        return;
    StopActivePlayer();
    const QString kadenzo = QString::fromLatin1(kKadenzoMimeType);
    if (mime->hasFormat(kadenzo)) {
        view->Edit().Paste(mime->data(kadenzo));
        view->SelectionChangedNotify();
    } else if (mime->hasText()) {
        // Text is a tab: saved as a file, then opened (imported) as a new song.
        const QString text = mime->text();
        const QString path = SavePastedText(text, [this](const QString& folder) {
            if (m_pasteFileChooser)
                return m_pasteFileChooser(folder);
            return QFileDialog::getSaveFileName(this, QStringLiteral("Save As"),
                                                folder + QLatin1Char('/') + QString::fromLatin1(TextPaste::kInitialName) + QStringLiteral(".txt"),
                                                QString::fromLatin1(TextPaste::kFilter));
        });
        if (!path.isEmpty())
            OpenFile(path);
    }
    UpdateEditActions();
}

void CMainFrame::OnDelete()
{
    if (CRondelView* view = ActiveView())
        view->OnDeleteKey();
    UpdateEditActions();
}

void CMainFrame::UpdateDocumentTitle(CRondelDoc& doc)
{
    for (QMdiSubWindow* sub : MdiArea()->subWindowList()) {
        auto* view = sub->widget() ? sub->widget()->findChild<CRondelView*>() : nullptr;
        if (!view || &view->Doc() != &doc)
            continue;
        if (!sub->windowTitle().endsWith(QLatin1String("[*]")))
            sub->setWindowTitle(sub->windowTitle() + QStringLiteral("[*]"));
        sub->setWindowModified(doc.IsModified());
    }
}

bool CMainFrame::MaybeSave(CRondelDoc& doc)
{
    if (!doc.IsModified())
        return true;
    const QString name = doc.m_title.isEmpty() ? QStringLiteral("the song") : doc.m_title;
    int answer = QMessageBox::Cancel;
    if (m_saveQuestion) {
        answer = m_saveQuestion(name);
    } else {
        answer = QMessageBox::warning(this, QStringLiteral("Kadenzo"),
                                      QStringLiteral("%1 has been modified.\nDo you want to save your changes?").arg(name),
                                      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    }
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    // Save goes to the song's own ".kdz" file, or asks for one.
    for (QMdiSubWindow* sub : MdiArea()->subWindowList())
        if (auto* view = sub->widget() ? sub->widget()->findChild<CRondelView*>() : nullptr; view && &view->Doc() == &doc)
            MdiArea()->setActiveSubWindow(sub);
    if (DocFormats::ExtensionOf(doc.m_pathName) == QLatin1String(".kdz"))
        SaveDocumentAs(doc, doc.m_pathName);
    else
        OnFileSaveAs();
    return !doc.IsModified();
}

void CMainFrame::ConnectEditing(CRondelView* view, CRondelDoc* doc)
{
    connect(view, &CRondelView::SelectionChanged, this, &CMainFrame::UpdateEditActions);
    connect(view, &CRondelView::PlayBarRequested, this, &CMainFrame::PlayBar);
    connect(view, &CRondelView::StopRequested, this, &CMainFrame::OnStop);
    // The time-signature box opens the measure's dialog, unless the player holds the song.
    connect(view, &CRondelView::BarBoxClicked, this, [this, view](int barNo) {
        if (!view->Edit().CanEdit())
            return;
        CBarDialog dlg(view->Doc(), barNo, this);
        if (m_barDialogHook)
            m_barDialogHook(dlg);
        else
            dlg.exec();
        view->SelectionChangedNotify();
    });
    doc->AddListener([this, doc](CRondelDoc&) {
        UpdateDocumentTitle(*doc);
        UpdateEditActions();
    });
    UpdateDocumentTitle(*doc);
}

void CMainFrame::PlayBar(int barNo)
{
    StopActivePlayer();
    m_forcedStartBar = barNo;
    OnMeasurePlay();
    m_forcedStartBar = 0;
}
