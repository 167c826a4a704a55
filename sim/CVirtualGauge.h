#pragma once

#include "data/GaugeRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// The virtual gauge: a complete QM-3RX answering the PC's requests from the
// gauge's side of the protocol on a POSIX pseudo-terminal, on its own thread.
// The program opens PortPath() exactly as it opens a real USB port.
//
// Every accessor is thread-safe; content may be changed while it serves.
class CVirtualGauge
{
public:
    // What a fault does to the reply it applies to.
    enum FaultKind
    {
        FaultSilence,        // no reply at all
        FaultShortReply,     // only the first `value` bytes of the frame (default 3)
        FaultExtraBytes,     // the frame followed by `value` stray bytes (default 2)
        FaultBadCrc,         // one bit of the checksum flipped
        FaultStatus,         // the status byte replaced by `value`
        FaultDeclaredLength, // the length byte set to `value`, payload and checksum still
                             // consistent
        FaultPayloadSize,    // a reply with exactly `value` payload bytes (cut or zero-padded)
        FaultOversize,       // the length byte set to `value` (default 200) above a frame buffer
        FaultDelay,          // the whole frame after `value` ms
        FaultPieces,         // the frame in three pieces, `value` ms apart
        FaultHangUp,         // the gauge disappears: the pseudo-terminal is closed
        FaultLateBytes       // the frame, then `value` ms later (default 100) five stray bytes
    };

    struct Fault
    {
        FaultKind kind = FaultSilence;
        int command = -1;  // command code it applies to, -1 any
        int exchange = -1; // exchange number (0 = the first request served), -1 any
        int value = -1;    // meaning per kind, -1 = the kind's default
        int times = 1;     // how many replies it spoils, -1 = all
    };

    struct Request
    {
        int exchange = 0; // 0-based number of the request
        quint8 code = 0;
        QByteArray payload;
    };

    CVirtualGauge();
    ~CVirtualGauge();
    CVirtualGauge(const CVirtualGauge&) = delete;
    CVirtualGauge& operator=(const CVirtualGauge&) = delete;

    // Opens the pseudo-terminal and starts serving. False with a reason when
    // the system refuses a pseudo-terminal.
    bool Start(QString* error = nullptr);
    void Stop();
    bool IsRunning() const { return m_running; }
    QString PortPath() const;

    // --- content ---
    // A realistic demo gauge: several data files in mm and inches with some
    // LOS readings, common materials, transducers, a valid transducer memory
    // image and a drawn screen. Deterministic.
    void LoadDemoContent();
    // Data files from a measurement database (.kdb); the rest stays as it is.
    bool LoadDatabase(const QString& path, QString* error = nullptr);

    QString Name() const;
    void SetName(const QString& name); // at most 6 bytes in windows-1251
    void SetNameBytes(const QByteArray& bytes);
    quint32 SerialNumber() const;
    void SetSerialNumber(quint32 serial);
    quint32 FirmwareVersion() const;
    quint16 FirmwareId() const;
    void SetFirmware(quint32 versionWord, quint16 identifier);

    DataFileList Files() const;
    void SetFiles(const DataFileList& files);
    MaterialList Materials() const;
    void SetMaterials(const MaterialList& materials);
    QList<PEPListRecord> Transducers() const;
    void SetTransducers(const QList<PEPListRecord>& transducers);
    QByteArray Eeprom() const; // 128 bytes
    void SetEeprom(const QByteArray& image);
    QByteArray Screen() const; // 1024 bytes
    void SetScreen(const QByteArray& screen);
    QByteArray Config() const; // 96 bytes
    void SetConfig(const QByteArray& config);

    // Flash room for uploaded files, in cells; a file that does not fit is
    // answered "flash full". Files beyond 150 never fit.
    int FlashCapacity() const;
    void SetFlashCapacity(int cells);

    // --- what the PC did ---
    // The log keeps only the last RequestLogLimit() requests (1000 unless set),
    // so a gauge serving download after download stays small.
    QList<Request> RequestLog() const;
    int RequestLogLimit() const;
    void SetRequestLogLimit(int requests); // at least 1

    QList<quint8> RequestCodes() const;
    void ClearRequestLog();
    int ExchangeCount() const;
    int BadFrames() const;     // requests dropped for a wrong checksum
    int LateBytesSent() const; // stray byte bursts of FaultLateBytes sent so far
    QByteArray LastClockRecord() const;
    DataFileList UploadedFiles() const; // every completed upload, in order

    // --- faults ---
    void InjectFault(const Fault& fault);
    void InjectFault(FaultKind kind, int command = -1, int exchange = -1, int value = -1,
                     int times = 1);
    void ClearFaults();
    int PendingFaults() const;

    // Demo content builders, also useful to tests.
    static DataFileList DemoFiles(quint32 serial, quint32 firmware);
    // The earlier (later = false) or the later survey of the demo pipeline.
    static DataFileRecord DemoSurvey(quint32 serial, quint32 firmware, bool later);
    static MaterialList DemoMaterials();
    static QList<PEPListRecord> DemoTransducers();
    static QByteArray DemoEeprom();
    static QByteArray DemoScreen();
    static MaterialRecord MakeMaterial(const QString& name, quint16 velocity, qint16 coefficient);

private:
    struct State;
    void Serve();
    void HandleFrame(const QByteArray& frame);
    bool SendReply(QByteArray frame, quint8 code, int exchange);
    bool WaitStop(int ms);
    void CloseFds();

    std::unique_ptr<State> m_state;
    mutable std::mutex m_mutex;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    int m_master = -1;
    int m_slave = -1;
    int m_wake[2] = {-1, -1};
    QString m_path;
};
