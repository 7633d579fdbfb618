#pragma once
// Base of the popup's windows: a widget that can take the shape of a skin
// bitmap and receives the commands of its child buttons.

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "core/popup/bitmap_region.h"

namespace velmora {

class CSkinWnd : public QWidget {
    Q_OBJECT
  public:
    explicit CSkinWnd(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // The id a child control reports with its clicks; 0 for none.
    int GetControlId() const { return controlId_; }
    // The parent window's object, or nullptr when there is none.
    CSkinWnd* GetParentObject() const;

    // The window takes the shape of the bitmap's non-key pixels and the
    // bitmap's size. False, and nothing changed, for a null bitmap.
    bool SetBitmapRegion(const QImage& bitmap, std::uint32_t keyColor = kKeyColor);

    // A click of child control `id`; the base ignores it.
    virtual void OnCommand(int id);

    // Redraws the whole window at once.
    void Repaint() { repaint(); }

  protected:
    void SetControlId(int id) { controlId_ = id; }

  private:
    int controlId_ = 0;
};

// The bitmap with its key-coloured pixels transparent, for masked drawing.
QImage WithTransparentKey(const QImage& bitmap, std::uint32_t keyColor = kKeyColor);

}  // namespace velmora
