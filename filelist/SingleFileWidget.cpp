#include "filelist/SingleFileWidget.h"

SingleFileWidget::SingleFileWidget(QString path, QWidget *parent)
    : QWidget(parent), nameButton(nullptr), filePath(path), fileSize(0.0f), isUserFile(true)
{
}
SingleFileWidget::~SingleFileWidget() = default;
QString SingleFileWidget::getName() const { return name; }
float SingleFileWidget::getSize() const { return fileSize; }
void SingleFileWidget::makeFileCopy(QString) {}
void SingleFileWidget::setName(QString fileName) { name = fileName; }
void SingleFileWidget::buildUi() {}
void SingleFileWidget::mousePressEvent(QMouseEvent *event) { QWidget::mousePressEvent(event); }
void SingleFileWidget::paintEvent(QPaintEvent *event) { QWidget::paintEvent(event); }
