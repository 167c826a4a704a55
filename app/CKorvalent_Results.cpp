#include "app/CKorvalent.h"

// Not built yet: these slots get their behaviour with their own work item.
void CKorvalent::FilesTableUpdate() {}
void CKorvalent::ResultsTablesReset() {}
void CKorvalent::ResultFilesTableItemChanged(QItemSelection, QItemSelection) {}
void CKorvalent::ResultFilesTableClick(QModelIndex) {}
void CKorvalent::OnResultsLoadDatabaseFromFile() {}
void CKorvalent::OnResultsSaveDatabaseToFile() {}
void CKorvalent::OnResultsTablesRefresh() {}
void CKorvalent::OnResultsSaveFile() {}
void CKorvalent::OnResultsLoadFile() {}
void CKorvalent::OnResultsDeleteFile() {}
