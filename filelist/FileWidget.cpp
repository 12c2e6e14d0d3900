#include "filelist/FileWidget.h"

#include <QGridLayout>

FileWidget::FileWidget(QWidget *parent)
    : QWidget(parent)
    , gridLayout(new QGridLayout(this))
    , gridRow(0)
    , gridColumn(0)
{
    setFixedHeight(273);
}

FileWidget::~FileWidget() = default;

void FileWidget::addFile(QString) {}
void FileWidget::addFiles(QStringList) {}
void FileWidget::removeFile(QString) {}
void FileWidget::removeFiles(QStringList) {}
void FileWidget::renameFile() {}
void FileWidget::onFileNameChanged(QString, QString) {}
bool FileWidget::checkIfFileNameExists(QString) { return false; }
void FileWidget::removeAllFiles() {}
void FileWidget::updateFiles() {}
QStringList FileWidget::getFiles() { return {}; }
float FileWidget::getSize() { return 0.0f; }
void FileWidget::reportSize() {}
void FileWidget::paintEvent(QPaintEvent *event) { QWidget::paintEvent(event); }
void FileWidget::dragEnterEvent(QDragEnterEvent *) {}
void FileWidget::dropEvent(QDropEvent *) {}
