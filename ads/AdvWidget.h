#pragma once

#include <QDialog>
#include <QUrl>

#include <memory>

class QLabel;
class QPushButton;
class QTimer;
class QVBoxLayout;
class AdvData;

// Shows one advertiser's logo; a left click on it opens the advertiser's page.
class AdvWidget : public QDialog
{
    Q_OBJECT

public:
    explicit AdvWidget(bool isPopup = true, QWidget *parent = nullptr);

    void startAdv(int seconds);

    QUrl currentUrl() const;

    // The shared rotation, for tests: the index that the next load takes.
    static int nextAdvIndex();

public slots:
    void onAdvClicked();
    void updateTimer();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    friend class AdvData;

    void loadNextAdv();

    static std::shared_ptr<AdvData> advData;
    static int nextIndex;
    static bool counting;

    QVBoxLayout *mainLayout;
    QLabel *timerLabel;
    QPushButton *closeAdvButton;
    QTimer *countdownTimer;
    QLabel *advLabel;
    int secondsLeft;
    QUrl advUrl;
    bool isPopup;
};
