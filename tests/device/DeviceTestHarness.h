#pragma once

#include "core/CAppGlobals.h"
#include "core/CUserPrompts.h"
#include "device/CDeviceManager.h"
#include "sim/CVirtualGauge.h"
#include "tests/common/GaugeSupport.h"
#include "tests/common/TestSupport.h"

#include <QObject>
#include <QPair>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <memory>

// One completion as a receiver saw it.
struct Completion
{
    int taskID = -2;
    const void* buffer = nullptr;
    int length = -2;
};

// A receiver for device tasks that records what arrives.
class CTaskRecorder : public QObject
{
    Q_OBJECT
public:
    QList<Completion> completions;
    QByteArray payloadAtCompletion; // first 16 bytes of lpUserBuf when not null

public Q_SLOTS:
    void DeviceTaskCompleted(int TaskID, const void* lpUserBuf, int nDataLength)
    {
        completions.append({TaskID, lpUserBuf, nDataLength});
        payloadAtCompletion =
            lpUserBuf ? QByteArray(static_cast<const char*>(lpUserBuf), 16) : QByteArray();
    }
};

// Manager + settings + prompts + status texts, fresh per test.
class CDeviceHarness
{
public:
    CDeviceHarness()
    {
        settings = UseFreshSettings();
        manager = UseDeviceManager(300);
        SetUserPrompts(&prompts);
        // Delivered on the test thread, in emission order, like the status bar.
        QObject::connect(manager.get(), &CDeviceManager::ShowStatusMessage, &recorder,
                         [this](const QString& text, int timeout)
                         {
                             statuses.append(text);
                             timeouts.append(timeout);
                         });
    }
    ~CDeviceHarness()
    {
        manager.reset();
        g_App.pDeviceManager = nullptr;
        g_App.pSettings = nullptr;
        SetUserPrompts(nullptr);
    }

    void SelectPort(const QString& path, const QString& name = QStringLiteral("test port"),
                    const QString& device = QStringLiteral("QM-3RX"))
    {
        SelectDevicePort(*settings, path, name, device);
    }

    // Runs one task to its completion; returns nDataLength.
    int Run(int taskID, void* buffer, int value, int waitMs = 30000)
    {
        const int before = int(recorder.completions.size());
        manager->StartTask(taskID, buffer, value, &recorder);
        if (!QTest::qWaitFor([&] { return recorder.completions.size() > before; }, waitMs))
            return -100;
        return recorder.completions.last().length;
    }

    QStringList Boxes() const { return prompts.Messages(); }

    std::unique_ptr<QSettings> settings;
    std::unique_ptr<CDeviceManager> manager;
    CScriptedPrompts prompts;
    CTaskRecorder recorder;
    QStringList statuses;
    QList<int> timeouts;
};
