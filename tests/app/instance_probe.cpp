// A stand-in for the program in the two-process tests of the single instance:
//   instance_probe FOLDER NAME hold      take the lock, answer second starts, print
//                                        "got <n>" for each message, "ready" once set up
//   instance_probe FOLDER NAME starting  take the lock but do not answer yet
//   instance_probe FOLDER NAME start     print first, handed-over or no-answer and exit
// The holders run until their standard input closes.

#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <cstdio>

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
    QCoreApplication app(argc, argv);
    if (argc != 4) return 2;
    velmora::SingleInstance instance(QString::fromLocal8Bit(argv[2]),
                                     QString::fromLocal8Bit(argv[1]));
    const QByteArray mode = argv[3];
    const velmora::SingleInstance::Start start = instance.Acquire();
    if (mode == "start") {
        switch (start) {
            case velmora::SingleInstance::Start::First:
                std::puts("first");
                break;
            case velmora::SingleInstance::Start::HandedOver:
                std::puts("handed-over");
                break;
            case velmora::SingleInstance::Start::NoAnswer:
                std::puts("no-answer");
                break;
        }
        return 0;
    }
    if (start != velmora::SingleInstance::Start::First) {
        std::puts("not-first");
        return 1;
    }
    Receiver receiver;
    if (mode == "hold" && !instance.Listen(&receiver)) return 1;
    std::puts("ready");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c;
        if (read(STDIN_FILENO, &c, 1) <= 0) QCoreApplication::quit();
    });
    return app.exec();
}
