#pragma once

#include <QWidget>

class QLabel;

// A small window that explains the steps of packing files.
class HelpWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWidget(QWidget *parent = nullptr);

    static QString titleText();
    static QString helpText();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *titleLabel;
    QLabel *textLabel;
};
