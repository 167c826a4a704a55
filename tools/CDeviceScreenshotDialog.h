#pragma once

#include "tools/CScreenImage.h"

#include <QDialog>
#include <QImage>

namespace Ui
{
class CDeviceScreenshotDialog;
}

// Reads the gauge's display (task 10), shows it doubled, and saves what it
// shows as a picture file. Created once by the main window and only
// shown/hidden.
class CDeviceScreenshotDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CDeviceScreenshotDialog(QWidget* parent = nullptr);
    ~CDeviceScreenshotDialog() override;

    Ui::CDeviceScreenshotDialog* ui() const { return m_ui; }
    const QImage& ScreenImage() const { return m_image; }
    bool IsTransferRunning() const { return m_pendingTasks > 0; }

    // Where the picture is drawn, each gauge pixel as a 2 x 2 block.
    static QRect PictureRect() { return QRect(5, 5, 256, 128); }
    // The dialog's picture region as shown (also what is saved).
    QImage RenderPicture();

public Q_SLOTS:
    void SaveScreenshotToFile();
    void TakeScreenshotFromDevice();
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::CDeviceScreenshotDialog* m_ui = nullptr;
    QString m_idleText;
    // Belongs to the worker while a task of this dialog runs.
    quint8 m_screen[CScreenImage::kBufferSize];
    QImage m_image;
    int m_pendingTasks = 0;
};
