#include "sim/CVirtualGauge.h"

#include "data/CDataStorage.h"
#include "device/CCrc16.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace
{
constexpr quint8 kStatusIdentify = 0x55;
constexpr quint8 kStatusAccepted = 0x00;
constexpr quint8 kStatusMore = 0x80;
constexpr quint8 kStatusFlashFull = 0xFE;
constexpr quint8 kStatusNameExists = 0xFD;
constexpr quint8 kStatusRefused = 0x01;
constexpr int kAckLength = 10; // what the identification declares, so every ack matches it
constexpr int kMaxFiles = 150;

QByteArray ToAnsi(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder(text);
}

QString FromAnsi(const char* data, int size)
{
    int length = 0;
    while (length < size && data[length] != 0)
        ++length;
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid())
        return QString::fromLatin1(data, length);
    return decoder(QByteArrayView(data, length));
}

void PutAnsi(const QString& text, char* field, int size)
{
    std::memset(field, 0, size_t(size));
    const QByteArray bytes = ToAnsi(text);
    std::memcpy(field, bytes.constData(), size_t(qMin<int>(size, int(bytes.size()))));
}

template <typename T> QByteArray Bytes(const T& record)
{
    return QByteArray(reinterpret_cast<const char*>(&record), int(sizeof(T)));
}

void StoreCrc(QByteArray& frame)
{
    frame[1] = 0;
    frame[2] = 0;
    const quint16 crc = Crc16(frame.constData(), quint16(frame.size()));
    frame[1] = char(crc & 0xFF);
    frame[2] = char(crc >> 8);
}

// A reply frame; `declared` differs from the payload size only for the "no
// such record" answers, which still send a full-size payload so that the PC
// reads exactly what it expects.
QByteArray MakeFrame(quint8 status, const QByteArray& payload, int declared = -1)
{
    QByteArray frame(4, 0);
    frame[0] = char(status);
    frame[3] = char(quint8(declared < 0 ? payload.size() : declared));
    frame += payload;
    StoreCrc(frame);
    return frame;
}

QByteArray Ack(quint8 status, quint8 code)
{
    QByteArray payload(kAckLength, 0);
    payload[0] = char(code);
    return MakeFrame(status, payload);
}

QByteArray NoRecord(int physicalSize)
{
    return MakeFrame(kStatusAccepted, QByteArray(physicalSize, 0), 0);
}

// Deterministic pseudo-random numbers for the demo content.
struct Lcg
{
    quint32 state;
    explicit Lcg(quint32 seed) : state(seed) {}
    quint32 Next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    double Uniform() { return double(Next() % 100000) / 100000.0; }
};

quint16 PackCellDate(int year, int month, int day)
{
    return quint16(((year - 2000) << 9) | (month << 5) | day);
}

quint16 PackEepromDate(int year, int month, int day)
{
    return quint16((day << 11) | (month << 7) | (year - 2000));
}
} // namespace

struct CVirtualGauge::State
{
    QByteArray name = QByteArray("QM-3RX");
    quint32 serial = 26031742;
    quint32 firmware = (1u << 24) | (4u << 16) | 317u;
    quint16 firmwareId = 0x3A7C;
    DataFileList files;
    MaterialList materials;
    QList<PEPListRecord> transducers;
    QByteArray eeprom = QByteArray(128, char(0xFF));
    QByteArray screen = QByteArray(1024, 0);
    QByteArray config = QByteArray(96, 0);
    int flashCapacity = 12000;

    bool uploadOpen = false;
    DataFileRecord pending;

    QList<Request> log;
    int logLimit = 1000;
    int exchanges = 0;
    int badFrames = 0;
    int lateBytes = 0;
    QByteArray clock;
    DataFileList uploaded;
    std::deque<Fault> faults;
};

CVirtualGauge::CVirtualGauge() : m_state(new State)
{
    for (int i = 0; i < 96; ++i)
        m_state->config[i] = char(i * 7 + 3);
}

CVirtualGauge::~CVirtualGauge()
{
    Stop();
}

bool CVirtualGauge::Start(QString* error)
{
    if (m_running)
        return true;
    auto fail = [&](const char* what)
    {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        CloseFds();
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail("posix_openpt");
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof(name)) != 0)
        return fail("ptsname");
    m_path = QString::fromLocal8Bit(name);

    // Keeping a slave open here means the program may close and reopen the
    // port between tasks without the master seeing a hang-up.
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail("open slave");
    termios settings{};
    if (::tcgetattr(m_slave, &settings) == 0)
    {
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B115200);
        ::cfsetospeed(&settings, B115200);
        ::tcsetattr(m_slave, TCSANOW, &settings);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (::pipe(m_wake) != 0)
        return fail("pipe");

    m_stop = false;
    m_running = true;
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void CVirtualGauge::Stop()
{
    m_stop = true;
    if (m_wake[1] >= 0)
    {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake[1], &c, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    CloseFds();
    m_running = false;
}

void CVirtualGauge::CloseFds()
{
    for (int* fd : {&m_master, &m_slave, &m_wake[0], &m_wake[1]})
        if (*fd >= 0)
        {
            ::close(*fd);
            *fd = -1;
        }
}

QString CVirtualGauge::PortPath() const
{
    return m_path;
}

bool CVirtualGauge::WaitStop(int ms)
{
    pollfd fd{m_wake[0], POLLIN, 0};
    return ::poll(&fd, 1, ms) > 0 || m_stop;
}

void CVirtualGauge::Serve()
{
    QByteArray buffer;
    auto lastByte = std::chrono::steady_clock::now();
    while (!m_stop)
    {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, 200);
        if (m_stop)
            break;
        if (ready > 0 && (fds[0].revents & POLLIN))
        {
            char chunk[512];
            const ssize_t n = ::read(m_master, chunk, sizeof(chunk));
            if (n > 0)
            {
                buffer.append(chunk, int(n));
                lastByte = std::chrono::steady_clock::now();
            }
        }
        // A frame that stops arriving half-way is dropped, as the gauge does.
        if (!buffer.isEmpty() &&
            std::chrono::steady_clock::now() - lastByte > std::chrono::milliseconds(1000))
            buffer.clear();
        while (buffer.size() >= 4)
        {
            const int size = 4 + quint8(buffer[3]);
            if (buffer.size() < size)
                break;
            const QByteArray frame = buffer.left(size);
            buffer.remove(0, size);
            HandleFrame(frame);
            if (!m_running)
                return;
        }
    }
}

void CVirtualGauge::HandleFrame(const QByteArray& received)
{
    QByteArray frame = received;
    const quint16 crc = quint16(quint8(frame[1]) | (quint8(frame[2]) << 8));
    frame[1] = 0;
    frame[2] = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    State& s = *m_state;
    if (Crc16(frame.constData(), quint16(frame.size())) != crc)
    {
        ++s.badFrames;
        return; // the gauge ignores a damaged request
    }
    const quint8 code = quint8(frame[0]);
    const QByteArray payload = frame.mid(4);
    const int exchange = s.exchanges++;
    if (s.log.size() >= s.logLimit)
        s.log.removeFirst(); // O(1) for QList: the oldest request goes
    s.log.append({exchange, code, payload});
    auto byteAt = [&](int i) { return i < payload.size() ? quint8(payload[i]) : quint8(0); };

    QByteArray reply;
    switch (code)
    {
    case 0xAA:
    {
        QByteArray p = s.name.left(6);
        p.append(QByteArray(6 - p.size(), 0));
        p.append(reinterpret_cast<const char*>(&s.serial), 4);
        reply = MakeFrame(kStatusIdentify, p);
        break;
    }
    case 0x01:
    {
        QByteArray p(reinterpret_cast<const char*>(&s.firmware), 4);
        p.append(reinterpret_cast<const char*>(&s.firmwareId), 2);
        reply = MakeFrame(kStatusAccepted, p);
        break;
    }
    case 0x02:
        reply = MakeFrame(kStatusAccepted, s.eeprom);
        break;
    case 0x03:
    {
        const int offset = byteAt(0);
        if (payload.size() >= 9 && offset + 8 <= 128)
        {
            s.eeprom.replace(offset, 8, payload.mid(1, 8));
            reply = Ack(kStatusAccepted, code);
        }
        else
            reply = Ack(kStatusRefused, code);
        break;
    }
    case 0x04:
        reply = MakeFrame(kStatusAccepted, s.config);
        break;
    case 0x06:
    {
        const int index = byteAt(0);
        const int count = int(s.transducers.size());
        if (index < count)
            reply = MakeFrame(index == count - 1 ? kStatusAccepted : kStatusMore,
                              Bytes(s.transducers.at(index)));
        else
            reply = NoRecord(sizeof(PEPListRecord));
        break;
    }
    case 0x08:
    {
        const int number = byteAt(0);
        const int count = int(s.materials.size());
        if (number >= 1 && number <= count)
            reply = MakeFrame(number == count ? kStatusAccepted : kStatusMore,
                              Bytes(s.materials.at(number - 1)));
        else
            reply = NoRecord(sizeof(MaterialRecord));
        break;
    }
    case 0x09:
    {
        const int number = byteAt(0);
        if (number >= 1 && payload.size() >= 1 + int(sizeof(MaterialRecord)))
        {
            // The PC writes the whole table in order: record n ends the table
            // until n + 1 follows.
            MaterialRecord record;
            std::memcpy(&record, payload.constData() + 1, sizeof(record));
            while (s.materials.size() < number)
                s.materials.append(MakeMaterial(QString(), 0, 0));
            s.materials.resize(number);
            s.materials[number - 1] = record;
            reply = Ack(kStatusAccepted, code);
        }
        else
            reply = Ack(kStatusRefused, code);
        break;
    }
    case 0x0A:
    {
        const int offset = (byteAt(0) << 8) | byteAt(1);
        if (offset % 128 == 0 && offset + 128 <= 1024)
            reply =
                MakeFrame(offset == 896 ? kStatusAccepted : kStatusMore, s.screen.mid(offset, 128));
        else
            reply = NoRecord(128);
        break;
    }
    case 0x0C:
    {
        const int index = byteAt(0);
        const int count = int(s.files.size());
        if (index < count)
        {
            DataFileDescriptor d;
            std::memcpy(&d, &s.files.at(index).header, sizeof(d));
            if (d.records == 0)
                d.records = 0xFF;
            reply = MakeFrame(index == count - 1 ? kStatusAccepted : kStatusMore, Bytes(d));
        }
        else
            reply = NoRecord(sizeof(DataFileDescriptor));
        break;
    }
    case 0x0D:
    {
        const int fileIndex = byteAt(0);
        const int cellIndex = byteAt(1);
        if (fileIndex < s.files.size() && cellIndex < s.files.at(fileIndex).cells.size())
        {
            const QList<CellRecord>& cells = s.files.at(fileIndex).cells;
            reply = MakeFrame(cellIndex == cells.size() - 1 ? kStatusAccepted : kStatusMore,
                              Bytes(cells.at(cellIndex)));
        }
        else
            reply = NoRecord(sizeof(CellRecord));
        break;
    }
    case 0x0F:
        s.clock = payload;
        reply = Ack(kStatusAccepted, code);
        break;
    case 0x10:
        if (payload.size() == 10)
        {
            s.pending = DataFileRecord();
            std::memcpy(reinterpret_cast<char*>(&s.pending.header) + 16, payload.constData(), 10);
            s.uploadOpen = true;
            reply = Ack(kStatusAccepted, code);
        }
        else
            reply = Ack(kStatusRefused, code);
        break;
    case 0x11:
        if (s.uploadOpen && payload.size() == 1 + int(sizeof(CellRecord)))
        {
            CellRecord cell;
            std::memcpy(&cell, payload.constData() + 1, sizeof(cell));
            const int index = byteAt(0);
            if (index < s.pending.cells.size())
                s.pending.cells[index] = cell;
            else
                s.pending.cells.append(cell);
            reply = Ack(kStatusAccepted, code);
        }
        else
            reply = Ack(kStatusRefused, code);
        break;
    case 0x12:
    {
        if (!s.uploadOpen || payload.size() > 16)
        {
            reply = Ack(kStatusRefused, code);
            break;
        }
        s.uploadOpen = false;
        char name[16] = {};
        std::memcpy(name, payload.constData(), size_t(payload.size()));
        bool exists = false;
        int used = 0;
        for (const DataFileRecord& f : s.files)
        {
            if (std::memcmp(f.header.name, name, 16) == 0)
                exists = true;
            used += int(f.cells.size());
        }
        if (exists)
            reply = Ack(kStatusNameExists, code);
        else if (s.files.size() >= kMaxFiles || used + s.pending.cells.size() > s.flashCapacity)
            reply = Ack(kStatusFlashFull, code);
        else
        {
            std::memcpy(s.pending.header.name, name, 16);
            s.files.append(s.pending);
            s.uploaded.append(s.pending);
            reply = Ack(kStatusAccepted, code);
        }
        break;
    }
    case 0x13:
        s.files.clear();
        s.uploadOpen = false;
        reply = Ack(kStatusAccepted, code);
        break;
    default:
        return; // unknown commands go unanswered
    }
    lock.unlock();
    SendReply(reply, code, exchange);
}

bool CVirtualGauge::SendReply(QByteArray frame, quint8 code, int exchange)
{
    Fault fault;
    bool faulty = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& faults = m_state->faults;
        for (auto it = faults.begin(); it != faults.end(); ++it)
        {
            if ((it->command < 0 || it->command == code) &&
                (it->exchange < 0 || it->exchange == exchange))
            {
                fault = *it;
                faulty = true;
                if (it->times > 0 && --it->times == 0)
                    faults.erase(it);
                break;
            }
        }
    }

    int pieces = 1;
    int gap = 0;
    int lateDelay = -1;
    if (faulty)
    {
        auto value = [&](int fallback) { return fault.value < 0 ? fallback : fault.value; };
        switch (fault.kind)
        {
        case FaultSilence:
            return true;
        case FaultShortReply:
            frame = frame.left(value(3));
            break;
        case FaultExtraBytes:
            frame.append(QByteArray(value(2), char(0xA5)));
            break;
        case FaultBadCrc:
            frame[1] = char(quint8(frame[1]) ^ 0x01);
            break;
        case FaultStatus:
            frame[0] = char(value(0x42));
            StoreCrc(frame);
            break;
        case FaultDeclaredLength:
            frame[3] = char(quint8(value(4)));
            StoreCrc(frame);
            break;
        case FaultPayloadSize:
        {
            const int size = qBound(0, value(4), 255);
            QByteArray payload = frame.mid(4);
            payload.resize(size);
            if (size > frame.size() - 4)
                std::memset(payload.data() + frame.size() - 4, 0,
                            size_t(size - (frame.size() - 4)));
            frame = frame.left(4) + payload;
            frame[3] = char(quint8(size));
            StoreCrc(frame);
            break;
        }
        case FaultOversize:
            frame[3] = char(quint8(value(200)));
            StoreCrc(frame);
            break;
        case FaultDelay:
            if (WaitStop(value(1000)))
                return false;
            break;
        case FaultPieces:
            pieces = 3;
            gap = value(300);
            break;
        case FaultLateBytes:
            lateDelay = value(100);
            break;
        case FaultHangUp:
            // The gauge is unplugged: the port disappears for good.
            m_running = false;
            ::close(m_master);
            m_master = -1;
            ::close(m_slave);
            m_slave = -1;
            return false;
        }
    }

    const int total = int(frame.size());
    int sent = 0;
    for (int piece = 0; piece < pieces; ++piece)
    {
        const int end = piece == pieces - 1 ? total : total * (piece + 1) / pieces;
        while (sent < end)
        {
            const ssize_t n = ::write(m_master, frame.constData() + sent, size_t(end - sent));
            if (n > 0)
                sent += int(n);
            else if (n < 0 && (errno == EAGAIN || errno == EINTR))
            {
                pollfd fd{m_master, POLLOUT, 0};
                if (::poll(&fd, 1, 2000) <= 0 || m_stop)
                    return false;
            }
            else
                return false;
        }
        if (piece < pieces - 1 && WaitStop(gap))
            return false;
    }
    if (lateDelay >= 0)
    {
        if (WaitStop(lateDelay))
            return false;
        const char stray[5] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
        if (::write(m_master, stray, sizeof(stray)) != ssize_t(sizeof(stray)))
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_state->lateBytes;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Content

#define KV_LOCKED std::lock_guard<std::mutex> lock(m_mutex)

QString CVirtualGauge::Name() const
{
    KV_LOCKED;
    return FromAnsi(m_state->name.constData(), int(m_state->name.size()));
}
void CVirtualGauge::SetName(const QString& name)
{
    KV_LOCKED;
    m_state->name = ToAnsi(name).left(6);
}
void CVirtualGauge::SetNameBytes(const QByteArray& bytes)
{
    KV_LOCKED;
    m_state->name = bytes.left(6);
}
quint32 CVirtualGauge::SerialNumber() const
{
    KV_LOCKED;
    return m_state->serial;
}
void CVirtualGauge::SetSerialNumber(quint32 serial)
{
    KV_LOCKED;
    m_state->serial = serial;
}
quint32 CVirtualGauge::FirmwareVersion() const
{
    KV_LOCKED;
    return m_state->firmware;
}
quint16 CVirtualGauge::FirmwareId() const
{
    KV_LOCKED;
    return m_state->firmwareId;
}
void CVirtualGauge::SetFirmware(quint32 versionWord, quint16 identifier)
{
    KV_LOCKED;
    m_state->firmware = versionWord;
    m_state->firmwareId = identifier;
}
DataFileList CVirtualGauge::Files() const
{
    KV_LOCKED;
    return m_state->files;
}
void CVirtualGauge::SetFiles(const DataFileList& files)
{
    KV_LOCKED;
    m_state->files = files;
}
MaterialList CVirtualGauge::Materials() const
{
    KV_LOCKED;
    return m_state->materials;
}
void CVirtualGauge::SetMaterials(const MaterialList& materials)
{
    KV_LOCKED;
    m_state->materials = materials;
}
QList<PEPListRecord> CVirtualGauge::Transducers() const
{
    KV_LOCKED;
    return m_state->transducers;
}
void CVirtualGauge::SetTransducers(const QList<PEPListRecord>& transducers)
{
    KV_LOCKED;
    m_state->transducers = transducers;
}
QByteArray CVirtualGauge::Eeprom() const
{
    KV_LOCKED;
    return m_state->eeprom;
}
void CVirtualGauge::SetEeprom(const QByteArray& image)
{
    KV_LOCKED;
    m_state->eeprom = image.left(128);
    m_state->eeprom.append(QByteArray(128 - m_state->eeprom.size(), char(0xFF)));
}
QByteArray CVirtualGauge::Screen() const
{
    KV_LOCKED;
    return m_state->screen;
}
void CVirtualGauge::SetScreen(const QByteArray& screen)
{
    KV_LOCKED;
    m_state->screen = screen.left(1024);
    m_state->screen.append(QByteArray(1024 - m_state->screen.size(), 0));
}
QByteArray CVirtualGauge::Config() const
{
    KV_LOCKED;
    return m_state->config;
}
void CVirtualGauge::SetConfig(const QByteArray& config)
{
    KV_LOCKED;
    m_state->config = config.left(96);
    m_state->config.append(QByteArray(96 - m_state->config.size(), 0));
}
int CVirtualGauge::FlashCapacity() const
{
    KV_LOCKED;
    return m_state->flashCapacity;
}
void CVirtualGauge::SetFlashCapacity(int cells)
{
    KV_LOCKED;
    m_state->flashCapacity = cells;
}
QList<CVirtualGauge::Request> CVirtualGauge::RequestLog() const
{
    KV_LOCKED;
    return m_state->log;
}
int CVirtualGauge::RequestLogLimit() const
{
    KV_LOCKED;
    return m_state->logLimit;
}
void CVirtualGauge::SetRequestLogLimit(int requests)
{
    KV_LOCKED;
    m_state->logLimit = qMax(1, requests);
    while (m_state->log.size() > m_state->logLimit)
        m_state->log.removeFirst();
}
QList<quint8> CVirtualGauge::RequestCodes() const
{
    KV_LOCKED;
    QList<quint8> codes;
    for (const Request& r : m_state->log)
        codes.append(r.code);
    return codes;
}
void CVirtualGauge::ClearRequestLog()
{
    KV_LOCKED;
    m_state->log.clear();
}
int CVirtualGauge::ExchangeCount() const
{
    KV_LOCKED;
    return m_state->exchanges;
}
int CVirtualGauge::BadFrames() const
{
    KV_LOCKED;
    return m_state->badFrames;
}
int CVirtualGauge::LateBytesSent() const
{
    KV_LOCKED;
    return m_state->lateBytes;
}
QByteArray CVirtualGauge::LastClockRecord() const
{
    KV_LOCKED;
    return m_state->clock;
}
DataFileList CVirtualGauge::UploadedFiles() const
{
    KV_LOCKED;
    return m_state->uploaded;
}
void CVirtualGauge::InjectFault(const Fault& fault)
{
    KV_LOCKED;
    m_state->faults.push_back(fault);
}
void CVirtualGauge::InjectFault(FaultKind kind, int command, int exchange, int value, int times)
{
    Fault fault;
    fault.kind = kind;
    fault.command = command;
    fault.exchange = exchange;
    fault.value = value;
    fault.times = times;
    InjectFault(fault);
}
void CVirtualGauge::ClearFaults()
{
    KV_LOCKED;
    m_state->faults.clear();
}
int CVirtualGauge::PendingFaults() const
{
    KV_LOCKED;
    return int(m_state->faults.size());
}

#undef KV_LOCKED

void CVirtualGauge::LoadDemoContent()
{
    const quint32 serial = SerialNumber();
    const quint32 firmware = FirmwareVersion();
    SetFiles(DemoFiles(serial, firmware));
    SetMaterials(DemoMaterials());
    SetTransducers(DemoTransducers());
    SetEeprom(DemoEeprom());
    SetScreen(DemoScreen());
}

MaterialRecord CVirtualGauge::MakeMaterial(const QString& name, quint16 velocity,
                                           qint16 coefficient)
{
    MaterialRecord r;
    std::memset(&r, 0, sizeof(r));
    PutAnsi(name, r.name, sizeof(r.name));
    r.velocity = velocity;
    r.tempCoefficient = coefficient;
    return r;
}

MaterialList CVirtualGauge::DemoMaterials()
{
    struct Entry
    {
        const char* name;
        quint16 velocity;
        qint16 coefficient;
    };
    static const Entry entries[] = {
        {"Сталь", 5920, -50},    {"Нерж. сталь", 5740, -45}, {"Чугун", 4600, -40},
        {"Алюминий", 6320, -70}, {"Медь", 4660, -45},        {"Латунь", 4430, -40},
        {"Титан", 6070, -35},    {"Никель", 5630, -40},      {"Свинец", 2160, -30},
        {"Стекло", 5640, -20},   {"Оргстекло", 2730, -300},  {"Полиэтилен", 2340, -600},
    };
    MaterialList list;
    for (const Entry& e : entries)
        list.append(MakeMaterial(QString::fromUtf8(e.name), e.velocity, e.coefficient));
    return list;
}

DataFileList CVirtualGauge::DemoFiles(quint32 serial, quint32 firmware)
{
    struct Plan
    {
        const char* name;
        bool inches;
        int decimals;
        double nominal; // thickness in the file's units
        int cells;
        quint16 velocity;
        const char* pep;
        quint32 pepSerial;
        int day;
        int month;
        int hour;
        int los; // every n-th reading is lost (0 none)
    };
    static const Plan plans[] = {
        {"Труба-1", false, 2, 8.0, 36, 5920, "П112-5", 123456, 12, 3, 9, 11},
        {"TANK-A", false, 1, 12.5, 24, 5920, "D1771", 770412, 14, 3, 10, 0},
        {"Котёл-2", false, 2, 16.0, 48, 5740, "П112-10", 221907, 2, 4, 8, 9},
        {"VALVE-3", true, 2, 0.45, 30, 6320, "D1771", 770412, 5, 4, 13, 7},
        {"ELBOW-IN", true, 2, 0.25, 18, 5920, "DA301", 90233, 6, 4, 15, 0},
        {"Отвод-6", false, 1, 4.5, 12, 4660, "П112-5", 123456, 8, 4, 11, 5},
    };
    DataFileList files;
    quint32 seed = 20260312;
    for (const Plan& p : plans)
    {
        DataFileRecord file;
        PutAnsi(QString::fromUtf8(p.name), file.header.name, sizeof(file.header.name));
        file.header.records = quint8(p.cells);
        file.header.serialNumber = serial;
        file.header.fwVersion = firmware;
        file.header.audioIndex = 0;
        Lcg rng(seed++);
        for (int i = 0; i < p.cells; ++i)
        {
            CellRecord c;
            std::memset(&c, 0, sizeof(c));
            c.flags = quint8((p.inches ? 1 : 0) | (p.decimals << 1));
            const bool lost = p.los > 0 && i % p.los == p.los - 1;
            if (!lost)
            {
                // A slowly thinning wall with a little scatter.
                const double wear = 0.08 * p.nominal * std::sin(i * 0.37);
                const double noise = (rng.Uniform() - 0.5) * 0.03 * p.nominal;
                const double value = p.nominal - std::fabs(wear) + noise;
                const int scale = p.decimals == 2 ? 100 : 10;
                const int scaled = int(std::lround(value * scale));
                c.intPart = quint16(scaled / scale);
                c.fracPart = quint8(scaled % scale);
            }
            c.velocity = p.velocity;
            PutAnsi(QString::fromUtf8(p.pep), c.pepIdent, sizeof(c.pepIdent));
            c.pepSerial = p.pepSerial;
            const int minute = (i * 2) % 60;
            const int hour = p.hour + (i * 2) / 60;
            c.time = quint16((hour << 8) | minute);
            c.date = PackCellDate(2026, p.month, p.day);
            c.temperature = qint8(12 + int(rng.Next() % 9));
            file.cells.append(c);
        }
        files.append(file);
    }
    files.append(DemoSurvey(serial, firmware, false));
    files.append(DemoSurvey(serial, firmware, true));
    return files;
}

// One pipeline surveyed twice, a year apart, for the comparison of surveys:
// a wall of 10 mm (8 mm would be a plausible minimum) losing about a tenth
// of a millimetre a year, three locations losing much more (one of them now
// below 8 mm), one reading a little thicker than before, a LOS reading in
// each survey and a location added in the later one.
DataFileRecord CVirtualGauge::DemoSurvey(quint32 serial, quint32 firmware, bool later)
{
    struct Spot
    {
        int cell;
        double before; // mm, 0 = LOS
        double after;
    };
    static const Spot spots[] = {
        {3, 9.84, 9.86},  {6, 9.10, 8.30}, {9, 0.0, 9.62},
        {12, 8.70, 7.85}, {15, 9.71, 0.0}, {17, 9.40, 8.90},
    };
    const int cells = later ? 21 : 20;
    DataFileRecord file;
    PutAnsi(QString::fromUtf8(later ? "Линия-7 2026" : "Линия-7 2025"), file.header.name,
            sizeof(file.header.name));
    file.header.records = quint8(cells);
    file.header.serialNumber = serial;
    file.header.fwVersion = firmware;
    file.header.audioIndex = 0;
    for (int i = 0; i < cells; ++i)
    {
        const int number = i + 1;
        double value = 10.0 - 0.35 * std::fabs(std::sin(i * 0.6));
        if (later)
            value -= 0.05 + 0.01 * (i % 7);
        for (const Spot& spot : spots)
            if (spot.cell == number)
                value = later ? spot.after : spot.before;
        CellRecord c;
        std::memset(&c, 0, sizeof(c));
        c.flags = quint8(2 << 1);
        if (value > 0.0)
        {
            const int scaled = int(std::lround(value * 100));
            c.intPart = quint16(scaled / 100);
            c.fracPart = quint8(scaled % 100);
        }
        c.velocity = 5920;
        PutAnsi(QString::fromUtf8("П112-5"), c.pepIdent, sizeof(c.pepIdent));
        c.pepSerial = 123456;
        c.time = quint16(((later ? 11 : 10) << 8) | (i * 2));
        c.date = PackCellDate(later ? 2026 : 2025, 3, 17);
        c.temperature = qint8(later ? 9 : 14);
        file.cells.append(c);
    }
    return file;
}

QList<PEPListRecord> CVirtualGauge::DemoTransducers()
{
    struct Entry
    {
        const char* name;
        quint8 type;
        quint16 frequency;
        quint32 delay;
        quint8 rangeFrom;
        quint16 rangeTo;
        quint32 serial;
        bool vpath;
    };
    static const Entry entries[] = {
        {"П112-5", 0, 50, 7350, 8, 3000, 123456, true},
        {"П112-10", 0, 100, 4120, 5, 1000, 221907, true},
        {"D1771", 1, 40, 9875, 12, 2500, 770412, false},
        {"DA301", 1, 50, 6030, 10, 0xFFFF, 90233, true},
        {"П111-2.5", 1, 25, 12010, 0xFF, 6000, 31877, false},
    };
    QList<PEPListRecord> list;
    for (const Entry& e : entries)
    {
        PEPListRecord r;
        std::memset(&r, 0, sizeof(r));
        PutAnsi(QString::fromUtf8(e.name), r.name, sizeof(r.name));
        r.type = e.type;
        r.frequency = e.frequency;
        r.delay = e.delay;
        r.rangeFrom = e.rangeFrom;
        r.rangeTo = e.rangeTo;
        r.serialNumber = e.serial;
        if (e.vpath)
            for (int k = 0; k < 10; ++k)
            {
                VPathEntry v;
                v.actual = quint16(10 + 20 * k);
                v.measured = float(v.actual / 10.0 + 0.05 * (10 - k));
                v.error = float(0.05 * (10 - k));
                std::memcpy(r.vpath + 10 * k, &v, sizeof(v));
            }
        list.append(r);
    }
    return list;
}

QByteArray CVirtualGauge::DemoEeprom()
{
    PEPEepromImage image;
    std::memset(&image, 0, sizeof(image));
    std::memcpy(image.name, "D1771", 5); // this name is UTF-8 in the transducer
    image.typeWord = quint16((1u << 14) | (1u << 7) | 0u);
    image.frequency = 50;
    image.delay = 735;
    image.probeLength = 120;
    image.rangeFrom = 8;
    image.rangeTo = 3000;
    image.serialNumber = 770412;
    for (int k = 0; k < 10; ++k)
    {
        image.vpath[k].actual = quint16(10 + 20 * k);
        image.vpath[k].measured = float(image.vpath[k].actual / 10.0 + 0.04 * (10 - k));
        image.vpath[k].error = float(0.04 * (10 - k));
    }
    image.manufactureDate = PackEepromDate(2024, 5, 17);
    image.revisionDate = PackEepromDate(2026, 2, 3);
    image.crc = 0;
    image.crc = Crc16(&image, sizeof(image));
    return Bytes(image);
}

QByteArray CVirtualGauge::DemoScreen()
{
    QByteArray screen(1024, 0);
    auto set = [&](int x, int y)
    {
        if (x < 0 || x >= 128 || y < 0 || y >= 64)
            return;
        screen[(y / 8) * 128 + x] = char(quint8(screen[(y / 8) * 128 + x]) | (1 << (y % 8)));
    };
    auto box = [&](int x0, int y0, int x1, int y1)
    {
        for (int x = x0; x <= x1; ++x)
            for (int y = y0; y <= y1; ++y)
                set(x, y);
    };
    // Frame and a status strip with a battery.
    box(0, 0, 127, 0);
    box(0, 63, 127, 63);
    box(0, 0, 0, 63);
    box(127, 0, 127, 63);
    box(0, 11, 127, 11);
    box(104, 3, 120, 3);
    box(104, 8, 120, 8);
    box(104, 3, 104, 8);
    box(120, 3, 120, 8);
    box(121, 5, 122, 6);
    box(106, 5, 116, 6);
    // "12.45" in seven segments.
    static const quint8 segments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    auto digit = [&](int d, int x, int y)
    {
        const quint8 s = segments[d];
        const int w = 14, h = 16;
        if (s & 0x01)
            box(x, y, x + w, y + 2);
        if (s & 0x02)
            box(x + w - 2, y, x + w, y + h);
        if (s & 0x04)
            box(x + w - 2, y + h, x + w, y + 2 * h);
        if (s & 0x08)
            box(x, y + 2 * h - 2, x + w, y + 2 * h);
        if (s & 0x10)
            box(x, y + h, x + 2, y + 2 * h);
        if (s & 0x20)
            box(x, y, x + 2, y + h);
        if (s & 0x40)
            box(x, y + h - 1, x + w, y + h + 1);
    };
    digit(1, 8, 20);
    digit(2, 28, 20);
    box(48, 50, 50, 52);
    digit(4, 56, 20);
    digit(5, 76, 20);
    // "mm"
    for (int k = 0; k < 2; ++k)
    {
        const int x = 98 + k * 12;
        box(x, 44, x + 9, 45);
        box(x, 44, x + 1, 52);
        box(x + 4, 44, x + 5, 52);
        box(x + 8, 44, x + 9, 52);
    }
    return screen;
}

bool CVirtualGauge::LoadDatabase(const QString& path, QString* error)
{
    const CDataStorage::LoadResult result = CDataStorage::LoadDatabaseFile(path);
    if (!result.Succeeded())
    {
        if (error)
        {
            switch (result.status)
            {
            case CDataStorage::LoadResult::OpenFailed:
                *error = QStringLiteral("cannot open the file");
                break;
            case CDataStorage::LoadResult::ParseFailed:
                *error = QStringLiteral("not a well-formed file: %1").arg(result.parserError);
                break;
            default:
                *error = QStringLiteral("not a measurement database");
                break;
            }
        }
        return false;
    }
    // The gauge holds what it announces: a file keeps the cells it has.
    DataFileList files = result.files;
    for (DataFileRecord& file : files)
        file.header.records = quint8(qMin<int>(file.header.records, int(file.cells.size())));
    SetFiles(files);
    return true;
}
