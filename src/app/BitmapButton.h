#pragma once
// A picture button: draws its normal picture, or its pressed picture while the mouse holds it down.
// The picture is drawn at its own size from the button's top left corner and clipped, not scaled.
#include <QAbstractButton>
#include <QPixmap>

class CBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CBitmapButton(QWidget* parent = nullptr);

    void LoadBitmaps(const QPixmap& normal, const QPixmap& pressed);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_normal;
    QPixmap m_pressed;
};
