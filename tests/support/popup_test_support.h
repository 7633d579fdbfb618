#pragma once
// Helpers shared by the popup's Qt tests.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/feed/feed_channel.h"
#include "core/feed/feed_item.h"
#include "core/popup/openable_address.h"

namespace velmora::test_support {

// Runs the event loop until `done` or `timeoutMs` passes; tells whether it got done.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct TestItem {
    std::string headline, detail, link, image;
};

inline void FillChannel(FeedChannel& channel, const std::vector<TestItem>& items,
                        std::string description = "", std::string link = "") {
    channel.Clear();
    channel.SetDescription(description);
    channel.SetLink(link);
    for (const TestItem& t : items) {
        FeedItem item;
        item.SetHeadline(t.headline);
        item.SetDetail(t.detail);
        item.SetLink(t.link);
        item.SetImage(t.image);
        channel.AppendCopy(item);
    }
}

// Records what the popup hands to the desktop's browser.
struct LaunchLog {
    std::vector<std::pair<std::string, AddressOrigin>> calls;
    auto Launcher() {
        return [this](const std::string& address, AddressOrigin origin) {
            calls.emplace_back(address, origin);
            return true;
        };
    }
};

inline void SendMouse(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButton button,
                      QPoint global = QPoint(-1, -1)) {
    if (global == QPoint(-1, -1)) global = widget->mapToGlobal(local);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(local), QPointF(global),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

inline void Click(QWidget* widget, QPoint local, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(widget, QEvent::MouseButtonPress, local, button);
    SendMouse(widget, QEvent::MouseButtonRelease, local, button);
}

}  // namespace velmora::test_support
