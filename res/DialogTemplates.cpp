// The program's dialog templates (positions and sizes in dialog units).
#include "framework/DialogTemplate.h"

#include <array>

namespace {
using K = ControlKind;

// Main window: borderless, its own background; tab control and two picture buttons.
constexpr std::array kMainItems{
    DialogItem{K::TabControl, 1000, 2, 22, 416, 228, "Tab1"},
    DialogItem{K::PictureButton, 1020, 386, 2, 15, 12, nullptr},
    DialogItem{K::PictureButton, 1021, 403, 2, 15, 12, nullptr},
};

// Internet Files page.
constexpr std::array kInternetItems{
    DialogItem{K::Static, 1001, 10, 16, 34, 10, "Address:"},
    DialogItem{K::ComboBox, 1014, 44, 13, 212, 89, nullptr},
    DialogItem{K::PushButton, 1003, 262, 13, 39, 12, "Go"},
    DialogItem{K::Static, 1004, 13, 32, 287, 10, nullptr},
    DialogItem{K::ListView, 1009, 11, 45, 295, 61, nullptr},
    DialogItem{K::Static, 1010, 11, 113, 240, 55, nullptr},
    DialogItem{K::PushButton, 1012, 257, 112, 41, 14, "Save"},
    DialogItem{K::PushButton, 1011, 258, 150, 41, 14, "Save All"},
};

// Local Files page.
constexpr std::array kLocalItems{
    DialogItem{K::ListView, 1015, 10, 13, 292, 76, "List1"},
    DialogItem{K::Static, 1010, 10, 95, 244, 76, "Static"},
    DialogItem{K::PushButton, 1011, 259, 149, 44, 14, "Save All"},
    DialogItem{K::PushButton, 1012, 259, 104, 44, 14, "Save"},
};

constexpr std::array kTemplates{
    DialogTemplate{102, "Plumeroc", "MS Sans Serif", 8, 421, 254, kMainItems},
    DialogTemplate{129, "", "MS Sans Serif", 10, 312, 192, kInternetItems},
    DialogTemplate{130, "", "MS Sans Serif", 10, 319, 185, kLocalItems},
};
} // namespace

const DialogTemplate* FindDialogTemplate(int id)
{
    for (const auto& t : kTemplates) {
        if (t.id == id)
            return &t;
    }
    return nullptr;
}
