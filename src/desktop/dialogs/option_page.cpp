#include "desktop/dialogs/option_page.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <algorithm>

#include "desktop/common/qt_text.h"
#include "desktop/dialogs/dialog_template.h"

namespace velmora {

QString WholeNumberMessage() {
    return QStringFromCp932(CheckIntervalText("").message);
}

QString IntervalRangeMessage() {
    return QStringFromCp932(CheckIntervalText("0").message);
}

COptionPage2::COptionPage2(QWidget* parent) : QWidget(parent) {
    setFont(DialogFont());
    const DialogUnits du(font());
    setMinimumSize(du.X(201), du.Y(81));

    auto* intervalLabel = new QLabel(QStringLiteral("RSS読み込み間隔："), this);
    intervalLabel->setGeometry(du.Rect(7, 10, 58, 8));
    interval_edit_ = new QLineEdit(this);
    interval_edit_->setGeometry(du.Rect(70, 7, 25, 14));
    interval_edit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    interval_edit_->installEventFilter(this);
    // The up-down control sits at the right of its buddy, over its last units.
    const QRect spin = du.Rect(88, 7, 10, 14);
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    up_->setGeometry(spin.x(), spin.y(), spin.width(), spin.height() / 2);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    down_->setGeometry(spin.x(), spin.y() + spin.height() / 2, spin.width(),
                       spin.height() - spin.height() / 2);
    interval_edit_->resize(spin.x() - interval_edit_->x(), interval_edit_->height());
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(up_, &QToolButton::clicked, this, [this] { StepInterval(1); });
    connect(down_, &QToolButton::clicked, this, [this] { StepInterval(-1); });
    auto* unit = new QLabel(QStringLiteral("分"), this);
    unit->setGeometry(du.Rect(100, 10, 8, 8));

    // The notification method travels through the data exchange but is never shown.
    auto* methodLabel = new QLabel(QStringLiteral("お知らせ方法："), this);
    methodLabel->setGeometry(du.Rect(7, 27, 44, 8));
    popupRadio_ = new QRadioButton(QStringLiteral("ポップアップ表示"), this);
    popupRadio_->setGeometry(du.Rect(70, 26, 65, 10));
    blinkRadio_ = new QRadioButton(QStringLiteral("アイコンを点滅"), this);
    blinkRadio_->setGeometry(du.Rect(134, 26, 59, 10));
    auto* group = new QButtonGroup(this);
    group->addButton(popupRadio_, 0);
    group->addButton(blinkRadio_, 1);
    auto* terminalLabel = new QLabel(QStringLiteral("端末ID："), this);
    terminalLabel->setGeometry(du.Rect(7, 42, 34, 14));
    auto* terminal = new QLineEdit(this);
    terminal->setGeometry(du.Rect(70, 42, 101, 14));
    auto* passwordLabel = new QLabel(QStringLiteral("パスワード："), this);
    passwordLabel->setGeometry(du.Rect(7, 60, 34, 14));
    auto* password = new QLineEdit(this);
    password->setGeometry(du.Rect(70, 60, 101, 14));
    password->setEchoMode(QLineEdit::Password);
    for (QWidget* w : std::initializer_list<QWidget*>{terminal, password}) w->setEnabled(false);
    for (QWidget* w :
         std::initializer_list<QWidget*>{methodLabel, popupRadio_, blinkRadio_, terminalLabel,
                                         terminal, passwordLabel, password}) {
        w->hide();
    }
    FitLabelsToText(this);
}

void COptionPage2::SetValues(std::uint32_t intervalMinutes, std::int32_t popupFlag) {
    interval_ = intervalMinutes;
    notifyMode_ = popupFlag != 0 ? 0 : 1;
    // The spin control starts at the low 16 bits of the interval, within its range.
    spinPosition_ = std::clamp<std::uint32_t>(interval_ & 0xFFFFu, kMinInterval, kMaxInterval);
    UpdateData(false);
}

bool COptionPage2::UpdateData(bool readControls) {
    if (!readControls) {
        interval_edit_->setText(QString::number(interval_));
        (notifyMode_ == 1 ? blinkRadio_ : popupRadio_)->setChecked(true);
        return true;
    }
    const IntervalEntry entry = CheckIntervalText(interval_edit_->text().toStdString());
    if (!entry.minutes) {
        Tell(QStringFromCp932(entry.message));
        return false;
    }
    interval_ = *entry.minutes;
    if (popupRadio_->isChecked()) {
        notifyMode_ = 0;
    } else if (blinkRadio_->isChecked()) {
        notifyMode_ = 1;
    }
    return true;
}

void COptionPage2::StepInterval(int delta) {
    bool ok = false;
    const qulonglong typed = interval_edit_->text().toULongLong(&ok);
    // The arrows start from what the field holds when it is a number in range.
    if (ok && typed >= kMinInterval && typed <= kMaxInterval) {
        spinPosition_ = static_cast<std::uint32_t>(typed);
    }
    const auto next = static_cast<std::int64_t>(spinPosition_) + delta;
    spinPosition_ =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(next, kMinInterval, kMaxInterval));
    interval_edit_->setText(QString::number(spinPosition_));
}

bool COptionPage2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == interval_edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepInterval(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void COptionPage2::Tell(const QString& message) {
    if (sink_) {
        sink_(message);
    } else {
        QMessageBox box(QMessageBox::Warning, window()->windowTitle(), message, QMessageBox::Ok,
                        window());
        // Modal to the sheet only: the popup and the tray icon keep working.
        box.setWindowModality(Qt::WindowModal);
        box.exec();
    }
    interval_edit_->setFocus();
    interval_edit_->selectAll();
}

}  // namespace velmora
