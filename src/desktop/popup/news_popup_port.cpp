#include <QCoreApplication>
#include <QEvent>

#include "desktop/common/messages.h"
#include "desktop/popup/news_popup.h"
#include "desktop/popup/popup_port.h"

namespace velmora {
namespace {

class NewsPopupPort final : public PopupPort {
  public:
    NewsPopupPort() : popup_(std::make_unique<CNewsPopup>()) {}

    bool Create() {
        if (!popup_->CreatePopup()) return false;
        popup_->show();
        return true;
    }
    void SetChannel(const FeedChannel& channel) override { popup_->SetChannel(channel); }
    void ShowTab() override { popup_->ShowTab(); }
    void PostOpen() override {
        QCoreApplication::postEvent(popup_.get(), new PopupOpenEvent(false));
    }
    void PostOpenForUser() override {
        QCoreApplication::postEvent(popup_.get(), new PopupOpenEvent(true));
    }
    void BringToForeground() override { popup_->BringToForeground(); }
    void PrepareOpen() override { popup_->PrepareOpen(); }

  private:
    std::unique_ptr<CNewsPopup> popup_;
};

}  // namespace

std::unique_ptr<PopupPort> MakeNewsPopup() {
    auto port = std::make_unique<NewsPopupPort>();
    if (!port->Create()) return nullptr;
    return port;
}

}  // namespace velmora
