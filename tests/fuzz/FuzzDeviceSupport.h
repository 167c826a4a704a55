#pragma once

#include "data/GaugeRecords.h"

#include <QList>

#include <cstring>

// What the device-task fuzzer and its corpus maker share: the tasks that
// talk to the gauge (input byte 0 picks one) and a buffer of the kind each
// takes, fresh for every run.
constexpr int kFuzzTasks[] = {1, 2, 3, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15};
constexpr int kFuzzTaskCount = int(sizeof(kFuzzTasks) / sizeof(kFuzzTasks[0]));

struct CTaskBuffers
{
    PEPEepromImage eeprom;
    MaterialList materials;
    QList<PEPListRecord> transducers;
    quint8 screen[1024] = {};
    DataFileList files;
    quint8 clock[6] = {1, 2, 3, 4, 5, 6};

    CTaskBuffers()
    {
        std::memset(&eeprom, 0, sizeof(eeprom));
        MaterialRecord material;
        std::memset(&material, 0, sizeof(material));
        std::strcpy(material.name, "Steel");
        material.velocity = 5920;
        materials = {material, material};
        files = {File("A", 3), File("B", 0), File("C", 255)};
    }

    static DataFileRecord File(const char* name, int records)
    {
        DataFileRecord file;
        std::memset(&file.header, 0, sizeof(file.header));
        std::strncpy(file.header.name, name, sizeof(file.header.name));
        file.header.records = quint8(records);
        CellRecord cell;
        std::memset(&cell, 0, sizeof(cell));
        file.cells = QList<CellRecord>(records, cell);
        return file;
    }

    // The buffer task takes (nullptr for those that take none).
    void* For(int task)
    {
        switch (task)
        {
        case 1:
        case 2:
            return &eeprom;
        case 5:
            materials.clear();
            return &materials;
        case 6:
            return &materials;
        case 7:
            return &transducers;
        case 10:
            return screen;
        case 11:
            files.clear();
            return &files;
        case 12:
        case 13:
            return &files;
        case 14:
            return clock;
        default:
            return nullptr;
        }
    }
};
