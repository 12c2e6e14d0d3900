#include "ads/AdvWidget.h"

#include "ads/AdvData.h"

std::shared_ptr<AdvData> AdvWidget::advData;
int AdvWidget::nextIndex = 0;
bool AdvWidget::counting = true;

AdvWidget::AdvWidget(bool isPopup, QWidget *parent)
    : QDialog(parent), mainLayout(nullptr), timerLabel(nullptr), closeAdvButton(nullptr),
      countdownTimer(nullptr), advLabel(nullptr), secondsLeft(0), isPopup(isPopup)
{
}
void AdvWidget::startAdv(int) {}
QUrl AdvWidget::currentUrl() const { return advUrl; }
int AdvWidget::nextAdvIndex() { return nextIndex; }
void AdvWidget::onAdvClicked() {}
void AdvWidget::updateTimer() {}
void AdvWidget::mousePressEvent(QMouseEvent *) {}
void AdvWidget::loadNextAdv() {}
