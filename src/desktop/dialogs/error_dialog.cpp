#include "desktop/dialogs/error_dialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "core/settings/settings.h"
#include "core/settings/typed_settings.h"
#include "desktop/common/messages.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/dialog_template.h"
#include "desktop/popup/browser_launcher.h"

namespace velmora {

CErrorDlg::CErrorDlg(ErrorState& errors, QWidget* parent) : QDialog(parent), errors_(errors) {
    setWindowTitle(QStringLiteral("エラー情報"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.X(187), du.Y(64));

    trouble_ = new QPushButton(QStringLiteral("トラブルシューティング"), this);
    trouble_->setGeometry(du.Rect(7, 43, 120, 14));
    trouble_->setDefault(true);
    close_ = new QPushButton(QStringLiteral("閉じる"), this);
    close_->setGeometry(du.Rect(130, 43, 50, 14));
    title_ = new QLabel(QStringLiteral("Static"), this);
    title_->setGeometry(du.Rect(13, 7, 154, 11));
    title_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    message_ = new QLabel(QStringLiteral("Static"), this);
    message_->setGeometry(du.Rect(13, 22, 158, 13));
    message_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (QLabel* label : {title_, message_}) label->setTextFormat(Qt::PlainText);
    FitLabelsToText(this);

    connect(trouble_, &QPushButton::clicked, this, &CErrorDlg::OpenTroubleshooting);
    connect(close_, &QPushButton::clicked, this, &CErrorDlg::reject);
}

void CErrorDlg::ReportError(std::int32_t code, std::int32_t detail) {
    errors_.ReportError(code, detail);
    Refresh();
}

void CErrorDlg::ClearError() {
    errors_.ClearError();
}

void CErrorDlg::Refresh() {
    title_->setText(QStringFromCp932(errors_.TitleLine()));
    message_->setText(QStringFromCp932(errors_.MessageLine()));
    FitLabelsToText(this);
}

QString CErrorDlg::TitleText() const {
    return title_->text();
}
QString CErrorDlg::MessageText() const {
    return message_->text();
}

void CErrorDlg::reject() {
    if (owner_) {
        QEvent closed(UM_ERRORCLOSED);
        QCoreApplication::sendEvent(owner_, &closed);
    }
    QDialog::reject();
}

void CErrorDlg::OpenTroubleshooting() {
    OpenInBrowser(settings::ReadPageUrl(settings::Page::Trouble), AddressOrigin::Settings);
}

}  // namespace velmora
