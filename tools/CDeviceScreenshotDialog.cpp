#include "tools/CDeviceScreenshotDialog.h"

#include "app/CKorvalent.h"
#include "core/CAppGlobals.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "device/CDeviceManager.h"

#include "ui_CDeviceScreenshotDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <cstring>

namespace
{
QString AppName()
{
    return QCoreApplication::applicationName();
}
} // namespace

CDeviceScreenshotDialog::CDeviceScreenshotDialog(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CDeviceScreenshotDialog), m_image(CScreenImage::Blank())
{
    m_ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(420, 180);
    std::memset(m_screen, 0xFF, sizeof(m_screen));
    m_idleText = m_ui->label->text();

    connect(m_ui->TakeScreenshotButton, &QPushButton::clicked, this,
            &CDeviceScreenshotDialog::TakeScreenshotFromDevice);
    connect(m_ui->SaveToFileButton, &QPushButton::clicked, this,
            &CDeviceScreenshotDialog::SaveScreenshotToFile);
    connect(m_ui->ExitButton, &QPushButton::clicked, this, &QWidget::close);
}

CDeviceScreenshotDialog::~CDeviceScreenshotDialog()
{
    delete m_ui;
}

void CDeviceScreenshotDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    // Nearest pixel, no smoothing: every gauge pixel stays a sharp 2 x 2 block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(PictureRect(), m_image);
}

QImage CDeviceScreenshotDialog::RenderPicture()
{
    const QRect rect = PictureRect();
    QImage picture(rect.size(), QImage::Format_RGB32);
    picture.fill(palette().color(backgroundRole()));
    render(&picture, QPoint(0, 0), QRegion(rect));
    return picture;
}

void CDeviceScreenshotDialog::SaveScreenshotToFile()
{
    const QString dir = g_App.pMainWindow ? g_App.pMainWindow->DocumentsDir() : QDir::homePath();
    const QString path = UserPrompts().SaveFileName(
        this, tr("Сохранить файл"), QDir::toNativeSeparators(dir + QStringLiteral("/untitled.bmp")),
        tr("Точечные рисунки (*.bmp);;Рисунки PNG (*.png)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!CScreenImage::Save(RenderPicture(), path, &error))
    {
        UserPrompts().Critical(this, AppName(), error);
        return;
    }
    UserPrompts().Information(this, AppName(), CScreenImage::SavedText());
}

void CDeviceScreenshotDialog::TakeScreenshotFromDevice()
{
    if (!g_App.pDeviceManager)
        return;
    // The main window's download or upload owns the device between its tasks.
    if (g_App.pMainWindow && g_App.pMainWindow->IsDeviceChainRunning())
    {
        UserPrompts().Warning(this, AppName(), CDataMessages::DeviceBusy());
        return;
    }
    ++m_pendingTasks;
    g_App.pDeviceManager->StartTask(10, m_screen, CScreenImage::kBufferSize, this);
}

void CDeviceScreenshotDialog::DeviceTaskCompleted(int TaskID, const void*, int nDataLength)
{
    if (TaskID != 10)
        return;
    if (m_pendingTasks > 0)
        --m_pendingTasks;
    if (nDataLength == -1)
    {
        // The buffer now mixes new and old blocks: the picture stays the
        // previous one, and says it is not the display as it is now.
        m_ui->label->setText(CScreenImage::IncompleteText());
        UserPrompts().Critical(this, AppName(), CScreenImage::FailedText());
        return;
    }
    m_image = CScreenImage::Decode(m_screen);
    m_ui->label->setText(m_idleText);
    repaint();
}
