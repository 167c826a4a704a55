#include "app/CKorvalent.h"

// Not built yet: these slots get their behaviour with their own work item.
void CKorvalent::GetDeviceFirmwareVersion() {}
void CKorvalent::DeviceTaskCompleted(int, const void*, int) {}
void CKorvalent::OnResultsDownloadDatabaseFromDevice() {}
void CKorvalent::OnResultsUploadDatabaseToDevice() {}
void CKorvalent::OnUpdateTimeOnDevice() {}
