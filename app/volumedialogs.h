#pragma once
// "Drum volume and flam gap" and "Guitar volume": sliders over the program-wide velocity
// tables. A moved slider takes effect at once (playback hears it from the next bar); OK keeps
// and stores the tables, Cancel puts back what the dialog opened with. A slider the user did
// not move leaves its value exactly as it was, so OK alone never changes anything.

#include "velocity.h"

#include <QDialog>

#include <functional>
#include <vector>

class QSlider;

class CDrumVolumeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CDrumVolumeDialog(QWidget* parent = nullptr);
    void accept() override;
    void reject() override;

    // Row captions in dialog order and the drum group each row sets.
    struct SRow
    {
        const char* caption;
        int group;
    };
    static const std::vector<SRow>& Rows();
    // The slider of a row (index into Rows()) and velocity slot (DrumVelocity::*).
    QSlider* Slider(int row, int slot) const { return m_sliders[size_t(row)][size_t(slot)]; }
    QSlider* GapSlider() const { return m_gap; }
    QSlider* PreVolumeSlider() const { return m_preVolume; }

private:
    SDrumVolumes m_opened;
    std::vector<std::array<QSlider*, 3>> m_sliders;
    QSlider* m_gap = nullptr;
    QSlider* m_preVolume = nullptr;
};

class CGuitarVolumeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CGuitarVolumeDialog(QWidget* parent = nullptr);
    void accept() override;
    void reject() override;
    // record: 0-15 (programs 24-39); slot: GuitarVelocity::*.
    QSlider* Slider(int record, int slot) const { return m_sliders[size_t(record)][size_t(slot)]; }

private:
    SGuitarVolumes m_opened;
    std::array<std::array<QSlider*, 5>, SGuitarVolumes::kRecordCount> m_sliders{};
};
