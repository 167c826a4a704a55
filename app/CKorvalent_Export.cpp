#include "app/CKorvalent.h"

// Not built yet: these slots get their behaviour with their own work item.
void CKorvalent::ExportResultsToCSV() {}
void CKorvalent::ExportResultsToXLS() {}
