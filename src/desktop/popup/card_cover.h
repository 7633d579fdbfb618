#pragma once
// What the card area shows while the web engine has not painted the cards:
// a picture of them as they were last painted when it shows the same items,
// otherwise a plain drawing of the two cards' headlines and details in the
// cards' colours. Never an empty box.

#include <QImage>
#include <QWidget>
#include <cstddef>
#include <vector>

#include "core/popup/card_record.h"

namespace velmora {

class CardCover : public QWidget {
    Q_OBJECT
  public:
    // `area` is the visible part of the cards in `popup`'s coordinates.
    CardCover(QWidget* popup, QRect area);

    // The cards to show: items `page` and `page` + 1.
    void SetCards(const std::vector<CardRecord>& items, std::size_t page);
    // A picture of the cards now painted, with the items it shows.
    void SetPicture(const QImage& picture, const std::vector<CardRecord>& items, std::size_t page);
    // True while the picture shows the cards that are to be shown.
    bool ShowsPicture() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    static std::vector<CardRecord> Pair(const std::vector<CardRecord>& items, std::size_t page);
    void DrawCard(QPainter& painter, const CardRecord& card, int left);

    std::vector<CardRecord> cards_;  // the left and the right card; fewer when empty
    std::vector<CardRecord> pictureCards_;
    QImage picture_;
    QImage placeholder_;
};

}  // namespace velmora
