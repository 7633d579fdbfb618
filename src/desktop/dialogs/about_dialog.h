#pragma once
// The About dialog "ﾊﾞｰｼﾞｮﾝ情報": name and version, the client's identities
// and delivery number beside the program's icon.

#include <QDialog>
#include <QImage>
#include <string>

class QLabel;

namespace velmora {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Filled by the sheet before each run (CP932).
    std::string groupId;
    std::string clientId;
    std::string deliveryLabel;
    std::string deliveryNo;
    std::string titleLine;

    // The "NormalIcon" path (CP932) the icon is loaded from at every paint.
    void SetNormalIconPath(const std::string& cp932Path) { iconPath_ = cp932Path; }

    int DoModal();
    // Writes the five fields into their controls.
    void UpdateControls();

    // The icon the next paint draws: 32×32 from the "NormalIcon" file, or the
    // built-in icon 128 when the file gives none (paths of 260 bytes or more
    // are refused).
    QImage LoadAboutIcon() const;
    QLabel* Field(int id) const;

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string iconPath_;
    QRect iconAnchor_;
    QLabel* groupIdLabel_ = nullptr;
    QLabel* clientIdLabel_ = nullptr;
    QLabel* deliveryLabelLabel_ = nullptr;
    QLabel* deliveryNoLabel_ = nullptr;
    QLabel* titleLabel_ = nullptr;
};

}  // namespace velmora
