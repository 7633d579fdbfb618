// velmora-cards: renders the popup's news cards in a process of its own.
//   velmora-cards [--size <w>x<h>]
// Reads messages (card_messages.h) on standard input and answers on standard
// output; the end of its input ends it. Its window waits off-screen until the
// popup takes it in.

#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QPixmap>
#include <QSocketNotifier>
#include <QWebEnginePage>
#include <QWidget>
#include <cerrno>
#include <string>

#include "cards/card_scheme.h"
#include "cards/card_view.h"
#include "core/popup/card_messages.h"

namespace {

using namespace velmora;

// The page is laid out for a view two pixels larger on the left and top and
// twenty on the right, whose edges the popup hides.
constexpr int kHiddenLeft = 2, kHiddenTop = 2, kHiddenRight = 20, kHiddenBottom = 2;

void Answer(char tag, const std::string& payload) {
    const std::string message = EncodeCardMessage(tag, payload);
    std::size_t done = 0;
    while (done < message.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, message.data() + done, message.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            QCoreApplication::quit();  // the popup is gone
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

class WindowIdReporter : public QObject {
  public:
    explicit WindowIdReporter(QWidget* host) : host_(host) { host->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WinIdChange && host_->internalWinId() != 0)
            Answer(kCardWindow, std::to_string(host_->internalWinId()));
        return false;
    }

  private:
    QWidget* host_;
};

// The cards as last painted, PNG; empty when there is no picture.
std::string Snapshot(QWidget& host) {
    const QPixmap picture = host.grab();
    QByteArray png;
    QBuffer buffer(&png);
    if (picture.isNull() || !buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG"))
        return {};
    return png.toStdString();
}

QString Option(const QStringList& args, const QString& name) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
}

}  // namespace

int main(int argc, char** argv) {
    // The web engine's sandbox cannot run as root.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    RegisterCardScheme();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    QSize size(292, 158);
    const QStringList wh = Option(args, QStringLiteral("--size")).split('x');
    if (wh.size() == 2 && wh[0].toInt() > 0 && wh[1].toInt() > 0)
        size = QSize(wh[0].toInt(), wh[1].toInt());

    QWidget host(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    host.resize(size);
    CWebBrowser2 view(&host,
                      [](const QUrl& url) { Answer(kCardLink, url.toEncoded().toStdString()); });
    view.setGeometry(-kHiddenLeft, -kHiddenTop, size.width() + kHiddenLeft + kHiddenRight,
                     size.height() + kHiddenTop + kHiddenBottom);
    QObject::connect(view.page(), &QWebEnginePage::loadStarted,
                     [] { Answer(kCardReadyState, "3"); });
    QObject::connect(view.page(), &QWebEnginePage::loadFinished,
                     [] { Answer(kCardReadyState, "4"); });
    QObject::connect(&view, &CWebBrowser2::PageLoaded,
                     [](bool ok) { Answer(kCardLoaded, ok ? "1" : "0"); });

    host.move(-10000, -10000);
    host.show();
    Answer(kCardWindow, std::to_string(host.winId()));
    // The window is made anew when the engine's first page needs a GL surface:
    // the popup is told each time.
    WindowIdReporter reporter(&host);

    CardMessageReader reader;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) return;
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        reader.Append(std::string_view(buffer, static_cast<std::size_t>(n)));
        while (const std::optional<CardMessage> message = reader.Next()) {
            const QByteArray payload = QByteArray::fromStdString(message->payload);
            if (message->tag == kCardNavigate) view.Navigate(QUrl::fromEncoded(payload));
            if (message->tag == kCardWrite) view.WritePage(payload);
            if (message->tag == kCardSnapshot) Answer(kCardPicture, Snapshot(host));
        }
        if (reader.Broken()) QCoreApplication::quit();
    });
    return app.exec();
}
