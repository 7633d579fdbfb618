#include "cards/card_scheme.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "core/popup/popup_geometry.h"
#include "desktop/popup/popup_resources.h"

namespace velmora {
namespace {

constexpr char kScheme[] = "res";
constexpr char kHost[] = "velmora.exe";

void Reply(QWebEngineUrlRequestJob* job, const QByteArray& contentType, const QByteArray& data) {
    auto* buffer = new QBuffer(job);
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    job->reply(contentType, buffer);
}

}  // namespace

void RegisterCardScheme() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

CardSchemeHandler::CardSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

QUrl CardSchemeHandler::SetPage(QByteArray cp932Html) {
    page_ = std::move(cp932Html);
    // A new address for every page, so no cached copy can stand in for it.
    pageUrl_ = QUrl(QStringLiteral("res://velmora.exe/cards/%1").arg(++serial_));
    return pageUrl_;
}

void CardSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl().adjusted(QUrl::RemoveFragment);
    if (url.host() != QLatin1String(kHost)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // "#2/#170" is a fragment: the request itself names the file's root.
    if (url.path().isEmpty() || url.path() == QLatin1String("/")) {
        Reply(job, "image/png", PopupBitmapFile(kPlaceholderBitmap));
        return;
    }
    if (url == pageUrl_) {
        Reply(job, "text/html;charset=Shift_JIS", page_);
        return;
    }
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}

}  // namespace velmora
