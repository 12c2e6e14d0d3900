#include "app/PathButton.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

// What the path may shrink to: its ends around the ellipsis.
constexpr int leastShownCharacters = 8;

} // namespace

PathButton::PathButton(const QString &path, QWidget *parent)
    : QPushButton(parent)
{
    // A flat button: the style sheet makes its background transparent, which
    // a raised button's panel draws as black.
    setFlat(true);
    // A push button would not shrink below its text.
    setSizePolicy(QSizePolicy::Preferred, sizePolicy().verticalPolicy());
    setPath(path);
}

void PathButton::setPath(const QString &path)
{
    fullPath = path;
    setToolTip(path);
    // A screen reader reads the whole path, not what fits on screen.
    setAccessibleName(path);
    updateGeometry();
    showFitted();
}

QString PathButton::path() const
{
    return fullPath;
}

QSize PathButton::sizeHint() const
{
    const QSize hint = QPushButton::sizeHint();
    return QSize(chromeWidth() + QFontMetrics(widestFont()).horizontalAdvance(fullPath) + 1, hint.height());
}

QSize PathButton::minimumSizeHint() const
{
    const int least = QFontMetrics(widestFont()).averageCharWidth() * leastShownCharacters;
    return QSize(chromeWidth() + least, QPushButton::minimumSizeHint().height());
}

void PathButton::resizeEvent(QResizeEvent *event)
{
    QPushButton::resizeEvent(event);
    showFitted();
}

void PathButton::showEvent(QShowEvent *event)
{
    QPushButton::showEvent(event);
    showFitted();
}

void PathButton::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        showFitted();
}

// Fitted once it shows: measuring text in its font before the window's
// first paint cost the start a font of its own, for a row that starts hidden.
void PathButton::showFitted()
{
    if (!isVisible())
        return;
    QString shown = QFontMetrics(widestFont()).elidedText(fullPath, Qt::ElideMiddle, width() - chromeWidth());
    // A path may hold "&", which a button would take for a mnemonic.
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (shown != text())
        setText(shown);
}

// What the style adds around the text: padding, border, margins.
int PathButton::chromeWidth() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(0, 0), this).width();
}

// The style sheet sets the path semi-bold while the pointer is on it, and
// only in the painter, not in the widget's font: fitted in the wider of the
// two, the path is never cut on hover.
QFont PathButton::widestFont() const
{
    QFont bold = font();
    bold.setWeight(QFont::DemiBold);
    return bold;
}
