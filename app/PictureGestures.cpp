#include "PictureGestures.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace {
// A smaller rectangle is taken for a click.
constexpr double kLeastBand = 3;
// Wheel angle of one notch, in eighths of a degree.
constexpr int kNotch = 120;
}  // namespace

TPictureGestures::TPictureGestures(TImage& picture)
    : QObject(&picture), picture_(picture), band_(QRubberBand::Rectangle, &picture) {
  band_.setAccessibleName(tr("Zaznaczenie"));
  picture.installEventFilter(this);
}

QRectF TPictureGestures::Band(QPointF to, bool freeShape) const {
  QPointF size = to - from_;
  if (!freeShape && picture_.height() > 0) {
    const double aspect = double(picture_.width()) / picture_.height();
    double w = std::abs(size.x()), h = std::abs(size.y());
    if (w > h * aspect)
      h = w / aspect;
    else
      w = h * aspect;
    size = {std::copysign(w, size.x()), std::copysign(h, size.y())};
  }
  return QRectF(from_, from_ + size).normalized();
}

bool TPictureGestures::eventFilter(QObject*, QEvent* event) {
  const qreal ratio = picture_.devicePixelRatio();
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (dragging_ != Qt::NoButton || (mouse->button() != Qt::LeftButton && mouse->button() != Qt::MiddleButton))
        return false;
      dragging_ = mouse->button();
      from_ = mouse->position();
      return true;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (dragging_ == Qt::LeftButton) {
        band_.setGeometry(Band(mouse->position(), mouse->modifiers() & Qt::ShiftModifier).toRect());
        band_.show();
      } else if (dragging_ == Qt::MiddleButton) {
        picture_.ShowShifted((mouse->position() - from_).toPoint());
      }
      return dragging_ != Qt::NoButton;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != dragging_) return false;
      dragging_ = Qt::NoButton;
      if (mouse->button() == Qt::LeftButton) {
        band_.hide();
        const QRectF band = Band(mouse->position(), mouse->modifiers() & Qt::ShiftModifier);
        if (band.width() >= kLeastBand && band.height() >= kLeastBand)
          emit AreaChosen(QRectF(band.topLeft() * ratio, band.bottomRight() * ratio));
      } else {
        picture_.ShowShifted({});
        const QPointF shift = (mouse->position() - from_).toPoint();
        if (!shift.isNull()) emit Dragged(shift * ratio);
      }
      return true;
    }
    case QEvent::Wheel: {
      auto* wheel = static_cast<QWheelEvent*>(event);
      wheelAngle_ += wheel->angleDelta().y();
      const int notches = wheelAngle_ / kNotch;
      wheelAngle_ -= notches * kNotch;
      if (notches != 0) emit Wheeled(wheel->position() * ratio, notches);
      return true;
    }
    default:
      return false;
  }
}
