#pragma once
// The modeless error dialog "エラー情報": shows the current error's title and
// message lines, opens the troubleshooting page, and tells its owner when it
// is closed so that the owner clears the error.

#include <QDialog>
#include <cstdint>

#include "core/delivery/error_table.h"

class QLabel;
class QPushButton;

namespace velmora {

class CErrorDlg : public QDialog {
    Q_OBJECT
  public:
    // `errors` is the current error, shared with the delivery cycle that reports into it.
    explicit CErrorDlg(ErrorState& errors, QWidget* parent = nullptr);

    void ReportError(std::int32_t code, std::int32_t detail);
    void ClearError();
    // Takes the two lines from the error state; for reports made there directly.
    void Refresh();

    // Receives UM_ERRORCLOSED (sent) when the dialog is closed.
    void SetOwner(QObject* owner) { owner_ = owner; }

    std::int32_t Code() const { return errors_.Code(); }
    QString TitleText() const;
    QString MessageText() const;
    QPushButton* TroubleshootingButton() const { return trouble_; }
    QPushButton* CloseButton() const { return close_; }

  public slots:
    // Close: the owner clears the error first, then the dialog hides.
    void reject() override;

  private:
    void OpenTroubleshooting();

    ErrorState& errors_;
    QObject* owner_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* trouble_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace velmora
