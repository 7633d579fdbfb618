#include "desktop/dialogs/about_dialog.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "desktop/common/icon_resources.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/dialog_template.h"

namespace velmora {
namespace {

constexpr std::size_t kIconPathBuffer = 260;
constexpr int kAboutIconSize = 32;

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    // Modal to its owner only: the popup and the tray icon keep working.
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.X(235), du.Y(100));

    iconAnchor_ = du.Rect(11, 17, 20, 20);
    titleLabel_ = MakeLabel(this, QStringLiteral("ヴェルモラ 1.0.1"), du.Rect(40, 10, 119, 8));
    auto* notice = MakeLabel(this,
                             QStringLiteral("ニュース配信サービスの常駐クライアントです。\n"
                                            "新着ニュースをデスクトップにお届けします。"),
                             du.Rect(40, 25, 130, 18));
    notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    MakeLabel(this, QStringLiteral("グループID："), du.Rect(39, 49, 44, 8))
        ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    MakeLabel(this, QStringLiteral("クライアントID："), du.Rect(39, 62, 44, 8))
        ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    groupIdLabel_ = MakeLabel(this, QStringLiteral("Static"), du.Rect(86, 49, 132, 8));
    clientIdLabel_ = MakeLabel(this, QStringLiteral("Static"), du.Rect(86, 62, 132, 8));
    deliveryLabelLabel_ = MakeLabel(this, QStringLiteral("配信番号："), du.Rect(39, 75, 45, 8));
    deliveryNoLabel_ = MakeLabel(this, QStringLiteral("Static"), du.Rect(86, 75, 132, 8));
    FitLabelsToText(this);
}

int CAboutDlg::DoModal() {
    return exec() == QDialog::Accepted ? 1 : 2;
}

void CAboutDlg::UpdateControls() {
    groupIdLabel_->setText(QStringFromCp932(groupId));
    clientIdLabel_->setText(QStringFromCp932(clientId));
    deliveryLabelLabel_->setText(QStringFromCp932(deliveryLabel));
    deliveryNoLabel_->setText(QStringFromCp932(deliveryNo));
    titleLabel_->setText(QStringFromCp932(titleLine));
    FitLabelsToText(this);
}

QLabel* CAboutDlg::Field(int id) const {
    switch (id) {
        case 1014:
            return groupIdLabel_;
        case 1015:
            return clientIdLabel_;
        case 1019:
            return titleLabel_;
        case 1020:
            return deliveryNoLabel_;
        case 1021:
            return deliveryLabelLabel_;
        default:
            return nullptr;
    }
}

QImage CAboutDlg::LoadAboutIcon() const {
    if (!iconPath_.empty() && iconPath_.size() < kIconPathBuffer) {
        const QImage image = LoadIconFile(QStringFromCp932(iconPath_), kAboutIconSize);
        if (!image.isNull()) return image;
    }
    return IconResourceImage(kIconNormal);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    UpdateControls();
    QDialog::showEvent(event);
}

void CAboutDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    const QImage icon = LoadAboutIcon();
    QPainter painter(this);
    painter.drawImage(iconAnchor_.topLeft(), icon);
}

}  // namespace velmora
