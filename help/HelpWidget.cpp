#include "help/HelpWidget.h"

HelpWidget::HelpWidget() : titleLabel(nullptr), textLabel(nullptr) {}
QString HelpWidget::titleText() { return {}; }
QString HelpWidget::helpText() { return {}; }
void HelpWidget::paintEvent(QPaintEvent *event) { QWidget::paintEvent(event); }
