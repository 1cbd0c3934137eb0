// The program's dialog templates (positions and sizes in dialog units).
#include "framework/DialogTemplate.h"
#include "res/resource.h"

#include <array>

namespace {
using K = ControlKind;

// Main window: borderless, its own background; tab control and two picture buttons.
constexpr std::array kMainItems{
    DialogItem{K::TabControl, IDC_TABS, 2, 22, 416, 228, "Tab1"},
    DialogItem{K::PictureButton, IDC_HOME, 386, 2, 15, 12, nullptr},
    DialogItem{K::PictureButton, IDC_CLOSE, 403, 2, 15, 12, nullptr},
};

// Internet Files page.
constexpr std::array kInternetItems{
    DialogItem{K::Static, IDC_ADDRESS_LABEL, 10, 16, 34, 10, "Address:"},
    DialogItem{K::ComboBox, IDC_ADDRESS, 44, 13, 212, 89, nullptr},
    DialogItem{K::PushButton, IDC_GO, 262, 13, 39, 12, "Go"},
    DialogItem{K::Static, IDC_BUSY, 13, 32, 287, 10, nullptr},
    DialogItem{K::ListView, IDC_MOVIE_LIST, 11, 45, 295, 61, nullptr},
    DialogItem{K::Static, IDC_PREVIEW, 11, 113, 240, 55, nullptr},
    DialogItem{K::PushButton, IDC_SAVE, 257, 112, 41, 14, "Save"},
    DialogItem{K::PushButton, IDC_SAVE_ALL, 258, 150, 41, 14, "Save All"},
};

// Local Files page.
constexpr std::array kLocalItems{
    DialogItem{K::ListView, IDC_LOCAL_LIST, 10, 13, 292, 76, "List1"},
    DialogItem{K::Static, IDC_PREVIEW, 10, 95, 244, 76, "Static"},
    DialogItem{K::PushButton, IDC_SAVE_ALL, 259, 149, 44, 14, "Save All"},
    DialogItem{K::PushButton, IDC_SAVE, 259, 104, 44, 14, "Save"},
    // Added below the preview and Save All, where the page had room: which cache folders are not read, once some
    // are found.
    DialogItem{K::Static, IDC_UNREAD_CACHES, 10, 174, 293, 9, nullptr},
};

constexpr std::array kTemplates{
    DialogTemplate{IDD_PLUMEROC, "Plumeroc", "MS Sans Serif", 8, 421, 254, kMainItems},
    DialogTemplate{IDD_INTERNET_FILES, "", "MS Sans Serif", 10, 312, 192, kInternetItems},
    DialogTemplate{IDD_LOCAL_FILES, "", "MS Sans Serif", 10, 319, 185, kLocalItems},
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
