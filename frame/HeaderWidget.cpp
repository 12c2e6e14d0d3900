#include "frame/HeaderWidget.h"

HeaderWidget::HeaderWidget(QWidget *parent)
    : QWidget(parent), mousePressed(false), minimizeButton(nullptr), closeButton(nullptr),
      helpButton(nullptr), helpWidget(nullptr)
{
}
void HeaderWidget::onMinimize() {}
void HeaderWidget::onHelpPressed() {}
void HeaderWidget::buildContents() {}
void HeaderWidget::mousePressEvent(QMouseEvent *) {}
void HeaderWidget::mouseReleaseEvent(QMouseEvent *) {}
void HeaderWidget::mouseMoveEvent(QMouseEvent *) {}
void HeaderWidget::paintEvent(QPaintEvent *event) { QWidget::paintEvent(event); }
