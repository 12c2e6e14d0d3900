#pragma once

class QWidget;

// A plain QWidget subclass draws no style-sheet background (colour, image,
// border) unless its paintEvent asks the style for one; this is that request.
// QWidget's own paintEvent draws nothing, so nothing else is needed.
void paintStyledBackground(QWidget *widget);
