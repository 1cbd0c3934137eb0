#include "app/BitmapButton.h"

#include <QPainter>

CBitmapButton::CBitmapButton(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(Qt::TabFocus); }

void CBitmapButton::LoadBitmaps(const QPixmap& normal, const QPixmap& pressed)
{
    m_normal = normal;
    m_pressed = pressed;
    update();
}

void CBitmapButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPixmap& picture = isDown() && !m_pressed.isNull() ? m_pressed : m_normal;
    if (!picture.isNull())
        painter.drawPixmap(0, 0, picture);
}
