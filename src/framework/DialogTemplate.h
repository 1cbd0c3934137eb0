#pragma once
// Dialog templates: controls with numeric ids and rectangles in dialog units, kept as data in res/
// and turned into widgets by CDialog. Dialog units scale with the dialog font, as the original
// platform did: x units are a quarter of the font's average character width, y units an eighth of
// its height.
#include <QFont>
#include <QRect>

#include <span>

class QWidget;

enum class ControlKind { Static, PushButton, PictureButton, ComboBox, ListView, TabControl };

struct DialogItem {
    ControlKind kind;
    int id;
    int x, y, cx, cy; // dialog units
    const char* text; // nullptr for none
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontFace;
    int pointSize;
    int cx, cy; // client size in dialog units
    std::span<const DialogItem> items;
};

// The template with this id, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

// Average character width and height of a font, the base of dialog units.
QSize DialogBaseUnits(const QFont& font);
QRect DialogUnitsToPixels(const QRect& units, QSize baseUnits);
QFont DialogFont(const DialogTemplate& dialogTemplate);

// Control ids: every control built from a template carries its id.
void SetDlgCtrlID(QWidget* control, int id);
int GetDlgCtrlID(const QWidget* control);           // 0 when it has none
QWidget* GetDlgItem(const QWidget* parent, int id); // a direct child with that id, or nullptr
