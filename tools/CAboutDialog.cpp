#include "tools/CAboutDialog.h"

#include "ui_CAboutDialog.h"

#include <QCoreApplication>

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent), m_ui(new Ui::CAboutDialog)
{
    m_ui->setupUi(this);
    // The form carries a placeholder; the real name and version come from the
    // identity the entry set on the application object.
    m_ui->label_version->setText(QStringLiteral("%1™ %2").arg(
        QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
    connect(m_ui->OkButton, &QPushButton::clicked, this, &QDialog::close);
}

CAboutDialog::~CAboutDialog()
{
    delete m_ui;
}
