#include "ads/AdvWidget.h"

#include "ads/AdvData.h"

#include "ui/AccessibleRole.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <iterator>

std::shared_ptr<AdvData> AdvWidget::advData;
int AdvWidget::nextIndex = 0;
bool AdvWidget::counting = true;

AdvWidget::AdvWidget(bool isPopup, QWidget *parent)
    : QDialog(parent)
    , mainLayout(new QVBoxLayout(this))
    , timerLabel(nullptr)
    , closeAdvButton(nullptr)
    , countdownTimer(nullptr)
    , advLabel(new QLabel)
    , secondsLeft(0)
    , isPopup(isPopup)
{
    // A dialog only as a pop-up; in the window it is a panel of it.
    if (!isPopup)
        AccessibleRole::set(this, QAccessible::Pane);
    setAccessibleName(QStringLiteral("Advertisement"));
    advLabel->setCursor(Qt::PointingHandCursor);
    if (isPopup) {
        timerLabel = new QLabel;
        closeAdvButton = new QPushButton(QStringLiteral("close"));
        // Owned by the panel so that it goes with it.
        countdownTimer = new QTimer(this);
    }
    loadNextAdv();
    if (isPopup) {
        connect(countdownTimer, &QTimer::timeout, this, &AdvWidget::updateTimer);
        connect(closeAdvButton, &QPushButton::clicked, this, &QWidget::hide);
    }
}

void AdvWidget::startAdv(int seconds)
{
    if (isPopup) {
        secondsLeft = seconds;
        countdownTimer->start();
        setWindowModality(Qt::ApplicationModal);
        show();
    }
    loadNextAdv();
}

QUrl AdvWidget::currentUrl() const
{
    return advUrl;
}

int AdvWidget::nextAdvIndex()
{
    return nextIndex;
}

void AdvWidget::onAdvClicked()
{
    QDesktopServices::openUrl(advUrl);
}

void AdvWidget::updateTimer()
{
    if (counting) {
        timerLabel->setText(QStringLiteral("Please wait for ") + QString::number(secondsLeft)
                            + QStringLiteral(" seconds..."));
        --secondsLeft;
        if (secondsLeft < 1)
            counting = false;
        return;
    }
    countdownTimer->stop();
    timerLabel->hide();
    closeAdvButton->show();
    counting = true;
}

void AdvWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && advLabel->geometry().contains(event->position().toPoint()))
        QDesktopServices::openUrl(advUrl);
}

namespace {

// The drawing at twice the size where the screen has the pixels for it.
QPixmap logoFor(const QString &path, qreal ratio)
{
    QString sharper = path;
    sharper.insert(sharper.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
    if (ratio <= 1.0 || !QFile::exists(sharper))
        return QPixmap(path);
    QPixmap pixmap(sharper);
    pixmap.setDevicePixelRatio(2.0);
    return pixmap;
}

} // namespace

void AdvWidget::loadNextAdv()
{
    if (!advData)
        advData = std::make_shared<AdvData>();
    const std::shared_ptr<AdvData> data = advData;

    const int count = int(data->advs.size());
    const int index = nextIndex % count;
    ++nextIndex;
    const auto entry = std::next(data->advs.begin(), index);

    advLabel->setPixmap(logoFor(entry->first, advLabel->devicePixelRatioF()));
    advUrl = QUrl(entry->second);
    // The logo is a picture: say in words whose it is and where a click goes.
    advLabel->setAccessibleName(QFileInfo(entry->first).completeBaseName());
    advLabel->setToolTip(advUrl.toString());

    mainLayout->setContentsMargins(0, 0, 0, 20);
    // Added once: adding a widget again would pile up layout items, one per load.
    const bool firstLoad = mainLayout->indexOf(advLabel) < 0;
    if (firstLoad)
        mainLayout->addWidget(advLabel, 0, Qt::AlignHCenter);
    if (isPopup) {
        timerLabel->setText(QStringLiteral("Please wait for 10 seconds..."));
        if (firstLoad) {
            mainLayout->addWidget(closeAdvButton, 1, Qt::AlignHCenter);
            mainLayout->addWidget(timerLabel, 1, Qt::AlignCenter);
        }
        closeAdvButton->hide();
        timerLabel->show();
        countdownTimer->setInterval(1000);
    }
}
