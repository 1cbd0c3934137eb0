#pragma once
// The Local Files page: every movie below the cache folder, a preview, "Save" and "Save All".
#include "app/Dialog.h"

class CLocalPage : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 130;

    explicit CLocalPage(QWidget* parent = nullptr);
    ~CLocalPage() override;
};
