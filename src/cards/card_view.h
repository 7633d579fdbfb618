#pragma once
// The card area: a web view that only ever shows "about:blank" and the pages
// the popup writes into it. Keys and the right button never reach the page;
// links with target "_blank" are handed over instead of opened here.

#include <QUrl>
#include <QWebEngineView>
#include <functional>
#include <optional>

class QWebEngineProfile;

namespace velmora {

class CardSchemeHandler;
class CardPage;

class CWebBrowser2 : public QWebEngineView {
    Q_OBJECT
  public:
    using LinkHandler = std::function<void(const QUrl&)>;

    // `onLink` receives the address of every link the page wants opened in a new window.
    CWebBrowser2(QWidget* parent, LinkHandler onLink);
    ~CWebBrowser2() override;

    void Navigate(const QUrl& url);
    // 3 (interactive) while a load runs, 4 (complete) after one, 0 before any.
    int ReadyState() const;
    // Replaces the document with `cp932Html`.
    bool WritePage(const QByteArray& cp932Html);

  signals:
    // A written page has finished loading and has been painted (ok false when
    // it failed to load).
    void PageLoaded(bool ok);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void WatchInput(QObject* object);
    // Tells PageLoaded once the engine has drawn the loaded page.
    void AwaitPaint();
    // The navigation has ended: a page written meanwhile is loaded now.
    void FlushWrite();

    QWebEngineProfile* profile_ = nullptr;
    CardSchemeHandler* scheme_ = nullptr;
    CardPage* page_ = nullptr;
    bool loading_ = false;
    bool loadedOnce_ = false;
    int paintWait_ = 0;  // which load the awaited paint belongs to
    bool navigating_ = false;
    int navigation_ = 0;
    std::optional<QByteArray> pendingWrite_;
};

}  // namespace velmora
