#include "desktop/popup/browser_launcher.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "core/text/cp932.h"

namespace velmora {

bool OpenInBrowser(const std::string& cp932Address, AddressOrigin origin) {
    if (cp932Address.empty()) return false;
    const std::string utf8 = text::Cp932ToUtf8(cp932Address);
    if (!IsOpenableAddress(utf8, origin)) return false;

    const QUrl url(QString::fromStdString(utf8), QUrl::TolerantMode);
    // QUrl's reading of the address must agree with the check above.
    const QString scheme = url.scheme();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    const bool file = scheme == QLatin1String("file") && origin == AddressOrigin::Settings;
    if (!url.isValid() || !(web || file)) return false;
    if (web && url.host().isEmpty()) return false;
    return QDesktopServices::openUrl(url);
}

}  // namespace velmora
