#include "filelist/SingleFileWidget.h"

#include "ui/StyledBackground.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr float perKibibyte = 0.0009765625f;

constexpr int rowSide = 88;

// The desktop's icon at the glyphs' size. Asked at the size it is shown at
// and the screen's pixel ratio: asked in pixels and shrunk, it shows at a
// fraction of its size on a scaled screen.
QPixmap desktopIcon(const QFileInfo &info, bool isFolder, qreal ratio)
{
    QFileIconProvider provider;
    QIcon icon = isFolder ? provider.icon(QAbstractFileIconProvider::Folder) : provider.icon(info);
    // Without a desktop icon theme the provider may have nothing to offer.
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(isFolder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    const QSize shown = icon.actualSize(QSize(32, 32)).scaled(22, 30, Qt::KeepAspectRatio);
    QPixmap pixmap = icon.pixmap(shown, ratio);
    if (pixmap.isNull() || pixmap.deviceIndependentSize().toSize() == shown)
        return pixmap;
    // An icon that comes in fixed sizes only may come larger than asked.
    pixmap = pixmap.scaled(shown * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QString ratioKey(qreal ratio)
{
    return QLatin1Char('@') + QString::number(ratio);
}

// Looking an icon up decodes images afresh each time, which dominates the
// cost of a row in a long list. Files of one type share their icon, except
// those that carry their own (programs, shortcuts, icon files).
QPixmap cachedDesktopIcon(const QFileInfo &info, bool isFolder, qreal ratio)
{
    const QString suffix = info.suffix().toLower();
    const bool ownIcon = suffix == QLatin1String("exe") || suffix == QLatin1String("lnk")
        || suffix == QLatin1String("ico");
    if (ownIcon)
        return desktopIcon(info, isFolder, ratio);
    const QString key = (isFolder ? QStringLiteral("brimlet-row-icon/") : QStringLiteral("brimlet-row-icon.") + suffix)
        + ratioKey(ratio);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = desktopIcon(info, isFolder, ratio);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

// Drawn for the screen's pixels at the drawing's own size, not drawn at
// that size and then enlarged. Read through the image plugin that reads the
// drawings anyway, so no other part of Qt has to ship with the program.
QPixmap glyph(const QString &path, qreal ratio)
{
    const QString key = QStringLiteral("brimlet-glyph") + path + ratioKey(ratio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    QImageReader reader(path);
    reader.setScaledSize(reader.size() * ratio);
    pixmap = QPixmap::fromImage(reader.read());
    pixmap.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

// The cross is drawn white for the title bar's blue band; on a pale row it
// would all but vanish, so rows show it in the blue of their text. Made in
// two sizes, for ordinary and for scaled screens, as images, so that a
// worker can make them before the first row wants them.
const QList<QImage> &crossImages()
{
    static const QList<QImage> crosses = [] {
        const QImage white = QImage(QStringLiteral(":/qrc/close.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QList<QImage> blue;
        for (int side : {32, 64}) {
            QImage cross = white.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            QPainter painter(&cross);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(cross.rect(), QColor(0x52, 0x72, 0xBA));
            painter.end();
            blue << cross;
        }
        return blue;
    }();
    return crosses;
}

QIcon removeIcon()
{
    static const QIcon icon = [] {
        QIcon blue;
        for (const QImage &cross : crossImages())
            blue.addPixmap(QPixmap::fromImage(cross));
        return blue;
    }();
    return icon;
}

// Matching this font is costly (it has no family of that name, so the
// system's fallbacks are searched) and its answer never changes.
QFont nameFont()
{
    return QFont(QStringLiteral("normal"), 10);
}

} // namespace

// The search for the name's font leaves its answer in caches that every
// thread shares, so the window's thread then finds it at once.
void SingleFileWidget::prepareOffThread()
{
    QFontMetrics(nameFont()).horizontalAdvance(QStringLiteral("name"));
    crossImages();
}

SingleFileWidget::SingleFileWidget(const QString &path, const QString &name, qint64 bytes, bool isFolder,
                                   QWidget *parent)
    : QWidget(parent)
    , nameButton(nullptr)
    , name(name)
    , filePath(path)
    , fileSize(float(bytes))
    , isFolder(isFolder)
{
    buildUi();
    connect(nameButton, &QAbstractButton::clicked, this, &SingleFileWidget::clickedForRename);
    setFixedSize(rowSide, rowSide);
    // Said in the policy too, so that a grid does not ask the row's own
    // layout whether it would grow (which measures all its children).
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SingleFileWidget::showFile(const QString &path, const QString &newName, qint64 bytes, bool folder)
{
    filePath = path;
    fileSize = float(bytes);
    isFolder = folder;
    setName(newName);
    fileSizeLabel->setText(sizeText());
    typeIconLabel->setPixmap(typePicture());
}

SingleFileWidget::~SingleFileWidget() = default;

QSize SingleFileWidget::sizeHint() const
{
    return QSize(rowSide, rowSide);
}

QSize SingleFileWidget::minimumSizeHint() const
{
    return sizeHint();
}

bool SingleFileWidget::hasHeightForWidth() const
{
    return false;
}

QString SingleFileWidget::getName() const
{
    return name;
}

float SingleFileWidget::getSize() const
{
    return fileSize * perKibibyte * perKibibyte;
}

QString SingleFileWidget::path() const
{
    return filePath;
}

// Children are made inside the row at once: moving a widget under a new
// parent later has the style sheet re-resolved for it. They are all made
// before the layouts that place them, as a widget made under a laid-out
// parent asks for one more layout pass.
void SingleFileWidget::buildUi()
{
    auto *topStrip = new QWidget(this);
    removeButton = new QToolButton(topStrip);
    typeIconLabel = new QLabel(topStrip);
    fileSizeLabel = new QLabel(sizeText(), this);
    nameButton = new QPushButton(this);

    removeButton->setIcon(removeIcon());
    removeButton->setToolTip(QStringLiteral("Remove"));
    // Delete on the row's name does what this does: one focus per file.
    removeButton->setFocusPolicy(Qt::NoFocus);
    // Without a raised panel the style sheet's transparent background shows
    // the row through it; a raised one draws as a black box.
    removeButton->setAutoRaise(true);
    // The path is read at click time: after a rename it is the copy's path,
    // which is the row's key in the list.
    connect(removeButton, &QToolButton::clicked, removeButton,
            [this] { emit clicked(filePath); }, Qt::DirectConnection);

    typeIconLabel->setPixmap(typePicture());

    nameButton->setFixedHeight(15);
    nameButton->setFlat(true);
    nameButton->setWhatsThis(QStringLiteral("Rename"));
    // The list moves the focus from file to file (FileGrid): a row is not
    // a stop in the window's own Tab chain, whichever file it shows.
    nameButton->setFocusPolicy(Qt::ClickFocus);
    setFocusPolicy(Qt::ClickFocus);
    setFocusProxy(nameButton);

    auto *topStripLayout = new QHBoxLayout(topStrip);
    auto *iconColumn = new QVBoxLayout;
    iconColumn->addSpacing(6);
    iconColumn->addWidget(typeIconLabel);
    topStripLayout->addLayout(iconColumn);
    topStripLayout->addWidget(removeButton, 0, Qt::AlignRight | Qt::AlignTop);
    topStripLayout->setContentsMargins(32, 6, 0, 0);

    auto *mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    const Qt::Alignment bottomCentre = Qt::AlignHCenter | Qt::AlignVCenter | Qt::AlignBottom;
    mainLayout->addWidget(topStrip);
    mainLayout->addWidget(nameButton, 1, bottomCentre);
    mainLayout->addWidget(fileSizeLabel, 0, bottomCentre);
    mainLayout->addSpacing(10);

    nameButton->setObjectName(QStringLiteral("nameButton"));
    fileSizeLabel->setObjectName(QStringLiteral("fileSizeLabel"));
    setName(name);
}

QPixmap SingleFileWidget::typePicture() const
{
    const qreal ratio = devicePixelRatioF();
    if (isFolder)
        return cachedDesktopIcon(QFileInfo(filePath), true, ratio);
    // Case-sensitive on purpose: Report.PDF gets the desktop's icon.
    if (name.endsWith(QLatin1String(".pdf")))
        return glyph(QStringLiteral(":/qrc/file-pdf.svg"), ratio);
    if (name.endsWith(QLatin1String(".jpg")) || name.endsWith(QLatin1String(".png"))
        || name.endsWith(QLatin1String(".jpeg")))
        return glyph(QStringLiteral(":/qrc/file-image.svg"), ratio);
    if (name.endsWith(QLatin1String(".doc")) || name.endsWith(QLatin1String(".docx")))
        return glyph(QStringLiteral(":/qrc/file-word.svg"), ratio);
    return cachedDesktopIcon(QFileInfo(filePath), false, ratio);
}

QString SingleFileWidget::sizeText() const
{
    const float megabytes = fileSize * perKibibyte * perKibibyte;
    const float roundedMegabytes = std::round(megabytes * 100.0f) / 100.0f;
    // One more than the whole number of KiB, as the size line counts too.
    const float kilobytes = 1.0f - std::trunc(fileSize * -perKibibyte);
    if (kilobytes < 1024.0f)
        return QString::number(kilobytes, 'g', 6) + QStringLiteral("KB");
    return QString::number(roundedMegabytes, 'g', 6) + QStringLiteral("MB");
}

void SingleFileWidget::setName(QString fileName)
{
    name = fileName;
    static const QFontMetrics metrics(nameFont());
    const QString shown = metrics.boundingRect(name).width() > 80
        ? name.left(5) + QStringLiteral("...") + name.right(5)
        : name;
    // A name is text, not a mnemonic: "R&D" must not show as "RD" and take Alt+D.
    nameButton->setText(QString(shown).replace(QLatin1Char('&'), QStringLiteral("&&")));
    // A shortened name can be read whole where the pointer rests on it.
    nameButton->setToolTip(name);
    // A screen reader hears which file a button acts on, by its whole name.
    nameButton->setAccessibleName(QStringLiteral("Rename ") + name);
    if (removeButton)
        removeButton->setAccessibleName(QStringLiteral("Remove ") + name);
}

// The name button leaves these keys to its row.
void SingleFileWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
    } else if (event->key() == Qt::Key_Delete) {
        emit clicked(filePath);
    } else if (event->key() == Qt::Key_F2) {
        emit clickedForRename();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void SingleFileWidget::mousePressEvent(QMouseEvent *event)
{
    // Presses on the row's background belong to the list around it.
    event->ignore();
}

void SingleFileWidget::paintEvent(QPaintEvent *)
{
    paintStyledBackground(this);
}
