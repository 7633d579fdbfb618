#pragma once
// The modal dialog "配信番号入力": asks for the delivery number and its
// password before the installation registers with the service.

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class CDeliveryNoDlg : public QDialog {
    Q_OBJECT
  public:
    // `prompt` and `deliveryNo` are CP932; the password always starts empty.
    CDeliveryNoDlg(const std::string& prompt, const std::string& deliveryNo,
                   QWidget* parent = nullptr);

    // 1 for OK (both fields filled), 2 for cancel.
    int DoModal();

    // After OK: the typed texts (CP932).
    const std::string& DeliveryNo() const { return deliveryNo_; }
    const std::string& DeliveryPassword() const { return deliveryPassword_; }
    const std::string& Prompt() const { return prompt_; }

    QLineEdit* NumberEdit() const { return number_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QLabel* PromptLabel() const { return promptLabel_; }
    QPushButton* OkButton() const { return ok_; }

  public slots:
    // OK or Enter: ends with 1 only when neither field is empty.
    void accept() override;

  private:
    void ReadControls();
    void WriteControls();

    std::string prompt_;
    std::string deliveryNo_;
    std::string deliveryPassword_;
    QLabel* promptLabel_ = nullptr;
    QLineEdit* number_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace velmora
