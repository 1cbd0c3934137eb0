#include "framework/DialogTemplate.h"

#include <QFontMetrics>
#include <QVariant>
#include <QWidget>

namespace {
constexpr const char* kIdProperty = "dlgCtrlId";
}

QSize DialogBaseUnits(const QFont& font)
{
    // The platform's rule: average width of the 52 letters, rounded, and the font's height.
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& units, QSize baseUnits)
{
    // Rounded like the platform's MulDiv.
    const auto px = [](int v, int base, int div) { return (2 * v * base + div) / (2 * div); };
    return {px(units.x(), baseUnits.width(), 4), px(units.y(), baseUnits.height(), 8),
            px(units.width(), baseUnits.width(), 4), px(units.height(), baseUnits.height(), 8)};
}

QFont DialogFont(const DialogTemplate& dialogTemplate)
{
    QFont font(QString::fromLatin1(dialogTemplate.fontFace), dialogTemplate.pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void SetDlgCtrlID(QWidget* control, int id) { control->setProperty(kIdProperty, id); }

int GetDlgCtrlID(const QWidget* control) { return control->property(kIdProperty).toInt(); }

QWidget* GetDlgItem(const QWidget* parent, int id)
{
    const auto children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (GetDlgCtrlID(child) == id)
            return child;
    }
    return nullptr;
}
