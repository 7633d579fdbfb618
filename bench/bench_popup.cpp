// The news popup on a real X server (runs itself under xvfb-run):
//  - time from UM_POPUP_OPEN to both card pictures on the screen, the first
//    time (the web engine starts) and later times (a new channel each time);
//  - proportional set size of the process tree parked before the first open,
//    open, and parked again after the web engine was given back;
//  - CPU time of the process tree while parked with the ticker running.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/feed/feed_channel.h"
#include "desktop/common/messages.h"
#include "desktop/popup/news_popup.h"
#include "support/picture_server.h"
#include "support/under_xvfb.h"

namespace velmora {
namespace {

using test_support::PictureServer;

const QColor kLeftColor(0, 0, 255);
const QColor kRightColor(0, 160, 0);

struct Fixture {
    PictureServer server;
    CNewsPopup popup;
    FeedChannel channel;
    int round = 0;

    Fixture() {
        server.AddPicture("/left.png", {240, 80}, kLeftColor);
        server.AddPicture("/right.png", {60, 40}, kRightColor);
        popup.SetLauncher([](const std::string&, AddressOrigin) { return true; });
        popup.CreatePopup();
        popup.show();
        Feed();
    }
    // A new channel each round, as after a delivery with news.
    void Feed() {
        ++round;
        channel.Clear();
        channel.SetDescription("ticker one|ticker two");
        channel.SetLink("http://127.0.0.1/1|http://127.0.0.1/2");
        const char* pictures[] = {"/left.png", "/right.png"};
        for (int i = 0; i < 2; ++i) {
            FeedItem item;
            item.SetHeadline("Headline " + std::to_string(round) + "-" + std::to_string(i));
            item.SetDetail("A detail line of the item that runs over two lines of the card.");
            item.SetLink(server.Address("/item").toStdString());
            item.SetImage(server.Address(pictures[i]).toStdString());
            channel.AppendCopy(item);
        }
        popup.SetChannel(channel);
    }
};

Fixture* fixture = nullptr;

// Lets the event loop run (and sleep between events) for `ms`.
void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool ColorsOnScreen() {
    const CNewsPopup& p = fixture->popup;
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, p.x() + 250, p.y() + 80, 292, 158)
                            .toImage();
    bool left = false, right = false;
    for (int y = 0; y < shot.height() && !(left && right); y += 2)
        for (int x = 0; x < shot.width(); x += 2) {
            const QColor c = shot.pixelColor(x, y);
            left = left || c == kLeftColor;
            right = right || c == kRightColor;
        }
    return left && right;
}

// Seconds from the posted open to both pictures painted; also the slide's end.
double OpenUntilPainted(double& afterSlideEnd) {
    CNewsPopup& p = fixture->popup;
    const QPoint open(p.Positions().openX, p.Positions().openY);
    QElapsedTimer t;
    t.start();
    QCoreApplication::postEvent(&p, new QEvent(UM_POPUP_OPEN));
    qint64 slideEnd = -1;
    while (t.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (slideEnd < 0 && p.pos() == open) slideEnd = t.nsecsElapsed();
        if (slideEnd >= 0 && ColorsOnScreen()) break;
    }
    const qint64 end = t.nsecsElapsed();
    afterSlideEnd = (end - slideEnd) / 1e9;
    return end / 1e9;
}

void ParkAndSettle() {
    fixture->popup.Park();
    Spin(300);
}

// PSS of this process and all its descendants, in MiB.
double TreePssMiB() {
    std::vector<int> tree = {getpid()};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const QDir proc("/proc");
        for (const QString& entry : proc.entryList(QDir::Dirs)) {
            bool ok = false;
            const int pid = entry.toInt(&ok);
            if (!ok) continue;
            QFile stat("/proc/" + entry + "/stat");
            if (!stat.open(QIODevice::ReadOnly)) continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toInt() == tree[i]) tree.push_back(pid);
        }
    }
    double kib = 0;
    const bool verbose = !qEnvironmentVariableIsEmpty("VELMORA_BENCH_VERBOSE");
    for (const int pid : tree) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : rollup.readAll().split('\n')) {
            if (!line.startsWith("Pss:")) continue;
            const double own = line.mid(4).trimmed().split(' ')[0].toDouble();
            kib += own;
            if (!verbose) continue;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            cmdline.open(QIODevice::ReadOnly);
            std::fprintf(stderr, "  pid %d pss %.1f MiB %s\n", pid, own / 1024,
                         cmdline.readAll().replace('\0', ' ').left(100).constData());
        }
    }
    return kib / 1024.0;
}

// CPU seconds (user + system) of the process tree so far.
double TreeCpuSeconds() {
    double ticks = 0;
    const QDir proc("/proc");
    std::vector<int> tree = {getpid()};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const QString& entry : proc.entryList(QDir::Dirs)) {
            QFile stat("/proc/" + entry + "/stat");
            if (!stat.open(QIODevice::ReadOnly)) continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toInt() == tree[i]) tree.push_back(entry.toInt());
        }
    for (const int pid : tree) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12) ticks += fields[11].toDouble() + fields[12].toDouble();
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double IdleCpuPercent(int seconds) {
    const double before = TreeCpuSeconds();
    Spin(seconds * 1000);
    return 100.0 * (TreeCpuSeconds() - before) / seconds;
}

void BM_ParkedBeforeFirstOpen(benchmark::State& state) {
    for (auto _ : state) Spin(2000);
    state.counters["engine_exists"] = fixture->popup.Cards() != nullptr;
    if (const char* script = std::getenv("VELMORA_BENCH_SMAPS"))
        std::system((std::string("python3 ") + script + " " + std::to_string(getpid())).c_str());
    state.counters["pss_MiB"] = TreePssMiB();
    state.counters["idle_cpu_pct"] = IdleCpuPercent(60);
}

void BM_FirstOpenUntilCardsPainted(benchmark::State& state) {
    double afterSlide = 0;
    for (auto _ : state) state.SetIterationTime(OpenUntilPainted(afterSlide));
    state.counters["after_slide_end_ms"] = afterSlide * 1000;
    Spin(2000);
    state.counters["pss_open_MiB"] = TreePssMiB();
}

void BM_LaterOpenUntilCardsPainted(benchmark::State& state) {
    double worstAfterSlide = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ParkAndSettle();
        fixture->Feed();
        state.ResumeTiming();
        double afterSlide = 0;
        state.SetIterationTime(OpenUntilPainted(afterSlide));
        worstAfterSlide = std::max(worstAfterSlide, afterSlide);
    }
    state.counters["worst_after_slide_end_ms"] = worstAfterSlide * 1000;
}

void BM_ParkedAfterRelease(benchmark::State& state) {
    for (auto _ : state) {
        fixture->popup.SetCardReleaseDelay(1000);
        ParkAndSettle();
        Spin(8000);
    }
    state.counters["engine_released"] = fixture->popup.Cards() == nullptr;
    if (const char* script = std::getenv("VELMORA_BENCH_SMAPS"))
        std::system((std::string("python3 ") + script + " " + std::to_string(getpid())).c_str());
    state.counters["pss_MiB"] = TreePssMiB();
    state.counters["idle_cpu_pct"] = IdleCpuPercent(60);
}

void BM_OpenAfterRelease(benchmark::State& state) {
    double afterSlide = 0;
    for (auto _ : state) state.SetIterationTime(OpenUntilPainted(afterSlide));
    state.counters["after_slide_end_ms"] = afterSlide * 1000;
}

// Ten minutes parked with the program's own release delay, as the user sees it;
// only with VELMORA_BENCH_TEN_MINUTES set.
void BM_ParkedTenMinutesAfterClosing(benchmark::State& state) {
    for (auto _ : state) {
        fixture->popup.SetCardReleaseDelay(300000);
        double afterSlide = 0;
        OpenUntilPainted(afterSlide);
        fixture->popup.OnCommand(kLogoCommand);  // slides out
        Spin(600000);
    }
    state.counters["engine_released"] = fixture->popup.Cards() == nullptr;
    state.counters["pss_MiB"] = TreePssMiB();
}

BENCHMARK(BM_ParkedBeforeFirstOpen)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstOpenUntilCardsPainted)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LaterOpenUntilCardsPainted)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParkedAfterRelease)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAfterRelease)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    if (qgetenv("VELMORA_UNDER_XVFB").isEmpty()) {
        velmora::test_support::RunAgainUnderXvfb(argc, argv);
        return 1;
    }
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    velmora::Fixture fixture;
    velmora::fixture = &fixture;
    if (!qEnvironmentVariableIsEmpty("VELMORA_BENCH_TEN_MINUTES"))
        benchmark::RegisterBenchmark("BM_ParkedTenMinutesAfterClosing",
                                     velmora::BM_ParkedTenMinutesAfterClosing)
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QCoreApplication::removePostedEvents(nullptr, QEvent::Quit);
    return 0;
}
