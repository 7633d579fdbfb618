#include "desktop/popup/browser_launcher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QUrl>
#include <cstdio>

#include "core/text/cp932.h"

namespace velmora {
namespace {

BrowserFailureReport& FailureReport() {
    static BrowserFailureReport report;
    return report;
}

void ReportFailure(const QUrl& url, const QString& reason) {
    std::fprintf(stderr, "velmora: cannot open %s: %s\n",
                 url.toString(QUrl::FullyEncoded).toUtf8().constData(),
                 reason.toUtf8().constData());
    if (FailureReport()) FailureReport()();
}

// xdg-open says by its exit status whether a program took the page. It is
// left running when the program ends (a browser it started in front stays).
void RunXdgOpen(const QString& program, const QUrl& url) {
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments({url.toString(QUrl::FullyEncoded)});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process, &QProcess::errorOccurred, [process, url](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        ReportFailure(url, QStringLiteral("%1 did not start").arg(process->program()));
        process->deleteLater();
    });
    QObject::connect(
        process, &QProcess::finished, [process, url](int code, QProcess::ExitStatus s) {
            if (s != QProcess::NormalExit || code != 0)
                ReportFailure(url, QStringLiteral("xdg-open ended with status %1").arg(code));
            process->deleteLater();
        });
    process->start();
}

}  // namespace

void SetBrowserFailureReport(BrowserFailureReport report) {
    FailureReport() = std::move(report);
}

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
    if (const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        !xdgOpen.isEmpty()) {
        RunXdgOpen(xdgOpen, url);
        return true;
    }
    if (QDesktopServices::openUrl(url)) return true;
    ReportFailure(url,
                  QStringLiteral("no xdg-open (package xdg-utils) and no other way to open it"));
    return false;
}

}  // namespace velmora
