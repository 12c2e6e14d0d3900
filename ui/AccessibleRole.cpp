#include "ui/AccessibleRole.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

const char *const roleProperty = "brimletAccessibleRole";

QAccessibleInterface *withOwnRole(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(roleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Role(role.toInt()));
}

} // namespace

namespace AccessibleRole {

void set(QWidget *widget, QAccessible::Role role)
{
    static const bool installed = [] {
        QAccessible::installFactory(withOwnRole);
        return true;
    }();
    Q_UNUSED(installed);
    widget->setProperty(roleProperty, int(role));
}

} // namespace AccessibleRole
