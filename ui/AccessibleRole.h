#pragma once

#include <QAccessible>

class QWidget;

// The role a screen reader announces for a widget, where the one its Qt
// class gives would mislead: a plain QWidget window is a "filler" to it, not
// a window, and a panel built on QDialog is a "dialog". Set it in the
// widget's constructor, before anything asks for its accessible interface.
namespace AccessibleRole {

void set(QWidget *widget, QAccessible::Role role);

} // namespace AccessibleRole
