#include "layoutdialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <map>

namespace {
QDialogButtonBox* OkCancel(QDialog* dlg)
{
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    QObject::connect(box, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return box;
}
}

// ----- drum layout ---------------------------------------------------------------------------

const std::vector<CDrumLayoutDialog::SRow>& CDrumLayoutDialog::Rows()
{
    // A row of two keys shows its second key's values (36 for "Bass:", 46 for "Hi-Hat:").
    static const std::vector<SRow> rows = {
        {"Snare:", {38, 0}, "Drums"},          {"Bass:", {36, 35}, "Drums"},
        {"Tom1:", {50, 0}, "Drums"},           {"Tom2:", {48, 0}, "Drums"},
        {"Tom3:", {47, 0}, "Drums"},           {"Tom4:", {45, 0}, "Drums"},
        {"Tom5:", {43, 0}, "Drums"},           {"Tom6:", {41, 0}, "Drums"},
        {"Hi-Hat:", {46, 42}, "Cymbals"},      {"Ride1:", {51, 0}, "Cymbals"},
        {"Ride2:", {59, 0}, "Cymbals"},        {"Crash1:", {49, 0}, "Cymbals"},
        {"Crash2:", {57, 0}, "Cymbals"},       {"Splash:", {55, 0}, "Cymbals"},
        {"HH Foot:", {44, 0}, "Cymbals"},      {"China:", {52, 0}, "Cymbals"},
        {"Cowbellt:", {56, 0}, "Percussion"},  {"Tambourine:", {54, 0}, "Percussion"},
        {"Clap:", {39, 0}, "Percussion"},      {"High Timbale:", {65, 0}, "Percussion"},
        {"Low Timbale:", {66, 0}, "Percussion"}, {"H. Wood Block:", {76, 0}, "Percussion"},
        {"L. Wood Block:", {77, 0}, "Percussion"}, {"Open Triangle:", {81, 0}, "Percussion"},
        {"MuteTriangle:", {80, 0}, "Percussion"}, {"Open Cuica:", {79, 0}, "Percussion cont..."},
        {"Mute Cuica:", {78, 0}, "Percussion cont..."}, {"Claves:", {75, 0}, "Percussion cont..."},
        {"Long Guiro:", {74, 0}, "Percussion cont..."}, {"Short Guiro:", {73, 0}, "Percussion cont..."},
        {"Long Whistle:", {72, 0}, "Percussion cont..."}, {"Short Whistle:", {71, 0}, "Percussion cont..."},
        {"Maracas:", {70, 0}, "Percussion cont..."}, {"Cabasa:", {69, 0}, "Percussion cont..."},
        {"L. Agogo:", {68, 0}, "Percussion cont..."}, {"H. Agogo:", {67, 0}, "Percussion cont..."},
        {"Vibraslap:", {58, 0}, "Percussion cont..."}, {"Low Bongo:", {61, 0}, "Bongos/Congas"},
        {"High Bongo:", {60, 0}, "Bongos/Congas"}, {"Low Conga:", {64, 0}, "Bongos/Congas"},
        {"O. Hi Conga:", {63, 0}, "Bongos/Congas"}, {"M. Hi Conga:", {62, 0}, "Bongos/Congas"},
    };
    return rows;
}

int CDrumLayoutDialog::RowOf(int key)
{
    const auto& rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].keys[0] == key || rows[i].keys[1] == key)
            return int(i);
    return -1;
}

CDrumLayoutDialog::CDrumLayoutDialog(QWidget* parent) : QDialog(parent), m_opened(DrumLayout::Current())
{
    setWindowTitle(QStringLiteral("Drum layout (position and tail direction )"));
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    std::map<QString, QGridLayout*> grids;
    for (const SRow& row : Rows()) {
        const QString group = QString::fromLatin1(row.group);
        QGridLayout*& grid = grids[group];
        if (!grid) {
            auto* box = new QGroupBox(group, this);
            grid = new QGridLayout(box);
            groups->addWidget(box, 0, Qt::AlignTop);
        }
        const int r = grid->rowCount();
        auto* tail = new QCheckBox(QStringLiteral("Tail up"), this);
        auto* pos = new QSpinBox(this);
        pos->setRange(0, 15);
        grid->addWidget(new QLabel(QString::fromLatin1(row.caption), this), r, 0);
        grid->addWidget(pos, r, 1);
        grid->addWidget(tail, r, 2);
        m_tailUp.push_back(tail);
        m_position.push_back(pos);
    }
    layout->addLayout(groups);
    auto* presets = new QHBoxLayout;
    auto* usuk = new QPushButton(QStringLiteral("US/UK Standard"), this);
    auto* france = new QPushButton(QStringLiteral("France Standard"), this);
    connect(usuk, &QPushButton::clicked, this, [this] { ApplyPreset(0); });
    connect(france, &QPushButton::clicked, this, [this] { ApplyPreset(1); });
    presets->addWidget(usuk);
    presets->addWidget(france);
    presets->addStretch();
    presets->addWidget(OkCancel(this));
    layout->addLayout(presets);
    LoadRows();
}

void CDrumLayoutDialog::LoadRows()
{
    const auto& rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const uint8_t byte = DrumLayout::Byte(rows[i].keys[0]);
        m_tailUp[i]->setChecked(!(byte & DrumLayout::kTailDown));
        m_position[i]->setValue(byte & 0x7F);
    }
}

void CDrumLayoutDialog::ApplyPreset(int preset)
{
    DrumLayout::SetCurrent(preset == 1 ? DrumLayout::FranceStandard() : DrumLayout::UsUkStandard());
    LoadRows();
}

void CDrumLayoutDialog::accept()
{
    const auto& rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const uint8_t byte = uint8_t((m_tailUp[i]->isChecked() ? 0 : DrumLayout::kTailDown) | m_position[i]->value());
        for (int key : rows[i].keys)
            if (key)
                DrumLayout::SetByte(key, byte);
    }
    DrumLayout::SaveToSettings();
    QDialog::accept();
}

void CDrumLayoutDialog::reject()
{
    // A preset tried and then cancelled does not stay.
    DrumLayout::SetCurrent(m_opened);
    QDialog::reject();
}

// ----- display / print --------------------------------------------------------------------

CDisplayConfigDialog::CDisplayConfigDialog(QWidget* parent)
    : QDialog(parent), m_supersize(new QCheckBox(QStringLiteral("Supersize"), this)),
      m_playTime(new QCheckBox(QStringLiteral("Play Time"), this)), m_size(new QSlider(Qt::Horizontal, this))
{
    setWindowTitle(QStringLiteral("Display/print configuration"));
    const CDisplayConfig& cfg = DisplayConfig();
    auto* layout = new QVBoxLayout(this);
    auto* modes = new QHBoxLayout;
    const char* modeNames[3] = {"Edit", "Playback", "Print"};
    const char* rowNames[4] = {"Standard", "Tab", "Import", "Count"};
    for (int m = 0; m < 3; ++m) {
        auto* box = new QGroupBox(QString::fromLatin1(modeNames[m]), this);
        auto* v = new QVBoxLayout(box);
        const SRowSettings rows = cfg.Rows(EDisplayMode(m));
        const bool values[4] = {rows.standard, rows.tab, rows.import, rows.count};
        for (int r = 0; r < (m == 0 ? 3 : 4); ++r) {
            auto* c = new QCheckBox(QString::fromLatin1(rowNames[r]), box);
            c->setChecked(values[r]);
            v->addWidget(c);
            m_boxes[size_t(m)][size_t(r)] = c;
        }
        modes->addWidget(box);
    }
    layout->addLayout(modes);
    m_supersize->setChecked(cfg.IsSupersize());
    layout->addWidget(m_supersize);

    auto* page = new QGroupBox(QStringLiteral("Printed page margins (inches) and scale"), this);
    auto* grid = new QGridLayout(page);
    const char* marginNames[4] = {"Left", "Top", "Bottom", "Right"};
    const double margins[4] = {cfg.m_marginLeft, cfg.m_marginTop, cfg.m_marginBottom, cfg.m_marginRight};
    for (int i = 0; i < 4; ++i) {
        auto* spin = new QDoubleSpinBox(page);
        spin->setDecimals(1);
        spin->setSingleStep(0.1);
        spin->setRange(0.2, 2.0);
        spin->setValue(margins[i]);
        grid->addWidget(new QLabel(QString::fromLatin1(marginNames[i]), page), i / 2, (i % 2) * 2);
        grid->addWidget(spin, i / 2, (i % 2) * 2 + 1);
        m_margins[size_t(i)] = spin;
    }
    m_size->setRange(0, 100);
    m_size->setValue(CDisplayConfig::SliderFromPrintSize(cfg.m_printSize));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(new QLabel(QStringLiteral("Print size: Large"), page));
    sizeRow->addWidget(m_size, 1);
    sizeRow->addWidget(new QLabel(QStringLiteral("Small"), page));
    grid->addLayout(sizeRow, 2, 0, 1, 4);
    m_playTime->setChecked(cfg.m_playTime);
    grid->addWidget(m_playTime, 3, 0, 1, 4);
    layout->addWidget(page);
    layout->addWidget(OkCancel(this));
}

CDisplayConfig CDisplayConfigDialog::Chosen() const
{
    CDisplayConfig cfg = DisplayConfig();
    for (int m = 0; m < 3; ++m) {
        SRowSettings rows;
        rows.standard = m_boxes[size_t(m)][0]->isChecked();
        rows.tab = m_boxes[size_t(m)][1]->isChecked();
        rows.import = m_boxes[size_t(m)][2]->isChecked();
        rows.count = m == 0 || m_boxes[size_t(m)][3]->isChecked();
        cfg.SetRows(EDisplayMode(m), rows);
    }
    cfg.m_flags[CDisplayConfig::Supersize] = m_supersize->isChecked();
    cfg.m_marginLeft = m_margins[0]->value();
    cfg.m_marginTop = m_margins[1]->value();
    cfg.m_marginBottom = m_margins[2]->value();
    cfg.m_marginRight = m_margins[3]->value();
    cfg.m_printSize = CDisplayConfig::PrintSizeFromSlider(m_size->value());
    cfg.m_playTime = m_playTime->isChecked();
    cfg.EnsureStandardOrTab();
    return cfg;
}

void CDisplayConfigDialog::accept()
{
    DisplayConfig() = Chosen();
    DisplayConfig().SaveToSettings();
    QDialog::accept();
}

// ----- tab staff format --------------------------------------------------------------------

CTabStaffFormatDialog::CTabStaffFormatDialog(const STabStaffFormat& format, QWidget* parent)
    : QDialog(parent), m_cymbals(new QCheckBox(QStringLiteral("Draw each cymbal on its own line"), this)),
      m_toms(new QCheckBox(QStringLiteral("Draw each tom on its own line"), this)),
      m_percussion(new QCheckBox(QStringLiteral("Show percussion line"), this))
{
    setWindowTitle(QStringLiteral("Tab Staff Format Control"));
    m_cymbals->setChecked(format.cymbalsOwnLines);
    m_toms->setChecked(format.tomsOwnLines);
    m_percussion->setChecked(format.showPercussion);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_cymbals);
    layout->addWidget(m_toms);
    layout->addWidget(m_percussion);
    layout->addWidget(OkCancel(this));
}

STabStaffFormat CTabStaffFormatDialog::Format() const
{
    return {m_cymbals->isChecked(), m_toms->isChecked(), m_percussion->isChecked()};
}
