#pragma once
// The user list's icon strip: 70 pictures of 28 x 14 pixels, each drawn when
// first asked for.
#include <QPixmap>
#include <vector>

namespace tolvik::ui {

// Slots 0..18 are the product and status pictures, 19..38 the level pictures
// (19 + level), 39..57 grey versions of 0..18 for idle users, 58..69 empty.
class UserIcons {
 public:
  static constexpr int kCount = 70;
  static constexpr int kWidth = 28;
  static constexpr int kHeight = 14;
  static constexpr int kProductIcons = 19;
  static constexpr int kLevelBase = 19;
  static constexpr int kLevels = 20;
  static constexpr int kIdleBase = 39;
  // The level pictures keep their content in this many pixels on the left,
  // so a level column this narrow still shows all of it.
  static constexpr int kLevelPictureWidth = 10;

  // Needs a QGuiApplication (the pictures are pixmaps). Drawn for
  // `devicePixelRatio` device pixels per logical pixel (the screen's by
  // default), so they stay sharp on dense screens; sizes above are logical.
  explicit UserIcons(qreal devicePixelRatio = 0);

  // The picture in `slot`; a null pixmap outside 0..69.
  QPixmap pixmap(int slot) const;
  // The whole strip, slot 0 on the left (kCount * kWidth by kHeight logical
  // pixels), put together when asked for.
  QPixmap strip() const;
  // The slot of a level's picture, or -1 when the level has none (outside 0..19).
  static int levelSlot(int level);

 private:
  qreal ratio_;
  mutable std::vector<QPixmap> slots_;  // null until drawn
};

}  // namespace tolvik::ui
