#pragma once
// What the tool sheet asks of the news popup: its three messages and the
// foreground call. Each desktop's popup stands behind it; tests record the calls.

namespace velmora {

class FeedChannel;

class PopupPort {
  public:
    virtual ~PopupPort() = default;
    // UM_POPUP_SETCHANNEL, sent.
    virtual void SetChannel(const FeedChannel& channel) = 0;
    // UM_POPUP_SHOWTAB, sent.
    virtual void ShowTab() = 0;
    // UM_POPUP_OPEN, posted: the popup slides in later.
    virtual void PostOpen() = 0;
    // The same on the user's request (a tray click, --news): the popup then
    // takes the keyboard. One that slides in on its own never does.
    virtual void PostOpenForUser() { PostOpen(); }
    virtual void BringToForeground() = 0;
    // The popup is about to open: it may get ready to show its cards.
    virtual void PrepareOpen() {}
};

}  // namespace velmora
