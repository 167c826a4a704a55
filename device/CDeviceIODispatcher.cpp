#include "device/CDeviceIODispatcher.h"

#include "device/CDeviceManager.h"

void CDeviceIODispatcher::run()
{
    m_manager->WorkerLoop();
}
