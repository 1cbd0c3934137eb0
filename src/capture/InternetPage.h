#pragma once
// The Internet Files page: an address, "Go", the list of movies the page references, a preview,
// "Save" and "Save All".
#include "app/Dialog.h"

class CInternetPage : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 129;

    explicit CInternetPage(QWidget* parent = nullptr);
    ~CInternetPage() override;
};
