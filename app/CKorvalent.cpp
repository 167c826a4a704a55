#include "app/CKorvalent.h"

#include "ui_CKorvalent.h"

#include <QCloseEvent>

CKorvalent::CKorvalent(QWidget* parent) : QMainWindow(parent), m_ui(new Ui::CKorvalent)
{
    m_ui->setupUi(this);
}

CKorvalent::~CKorvalent() { delete m_ui; }

void CKorvalent::UpdateDeviceLabel() {}
void CKorvalent::ShowPEPListDialog() {}
void CKorvalent::ShowPEPEditorDialog() {}
void CKorvalent::ShowMaterialsEditorDialog() {}
void CKorvalent::ShowDeviceSelectorDialog() {}
void CKorvalent::ShowDeviceScreenshotDialog() {}
void CKorvalent::ShowAboutDialog() {}
void CKorvalent::ShowHelpDialog() {}
void CKorvalent::OnUpdateTimeDate() {}
void CKorvalent::OnChangeDocumentsDir() {}
void CKorvalent::closeEvent(QCloseEvent* event) { QMainWindow::closeEvent(event); }
void CKorvalent::resizeEvent(QResizeEvent* event) { QMainWindow::resizeEvent(event); }
