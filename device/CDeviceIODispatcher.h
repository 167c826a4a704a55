#pragma once

#include <QThread>

class CDeviceManager;

// The device worker: runs the current task of its manager, then finishes.
class CDeviceIODispatcher : public QThread
{
public:
    explicit CDeviceIODispatcher(CDeviceManager* manager) : m_manager(manager) {}

protected:
    void run() override;

private:
    CDeviceManager* m_manager;
};
