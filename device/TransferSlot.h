#pragma once

#include <QtGlobal>

// Largest payload any command sends or expects; every frame buffer holds a
// 4-byte header plus this much.
constexpr int kMaxFramePayload = 128;
constexpr int kFrameHeaderSize = 4;
constexpr int kFrameBufferSize = kFrameHeaderSize + kMaxFramePayload;

// Frame layout: [0] command or reply status, [1..2] CRC-16 little-endian
// (computed with these two bytes zero), [3] payload length, [4..] payload.
struct TransferSlot
{
    enum Direction : qint32
    {
        Write = 0,
        Read = 1
    };
    qint32 direction = Write;
    quint8 frame[kFrameBufferSize] = {};

    quint8 Code() const { return frame[0]; }
    quint8 Length() const { return frame[3]; }
    quint8* Payload() { return frame + kFrameHeaderSize; }
    const quint8* Payload() const { return frame + kFrameHeaderSize; }
};

// Reply status values.
namespace ReplyStatus
{
constexpr quint8 Identify = 0x55;
constexpr quint8 Accepted = 0x00; // also: the last record of a record-by-record read
constexpr quint8 More = 0x80;     // record delivered, more follow
constexpr quint8 FlashFull = 0xFE;
constexpr quint8 NameExists = 0xFD;
} // namespace ReplyStatus

// Command codes.
namespace Command
{
constexpr quint8 Identify = 0xAA;
constexpr quint8 ReadFirmware = 0x01;
constexpr quint8 ReadEeprom = 0x02;
constexpr quint8 WriteEepromBlock = 0x03;
constexpr quint8 ReadConfig = 0x04;
constexpr quint8 ReadPepEntry = 0x06;
constexpr quint8 ReadMaterial = 0x08;
constexpr quint8 WriteMaterial = 0x09;
constexpr quint8 ReadScreenBlock = 0x0A;
constexpr quint8 ReadFileDescriptor = 0x0C;
constexpr quint8 ReadCell = 0x0D;
constexpr quint8 WriteClock = 0x0F;
constexpr quint8 BeginUpload = 0x10;
constexpr quint8 UploadCell = 0x11;
constexpr quint8 FinishUpload = 0x12;
constexpr quint8 EraseDatabase = 0x13;
} // namespace Command
