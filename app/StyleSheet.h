#pragma once

#include <QString>

// The application's style sheet, as the resource bundle holds it. Empty
// when it cannot be read: the program then runs with the platform's look.
namespace StyleSheet {

QString application();

} // namespace StyleSheet
