#pragma once

#include <QWidget>

// The card's background: a rounded rectangle inset by half a point, filled
// with the palette's base colour and outlined in a one-point separator line.
class CardView : public QWidget {
    Q_OBJECT
  public:
    explicit CardView(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
