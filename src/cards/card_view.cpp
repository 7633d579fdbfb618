#include "cards/card_view.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "cards/card_scheme.h"

namespace velmora {

// Lets through only the loads the view itself starts.
class CardPage : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

    void Expect(const QUrl& url) { expected_ = url; }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame || url != expected_) return false;
        expected_.clear();
        return true;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}

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
    connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        loading_ = false;
        loadedOnce_ = true;
        if (page_->url().scheme() == QLatin1String("res")) emit PageLoaded(ok);
    });
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
    page_->Expect(url);
    page_->load(url);
}

int CWebBrowser2::ReadyState() const {
    if (loading_) return 3;
    return loadedOnce_ ? 4 : 0;
}

bool CWebBrowser2::WritePage(const QByteArray& cp932Html) {
    const QUrl url = scheme_->SetPage(cp932Html);
    page_->Expect(url);
    page_->load(url);
    return true;
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
