#include "cards/card_view.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include "cards/card_scheme.h"

namespace velmora {

// Lets through only the loads the view itself starts.
// What the script run after a load logs once the engine has drawn two frames.
const QString kPaintedMark = QStringLiteral("velmora-painted-");
// A view that is not drawn (hidden, never shown) runs no frames: the page is
// then taken as painted after this long.
constexpr int kPaintWaitLimitMs = 500;
// A navigation that has not ended by then (refused, say) no longer holds a page back.
constexpr int kNavigationLimitMs = 2000;

class CardPage : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;
    std::function<void(const QString&)> onMark;

    void Expect(const QUrl& url) { expected_ = url; }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame || url != expected_) return false;
        expected_.clear();
        return true;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString&) override {
        if (message.startsWith(kPaintedMark) && onMark) onMark(message);
    }

  private:
    QUrl expected_;
};

CWebBrowser2::CWebBrowser2(QWidget* parent, LinkHandler onLink) : QWebEngineView(parent) {
    RegisterCardScheme();
    // Off the record: nothing of the feeds' pages is kept on disk.
    profile_ = new QWebEngineProfile(this);
    scheme_ = new CardSchemeHandler(this);
    profile_->installUrlSchemeHandler("res", scheme_);
    page_ = new CardPage(profile_, this);
    QWebEngineSettings* settings = page_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    setPage(page_);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);

    connect(page_, &QWebEnginePage::loadStarted, this, [this] { loading_ = true; });
    connect(page_, &QWebEnginePage::loadFinished, this, [this] {
        loading_ = false;
        loadedOnce_ = true;
    });
    // By the load's own address: a blank page cut short by the written one
    // ends after the page's address has changed already.
    connect(page_, &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) {
                if (info.url().scheme() != QLatin1String("res")) {
                    // The blank page's load has ended, one way or another.
                    if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus) FlushWrite();
                    return;
                }
                if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) AwaitPaint();
                if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
                    emit PageLoaded(false);
            });
    page_->onMark = [this](const QString& mark) {
        if (mark == kPaintedMark + QString::number(paintWait_)) {
            ++paintWait_;
            emit PageLoaded(true);
        }
    };
    connect(page_, &QWebEnginePage::newWindowRequested, this,
            [onLink = std::move(onLink)](QWebEngineNewWindowRequest& request) {
                // Not opened in the engine: the request is simply left unanswered.
                if (onLink) onLink(request.requestedUrl());
            });
    WatchInput(this);
}

CWebBrowser2::~CWebBrowser2() {
    // The page goes before the profile it was made with.
    delete page_;
    page_ = nullptr;
}

void CWebBrowser2::Navigate(const QUrl& url) {
    // A page written while this load runs could be dropped by it: it waits.
    navigating_ = true;
    page_->Expect(url);
    page_->load(url);
    const int navigation = ++navigation_;
    QTimer::singleShot(kNavigationLimitMs, this, [this, navigation] {
        if (navigation == navigation_) FlushWrite();
    });
}

void CWebBrowser2::FlushWrite() {
    navigating_ = false;
    if (!pendingWrite_) return;
    const QByteArray page = *pendingWrite_;
    pendingWrite_.reset();
    WritePage(page);
}

int CWebBrowser2::ReadyState() const {
    if (loading_) return 3;
    return loadedOnce_ ? 4 : 0;
}

bool CWebBrowser2::WritePage(const QByteArray& cp932Html) {
    if (navigating_) {
        pendingWrite_ = cp932Html;
        return true;
    }
    const QUrl url = scheme_->SetPage(cp932Html);
    page_->Expect(url);
    page_->load(url);
    return true;
}

void CWebBrowser2::AwaitPaint() {
    // The first frame's callback comes before the page is drawn, the second
    // after the frame with it has been made.
    const int wait = ++paintWait_;
    const QString mark = kPaintedMark + QString::number(wait);
    page_->runJavaScript(QStringLiteral("requestAnimationFrame(function(){"
                                        "requestAnimationFrame(function(){console.log('%1');});});")
                             .arg(mark),
                         QWebEngineScript::ApplicationWorld);
    QTimer::singleShot(kPaintWaitLimitMs, this, [this, wait] {
        if (paintWait_ != wait) return;
        ++paintWait_;
        emit PageLoaded(true);
    });
}

bool CWebBrowser2::event(QEvent* event) {
    if (event->type() == QEvent::ChildAdded) WatchInput(static_cast<QChildEvent*>(event)->child());
    return QWebEngineView::event(event);
}

void CWebBrowser2::WatchInput(QObject* object) {
    object->installEventFilter(this);
    for (QObject* child : object->children()) WatchInput(child);
}

bool CWebBrowser2::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ChildAdded:
            if (watched != this) WatchInput(static_cast<QChildEvent*>(event)->child());
            break;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
            break;
        default:
            break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

}  // namespace velmora
