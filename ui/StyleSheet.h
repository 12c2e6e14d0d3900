#pragma once

#include <QString>

// The application's style sheet, as the resource bundle holds it. Empty
// when it cannot be read: the program then runs with the platform's look.
namespace StyleSheet {

QString application();

// Registers the fonts the program brings and makes Noto Sans the
// application's font. Call before the style sheet is applied.
void useBundledFont();

} // namespace StyleSheet
