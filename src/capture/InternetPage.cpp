#include "capture/InternetPage.h"

CInternetPage::CInternetPage(QWidget* parent)
    : CDialog(kTemplateId, parent)
{
}

CInternetPage::~CInternetPage() = default;
