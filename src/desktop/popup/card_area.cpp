#include "desktop/popup/card_area.h"

#include <signal.h>
#include <sys/types.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <utility>
#include <vector>

namespace velmora {

CardArea::CardArea(QWidget* popup, QRect area, LinkHandler onLink)
    : QObject(popup), popup_(popup), area_(area), onLink_(std::move(onLink)) {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardErrorFile(QProcess::nullDevice());
    connect(&process_, &QProcess::readyReadStandardOutput, this, &CardArea::ReadMessages);
    connect(&process_, &QProcess::finished, this, [this] {
        if (ended_) return;
        ended_ = true;
        emit Ended();
    });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || ended_) return;
        ended_ = true;
        emit Ended();
    });
}

CardArea::~CardArea() {
    disconnect(&process_, nullptr, this, nullptr);
    Resume();
    if (process_.state() != QProcess::NotRunning) {
        // End of input asks the card process to quit; it is killed if it does not.
        process_.closeWriteChannel();
        if (!process_.waitForFinished(1000)) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }
    delete embedded_;
}

void CardArea::Retire() {
    disconnect(this, nullptr, nullptr, nullptr);
    onLink_ = nullptr;
    ended_ = true;
    if (embedded_) embedded_->hide();
    Resume();  // a stopped process would not see the end of its input
    if (process_.state() == QProcess::NotRunning) {
        deleteLater();
        return;
    }
    connect(&process_, &QProcess::finished, this, &QObject::deleteLater);
    process_.closeWriteChannel();
    QTimer::singleShot(3000, this, [this] { process_.kill(); });
}

void CardArea::Embed(const std::string& windowId) {
    bool ok = false;
    const WId id = QString::fromStdString(windowId).toULongLong(&ok);
    if (!ok || !popup_->windowHandle()) return;
    if (embedded_ && embedded_->winId() == id) return;
    delete embedded_;
    embedded_ = QWindow::fromWinId(id);
    if (!embedded_) return;
    embedded_->setParent(popup_->windowHandle());
    PlaceWindow();
    embedded_->show();
}

void CardArea::PlaceWindow() {
    // Out of sight is beside the popup, where its window clips it away.
    if (embedded_) embedded_->setGeometry(revealed_ ? area_ : area_.translated(popup_->width(), 0));
}

void CardArea::Reveal() {
    if (revealed_) return;
    revealed_ = true;
    PlaceWindow();
}

void CardArea::Conceal() {
    if (!revealed_) return;
    revealed_ = false;
    PlaceWindow();
}

void CardArea::RequestSnapshot() {
    if (!Send(kCardSnapshot, {})) emit Picture(QImage());
}

void CardArea::Pause() {
    if (paused_ || ended_ || process_.state() != QProcess::Running) return;
    paused_ = true;
    SignalProcessTree(SIGSTOP);
}

void CardArea::Resume() {
    if (!paused_) return;
    paused_ = false;
    SignalProcessTree(SIGCONT);
}

void CardArea::SignalProcessTree(int signal) {
    // The web engine's helper processes are children of the card process.
    std::vector<pid_t> tree = {static_cast<pid_t>(process_.processId())};
    if (tree[0] <= 0) return;
    std::vector<std::pair<pid_t, pid_t>> parents;  // (pid, parent)
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const pid_t pid = entry.toInt(&ok);
        if (!ok) continue;
        QFile stat(proc.filePath(entry + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        // pid (name) state ppid ...: the name may hold spaces and parentheses.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1) parents.emplace_back(pid, fields[1].toInt());
    }
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const auto& [pid, parent] : parents)
            if (parent == tree[i]) tree.push_back(pid);
    for (const pid_t pid : tree) ::kill(pid, signal);
}

QString CardArea::HostProgram() {
    const QString configured = qEnvironmentVariable("VELMORA_CARDS_HOST");
    if (!configured.isEmpty()) return configured;
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-cards");
    if (QFileInfo(beside).isExecutable()) return beside;
#ifdef VELMORA_CARDS_HOST_BUILT
    return QStringLiteral(VELMORA_CARDS_HOST_BUILT);
#else
    return beside;
#endif
}

bool CardArea::Start() {
    process_.start(HostProgram(), {QStringLiteral("--size"),
                                   QStringLiteral("%1x%2").arg(area_.width()).arg(area_.height())});
    return process_.waitForStarted(5000);
}

void CardArea::Navigate(const QUrl& url) {
    Send(kCardNavigate, url.toEncoded());
}

bool CardArea::WritePage(const QByteArray& cp932Html) {
    return Send(kCardWrite, cp932Html);
}

bool CardArea::Send(char tag, const QByteArray& payload) {
    if (ended_ || process_.state() != QProcess::Running) return false;
    const std::string message =
        EncodeCardMessage(tag, std::string_view(payload.constData(), payload.size()));
    return process_.write(message.data(), static_cast<qint64>(message.size())) ==
           static_cast<qint64>(message.size());
}

void CardArea::ReadMessages() {
    const QByteArray bytes = process_.readAllStandardOutput();
    reader_.Append(std::string_view(bytes.constData(), bytes.size()));
    while (const std::optional<CardMessage> message = reader_.Next()) {
        switch (message->tag) {
            case kCardReadyState:
                readyState_ = message->payload == "3" ? 3 : 4;
                break;
            case kCardLoaded:
                emit PageLoaded(message->payload == "1");
                break;
            case kCardWindow:
                Embed(message->payload);
                break;
            case kCardPicture: {
                QImage picture;
                picture.loadFromData(QByteArray::fromStdString(message->payload), "PNG");
                emit Picture(picture);
                break;
            }
            case kCardLink:
                if (onLink_)
                    onLink_(QUrl::fromEncoded(QByteArray::fromStdString(message->payload)));
                break;
            default:
                break;
        }
    }
    if (reader_.Broken() && !ended_) {
        process_.kill();
    }
}

}  // namespace velmora
