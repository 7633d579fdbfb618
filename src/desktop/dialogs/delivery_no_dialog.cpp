#include "desktop/dialogs/delivery_no_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/delivery/delivery_cycle.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/dialog_template.h"

namespace velmora {

CDeliveryNoDlg::CDeliveryNoDlg(const std::string& prompt, const std::string& deliveryNo,
                               QWidget* parent)
    : QDialog(parent), prompt_(prompt), deliveryNo_(deliveryNo) {
    // Modal to its owner only: the popup and the tray icon keep working.
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("配信番号入力"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.X(187), du.Y(103));

    promptLabel_ = new QLabel(QStringLiteral("配信番号を入力してください。"), this);
    promptLabel_->setGeometry(du.Rect(13, 14, 160, 17));
    promptLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    promptLabel_->setTextFormat(Qt::PlainText);
    promptLabel_->setWordWrap(true);
    auto* numberLabel = new QLabel(QStringLiteral("配信番号："), this);
    numberLabel->setGeometry(du.Rect(13, 37, 29, 12));
    numberLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    number_ = new QLineEdit(this);
    number_->setGeometry(du.Rect(45, 37, 129, 13));
    auto* passwordLabel = new QLabel(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ："), this);
    passwordLabel->setGeometry(du.Rect(13, 62, 28, 12));
    password_ = new QLineEdit(this);
    password_->setGeometry(du.Rect(45, 59, 129, 15));
    password_->setEchoMode(QLineEdit::Password);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(du.Rect(64, 82, 50, 14));
    ok_->setDefault(true);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setGeometry(du.Rect(122, 82, 50, 14));

    connect(ok_, &QPushButton::clicked, this, &CDeliveryNoDlg::accept);
    connect(close, &QPushButton::clicked, this, &CDeliveryNoDlg::reject);
    WriteControls();
    number_->setFocus();
}

int CDeliveryNoDlg::DoModal() {
    return exec() == QDialog::Accepted ? 1 : 2;
}

void CDeliveryNoDlg::accept() {
    ReadControls();
    if (!deliveryNo_.empty() && !deliveryPassword_.empty()) {
        QDialog::accept();
        return;
    }
    prompt_ = WrongDeliveryNumberPrompt();
    WriteControls();
}

void CDeliveryNoDlg::ReadControls() {
    deliveryNo_ = Cp932FromQString(number_->text());
    deliveryPassword_ = Cp932FromQString(password_->text());
}

void CDeliveryNoDlg::WriteControls() {
    promptLabel_->setText(QStringFromCp932(prompt_));
    number_->setText(QStringFromCp932(deliveryNo_));
    password_->setText(QStringFromCp932(deliveryPassword_));
    FitLabelsToText(this);
}

}  // namespace velmora
