#include "cache/LocalPage.h"

CLocalPage::CLocalPage(QWidget* parent)
    : CDialog(kTemplateId, parent)
{
}

CLocalPage::~CLocalPage() = default;
