#include "volumedialogs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace {
// The velocity and gap sliders give their largest value at position 0: drawn reversed, the
// louder end is to the right (or at the top).
QSlider* MakeSlider(Qt::Orientation o, int position, QWidget* parent, bool reversed = true)
{
    auto* s = new QSlider(o, parent);
    s->setRange(0, 100);
    s->setInvertedAppearance(reversed);
    s->setValue(position);
    return s;
}

// Each slot's mapping between slider positions and values.
struct SMapping
{
    int (*fromSlider)(int);
    int (*toSlider)(int);
};
constexpr SMapping kNormal{VolumeSlider::NormalFromSlider, VolumeSlider::SliderFromNormal};
constexpr SMapping kGhost{VolumeSlider::GhostFromSlider, VolumeSlider::SliderFromGhost};
constexpr SMapping kAccent{VolumeSlider::AccentFromSlider, VolumeSlider::SliderFromAccent};

QDialogButtonBox* OkCancel(QDialog* dlg)
{
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    QObject::connect(box, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return box;
}
}

const std::vector<CDrumVolumeDialog::SRow>& CDrumVolumeDialog::Rows()
{
    static const std::vector<SRow> rows = {
        {"Snare", DrumGroup::Snare},     {"Sticks", DrumGroup::SideStick},      {"Bass", DrumGroup::BassDrum},
        {"HH Foot", DrumGroup::PedalHiHat}, {"Hi-hat", DrumGroup::ClosedHiHat}, {"Ride", DrumGroup::Ride},
        {"RBell", DrumGroup::RideBell},  {"OpenHH", DrumGroup::OpenHiHat},      {"Crash", DrumGroup::Crash},
        {"Splash", DrumGroup::Splash},   {"China", DrumGroup::China},           {"Toms", DrumGroup::Toms},
        {"Cowbell", DrumGroup::Cowbell}, {"Other", DrumGroup::Other},
    };
    return rows;
}

CDrumVolumeDialog::CDrumVolumeDialog(QWidget* parent) : QDialog(parent), m_opened(DrumVolumes())
{
    setWindowTitle(QStringLiteral("Drum volume and flam gap"));
    setToolTip(QStringLiteral("Control individual drum volumes and flam"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Normal"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Accented"), this), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Ghost"), this), 0, 3);
    const SMapping mappings[3] = {kNormal, kGhost, kAccent}; // by DrumVelocity index
    const int columnOf[3] = {1, 3, 2};
    int gridRow = 1;
    for (const SRow& row : Rows()) {
        if (row.group == DrumGroup::Toms)
            grid->addWidget(new QLabel(QStringLiteral("<b>Toms</b>"), this), gridRow++, 0);
        if (row.group == DrumGroup::Cowbell)
            grid->addWidget(new QLabel(QStringLiteral("<b>Perc.</b>"), this), gridRow++, 0);
        grid->addWidget(new QLabel(QString::fromLatin1(row.caption), this), gridRow, 0);
        std::array<QSlider*, 3> sliders{};
        for (int slot = 0; slot < 3; ++slot) {
            const SMapping m = mappings[slot];
            QSlider* s = MakeSlider(Qt::Horizontal, m.toSlider(DrumVolumes().m_velocity[size_t(row.group)][size_t(slot)]), this);
            const int group = row.group;
            connect(s, &QSlider::valueChanged, this, [group, slot, m](int pos) {
                DrumVolumes().m_velocity[size_t(group)][size_t(slot)] = m.fromSlider(pos);
            });
            grid->addWidget(s, gridRow, columnOf[slot]);
            sliders[size_t(slot)] = s;
        }
        m_sliders.push_back(sliders);
        ++gridRow;
    }
    layout->addLayout(grid);
    auto* flam = new QGroupBox(QStringLiteral("Flam"), this);
    auto* flamForm = new QGridLayout(flam);
    m_gap = MakeSlider(Qt::Horizontal, VolumeSlider::SliderFromFlamGap(DrumVolumes().m_flamGap), flam);
    m_preVolume = MakeSlider(Qt::Horizontal, VolumeSlider::SliderFromFlamPreVolume(DrumVolumes().m_flamPreVolume), flam, false);
    connect(m_gap, &QSlider::valueChanged, this, [](int pos) { DrumVolumes().m_flamGap = VolumeSlider::FlamGapFromSlider(pos); });
    connect(m_preVolume, &QSlider::valueChanged, this,
            [](int pos) { DrumVolumes().m_flamPreVolume = VolumeSlider::FlamPreVolumeFromSlider(pos); });
    flamForm->addWidget(new QLabel(QStringLiteral("Gap"), flam), 0, 0);
    flamForm->addWidget(m_gap, 0, 1);
    flamForm->addWidget(new QLabel(QStringLiteral("Pre-volume"), flam), 1, 0);
    flamForm->addWidget(m_preVolume, 1, 1);
    layout->addWidget(flam);
    layout->addWidget(OkCancel(this));
}

void CDrumVolumeDialog::accept()
{
    SaveDrumVolumes();
    QDialog::accept();
}

void CDrumVolumeDialog::reject()
{
    DrumVolumes() = m_opened;
    QDialog::reject();
}

CGuitarVolumeDialog::CGuitarVolumeDialog(QWidget* parent) : QDialog(parent), m_opened(GuitarVolumes())
{
    setWindowTitle(QStringLiteral("Guitar volume"));
    setToolTip(QStringLiteral("Control the guitar patch volumes"));
    static const char* const kPrograms[SGuitarVolumes::kRecordCount] = {
        "Nylon", "Steel", "Jazz", "Clean", "Muted", "Overdrive", "Distorted", "Harmonics",
        "Acoustic Bass", "Finger", "Pick", "Fretless", "Slap 1", "Slap 2", "Synth 1", "Synth 2"};
    // Rows from the top, with the byte each fills and its mapping.
    struct SSlotRow
    {
        const char* caption;
        int slot;
        SMapping mapping;
    };
    const SSlotRow rows[5] = {{"Normal", GuitarVelocity::Normal, kNormal},
                              {"Accent", GuitarVelocity::Accent, kAccent},
                              {"Ghost", GuitarVelocity::Ghost, kGhost},
                              {"Hammer", GuitarVelocity::Hammer, kNormal},
                              {"Pull off", GuitarVelocity::PullOff, kNormal}};
    auto* layout = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    auto* captions = new QVBoxLayout;
    captions->addSpacing(20);
    for (const SSlotRow& r : rows)
        captions->addWidget(new QLabel(QString::fromLatin1(r.caption), this));
    columns->addLayout(captions);
    for (int group = 0; group < 2; ++group) {
        auto* box = new QGroupBox(group == 0 ? QStringLiteral("Guitars") : QStringLiteral("Bass"), this);
        auto* grid = new QGridLayout(box);
        for (int c = 0; c < 8; ++c) {
            const int record = group * 8 + c;
            grid->addWidget(new QLabel(QString::fromLatin1(kPrograms[record]), box), 0, c);
            for (int r = 0; r < 5; ++r) {
                const SSlotRow row = rows[r];
                QSlider* s = MakeSlider(Qt::Vertical, row.mapping.toSlider(GuitarVolumes().m_record[size_t(record)][size_t(row.slot)]), box);
                s->setMinimumHeight(40);
                connect(s, &QSlider::valueChanged, this, [record, row](int pos) {
                    GuitarVolumes().m_record[size_t(record)][size_t(row.slot)] = int8_t(row.mapping.fromSlider(pos));
                });
                grid->addWidget(s, r + 1, c);
                m_sliders[size_t(record)][size_t(row.slot)] = s;
            }
        }
        columns->addWidget(box);
    }
    layout->addLayout(columns);
    layout->addWidget(OkCancel(this));
}

void CGuitarVolumeDialog::accept()
{
    SaveGuitarVolumes();
    QDialog::accept();
}

void CGuitarVolumeDialog::reject()
{
    GuitarVolumes() = m_opened;
    QDialog::reject();
}
