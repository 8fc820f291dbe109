// The Tools dialogs, offscreen: the Import sheet and Change Instrument with their conversions
// and undo, the practice tools on the manual clock, the volume, drum layout, display and Tab
// Staff Format dialogs and what they leave in the settings, the song and the views.
#include "application.h"
#include "appwiring.h"
#include "catalogue.h"
#include "dialogs.h"
#include "displayconfig.h"
#include "drumlayout.h"
#include "importsheet.h"
#include "layoutdialogs.h"
#include "mainframe.h"
#include "mainwindowtest.h"
#include "manualclock.h"
#include "midi.h"
#include "midifile.h"
#include "mididevices.h"
#include "midistream.h"
#include "playclock.h"
#include "player.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "settings.h"
#include "tempodialogs.h"
#include "trackrenderer.h"
#include "transportbar.h"
#include "velocity.h"
#include "volumedialogs.h"
#include "waveoptionsdialog.h"
#include "wavexport.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "testutil.h"

#include <gtest/gtest.h>

#include <map>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {
// "H2" (a second high tom) is read as an open hi-hat: the tom has to be corrected by hand.
const char* const kHighTomTab = "Song: Test\n"
                                "\n"
                                "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                                "H2|----o-------o---|o---------------|\n"
                                "SD|----o-------o---|----o-------o---|\n"
                                "BD|o-------o-------|o-------o-------|\n";

// Two bars of 16 columns that are really 32nd notes: the importer takes them for 16ths.
const char* const kThirtySecondTab = "HH|xxxxxxxxxxxxxxxx|xxxxxxxxxxxxxxxx|\n"
                                     "SD|----o-------o---|----o-------o---|\n"
                                     "BD|o-------o-------|o-------o-------|\n";

std::map<int, int> NoteCounts(const CRondelDoc& doc)
{
    std::map<int, int> counts;
    for (const auto& e : doc.Events())
        if (e.IsNote())
            ++counts[int(e.GetEventType())];
    return counts;
}

std::vector<std::pair<int, int>> TimeSignatures(const CRondelDoc& doc)
{
    std::vector<std::pair<int, int>> sigs;
    const auto& events = doc.Events();
    for (auto it = events.begin(); it != events.end(); ++it)
        if (it->IsMeasure() && std::next(it) != events.end())
            sigs.emplace_back(int(it->GetTimeSigNumerator()), int(it->GetTimeSigDenominator()));
    return sigs;
}

// Answers the next modal dialog once it is shown.
void WhenModal(std::function<void(QDialog*)> answer)
{
    QTimer::singleShot(0, qApp, [answer] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dlg)
            answer(dlg);
        else
            WhenModal(answer);
    });
}

class Dialogs : public CMainWindowTest
{
protected:
    void SetUp() override
    {
        CMainWindowTest::SetUp();
        m_drum = DrumVolumes();
        m_guitar = GuitarVolumes();
        m_layout = DrumLayout::Current();
        m_display = DisplayConfig();
    }
    void TearDown() override
    {
        DrumVolumes() = m_drum;
        GuitarVolumes() = m_guitar;
        DrumLayout::SetCurrent(m_layout);
        DisplayConfig() = m_display;
        CMainWindowTest::TearDown();
    }
    QString Write(const QString& name, const char* text)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(WriteAll(path, QByteArray(text)));
        return path;
    }
    std::unique_ptr<CMainFrame> Frame()
    {
        auto f = CMainWindowTest::Frame();
        f->SetSaveQuestion([](const QString&) { return int(QMessageBox::Discard); });
        return f;
    }
    // The decoded row of a label's note character.
    static int DecodedRow(CImportSheet& sheet, const QString& label, QChar c)
    {
        bool inLabel = false;
        for (int row = 0; row < sheet.Decoded()->count(); ++row) {
            const QString text = sheet.Decoded()->item(row)->text();
            if (!text.startsWith(u'\t'))
                inLabel = text == label;
            else if (inLabel && text.mid(1, 1) == c)
                return row;
        }
        return -1;
    }

    SDrumVolumes m_drum;
    SGuitarVolumes m_guitar;
    DrumLayout::Table m_layout;
    CDisplayConfig m_display;
};
} // namespace

TEST_F(Dialogs, ChangeInstrumentCorrectsAMisreadLabelAsOneUndoStep)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("ht.txt"), kHighTomTab)));
    CRondelDoc* doc = f->ActiveDocument();
    ASSERT_EQ(NoteCounts(*doc)[46], 3) << "H2 is read as an open hi-hat";
    f->OnImportSheet();
    CImportSheet* sheet = f->ImportSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Pages()->count(), 4);
    EXPECT_EQ(sheet->HeaderLines()->item(0)->text(), QStringLiteral("   1:   Song: Test"));
    EXPECT_TRUE(sheet->ImportText()->item(2)->text().startsWith(QStringLiteral("STAFF LINE      3:   HH|")));
    const int row = DecodedRow(*sheet, QStringLiteral("H2"), u'o');
    ASSERT_GE(row, 0);
    EXPECT_TRUE(sheet->Decoded()->item(row)->text().endsWith(QStringLiteral("** Open High-hat **"))) << "a guess is starred";

    // Heading and label rows open nothing.
    int opened = 0;
    sheet->ChangeInstrumentAt(0, [&](CChangeInstrumentDialog&) { return ++opened, int(QDialog::Rejected); });
    sheet->ChangeInstrumentAt(row - 1, [&](CChangeInstrumentDialog&) { return ++opened, int(QDialog::Rejected); });
    EXPECT_EQ(opened, 0);

    const int undoSteps = doc->UndoHistory().UndoSteps();
    sheet->ChangeInstrumentAt(row, [](CChangeInstrumentDialog& dlg) {
        EXPECT_FALSE(dlg.InstrumentBox()->isEditable()) << "only catalogue names";
        EXPECT_EQ(dlg.InstrumentBox()->currentText(), QStringLiteral("Open High-hat"));
        EXPECT_EQ(dlg.InstrumentBox()->count(), Catalogue::kInstrumentCount);
        dlg.InstrumentBox()->setCurrentText(QStringLiteral("High Tom 1"));
        dlg.DynamicBox()->setCurrentText(QStringLiteral("Accented note"));
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(doc->UndoHistory().UndoSteps(), undoSteps + 1) << "one undo step";
    std::map<int, int> counts = NoteCounts(*doc);
    EXPECT_EQ(counts[46], 0);
    EXPECT_EQ(counts[50], 3);
    EXPECT_EQ(counts[38], 4);
    for (const auto& e : doc->Events()) {
        if (e.IsNote() && e.GetEventType() == 50) {
            EXPECT_TRUE(e.IsAccent());
        }
    }
    const int newRow = DecodedRow(*sheet, QStringLiteral("H2"), u'o');
    ASSERT_GE(newRow, 0);
    EXPECT_TRUE(sheet->Decoded()->item(newRow)->text().endsWith(QStringLiteral("High Tom 1\tAccented note")))
        << sheet->Decoded()->item(newRow)->text().toStdString();

    // The exported MIDI file plays the high tom.
    const QString midi = m_dir.filePath(QStringLiteral("ht.mid"));
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(midi, &error)) << error.toStdString();
    CRondelDoc back;
    f->SetAskMidiOptions(false);
    ASSERT_TRUE(back.OnOpenDocument(midi, &error)) << error.toStdString();
    EXPECT_EQ(NoteCounts(back)[50], 3);
    EXPECT_EQ(NoteCounts(back)[46], 0);

    // Undo brings the old notes and the old mapping back; redo the new ones.
    ASSERT_TRUE(doc->Undo());
    EXPECT_EQ(NoteCounts(*doc)[46], 3);
    EXPECT_EQ(NoteCounts(*doc)[50], 0);
    EXPECT_TRUE(sheet->Decoded()->item(DecodedRow(*sheet, QStringLiteral("H2"), u'o'))->text().endsWith(QStringLiteral("** Open High-hat **")));
    ASSERT_TRUE(doc->Redo());
    EXPECT_EQ(NoteCounts(*doc)[50], 3);
    EXPECT_TRUE(sheet->Decoded()->item(DecodedRow(*sheet, QStringLiteral("H2"), u'o'))->text().contains(QStringLiteral("High Tom")));

    // A later change keeps the earlier one: both mappings hold.
    sheet->ChangeInstrumentAt(DecodedRow(*sheet, QStringLiteral("BD"), u'o'), [](CChangeInstrumentDialog& dlg) {
        dlg.InstrumentBox()->setCurrentText(QStringLiteral("Acoustic Bass Drum"));
        return int(QDialog::Accepted);
    });
    counts = NoteCounts(*doc);
    EXPECT_EQ(counts[50], 3);
    EXPECT_EQ(counts[35], 4);
    EXPECT_EQ(counts[36], 0);
}

TEST_F(Dialogs, SheetFollowsItsDocumentAndClosesWithIt)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("ht.txt"), kHighTomTab)));
    QPointer<CImportSheet> sheet = f->ImportSheet();
    ASSERT_TRUE(sheet) << "a text import shows how the tab was read";
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(&sheet->Doc(), f->ActiveDocument());
    // Replacing the importer (a conversion) does not leave the sheet on the old one.
    ImportRework::ChangeTimeOptions(*f->ActiveDocument(), {0, 1, false, true, false});
    f->ActiveDocument()->CommitEdit();
    EXPECT_TRUE(sheet->ThirtySecond()->isChecked());
    EXPECT_GT(sheet->ImportText()->count(), 5);
    f->MdiArea()->closeActiveSubWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(sheet) << "the sheet closes with its document";
}

TEST_F(Dialogs, TimeKeyPageCorrectsTheTickLength)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("t32.txt"), kThirtySecondTab)));
    CRondelDoc* doc = f->ActiveDocument();
    // The first bar's tempo was set by hand: a conversion keeps it.
    doc->Events().front().m_word1 = (doc->Events().front().m_word1 & ~EventBits::TempoMask) | TempoBits(90);
    const auto before = TimeSignatures(*doc);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0], std::make_pair(4, 4)) << "16 columns read as 16ths";
    f->OnImportSheet();
    CImportSheet* sheet = f->ImportSheet();
    EXPECT_TRUE(sheet->Sixteenth()->isChecked());
    EXPECT_TRUE(sheet->ModeButton(0)->isChecked());
    sheet->ThirtySecond()->setChecked(true);
    doc->SetModifiedFlag(false);
    const int steps = doc->UndoHistory().UndoSteps();
    sheet->Apply();
    EXPECT_EQ(doc->UndoHistory().UndoSteps(), steps + 1);
    EXPECT_TRUE(doc->IsModified());
    const auto after = TimeSignatures(*doc);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].first * 32 / after[0].second, 16) << "two bars of 16 32nds";
    EXPECT_EQ(NoteCounts(*doc)[42], 32);
    EXPECT_EQ(doc->Events().front().GetTempo(), 90u);
    EXPECT_TRUE(sheet->ThirtySecond()->isChecked());
    // Applying again with nothing changed takes no step.
    sheet->Apply();
    EXPECT_EQ(doc->UndoHistory().UndoSteps(), steps + 1);
    ASSERT_TRUE(doc->Undo());
    EXPECT_EQ(TimeSignatures(*doc), before);
    EXPECT_TRUE(sheet->Sixteenth()->isChecked()) << "undo brings the old options back";
}

TEST_F(Dialogs, TimeKeyRefusesChangesBetweenMeterAndCount)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("t32.txt"), kThirtySecondTab)));
    CRondelDoc* doc = f->ActiveDocument();
    // A linear tab cannot become Meter: the message, and the song stays.
    EXPECT_FALSE(ImportRework::ChangeTimeOptions(*doc, {1, 2, false, true, false}));
    ASSERT_FALSE(m_report.m_messages.isEmpty());
    EXPECT_EQ(m_report.m_messages.last(), QStringLiteral("Cannot change time mode"));
    EXPECT_FALSE(doc->CanRedo());
}

TEST_F(Dialogs, HeaderPageWritesEveryFieldAsOneUndoStep)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("ht.txt"), kHighTomTab)));
    CRondelDoc* doc = f->ActiveDocument();
    f->OnImportSheet();
    CImportSheet* sheet = f->ImportSheet();
    sheet->HeaderEditor()->Field(Header::Album)->setText(QStringLiteral("Live"));
    sheet->HeaderEditor()->Field(Header::Drummer)->setText(QStringLiteral("Jo"));
    const int steps = doc->UndoHistory().UndoSteps();
    sheet->accept();
    EXPECT_EQ(doc->m_header[Header::Album], QStringLiteral("Live"));
    EXPECT_EQ(doc->m_header[Header::Drummer], QStringLiteral("Jo"));
    EXPECT_EQ(doc->m_header[Header::Song], QStringLiteral("Test"));
    EXPECT_EQ(doc->UndoHistory().UndoSteps(), steps + 1);
    ASSERT_TRUE(doc->Undo());
    EXPECT_TRUE(doc->m_header[Header::Album].isEmpty());
}

TEST_F(Dialogs, AutoTempoFollowsPlayTimeAndIgnoresPauses)
{
    auto f = Frame();
    const QString path = m_dir.filePath(QStringLiteral("long.kdz"));
    {
        CRondelDoc doc;
        doc.OnNewDocument();
        doc.DeleteContents();
        for (int b = 0; b < 200; ++b) {
            AppendEvent(doc.Events(), EventType::Bar | (b == 0 ? TempoBits(120) : 0), TimeSigWord(4, 4));
            AppendEvent(doc.Events(), 38, 0);
        }
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
        ASSERT_TRUE(doc.OnSaveDocument(path));
    }
    ASSERT_TRUE(f->OpenFile(path));
    WhenModal([](QDialog* dlg) {
        auto* at = qobject_cast<CAutoTempoDialog*>(dlg);
        ASSERT_NE(at, nullptr);
        at->m_startBpm->setValue(60);
        at->m_endBpm->setValue(120);
        at->m_hold->setValue(60);  // hold 0 s
        at->m_ramp->setValue(240); // ramp 60 s
        at->accept();
    });
    emit f->Transport()->AutoTempo();
    ASSERT_TRUE(f->AutoTempoSettings().m_on);
    f->OnPlay();
    EXPECT_EQ(f->Transport()->CurrentTempo(), 60);
    Advance(*f, 30000);
    EXPECT_EQ(f->Transport()->CurrentTempo(), 90);
    f->OnPlay(); // pause
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Paused);
    Advance(*f, 20000);
    EXPECT_EQ(f->Transport()->CurrentTempo(), 90) << "a pause does not move the ramp";
    f->OnPlay(); // resume
    Advance(*f, 15000);
    EXPECT_EQ(f->Transport()->CurrentTempo(), 105);
    // DTEMPO turns it off: the tempo stays where it is put.
    emit f->Transport()->DefaultTempoClicked();
    EXPECT_FALSE(f->AutoTempoSettings().m_on);
    Advance(*f, 5000);
    EXPECT_EQ(f->Transport()->CurrentTempo(), 0);
    f->OnStop();
}

TEST_F(Dialogs, AutoTempoDialogPresetsAndDefault)
{
    SAutoTempo s;
    int defaultTempo = 0;
    CAutoTempoDialog dlg(s, [&] { return defaultTempo; });
    EXPECT_EQ(dlg.Settings().m_holdSecs, 40);
    EXPECT_EQ(dlg.Settings().m_rampSecs, 120);
    dlg.ApplyPreset(5);
    EXPECT_EQ(dlg.Settings().m_holdSecs, 0);
    EXPECT_EQ(dlg.Settings().m_rampSecs, 60);
    EXPECT_EQ(dlg.m_hold->value(), 60);
    // "Default" with an empty or silly box never gives 0 or a tempo outside the spin range.
    dlg.OnDefault();
    EXPECT_EQ(dlg.Settings().m_endBpm, 120);
    defaultTempo = 400;
    dlg.OnDefault();
    EXPECT_EQ(dlg.Settings().m_endBpm, 200);
    defaultTempo = 96;
    dlg.OnDefault();
    EXPECT_EQ(dlg.Settings().m_endBpm, 96);
}

TEST_F(Dialogs, BpmCounterReadsTapsAndAlwaysWithdrawsItsStopRequest)
{
    CMidi::SetStopRequest(false);
    for (int way = 0; way < 3; ++way) {
        CBpmCounter dlg;
        dlg.show();
        QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
        EXPECT_TRUE(CMidi::StopRequested());
        for (int i = 0; i < 4; ++i)
            dlg.Tap(10000 + 500 * i);
        EXPECT_EQ(dlg.Reading(), QStringLiteral("120"));
        if (way == 0)
            QTest::keyClick(&dlg, Qt::Key_Escape);
        else if (way == 1)
            dlg.close();
        else
            dlg.reject();
        EXPECT_FALSE(CMidi::StopRequested()) << "closed way " << way;
    }
    // As a modal dialog from the menu.
    auto f = Frame();
    WhenModal([](QDialog* dlg) {
        auto* counter = qobject_cast<CBpmCounter*>(dlg);
        ASSERT_NE(counter, nullptr);
        counter->StartCounting();
        counter->reject();
    });
    f->OnBpmCounter();
    EXPECT_FALSE(CMidi::StopRequested());
}

TEST_F(Dialogs, DrumVolumeOkKeepsUntouchedValuesAndCancelRestores)
{
    DrumVolumes() = SDrumVolumes();
    for (int i = 0; i < 5; ++i) {
        CDrumVolumeDialog dlg;
        dlg.accept();
    }
    EXPECT_EQ(DrumVolumes(), SDrumVolumes()) << "five OKs without a move change nothing";
    EXPECT_TRUE(SettingsStore::Read(QStringLiteral("drum_vol")).startsWith(QStringLiteral("6,50,70,50,100,")));

    // A moved slider is heard at once; Cancel puts back what the dialog opened with, even
    // when nothing was stored before.
    SettingsStore::Write(QStringLiteral("drum_vol"), QString());
    {
        CDrumVolumeDialog dlg;
        dlg.GapSlider()->setValue(100);
        const int snare = 0;
        dlg.Slider(snare, DrumVelocity::Accent)->setValue(0);
        EXPECT_EQ(DrumVolumes().m_flamGap, 1);
        EXPECT_EQ(DrumVolumes().m_velocity[DrumGroup::Snare][DrumVelocity::Accent], 120);
        dlg.reject();
    }
    EXPECT_EQ(DrumVolumes(), SDrumVolumes());
    {
        CDrumVolumeDialog dlg;
        dlg.Slider(0, DrumVelocity::Normal)->setValue(0);
        dlg.accept();
    }
    EXPECT_EQ(DrumVolumes().m_velocity[DrumGroup::Snare][DrumVelocity::Normal], 100);
    EXPECT_EQ(DrumVolumes().m_flamGap, 6);
}

TEST_F(Dialogs, GuitarVolumeOkKeepsUntouchedValuesAndCancelRestores)
{
    GuitarVolumes() = SGuitarVolumes();
    {
        CGuitarVolumeDialog dlg;
        dlg.accept();
    }
    EXPECT_EQ(GuitarVolumes(), SGuitarVolumes());
    EXPECT_TRUE(SettingsStore::Read(QStringLiteral("gtr_vol")).startsWith(QStringLiteral("4664324646")));
    {
        CGuitarVolumeDialog dlg;
        dlg.Slider(3, GuitarVelocity::Ghost)->setValue(0);
        EXPECT_EQ(GuitarVolumes().m_record[3][GuitarVelocity::Ghost], 80);
        dlg.reject();
    }
    EXPECT_EQ(GuitarVolumes(), SGuitarVolumes());
}

TEST_F(Dialogs, StoredVolumesAreHeldToTheDialogRanges)
{
    SettingsStore::Write(QStringLiteral("drum_vol"), QStringLiteral("0,300,-5,1000,64"));
    LoadDrumVolumes();
    EXPECT_EQ(DrumVolumes().m_flamGap, 1);
    EXPECT_EQ(DrumVolumes().m_flamPreVolume, 90);
    EXPECT_EQ(DrumVolumes().m_velocity[0][0], 1);
    EXPECT_EQ(DrumVolumes().m_velocity[0][1], 127);
    EXPECT_EQ(DrumVolumes().m_velocity[0][2], 64);
    SettingsStore::Write(QStringLiteral("gtr_vol"), QStringLiteral("ff00807f46"));
    LoadGuitarVolumes();
    const auto& r = GuitarVolumes().m_record[0];
    EXPECT_EQ(r[0], 127) << "bytes are unsigned";
    EXPECT_EQ(r[1], 1);
    EXPECT_EQ(r[2], 127);
    EXPECT_EQ(r[3], 127);
    EXPECT_EQ(r[4], 70);
}

TEST_F(Dialogs, DrumLayoutCancelUndoesAPresetAndOkStoresIt)
{
    DrumLayout::SetCurrent(DrumLayout::UsUkStandard());
    {
        CDrumLayoutDialog dlg;
        dlg.ApplyPreset(1);
        EXPECT_EQ(DrumLayout::Position(44), 0);
        EXPECT_TRUE(dlg.TailUp(CDrumLayoutDialog::RowOf(44))->isChecked());
        dlg.reject();
    }
    EXPECT_EQ(DrumLayout::Current(), DrumLayout::UsUkStandard()) << "Cancel restores the layout it found";
    {
        CDrumLayoutDialog dlg;
        dlg.ApplyPreset(1);
        dlg.Position(CDrumLayoutDialog::RowOf(38))->setValue(8);
        dlg.TailUp(CDrumLayoutDialog::RowOf(36))->setChecked(true);
        dlg.accept();
    }
    EXPECT_EQ(DrumLayout::Position(38), 8);
    EXPECT_FALSE(DrumLayout::TailDown(35)) << "a row of two keys sets both";
    EXPECT_FALSE(DrumLayout::TailDown(36));
    EXPECT_EQ(DrumLayout::Position(49), 13);
    EXPECT_EQ(SettingsStore::Read(QStringLiteral("postail")), DrumLayout::ToPostail(DrumLayout::Current()));
    // Stored positions beyond the spin range are held to 15.
    SettingsStore::Write(QStringLiteral("postail"), QStringLiteral("7fff"));
    DrumLayout::LoadFromSettings();
    EXPECT_EQ(DrumLayout::Position(81), 15);
    EXPECT_FALSE(DrumLayout::TailDown(81));
    EXPECT_EQ(DrumLayout::Position(80), 15);
    EXPECT_TRUE(DrumLayout::TailDown(80));
}

TEST_F(Dialogs, DisplayDialogKeepsAStaffAndStoresSupersize)
{
    DisplayConfig() = CDisplayConfig();
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("ht.txt"), kHighTomTab)));
    WhenModal([](QDialog* dlg) {
        auto* d = qobject_cast<CDisplayConfigDialog*>(dlg);
        ASSERT_NE(d, nullptr);
        d->Box(EDisplayMode::Print, 0)->setChecked(false);
        d->Box(EDisplayMode::Print, 1)->setChecked(false);
        EXPECT_EQ(d->Box(EDisplayMode::Edit, 3), nullptr) << "Edit has no Count box";
        d->SupersizeBox()->setChecked(true);
        d->Margin(0)->setValue(1.5);
        d->SizeSlider()->setValue(100);
        d->accept();
    });
    f->OnDisplayConfig();
    EXPECT_TRUE(DisplayConfig().Rows(EDisplayMode::Print).standard);
    EXPECT_EQ(DisplayConfig().m_printSize, 3000);
    EXPECT_EQ(SettingsStore::Read(QStringLiteral("display")), QStringLiteral("111100111000,1.5,1.0,1.0,0.8,3000,0"));
    EXPECT_TRUE(f->ActiveView()->Supersize());
    EXPECT_DOUBLE_EQ(f->ActiveView()->Scale(), 2.0);
    // A new window reads Supersize from the setting.
    CDisplayConfig fresh;
    fresh.LoadFromSettings();
    EXPECT_TRUE(fresh.IsSupersize());
    DisplayConfig() = CDisplayConfig();
}

TEST_F(Dialogs, NotationDialogsLeaveTheSongAlone)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("ht.txt"), kHighTomTab)));
    CRondelDoc* doc = f->ActiveDocument();
    // A change and its undo leave a redo step; the dialogs must keep it.
    doc->m_header[Header::Album] = QStringLiteral("x");
    doc->CommitEdit();
    ASSERT_TRUE(doc->Undo());
    doc->SetModifiedFlag(false);
    const int steps = doc->UndoHistory().UndoSteps();
    WhenModal([](QDialog* d) { d->accept(); });
    f->OnDrumLayout();
    WhenModal([](QDialog* d) { d->accept(); });
    f->OnDisplayConfig();
    WhenModal([](QDialog* d) { d->accept(); });
    f->OnTabStaffFormat();
    WhenModal([](QDialog* d) { d->accept(); });
    f->OnDrumVolume();
    WhenModal([](QDialog* d) { d->accept(); });
    f->OnGuitarVolume();
    EXPECT_TRUE(doc->CanRedo());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->UndoHistory().UndoSteps(), steps);
}

TEST_F(Dialogs, TabStaffFormatBelongsToItsView)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("a.txt"), kHighTomTab)));
    CRondelView* first = f->ActiveView();
    WhenModal([](QDialog* dlg) {
        auto* d = qobject_cast<CTabStaffFormatDialog*>(dlg);
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(d->m_cymbals->isChecked());
        EXPECT_FALSE(d->m_toms->isChecked());
        d->m_toms->setChecked(true);
        d->accept();
    });
    f->OnTabStaffFormat();
    auto& firstRenderer = dynamic_cast<CTrackRenderer&>(first->Renderer());
    EXPECT_TRUE(firstRenderer.TabFormat().tomsOwnLines);
    ASSERT_TRUE(f->OpenFile(Write(QStringLiteral("b.txt"), kHighTomTab)));
    CRondelView* second = f->ActiveView();
    ASSERT_NE(first, second);
    auto& secondRenderer = dynamic_cast<CTrackRenderer&>(second->Renderer());
    EXPECT_FALSE(secondRenderer.TabFormat().tomsOwnLines);
    first->Relayout();
    second->Relayout(); // the second view draws last
    // Rows 6 (all toms) and 7 (tom 1) of the tab table.
    EXPECT_FALSE(firstRenderer.ShownRows().IsShown(6));
    EXPECT_TRUE(firstRenderer.ShownRows().IsShown(7));
    EXPECT_TRUE(secondRenderer.ShownRows().IsShown(6));
    EXPECT_FALSE(secondRenderer.ShownRows().IsShown(7));
    // A hit test of the first view reads the first view's rows, whoever drew last.
    firstRenderer.HitTest(first->Doc(), QPoint(100, 200));
    EXPECT_TRUE(TabLines::IsShown(7));
    EXPECT_FALSE(TabLines::IsShown(6));
}

TEST_F(Dialogs, ToolsMenuOffersEveryTool)
{
    auto f = Frame();
    QMenu* tools = f->findChild<QMenu*>(QStringLiteral("ToolsMenu"));
    ASSERT_NE(tools, nullptr);
    QStringList texts;
    for (QAction* a : tools->actions())
        if (!a->isSeparator())
            texts << a->text();
    for (const char* t : {"BPM (tempo) Counter...", "Drum volume and flam gap...", "Guitar volume...", "Drum layout ...",
                          "Display/Print Configuration ...", "Drum Tab Configuration ...", "Compare .txt to .kdz (test mode)",
                          "Auto compare all (test mode)"})
        EXPECT_TRUE(texts.contains(QString::fromLatin1(t))) << t;
}

TEST_F(Dialogs, CompareToolsReportLikeTheCommandLine)
{
    auto f = Frame();
    const QString tab = Write(QStringLiteral("cmp.txt"), kHighTomTab);
    ASSERT_TRUE(f->OpenFile(tab));
    f->OnCompare();
    ASSERT_FALSE(m_report.m_messages.isEmpty()) << "no .kdz beside it: the reason is reported";
    // Save the song beside its tab: now they match.
    CRondelDoc song;
    QString error;
    ASSERT_TRUE(song.OnOpenDocument(tab, &error));
    ASSERT_TRUE(song.OnSaveDocument(m_dir.filePath(QStringLiteral("cmp.kdz")), &error));
    const int messages = int(m_report.m_messages.size());
    f->OnCompare();
    EXPECT_EQ(int(m_report.m_messages.size()), messages);
    EXPECT_TRUE(f->StatusText().contains(QStringLiteral("matches")));
}

TEST_F(Dialogs, SnapToSixteenthsReachesTheMidiReader)
{
    // A note three 32nds into the bar: on the 32nd grid it stays, on the 16th grid it moves.
    const QString midi = m_dir.filePath(QStringLiteral("snap.mid"));
    {
        CRondelDoc doc;
        doc.OnNewDocument();
        doc.DeleteContents();
        AppendEvent(doc.Events(), EventType::Bar | TempoBits(120), TimeSigWord(4, 4));
        AppendEvent(doc.Events(), 36, 0);
        AppendEvent(doc.Events(), 38, 36);
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(midi, &error)) << error.toStdString();
    }
    auto f = Frame();
    for (const bool sixteenths : {true, false}) {
        WhenModal([sixteenths](QDialog* dlg) {
            for (QRadioButton* b : dlg->findChildren<QRadioButton*>())
                if (b->text() == (sixteenths ? QStringLiteral("Snap to 16th note") : QStringLiteral("Snap to 32nd note")))
                    b->setChecked(true);
            dlg->accept();
        });
        ASSERT_TRUE(f->OpenFile(midi));
        EXPECT_EQ(MidiImportOptions().m_snapTo32nd, !sixteenths);
        int pos = -1;
        for (const auto& e : f->ActiveDocument()->Events())
            if (e.IsNote() && e.GetEventType() == 38)
                pos = int(e.GetPosition());
        EXPECT_EQ(pos, sixteenths ? 24 : 36);
    }
}

namespace {
class CUrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> m_urls;
public slots:
    void Open(const QUrl& url) { m_urls << url; }
};
}

TEST_F(Dialogs, F1OpensTheUserGuide)
{
    auto f = Frame();
    CUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    QAction* help = f->findChild<QAction*>(QStringLiteral("HelpAction"));
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->shortcut(), QKeySequence(QKeySequence::HelpContents));
    help->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.m_urls.size(), 1);
    const QString guide = catcher.m_urls[0].toLocalFile();
    EXPECT_TRUE(guide.endsWith(QStringLiteral("userguide.html")));
    const QByteArray text = ReadAll(guide);
    EXPECT_TRUE(text.contains("Kadenzo user guide"));
    // Every picture it shows is there.
    for (const char* picture : {"kadenzo-tab.png", "guide-import-sheet.png", "guide-bpm-counter.png", "guide-auto-tempo.png"}) {
        EXPECT_TRUE(text.contains(picture)) << picture;
        EXPECT_TRUE(QFileInfo::exists(QFileInfo(guide).dir().filePath(QString::fromLatin1(picture)))) << picture;
    }
}


TEST_F(Dialogs, ExportWaveOptionsStoreBothSettingsOnOkOnly)
{
    auto f = Frame();
    QAction* options = nullptr;
    for (QAction* a : f->findChildren<QAction*>())
        if (a->text() == QStringLiteral("Export Wave options..."))
            options = a;
    ASSERT_NE(options, nullptr);
    SettingsStore::Write(QStringLiteral("wave_normalise"), QStringLiteral("0"));
    SettingsStore::Write(QStringLiteral("wave_precise"), QStringLiteral(""));

    // The boxes open with the settings in force; Cancel keeps them.
    WhenModal([](QDialog* dlg) {
        auto* d = qobject_cast<CWaveOptionsDialog*>(dlg);
        ASSERT_NE(d, nullptr);
        EXPECT_FALSE(d->NormaliseBox()->isChecked());
        EXPECT_FALSE(d->PreciseBox()->isChecked());
        d->NormaliseBox()->setChecked(true);
        d->reject();
    });
    options->trigger();
    EXPECT_FALSE(SWaveOptions::FromSettings().m_normalise);

    // OK stores both, as the export reads them.
    WhenModal([](QDialog* dlg) {
        auto* d = qobject_cast<CWaveOptionsDialog*>(dlg);
        ASSERT_NE(d, nullptr);
        d->NormaliseBox()->setChecked(true);
        d->PreciseBox()->setChecked(true);
        d->accept();
    });
    options->trigger();
    EXPECT_TRUE(SWaveOptions::FromSettings().m_normalise);
    EXPECT_TRUE(SWaveOptions::FromSettings().m_precise);

    WhenModal([](QDialog* dlg) {
        auto* d = qobject_cast<CWaveOptionsDialog*>(dlg);
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(d->NormaliseBox()->isChecked());
        EXPECT_TRUE(d->PreciseBox()->isChecked());
        d->NormaliseBox()->setChecked(false);
        d->PreciseBox()->setChecked(false);
        d->accept();
    });
    options->trigger();
    EXPECT_FALSE(SWaveOptions::FromSettings().m_normalise);
    EXPECT_FALSE(SWaveOptions::FromSettings().m_precise);
}

#include "test_dialogs.moc"
