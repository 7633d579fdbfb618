#pragma once
// The program's own "res" URL scheme inside the card area: it serves the
// placeholder picture (bitmap 170, "res://velmora.exe/#2/#170") and the
// composed card page.

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

namespace velmora {

// Must run before the web engine starts; later calls do nothing.
void RegisterCardScheme();

class CardSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
  public:
    explicit CardSchemeHandler(QObject* parent = nullptr);

    // The next page to serve; returns the address it is served at.
    QUrl SetPage(QByteArray cp932Html);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

  private:
    QByteArray page_;
    QUrl pageUrl_;
    unsigned serial_ = 0;
};

}  // namespace velmora
