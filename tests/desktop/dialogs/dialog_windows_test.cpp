// The Qt dialogs: error dialog, delivery number dialog, settings page and
// About dialog, headless.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "core/delivery/delivery_cycle.h"
#include "core/text/cp932.h"
#include "desktop/common/icon_resources.h"
#include "desktop/common/messages.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/about_dialog.h"
#include "desktop/dialogs/delivery_no_dialog.h"
#include "desktop/dialogs/dialog_template.h"
#include "desktop/dialogs/error_dialog.h"
#include "desktop/dialogs/option_page.h"
#include "support/hive_sandbox.h"

using namespace velmora;
using velmora::test_support::HiveSandbox;
namespace fs = std::filesystem;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "dialog_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

QString Utf(const char* s) {
    return QString::fromUtf8(s);
}

// Receives UM_ERRORCLOSED and notes whether the dialog was still visible.
class Owner : public QObject {
  public:
    explicit Owner(QWidget*& dialog) : dialog_(dialog) {}
    bool event(QEvent* e) override {
        if (e->type() != UM_ERRORCLOSED) return QObject::event(e);
        ++closed;
        visibleWhenTold = dialog_ && dialog_->isVisible();
        return true;
    }
    int closed = 0;
    bool visibleWhenTold = false;

  private:
    QWidget*& dialog_;
};

// Collects what the desktop is asked to open.
class UrlSink : public QObject {
    Q_OBJECT
  public:
    // Without xdg-open on PATH the launcher hands pages to these handlers.
    UrlSink() : savedPath_(qgetenv("PATH")) {
        qputenv("PATH", "/nonexistent");
        for (const char* scheme : {"http", "https", "file"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
        }
    }
    ~UrlSink() override {
        for (const char* scheme : {"http", "https", "file"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
        qputenv("PATH", savedPath_);
    }
    QList<QUrl> opened;
  public slots:
    void Open(const QUrl& url) { opened << url; }

  private:
    QByteArray savedPath_;
};

}  // namespace

class DialogTest : public HiveSandbox {
  protected:
    void SetUp() override {
        HiveSandbox::SetUp();
        App();
    }
};

TEST_F(DialogTest, ErrorDialogShowsReportsAndKeepsLinesOnClear) {
    ErrorState errors;
    CErrorDlg dialog(errors);
    EXPECT_EQ(dialog.windowTitle(), Utf("エラー情報"));
    EXPECT_EQ(dialog.TroubleshootingButton()->text(), Utf("トラブルシューティング"));
    EXPECT_TRUE(dialog.TroubleshootingButton()->isDefault());
    EXPECT_EQ(dialog.CloseButton()->text(), Utf("閉じる"));
    EXPECT_EQ(dialog.font().family(), Utf("ＭＳ Ｐゴシック"));
    EXPECT_EQ(dialog.font().pointSize(), 9);

    dialog.ReportError(82, 5);
    EXPECT_EQ(dialog.TitleText(), Utf("ファイルアクセスエラー"));
    EXPECT_EQ(dialog.MessageText(), Utf("作業ファイルが作成できませんでした。 (5)"));
    dialog.ReportError(500, -1);
    EXPECT_EQ(dialog.TitleText(), Utf("INTERNAL ERROR"));
    EXPECT_EQ(dialog.MessageText(), Utf("未対応のエラーが発生しました。 (-1)"));
    dialog.ClearError();
    EXPECT_EQ(dialog.Code(), 0);
    EXPECT_EQ(dialog.TitleText(), Utf("INTERNAL ERROR"));

    // A report made by the cycle directly shows after Refresh.
    errors.ReportError(0, 0);
    dialog.Refresh();
    EXPECT_EQ(dialog.TitleText(), QString());
    EXPECT_EQ(dialog.MessageText(), QString());
}

TEST_F(DialogTest, ClosingTellsTheOwnerBeforeHiding) {
    ErrorState errors;
    QWidget* shown = nullptr;
    Owner owner(shown);
    CErrorDlg dialog(errors);
    shown = &dialog;
    dialog.SetOwner(&owner);
    dialog.ReportError(58, 0);
    dialog.show();
    dialog.CloseButton()->click();
    EXPECT_EQ(owner.closed, 1);
    EXPECT_TRUE(owner.visibleWhenTold);
    EXPECT_FALSE(dialog.isVisible());
    // Escape closes the same way, and the window stays for the next error.
    dialog.show();
    dialog.reject();
    EXPECT_EQ(owner.closed, 2);
}

TEST_F(DialogTest, TroubleshootingOpensTheConfiguredPage) {
    ErrorState errors;
    CErrorDlg dialog(errors);
    UrlSink sink;
    dialog.TroubleshootingButton()->click();
    EXPECT_TRUE(sink.opened.isEmpty());  // no troubleUrl: nothing
    WriteMachineKey("\"troubleUrl\"=\"http://help.test/trouble.html\"\n");
    dialog.ReportError(58, 0);
    dialog.show();
    dialog.TroubleshootingButton()->click();
    ASSERT_EQ(sink.opened.size(), 1);
    EXPECT_EQ(sink.opened[0], QUrl(Utf("http://help.test/trouble.html")));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Code(), 58);
}

TEST_F(DialogTest, DeliveryNumberDialogNeedsBothFields) {
    const std::string number = text::Utf8ToCp932("D-12");
    CDeliveryNoDlg dialog(DeliveryNumberPrompt(), number);
    EXPECT_EQ(dialog.windowTitle(), Utf("配信番号入力"));
    EXPECT_EQ(dialog.PromptLabel()->text(), Utf("配信番号を入力してください。"));
    EXPECT_EQ(dialog.NumberEdit()->text(), Utf("D-12"));
    EXPECT_EQ(dialog.PasswordEdit()->text(), QString());
    EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);

    int result = 0;
    QTimer::singleShot(0, [&] {
        dialog.OkButton()->click();  // empty password: stays open
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.PromptLabel()->text(),
                  Utf("配信番号に誤りがあります。正しい番号を入力してください。"));
        EXPECT_EQ(dialog.NumberEdit()->text(), Utf("D-12"));
        dialog.NumberEdit()->clear();
        dialog.PasswordEdit()->setText(Utf("pw"));
        dialog.OkButton()->click();  // empty number: stays open
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.PasswordEdit()->text(), Utf("pw"));
        dialog.NumberEdit()->setText(Utf("  "));  // blanks are content
        dialog.OkButton()->click();
    });
    result = dialog.DoModal();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.DeliveryNo(), "  ");
    EXPECT_EQ(dialog.DeliveryPassword(), "pw");
}

TEST_F(DialogTest, DeliveryNumberDialogCancelReturnsTwo) {
    CDeliveryNoDlg dialog(WrongDeliveryNumberPrompt(), "");
    EXPECT_EQ(dialog.PromptLabel()->text(),
              Utf("配信番号に誤りがあります。正しい番号を入力してください。"));
    QTimer::singleShot(0, [&] {
        dialog.NumberEdit()->setText(Utf("番号"));
        dialog.PasswordEdit()->setText(Utf("pw"));
        dialog.reject();
    });
    EXPECT_EQ(dialog.DoModal(), 2);
}

TEST_F(DialogTest, SettingsPageLoadsValidatesAndSpins) {
    COptionPage2 page;
    std::vector<QString> messages;
    page.SetMessageSink([&](const QString& m) { messages.push_back(m); });
    EXPECT_EQ(page.Interval(), 5u);
    page.SetValues(60, 1);
    EXPECT_EQ(page.IntervalEdit()->text(), Utf("60"));
    EXPECT_EQ(page.NotifyMode(), 0);
    EXPECT_FALSE(page.PopupRadio()->isVisibleTo(&page));
    EXPECT_FALSE(page.BlinkRadio()->isVisibleTo(&page));
    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_EQ(page.Interval(), 60u);
    EXPECT_EQ(page.NotifyMode(), 0);

    page.SetValues(60, 0);
    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_EQ(page.NotifyMode(), 1);
    page.SetValues(60, 7);
    ASSERT_TRUE(page.UpdateData(true));
    EXPECT_EQ(page.NotifyMode(), 0);

    page.IntervalEdit()->setText(Utf("1000"));
    EXPECT_FALSE(page.UpdateData(true));
    EXPECT_EQ(page.Interval(), 60u);
    page.IntervalEdit()->setText(Utf("99999999999999999999"));
    EXPECT_FALSE(page.UpdateData(true));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], IntervalRangeMessage());
    EXPECT_EQ(messages[1], WholeNumberMessage());

    // Digits only.
    page.IntervalEdit()->clear();
    for (const char* typed : {"1", "a", "-", "2"}) page.IntervalEdit()->insert(Utf(typed));
    EXPECT_EQ(page.IntervalEdit()->text(), Utf("12"));

    page.IntervalEdit()->setText(Utf("998"));
    page.StepInterval(1);
    page.StepInterval(1);
    EXPECT_EQ(page.IntervalEdit()->text(), Utf("999"));
    page.IntervalEdit()->setText(Utf("6"));
    page.SpinDown()->click();
    page.SpinDown()->click();
    EXPECT_EQ(page.IntervalEdit()->text(), Utf("5"));
    // From a field out of range the arrows go on from their own position.
    page.IntervalEdit()->setText(Utf("2"));
    page.SpinUp()->click();
    EXPECT_EQ(page.IntervalEdit()->text(), Utf("6"));
}

TEST_F(DialogTest, SpinStartsFromTheLow16BitsOfTheInterval) {
    COptionPage2 page;
    page.SetValues(65536 + 10, 1);  // low 16 bits: 10
    EXPECT_EQ(page.IntervalEdit()->text(), Utf("65546"));
    page.StepInterval(1);
    EXPECT_EQ(page.IntervalEdit()->text(), Utf("11"));
}

namespace {

QRgb PixelAtIcon(CAboutDlg& about) {
    const QImage shot = about.grab().toImage();
    const DialogUnits du(about.font());
    const QPoint anchor = du.Rect(11, 17, 20, 20).topLeft();
    return shot.pixel(anchor + QPoint(16, 16));
}

void SolidIcon(const std::string& path, QColor colour) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
}

}  // namespace

TEST_F(DialogTest, AboutDrawsTheIconFileAtEveryPaint) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), Utf("ﾊﾞｰｼﾞｮﾝ情報"));
    const std::string path = (root_ / "icon.png").string();
    SolidIcon(path, Qt::red);
    about.SetNormalIconPath(path);
    about.resize(about.size());
    EXPECT_EQ(QColor(PixelAtIcon(about)), QColor(Qt::red));
    SolidIcon(path, Qt::blue);
    EXPECT_EQ(QColor(PixelAtIcon(about)), QColor(Qt::blue));

    // No file, an empty path or one that does not fit the 260-byte buffer:
    // the built-in icon.
    const QImage builtIn = IconResourceImage(kIconNormal);
    const fs::path deep = root_ / std::string(200, 'a') / std::string(100, 'b');
    fs::create_directories(deep);
    SolidIcon((deep / "icon.png").string(), Qt::red);
    for (const std::string& p :
         {std::string(), (root_ / "missing.ico").string(), (deep / "icon.png").string()}) {
        about.SetNormalIconPath(p);
        EXPECT_EQ(about.LoadAboutIcon(), builtIn) << p;
    }
    // A file that is no image.
    velmora::test_support::WriteBytes(root_ / "text.ico", "not an icon");
    about.SetNormalIconPath((root_ / "text.ico").string());
    EXPECT_EQ(about.LoadAboutIcon(), builtIn);
}

TEST_F(DialogTest, AboutFieldsAreWrittenOnShow) {
    CAboutDlg about;
    about.titleLine = text::Utf8ToCp932("ヴェルモラ 1.0.1");
    about.groupId = "G1";
    about.clientId = "";
    about.deliveryLabel = text::Utf8ToCp932("配信番号：");
    about.deliveryNo = "D9";
    QStringList seen;
    QTimer::singleShot(0, [&] {
        for (int id : {1019, 1014, 1015, 1021, 1020}) seen << about.Field(id)->text();
        about.accept();
    });
    EXPECT_EQ(about.DoModal(), 1);
    EXPECT_THAT(seen, ::testing::ElementsAre(Utf("ヴェルモラ 1.0.1"), Utf("G1"), QString(),
                                             Utf("配信番号："), Utf("D9")));
}

namespace {

// Where each text drawn by `dialog`'s labels and buttons does not fit, in the
// font the label really gets; empty when all fit.
std::vector<std::string> Clipped(QWidget& dialog) {
    dialog.ensurePolished();
    std::vector<std::string> clipped;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        const QRect room = label->contentsRect();
        int flags = static_cast<int>(label->alignment());
        if (label->wordWrap()) flags |= Qt::TextWordWrap;
        const QRect need = QFontMetrics(label->font()).boundingRect(room, flags, label->text());
        if (!label->isHidden() && !dialog.rect().contains(label->geometry())) {
            clipped.push_back(label->text().toStdString() + ": outside the window");
        }
        if (!room.contains(need)) {
            clipped.push_back(QStringLiteral("%1: needs %2x%3, has %4x%5")
                                  .arg(label->text())
                                  .arg(need.width())
                                  .arg(need.height())
                                  .arg(room.width())
                                  .arg(room.height())
                                  .toStdString());
        }
    }
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty()) continue;
        const QSize need = button->sizeHint();
        if (need.width() > button->width()) {
            clipped.push_back(QStringLiteral("%1: needs %2, has %3")
                                  .arg(button->text())
                                  .arg(need.width())
                                  .arg(button->width())
                                  .toStdString());
        }
    }
    return clipped;
}

}  // namespace

TEST_F(DialogTest, EveryTextFitsItsControlInTheJapaneseFont) {
    RegisterDialogFontSubstitutes();
    ASSERT_THAT(QFontInfo(DialogFont()).family().toStdString(),
                ::testing::AnyOf("IPAPGothic", "IPA Pゴシック"))
        << "the Japanese Gothic font (fonts-ipafont-gothic) is not installed";

    ErrorState errors;
    CErrorDlg error(errors);
    // The longest title and message the table has, with a detail number.
    for (const auto& [code, detail] : {std::pair{82, 2147483647}, std::pair{65535, -2147483647},
                                       std::pair{1000, 0}, std::pair{401, 401}}) {
        error.ReportError(code, detail);
        EXPECT_THAT(Clipped(error), ::testing::IsEmpty()) << code;
    }

    for (const std::string& prompt : {DeliveryNumberPrompt(), WrongDeliveryNumberPrompt()}) {
        CDeliveryNoDlg delivery(prompt, "");
        EXPECT_THAT(Clipped(delivery), ::testing::IsEmpty());
    }

    COptionPage2 page;
    page.SetValues(999, 1);
    EXPECT_THAT(Clipped(page), ::testing::IsEmpty());

    CAboutDlg about;
    about.titleLine = text::Utf8ToCp932("ヴェルモラ 1.0.1");
    about.groupId = "GROUP-0123456789";
    about.clientId = "CLIENT-0123456789";
    about.deliveryLabel = text::Utf8ToCp932("配信番号：");
    about.deliveryNo = "0123456789012";
    about.UpdateControls();
    EXPECT_THAT(Clipped(about), ::testing::IsEmpty());

    // A font far wider than the template was measured for: the window grows.
    const QSize before = error.size();
    QFont wide = DialogFont();
    wide.setPointSize(20);
    for (QLabel* label : error.findChildren<QLabel*>()) label->setFont(wide);
    error.ReportError(82, 2147483647);
    EXPECT_THAT(Clipped(error), ::testing::IsEmpty());
    EXPECT_GT(error.width(), before.width());
}

#include "dialog_windows_test.moc"
