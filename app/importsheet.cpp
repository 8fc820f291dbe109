#include "importsheet.h"

#include "catalogue.h"
#include "dialogs.h"
#include "report.h"
#include "rondeldoc.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstring>
#include <map>

namespace {
// Importers that a conversion replaced, kept so that undo and redo can bring the importer
// back that belongs to the song they restore. A song state is known by a digest of its undo
// snapshot; the importer of the state the document shows lives in the document itself.
class CImporterStash
{
public:
    explicit CImporterStash(CRondelDoc& doc) : m_doc(doc) {}

    // The state is the undo history's current snapshot: what undo and redo restore.
    static QByteArray Digest(CRondelDoc& doc)
    {
        const QByteArray* current = doc.UndoHistory().Current();
        return QCryptographicHash::hash(current ? *current : QByteArray(), QCryptographicHash::Sha1);
    }
    // Before a conversion: the leaving importer belongs to the current song.
    void Keep(const QByteArray& songDigest, std::unique_ptr<CDocPart> importer)
    {
        Put(songDigest, std::move(importer));
    }
    // After the conversion was committed: the document's importer belongs to its song.
    void MarkCurrent(const QByteArray& songDigest) { Put(songDigest, nullptr); }

    // Every change of the document: when the song is one a stashed importer belongs to, that
    // importer comes back (and the one leaving is stashed under its own song).
    void OnDocumentChanged()
    {
        if (m_entries.size() < 2)
            return;
        const QByteArray now = Digest(m_doc);
        auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const SEntry& e) { return e.digest == now; });
        if (found == m_entries.end() || !found->importer)
            return;
        auto home = std::find_if(m_entries.begin(), m_entries.end(), [](const SEntry& e) { return !e.importer; });
        if (home == m_entries.end())
            return;
        home->importer = std::move(m_doc.m_pImport);
        m_doc.m_pImport = std::move(found->importer);
    }

private:
    struct SEntry
    {
        QByteArray digest;
        std::unique_ptr<CDocPart> importer; // null: the one in the document
    };
    void Put(const QByteArray& digest, std::unique_ptr<CDocPart> importer)
    {
        if (!importer)
            for (SEntry& e : m_entries)
                if (!e.importer && e.digest != digest)
                    e.digest.clear(); // a state the history no longer reaches by this importer
        for (SEntry& e : m_entries)
            if (e.digest == digest) {
                e.importer = std::move(importer);
                return;
            }
        m_entries.push_back({digest, std::move(importer)});
        // The undo history reaches back ten steps; keep a little more than that.
        while (m_entries.size() > 24) {
            auto old = std::find_if(m_entries.begin(), m_entries.end(), [](const SEntry& e) { return e.importer != nullptr; });
            if (old == m_entries.end())
                break;
            m_entries.erase(old);
        }
    }

    CRondelDoc& m_doc;
    std::vector<SEntry> m_entries;
};

// One stash per document; it lives as long as the document's listener that holds it.
std::shared_ptr<CImporterStash> StashOf(CRondelDoc& doc)
{
    static std::map<const CRondelDoc*, std::weak_ptr<CImporterStash>> stashes;
    if (auto found = stashes.find(&doc); found != stashes.end())
        if (auto stash = found->second.lock())
            return stash;
    auto stash = std::make_shared<CImporterStash>(doc);
    doc.AddListener([stash](CRondelDoc&) { stash->OnDocumentChanged(); });
    stashes[&doc] = stash;
    return stash;
}

QString NumberedLine(const CImportLine& line)
{
    return QStringLiteral("%1:   %2").arg(line.m_lineNo, 4).arg(ImportedText(line.m_text));
}

bool SameOptions(const CTabImporter& imp, const CTabImporter::STimeOptions& o)
{
    return imp.m_timeMode == o.timeMode && imp.m_ticksPerChar == o.ticksPerChar && imp.m_bogusFirstTick == o.bogusFirstTick
        && imp.m_splitLongMeasures == o.splitLongMeasures && imp.m_roundToCommon == o.roundToCommon;
}

constexpr int kNoEntry = -1;
} // namespace

namespace ImportRework {

CTabImporter* ImporterOf(CRondelDoc& doc)
{
    return dynamic_cast<CTabImporter*>(doc.m_pImport.get());
}

void Watch(CRondelDoc& doc)
{
    StashOf(doc);
}

bool Reconvert(CRondelDoc& doc, const std::function<void(CTabImporter&)>& adjust)
{
    CTabImporter* old = ImporterOf(doc);
    if (!old)
        return false;
    auto fresh = std::make_unique<CTabImporter>();
    fresh->m_path = old->m_path;
    fresh->ReadTabBytes(old->m_sourceBytes);
    fresh->m_userMappings = old->m_userMappings;
    if (old->HasUserTimeOptions()) {
        CTabImporter::STimeOptions kept;
        kept.timeMode = 0;
        kept.ticksPerChar = old->m_ticksPerChar;
        kept.bogusFirstTick = old->m_bogusFirstTick;
        kept.splitLongMeasures = old->m_splitLongMeasures;
        kept.roundToCommon = old->m_roundToCommon;
        fresh->ApplyTimeOptions(kept);
    }
    if (adjust)
        adjust(*fresh);

    // The new song is built apart, so that a failure leaves the document as it was.
    CRondelDoc scratch;
    scratch.m_songTempo = doc.m_songTempo;
    if (fresh->ImportTab(scratch) < 0 || scratch.Events().empty())
        return false;
    CEventList& events = scratch.Events();
    if (!events.back().IsBar())
        AppendEvent(events, EventType::Bar, TimeSigWord(4, 4));
    if (!events.front().IsMeasure())
        events.push_front(std::make_unique<CEvent>(EventType::Bar, TimeSigWord(4, 4)));
    SortNotesByPosition(events);
    // The song keeps the tempo and patch its first bar had.
    const CEvent* oldFirst = doc.Events().empty() ? nullptr : &doc.Events().front();
    CEvent& first = events.front();
    if (oldFirst && oldFirst->IsMeasure()) {
        constexpr uint32_t kept = EventBits::TempoPresent | EventBits::TempoMask | EventBits::PatchMask | EventBits::PatchPresent;
        first.m_word1 = (first.m_word1 & ~kept) | (oldFirst->m_word1 & kept);
    }
    if (first.GetTempo() == 0)
        first.m_word1 = (first.m_word1 & ~EventBits::TempoMask) | TempoBits(doc.m_songTempo ? std::min<uint32_t>(doc.m_songTempo, 255) : 120);

    auto stash = StashOf(doc);
    stash->Keep(CImporterStash::Digest(doc), std::move(doc.m_pImport));
    doc.m_pImport = std::move(fresh);
    doc.ReplaceEvents(std::move(scratch.m_pEvents));
    scratch.m_pEvents = std::make_unique<CEventList>();
    return true;
}

namespace {
void CommitConversion(CRondelDoc& doc)
{
    doc.CommitEdit();
    StashOf(doc)->MarkCurrent(CImporterStash::Digest(doc));
}
}

bool ChangeMapping(CRondelDoc& doc, const CTabImporter::SUserMapping& mapping)
{
    CTabImporter* imp = ImporterOf(doc);
    if (!imp)
        return false;
    // Nothing to do when the entry already says so.
    for (int l = 0; l < imp->m_labelCount; ++l) {
        const CLabelRecord& rec = imp->m_labels[size_t(l)];
        if (mapping.label != rec.label)
            continue;
        for (int e = 0; e < rec.EntryCount(); ++e) {
            const CNoteKeyEntry& entry = rec.entries[size_t(e)];
            if (entry.noteChar == mapping.noteChar && entry.instrument == mapping.instrument && entry.dynamic == mapping.dynamic)
                return false;
        }
    }
    const bool ok = Reconvert(doc, [&mapping](CTabImporter& fresh) {
        auto& list = fresh.m_userMappings;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const CTabImporter::SUserMapping& m) {
                                      return m.label == mapping.label && m.noteChar == mapping.noteChar;
                                  }),
                   list.end());
        list.push_back(mapping);
    });
    if (ok)
        CommitConversion(doc);
    return ok;
}

bool ChangeTimeOptions(CRondelDoc& doc, const CTabImporter::STimeOptions& options)
{
    CTabImporter* imp = ImporterOf(doc);
    if (!imp || SameOptions(*imp, options))
        return false;
    // The mode rules judge against the mode the importer has; a probe takes the messages so
    // that the importer itself stays as it was until the conversion replaces it.
    CTabImporter probe;
    probe.m_timeMode = imp->m_timeMode;
    probe.ApplyTimeOptions(options);
    if (probe.m_timeMode != 0)
        return false; // Meter and Count keep what the tab's time lines say
    CTabImporter::STimeOptions linear;
    linear.ticksPerChar = probe.m_ticksPerChar;
    linear.bogusFirstTick = probe.m_bogusFirstTick;
    linear.splitLongMeasures = probe.m_splitLongMeasures;
    linear.roundToCommon = probe.m_roundToCommon;
    if (SameOptions(*imp, linear))
        return false; // a refused mode change with the options as they were
    return Reconvert(doc, [&linear](CTabImporter& fresh) { fresh.ApplyTimeOptions(linear); });
}

QString DynamicText(int dynamic)
{
    switch (dynamic) {
    case Dynamic::Accent: return QStringLiteral("Accented note");
    case Dynamic::Ghost: return QStringLiteral("Ghost note");
    case Dynamic::Flam: return QStringLiteral("Flam (grace note)");
    default: return QStringLiteral("Normal");
    }
}

int DynamicFromText(const QString& text)
{
    const QChar c = text.isEmpty() ? QChar() : text[0];
    if (c == u'A')
        return Dynamic::Accent;
    if (c == u'F')
        return Dynamic::Flam;
    if (c == u'G')
        return Dynamic::Ghost;
    return Dynamic::Normal;
}
} // namespace ImportRework

// ----- Change Instrument ---------------------------------------------------------------

CChangeInstrumentDialog::CChangeInstrumentDialog(char noteChar, int instrument, int dynamic, QWidget* parent)
    : QDialog(parent), m_original(instrument), m_instrument(new QComboBox(this)), m_dynamic(new QComboBox(this))
{
    setWindowTitle(QStringLiteral("Change Instrument"));
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Change mapping for:"), new QLabel(QString(QLatin1Char(noteChar)), this));
    // Only catalogue names can be chosen, so every answer is an instrument.
    for (const SInstrument& in : Catalogue::Instruments())
        m_instrument->addItem(QString::fromLatin1(in.name), in.key);
    const int at = m_instrument->findData(instrument);
    if (at >= 0)
        m_instrument->setCurrentIndex(at);
    for (int d : {Dynamic::Normal, Dynamic::Accent, Dynamic::Ghost, Dynamic::Flam})
        m_dynamic->addItem(ImportRework::DynamicText(d));
    m_dynamic->setCurrentText(ImportRework::DynamicText(dynamic));
    form->addRow(QStringLiteral("Instrument:"), m_instrument);
    form->addRow(QStringLiteral("Dymanic:"), m_dynamic);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(box);
}

int CChangeInstrumentDialog::Instrument() const
{
    const int key = FindInstrumentByName(m_instrument->currentText().left(20));
    return key ? key : m_original;
}

int CChangeInstrumentDialog::Dynamic() const
{
    return ImportRework::DynamicFromText(m_dynamic->currentText());
}

// ----- the sheet ---------------------------------------------------------------------------

CImportSheet::CImportSheet(CRondelDoc& doc, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_pages(new QTabWidget(this))
{
    setWindowTitle(QStringLiteral("Import"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    BuildInstrumentPage();
    BuildHeaderPage();
    BuildTimePage();
    BuildTextPage();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(box->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &CImportSheet::Apply);
    layout->addWidget(box);
    ImportRework::Watch(m_doc);
    m_listener = m_doc.AddListener([this](CRondelDoc&) { Refill(); });
    Refill();
    resize(640, 520);
}

CImportSheet::~CImportSheet()
{
    m_doc.RemoveListener(m_listener);
}

QRadioButton* CImportSheet::ModeButton(int mode) const
{
    return qobject_cast<QRadioButton*>(m_mode->button(mode));
}

void CImportSheet::BuildInstrumentPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* keyBox = new QGroupBox(QStringLiteral("Instrument key - Original tab lines"), page);
    m_keyLines = new QListWidget(keyBox);
    (new QVBoxLayout(keyBox))->addWidget(m_keyLines);
    auto* decodedBox = new QGroupBox(QStringLiteral("Instrument key - Decoded"), page);
    m_decoded = new QListWidget(decodedBox);
    m_decoded->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    (new QVBoxLayout(decodedBox))->addWidget(m_decoded);
    connect(m_decoded, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { ChangeInstrumentAt(m_decoded->row(item)); });
    layout->addWidget(keyBox, 1);
    layout->addWidget(decodedBox, 3);
    m_pages->addTab(page, QStringLiteral("Instrument key"));
}

void CImportSheet::BuildHeaderPage()
{
    m_headerPage = new QWidget(this);
    auto* layout = new QVBoxLayout(m_headerPage);
    auto* box = new QGroupBox(QStringLiteral("Header - Decoded"), m_headerPage);
    m_headerLines = new QListWidget(box);
    (new QVBoxLayout(box))->addWidget(m_headerLines);
    layout->addWidget(box, 1);
    m_pages->addTab(m_headerPage, QStringLiteral("Header"));
}

void CImportSheet::RebuildHeaderEditor()
{
    // The page edits exactly what the Header dialog edits, with the same rules.
    delete m_header;
    m_header = new CHeaderDialog(m_doc, m_headerPage);
    m_header->setWindowFlags(Qt::Widget);
    if (auto* buttons = m_header->findChild<QDialogButtonBox*>())
        buttons->hide();
    m_headerPage->layout()->addWidget(m_header);
}

void CImportSheet::BuildTimePage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* linesBox = new QGroupBox(QStringLiteral("Time key - Decoded"), page);
    m_timeLines = new QListWidget(linesBox);
    (new QVBoxLayout(linesBox))->addWidget(m_timeLines);
    layout->addWidget(linesBox, 1);

    auto* row = new QHBoxLayout;
    auto* modeBox = new QGroupBox(QStringLiteral("Time mode"), page);
    auto* modeLayout = new QVBoxLayout(modeBox);
    m_mode = new QButtonGroup(this);
    const char* modes[] = {"Linear", "Meter", "Count"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(modes[i]), modeBox);
        m_mode->addButton(b, i);
        modeLayout->addWidget(b);
    }
    auto* whereBox = new QGroupBox(QStringLiteral("Time bar"), page);
    auto* whereLayout = new QVBoxLayout(whereBox);
    m_above = new QRadioButton(QStringLiteral("Above staff lines"), whereBox);
    m_below = new QRadioButton(QStringLiteral("Below staff lines"), whereBox);
    m_outside = new QCheckBox(QStringLiteral("Outside staff lines"), whereBox);
    for (QWidget* w : {static_cast<QWidget*>(m_above), static_cast<QWidget*>(m_below), static_cast<QWidget*>(m_outside)}) {
        w->setEnabled(false); // what the tab showed; not an option
        whereLayout->addWidget(w);
    }
    auto* tickBox = new QGroupBox(QStringLiteral("Tick length"), page);
    auto* tickLayout = new QVBoxLayout(tickBox);
    m_sixteenth = new QRadioButton(QStringLiteral("16th note"), tickBox);
    m_thirtySecond = new QRadioButton(QStringLiteral("32nd note"), tickBox);
    tickLayout->addWidget(m_sixteenth);
    tickLayout->addWidget(m_thirtySecond);
    row->addWidget(modeBox);
    row->addWidget(whereBox);
    row->addWidget(tickBox);
    layout->addLayout(row);

    m_sigInMeasures = new QCheckBox(QStringLiteral("Time signatures are embedded in measures"), page);
    m_sigOwnMeasures = new QCheckBox(QStringLiteral("Time signatures are embedded their own in measures"), page);
    m_sigInMeasures->setEnabled(false);
    m_sigOwnMeasures->setEnabled(false);
    m_bogus = new QCheckBox(QStringLiteral("1st tick in measure is bogus"), page);
    m_split = new QCheckBox(QStringLiteral("Split long measures into several common (4/4) time measures"), page);
    m_round = new QCheckBox(QStringLiteral("Round 15/16 measures up to common (4/4) time"), page);
    for (QCheckBox* c : {m_sigInMeasures, m_sigOwnMeasures, m_bogus, m_split, m_round})
        layout->addWidget(c);
    m_pages->addTab(page, QStringLiteral("Time key"));
}

void CImportSheet::BuildTextPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    m_text = new QListWidget(page);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(15);
    m_text->setFont(fixed);
    layout->addWidget(m_text);
    m_pages->addTab(page, QStringLiteral("Original import text"));
}

void CImportSheet::Refill()
{
    if (m_applying)
        return;
    const CTabImporter* imp = ImportRework::ImporterOf(m_doc);
    m_keyLines->clear();
    m_headerLines->clear();
    m_timeLines->clear();
    m_text->clear();
    if (imp) {
        for (const CImportLine& line : imp->m_lines) {
            if (&line == &imp->m_lines.back() && line.m_text.empty())
                break; // the sentinel
            if (line.m_type == LineType::NoteKey)
                m_keyLines->addItem(NumberedLine(line));
            else if (line.m_type == LineType::Header)
                m_headerLines->addItem(NumberedLine(line));
            else if (line.m_type == LineType::TimeKey)
                m_timeLines->addItem(NumberedLine(line));
            m_text->addItem(QStringLiteral("%1 %2").arg(QString::fromLatin1(LineType::Name(line.m_type)).leftJustified(12, u' '),
                                                        NumberedLine(line)));
        }
    }
    FillDecoded(imp);
    FillTimeOptions(imp);
    RebuildHeaderEditor();
}

void CImportSheet::FillDecoded(const CTabImporter* imp)
{
    const int keep = m_decoded->currentRow();
    m_decoded->clear();
    auto* heading = new QListWidgetItem(QStringLiteral("LABEL\tCHAR\tDESCRIPTION\t\tINSTRUMENT"), m_decoded);
    heading->setData(Qt::UserRole, kNoEntry);
    if (!imp)
        return;
    for (int l = 0; l < imp->m_labelCount; ++l) {
        const CLabelRecord& rec = imp->m_labels[size_t(l)];
        auto* labelRow = new QListWidgetItem(QString::fromLatin1(rec.label), m_decoded);
        labelRow->setData(Qt::UserRole, kNoEntry);
        for (int e = 0; e < rec.EntryCount(); ++e) {
            const CNoteKeyEntry& entry = rec.entries[size_t(e)];
            const QString description = QString::fromLatin1(entry.description);
            QString text = QStringLiteral("\t%1\t%2").arg(QLatin1Char(entry.noteChar)).arg(description);
            if (std::strlen(entry.description) < 10)
                text += u'\t';
            text += QStringLiteral("\t\t");
            const QString name = GetInstrumentName(entry.instrument);
            text += entry.kind == 2 ? QStringLiteral("** %1 **").arg(name) : name;
            if (entry.dynamic == Dynamic::Accent || entry.dynamic == Dynamic::Ghost || entry.dynamic == Dynamic::Flam)
                text += u'\t' + ImportRework::DynamicText(entry.dynamic);
            auto* row = new QListWidgetItem(text, m_decoded);
            row->setData(Qt::UserRole, l * 256 + e);
        }
    }
    if (keep >= 0 && keep < m_decoded->count())
        m_decoded->setCurrentRow(keep);
}

void CImportSheet::FillTimeOptions(const CTabImporter* imp)
{
    CTabImporter defaults;
    const CTabImporter& t = imp ? *imp : defaults;
    if (QAbstractButton* b = m_mode->button(t.m_timeMode))
        b->setChecked(true);
    m_above->setChecked(t.m_timeAbove);
    m_below->setChecked(!t.m_timeAbove);
    m_outside->setChecked(t.m_timeOutside);
    m_sixteenth->setChecked(t.m_ticksPerChar == 2);
    m_thirtySecond->setChecked(t.m_ticksPerChar != 2);
    m_sigInMeasures->setChecked(t.m_timeSigInMeasures);
    m_sigOwnMeasures->setChecked(t.m_timeSigOwnMeasures);
    m_bogus->setChecked(t.m_bogusFirstTick);
    m_split->setChecked(t.m_splitLongMeasures);
    m_round->setChecked(t.m_roundToCommon);
    m_pages->widget(2)->setEnabled(imp != nullptr);
}

void CImportSheet::ChangeInstrumentAt(int row, const DialogRunner& run)
{
    CTabImporter* imp = ImportRework::ImporterOf(m_doc);
    QListWidgetItem* item = m_decoded->item(row);
    if (!imp || !item)
        return;
    const int data = item->data(Qt::UserRole).toInt();
    if (data == kNoEntry)
        return;
    const int l = data / 256;
    const int e = data % 256;
    if (l >= imp->m_labelCount)
        return;
    const CLabelRecord& rec = imp->m_labels[size_t(l)];
    const CNoteKeyEntry entry = rec.entries[size_t(e)];
    CChangeInstrumentDialog dlg(entry.noteChar, entry.instrument, entry.dynamic, this);
    const int result = run ? run(dlg) : dlg.exec();
    if (result != QDialog::Accepted)
        return;
    CTabImporter::SUserMapping mapping;
    mapping.label = rec.label;
    mapping.noteChar = entry.noteChar;
    mapping.instrument = uint8_t(dlg.Instrument());
    mapping.dynamic = uint8_t(dlg.Dynamic());
    ImportRework::ChangeMapping(m_doc, mapping); // the listener fills the pages again
}

void CImportSheet::Apply()
{
    // The header first, then the song converted with the time options; one undo step.
    bool changed = false;
    bool audioChanged = false;
    const std::array<QString, Header::Count> header = m_doc.m_header;
    const QString audio = m_doc.m_audioFile;
    const uint32_t threePart = m_doc.m_bThreePartCounting;
    CTabImporter::STimeOptions options;
    options.timeMode = std::max(m_mode->checkedId(), 0);
    options.ticksPerChar = m_sixteenth->isChecked() ? 2 : 1;
    options.bogusFirstTick = m_bogus->isChecked();
    options.splitLongMeasures = m_split->isChecked();
    options.roundToCommon = m_round->isChecked();
    m_applying = true;
    if (m_header) {
        audioChanged = m_header->ApplyTo(m_doc);
        changed = header != m_doc.m_header || audio != m_doc.m_audioFile || threePart != m_doc.m_bThreePartCounting;
    }
    const bool converted = ImportRework::ChangeTimeOptions(m_doc, options);
    if (changed || converted) {
        m_doc.CommitEdit();
        if (converted)
            StashOf(m_doc)->MarkCurrent(CImporterStash::Digest(m_doc));
    }
    m_applying = false;
    Refill();
    if (audioChanged)
        emit AudioFileChanged();
}

void CImportSheet::accept()
{
    Apply();
    QDialog::accept();
}
