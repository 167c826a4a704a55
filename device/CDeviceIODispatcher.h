#pragma once

#include <QThread>

class CDeviceManager;

// The device worker: runs the tasks of its manager one after the other,
// waiting in between, until the manager ends.
class CDeviceIODispatcher : public QThread
{
public:
    explicit CDeviceIODispatcher(CDeviceManager* manager) : m_manager(manager) {}

protected:
    void run() override;

private:
    CDeviceManager* m_manager;
};
