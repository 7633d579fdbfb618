#pragma once
// The card area of the popup. The web engine that renders the cards costs far
// more memory than the rest of the program, so it runs in its own process
// ("velmora-cards") whose window is taken in as a child window of the popup;
// ending that process gives all of its memory back.

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QUrl>
#include <functional>
#include <string>

#include "core/popup/card_messages.h"

class QWidget;
class QWindow;

namespace velmora {

class CardArea : public QObject {
    Q_OBJECT
  public:
    using LinkHandler = std::function<void(const QUrl&)>;

    // `area` is the visible part of the cards in `popup`'s coordinates;
    // `onLink` receives every link the cards want opened in a new window.
    CardArea(QWidget* popup, QRect area, LinkHandler onLink);
    // Ends the card process.
    ~CardArea() override;

    // Starts the card process; false when it cannot be started.
    bool Start();
    // Hides the area and lets the card process end on its own (killed if it
    // lingers); the object deletes itself once the process is gone.
    void Retire();
    // The card window is taken in out of sight and stays there until Reveal,
    // so that nothing half-drawn is seen; Conceal puts it out of sight again.
    void Reveal();
    void Conceal();
    bool Revealed() const { return revealed_ && embedded_; }
    // Asks for a picture of the cards as painted; Picture answers.
    void RequestSnapshot();
    // Stops the card process and its helpers where they are (they use no
    // processor and wake up no more) and lets them go on again.
    void Pause();
    void Resume();
    bool Paused() const { return paused_; }
    qint64 ProcessId() const { return process_.processId(); }
    void Navigate(const QUrl& url);
    // 3 (interactive) while a load runs, 4 (complete) after one, 0 before any.
    int ReadyState() const { return readyState_; }
    // Hands the page (CP932) to the card process; false when it is not running.
    bool WritePage(const QByteArray& cp932Html);

    // The card program: $VELMORA_CARDS_HOST, else "velmora-cards" beside the
    // program, else the one of the build tree.
    static QString HostProgram();

  signals:
    // A written page has finished loading (ok false when it failed).
    void PageLoaded(bool ok);
    // The card process ended or broke its stream; the area is of no more use.
    void Ended();
    // The picture asked for by RequestSnapshot; null when there is none.
    void Picture(const QImage& picture);

  private:
    bool Send(char tag, const QByteArray& payload);
    void ReadMessages();

    void Embed(const std::string& windowId);
    void PlaceWindow();
    void SignalProcessTree(int signal);

    QWidget* popup_ = nullptr;
    QRect area_;
    QWindow* embedded_ = nullptr;
    QProcess process_;
    CardMessageReader reader_;
    LinkHandler onLink_;
    int readyState_ = 0;
    bool ended_ = false;
    bool revealed_ = false;
    bool paused_ = false;
};

}  // namespace velmora
