#pragma once

#include <QWidget>

class QLabel;
class QScrollArea;

// A small window that explains the steps of packing files.
class HelpWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWidget(QWidget *parent = nullptr);

    static QString titleText();
    static QString helpText();

    // Shows the window over the one it explains, whole inside the free part
    // of the screen: on a small or scaled screen the text wraps to the
    // screen's width and what is still too long scrolls.
    void showOver(QWidget *window);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QSize fittingSize();

    QLabel *titleLabel;
    QLabel *textLabel;
    QScrollArea *scrollArea;
};
