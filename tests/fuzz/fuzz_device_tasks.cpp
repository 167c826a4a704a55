// The device tasks with the fuzz input playing the gauge: the first byte
// picks the task, the second its value (low bits) and whether the "gauge"
// gets its checksums right (high bit), and the rest is everything the gauge
// answers, handed out as the task reads (nothing more when it runs out, as a
// silent gauge). With right checksums the mutations reach what the tasks do
// with the replies' contents, not only the checksum failure. Each task must
// end, with its completion, whatever the answers.
#include "core/CUserPrompts.h"
#include "data/GaugeRecords.h"
#include "device/CDeviceManager.h"
#include "device/CCrc16.h"
#include "device/CSerialLink.h"
#include "device/TransferSlot.h"
#include "tests/fuzz/FuzzDeviceSupport.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstring>
#include <memory>

namespace
{
// A link whose replies come from the fuzz input; writes always go through.
class CFuzzLink : public CSerialLink
{
public:
    CFuzzLink(const QByteArray* replies, bool rightChecksums)
        : m_replies(replies), m_rightChecksums(rightChecksums)
    {
    }
    int Open(const QString&) override
    {
        m_open = true;
        return OpenOk;
    }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    void ClearError() override {}
    qint64 Write(const quint8*, int size) override { return m_open ? size : -1; }
    qint64 Read(quint8* data, int size) override
    {
        if (!m_open)
            return -1;
        const int n = int(qMin<qsizetype>(size, m_replies->size() - m_position));
        std::memcpy(data, m_replies->constData() + m_position, size_t(n));
        m_position += n;
        // Each read is one frame: its checksum over the frame with the
        // checksum bytes zeroed.
        if (m_rightChecksums && n >= kFrameHeaderSize)
        {
            data[1] = 0;
            data[2] = 0;
            const quint16 crc = Crc16(data, quint16(n));
            data[1] = quint8(crc & 0xFF);
            data[2] = quint8(crc >> 8);
        }
        return n;
    }

private:
    const QByteArray* m_replies;
    bool m_rightChecksums;
    qsizetype m_position = 0;
    bool m_open = false;
};

class CCompletion : public QObject
{
    Q_OBJECT
public:
    QEventLoop loop;
    bool done = false;
public Q_SLOTS:
    void DeviceTaskCompleted(int, const void*, int)
    {
        done = true;
        loop.quit();
    }
};

QByteArray g_replies;
bool g_rightChecksums = false;
CScriptedPrompts g_prompts;
CDeviceManager* g_manager = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    SetUserPrompts(&g_prompts);
    g_manager = new CDeviceManager;
    g_manager->SetPortOverride(QStringLiteral("/dev/fuzz-gauge"), QStringLiteral("fuzz"));
    g_manager->SetLinkFactory(
        [] { return std::make_unique<CFuzzLink>(&g_replies, g_rightChecksums); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int task = kFuzzTasks[data[0] % kFuzzTaskCount];
    const int value = data[1] % 4;
    g_rightChecksums = (data[1] & 0x80) != 0;
    g_replies = FuzzBytes(data + 2, size - 2);

    CTaskBuffers buffers;
    void* buffer = buffers.For(task);

    CCompletion completion;
    g_prompts.Clear();
    g_manager->StartTask(task, buffer, value, &completion);
    if (!completion.done)
        completion.loop.exec();
    // The worker thread has finished before the next task may start.
    while (g_manager->IsBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return 0;
}

#include "fuzz_device_tasks.moc"
