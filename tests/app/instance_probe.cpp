// A stand-in for the program in the two-process tests of the single instance:
//   instance_probe FOLDER NAME hold       take the lock, answer second starts, print
//                                         "got <n>" for each message, "ready" once set up
//   instance_probe FOLDER NAME late MS    the same, but take the messages only MS
//                                         milliseconds after "ready" (a slow start)
//   instance_probe FOLDER NAME silent     hold the lock file only, never listen
//   instance_probe FOLDER NAME start [MS] print first, handed-over, no-answer or
//                                         unusable (with the problem) and exit; MS is
//                                         the hand-over wait. An empty FOLDER is the
//                                         runtime folder; each note comes first
//   instance_probe FOLDER NAME late-start MS    the same, MS milliseconds after starting
//   instance_probe FOLDER NAME quit       hand over 終了; as the first copy print
//                                         "first", then whether a starting copy
//                                         handed over to it
// The holders run until their standard input closes.

#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QLockFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "app/menu_commands.h"
#include "app/single_instance.h"

namespace {

class Receiver : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() < QEvent::User) return QObject::event(e);
        std::printf("got %d\n", static_cast<int>(e->type()));
        std::fflush(stdout);
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    using velmora::SingleInstance;
    QCoreApplication app(argc, argv);
    if (argc < 4) return 2;
    SingleInstance instance(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[1]));
    const QByteArray mode = argv[3];
    const int ms = argc > 4 ? QByteArray(argv[4]).toInt() : -1;
    if (mode == "late-start") QThread::msleep(static_cast<unsigned long>(ms));
    if (mode == "quit") {
        instance.SetHandOverCommand(velmora::kCmdExit);
        if (instance.Acquire() != SingleInstance::Start::First) return 1;
        std::puts("first");
        std::puts(instance.AwaitStartingCopy() ? "a starting copy handed over" : "none starting");
        return 0;
    }
    if (mode == "start" || mode == "late-start") {
        if (ms >= 0 && mode == "start") instance.SetHandOverWaitMs(ms);
        const SingleInstance::Start start = instance.Acquire();
        for (const QString& note : instance.Notes()) std::printf("note: %s\n", qPrintable(note));
        switch (start) {
            case SingleInstance::Start::First:
                std::puts("first");
                break;
            case SingleInstance::Start::HandedOver:
                std::puts("handed-over");
                break;
            case SingleInstance::Start::NoAnswer:
                std::printf("no-answer: %s\n", qPrintable(instance.Problem()));
                break;
            case SingleInstance::Start::Unusable:
                std::printf("unusable: %s\n", qPrintable(instance.Problem()));
                break;
        }
        return 0;
    }
    QLockFile silentLock(instance.LockPath());
    Receiver receiver;
    if (mode == "silent") {
        if (!silentLock.tryLock(0)) return 1;
    } else {
        if (instance.Acquire() != SingleInstance::Start::First) {
            std::printf("not-first: %s\n", qPrintable(instance.Problem()));
            return 1;
        }
        if (mode == "hold" && !instance.Listen(&receiver)) return 1;
        if (mode == "late") {
            QTimer::singleShot(ms, &app, [&] {
                if (!instance.Listen(&receiver)) QCoreApplication::exit(1);
            });
        }
    }
    std::puts("ready");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c;
        if (read(STDIN_FILENO, &c, 1) <= 0) QCoreApplication::quit();
    });
    return app.exec();
}
