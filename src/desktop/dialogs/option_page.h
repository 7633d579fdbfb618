#pragma once
// The tool sheet's only page "詳細設定": the reading interval (5 to 999
// minutes) and the hidden choice between sliding the popup in and blinking.

#include <QWidget>
#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

#include "core/shell/interval_entry.h"

namespace velmora {

class COptionPage2 : public QWidget {
    Q_OBJECT
  public:
    explicit COptionPage2(QWidget* parent = nullptr);

    // Called once by the sheet with the stored "Reread" and "popup".
    void SetValues(std::uint32_t intervalMinutes, std::int32_t popupFlag);

    // Both directions of the data exchange. Reading validates: an empty or
    // out-of-range interval tells the user, puts the focus back into the
    // field and gives false with the fields unchanged.
    bool UpdateData(bool readControls);
    // Leaving the page: the controls read with validation.
    bool OnKillActive() { return UpdateData(true); }

    std::uint32_t Interval() const { return interval_; }
    std::int32_t NotifyMode() const { return notifyMode_; }  // 0 popup, 1 blink

    // How a validation message reaches the user; a message box by default.
    void SetMessageSink(std::function<void(const QString&)> sink) { sink_ = std::move(sink); }

    // The spin control's arrows (the arrow keys in the field do the same).
    void StepInterval(int delta);

    QLineEdit* IntervalEdit() const { return interval_edit_; }
    QToolButton* SpinUp() const { return up_; }
    QToolButton* SpinDown() const { return down_; }
    QRadioButton* PopupRadio() const { return popupRadio_; }
    QRadioButton* BlinkRadio() const { return blinkRadio_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Tell(const QString& message);

    std::uint32_t interval_ = 5;
    std::int32_t notifyMode_ = 0;
    std::uint32_t spinPosition_ = 5;
    std::function<void(const QString&)> sink_;
    QLineEdit* interval_edit_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    QRadioButton* popupRadio_ = nullptr;
    QRadioButton* blinkRadio_ = nullptr;
};

// The two validation messages, as the core's check gives them.
QString WholeNumberMessage();
QString IntervalRangeMessage();

}  // namespace velmora
