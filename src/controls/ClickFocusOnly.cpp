#include "controls/ClickFocusOnly.h"

#include <QChildEvent>
#include <QWidget>

namespace {
void ClickFocusOnly(QWidget* widget)
{
    if (widget->focusPolicy() != Qt::NoFocus)
        widget->setFocusPolicy(Qt::ClickFocus);
}
} // namespace

CClickFocusOnly::CClickFocusOnly(QWidget* control) : QObject(control)
{
    ClickFocusOnly(control);
    for (QWidget* child : control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        ClickFocusOnly(child);
    control->installEventFilter(this);
}

bool CClickFocusOnly::eventFilter(QObject* watched, QEvent* event)
{
    // A child is polished once it is complete, after its constructor chose its own focus policy.
    if (event->type() == QEvent::ChildPolished) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            ClickFocusOnly(child);
    }
    return QObject::eventFilter(watched, event);
}
