// Mouse gestures over the picture area, reported in the pixels of its bitmap:
// a rectangle dragged with the left button, the wheel, and a drag with the
// middle button, during which the picture follows the mouse.
#pragma once

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QRubberBand>

#include "Vcl.h"

class TPictureGestures : public QObject {
  Q_OBJECT

 public:
  explicit TPictureGestures(TImage& picture);

 signals:
  // A rectangle dragged; it has the picture's proportions unless Shift was held.
  void AreaChosen(QRectF area);
  // Whole wheel notches at a point: positive away from the user.
  void Wheeled(QPointF at, int notches);
  // The picture dragged by `shift`.
  void Dragged(QPointF shift);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QRectF Band(QPointF to, bool freeShape) const;

  TImage& picture_;
  QRubberBand band_;
  QPointF from_;
  Qt::MouseButton dragging_ = Qt::NoButton;
  int wheelAngle_ = 0;  // eighths of a degree not yet a whole notch
};
