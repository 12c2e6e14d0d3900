#pragma once

#include <QPushButton>
#include <QString>

// The destination as a flat button: the path is shortened in the middle to
// the width the button is given, so that a long path never widens the
// window, and the whole of it is in the tool tip and what a screen reader
// reads (the accessible name).
class PathButton : public QPushButton
{
    Q_OBJECT

public:
    explicit PathButton(const QString &path, QWidget *parent = nullptr);

    void setPath(const QString &path);
    QString path() const;

    // The whole path's width, so that a window with room shows all of it;
    // the least is a few letters, so that the path never sets the window's
    // minimum width.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showFitted();
    int chromeWidth() const;
    QFont widestFont() const;

    QString fullPath;
};
