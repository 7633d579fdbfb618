// The news popup on a real X server (runs itself under xvfb-run):
//  - time from UM_POPUP_OPEN to both card pictures on the screen, the first
//    time (the web engine starts) and later times (a new channel each time),
//    the time from the end of the slide-in to the live cards, and how many of
//    the frames sampled during the slide showed a blank card area;
//  - proportional set size of the process tree parked before the first open,
//    open, and parked again after the web engine was given back;
//  - CPU time and wake-ups (context switches of all threads) of the process
//    tree while parked: before the first open, after news with the web engine
//    still kept, and after it was given back.

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
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/feed/feed_channel.h"
#include "desktop/common/messages.h"
#include "desktop/popup/card_area.h"
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

// The live web engine has painted the cards (not a stand-in picture).
bool CardsLive() {
    return fixture->popup.CardsLive();
}

// The part of the card area that is on the screen shows nothing but one
// colour; judged only once enough of it has come in to hold a card's edge.
std::optional<bool> CardAreaBlank() {
    const CNewsPopup& p = fixture->popup;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect area = QRect(p.x() + 250, p.y() + 80, 292, 158).intersected(screen);
    if (area.width() < 20) return std::nullopt;
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .toImage();
    const QRgb first = shot.pixel(0, 0);
    int other = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) other += shot.pixel(x, y) != first;
    return other * 200 < shot.width() * shot.height();
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

struct OpenFigures {
    double afterSlideEnd = 0;  // seconds from the end of the slide to the live cards
    int frames = 0;            // card area samples until the live cards
    int blankFrames = 0;
};

// Seconds from the posted open to both pictures painted by the live cards.
double OpenUntilPainted(OpenFigures& figures) {
    CNewsPopup& p = fixture->popup;
    const QPoint open(p.Positions().openX, p.Positions().openY);
    QElapsedTimer t;
    t.start();
    QCoreApplication::postEvent(&p, new QEvent(UM_POPUP_OPEN));
    qint64 slideEnd = -1;
    figures = {};
    while (t.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (slideEnd < 0 && p.pos() == open) slideEnd = t.nsecsElapsed();
        const bool live = slideEnd >= 0 && CardsLive() && ColorsOnScreen();
        if (const std::optional<bool> blank = CardAreaBlank()) {
            ++figures.frames;
            figures.blankFrames += *blank;
        }
        if (live) break;
    }
    const qint64 end = t.nsecsElapsed();
    figures.afterSlideEnd = (end - slideEnd) / 1e9;
    return end / 1e9;
}

void Report(benchmark::State& state, const OpenFigures& f) {
    state.counters["after_slide_end_ms"] = f.afterSlideEnd * 1000;
    state.counters["frames"] = f.frames;
    state.counters["blank_frames"] = f.blankFrames;
}

void ParkAndSettle() {
    fixture->popup.Park();
    Spin(300);
}

// This process and all its descendants.
std::vector<int> Tree() {
    std::vector<int> tree = {getpid()};
    const QDir proc("/proc");
    for (std::size_t i = 0; i < tree.size(); ++i)
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
    return tree;
}

// PSS of this process and all its descendants, in MiB.
double TreePssMiB() {
    const std::vector<int> tree = Tree();
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
    for (const int pid : Tree()) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12) ticks += fields[11].toDouble() + fields[12].toDouble();
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Context switches of every thread of the process tree so far, by thread id.
std::map<int, long long> TreeSwitches() {
    std::map<int, long long> byThread;
    for (const int pid : Tree()) {
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile status(tasks.filePath(task + "/status"));
            if (!status.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("voluntary_ctxt_switches:") ||
                    line.startsWith("nonvoluntary_ctxt_switches:"))
                    byThread[task.toInt()] +=
                        line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return byThread;
}

// Wake-ups between two readings; a thread that ended in between is not counted.
long long WakeupsBetween(const std::map<int, long long>& before,
                         const std::map<int, long long>& after) {
    long long woke = 0;
    for (const auto& [tid, switches] : after) {
        const auto then = before.find(tid);
        woke += switches - (then == before.end() ? 0 : then->second);
    }
    return woke;
}

// After `settle` seconds, the CPU share and wake-ups per second of the tree over `seconds`.
void IdleFigures(benchmark::State& state, int settle, int seconds) {
    Spin(settle * 1000);
    const double cpu = TreeCpuSeconds();
    const std::map<int, long long> switches = TreeSwitches();
    Spin(seconds * 1000);
    state.counters["idle_cpu_pct"] = 100.0 * (TreeCpuSeconds() - cpu) / seconds;
    state.counters["wakeups_per_s"] =
        static_cast<double>(WakeupsBetween(switches, TreeSwitches())) / seconds;
}

int SettleSeconds() {
    const QByteArray s = qgetenv("VELMORA_BENCH_SETTLE");
    return s.isEmpty() ? 20 : s.toInt();
}

int IdleSeconds() {
    const QByteArray s = qgetenv("VELMORA_BENCH_IDLE");
    return s.isEmpty() ? 60 : s.toInt();
}

void BM_ParkedBeforeFirstOpen(benchmark::State& state) {
    for (auto _ : state) Spin(2000);
    state.counters["engine_exists"] = fixture->popup.Cards() != nullptr;
    if (const char* script = std::getenv("VELMORA_BENCH_SMAPS"))
        std::system((std::string("python3 ") + script + " " + std::to_string(getpid())).c_str());
    state.counters["pss_MiB"] = TreePssMiB();
    IdleFigures(state, SettleSeconds(), IdleSeconds());
}

void BM_FirstOpenUntilCardsPainted(benchmark::State& state) {
    OpenFigures f;
    for (auto _ : state) state.SetIterationTime(OpenUntilPainted(f));
    Report(state, f);
    Spin(2000);
    state.counters["pss_open_MiB"] = TreePssMiB();
}

void BM_LaterOpenUntilCardsPainted(benchmark::State& state) {
    OpenFigures worst;
    int frames = 0, blank = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ParkAndSettle();
        fixture->Feed();
        state.ResumeTiming();
        OpenFigures f;
        state.SetIterationTime(OpenUntilPainted(f));
        frames += f.frames;
        blank += f.blankFrames;
        if (f.afterSlideEnd > worst.afterSlideEnd) worst = f;
    }
    // The slowest open, and the frames of all of them.
    worst.frames = frames;
    worst.blankFrames = blank;
    Report(state, worst);
}

// Parked after news with the web engine still kept for the next open.
void BM_ParkedAfterNews(benchmark::State& state) {
    for (auto _ : state) {
        fixture->popup.SetCardReleaseDelay(3600000);
        ParkAndSettle();
    }
    state.counters["engine_kept"] = fixture->popup.Cards() != nullptr;
    IdleFigures(state, SettleSeconds(), IdleSeconds());
    state.counters["engine_stopped"] = fixture->popup.Cards() && fixture->popup.Cards()->Paused();
    state.counters["pss_MiB"] = TreePssMiB();
}

// The next open, with the parked web engine stopped meanwhile (when it is).
void BM_OpenAfterPause(benchmark::State& state) {
    OpenFigures f;
    for (auto _ : state) state.SetIterationTime(OpenUntilPainted(f));
    Report(state, f);
    fixture->popup.SetCardReleaseDelay(300000);
}

void BM_ParkedAfterRelease(benchmark::State& state) {
    for (auto _ : state) {
        fixture->popup.SetCardReleaseDelay(1000);
        fixture->popup.Park();
        Spin(8000);
    }
    state.counters["engine_released"] = fixture->popup.Cards() == nullptr;
    if (const char* script = std::getenv("VELMORA_BENCH_SMAPS"))
        std::system((std::string("python3 ") + script + " " + std::to_string(getpid())).c_str());
    state.counters["pss_MiB"] = TreePssMiB();
    IdleFigures(state, SettleSeconds(), IdleSeconds());
}

void BM_OpenAfterRelease(benchmark::State& state) {
    OpenFigures f;
    for (auto _ : state) state.SetIterationTime(OpenUntilPainted(f));
    Report(state, f);
}

// Ten minutes parked with the program's own release delay, as the user sees it;
// only with VELMORA_BENCH_TEN_MINUTES set.
void BM_ParkedTenMinutesAfterClosing(benchmark::State& state) {
    for (auto _ : state) {
        fixture->popup.SetCardReleaseDelay(300000);
        OpenFigures f;
        OpenUntilPainted(f);
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
BENCHMARK(BM_ParkedAfterNews)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAfterPause)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParkedAfterRelease)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAfterRelease)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    velmora::test_support::PrivateXServer server;
    const std::string display = server.Start();
    if (display.empty()) {
        std::fprintf(stderr, "bench_popup: needs Xvfb to paint on\n");
        return 1;
    }
    ::setenv("DISPLAY", display.c_str(), 1);
    qputenv("QT_QPA_PLATFORM", "xcb");
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
