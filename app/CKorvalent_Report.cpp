#include "app/CKorvalent.h"

// Not built yet: these slots get their behaviour with their own work item.
void CKorvalent::OnReportRefresh() {}
void CKorvalent::OnReportCreate() {}
void CKorvalent::OnReportSaveToFile() {}
void CKorvalent::OnReportLoadFromFile() {}
void CKorvalent::OnReportResultsRefresh() {}
void CKorvalent::OnReportDocumentRefresh() {}
void CKorvalent::OnReportDocumentPrint() {}
void CKorvalent::OnReportDocumentPreview() {}
void CKorvalent::OnReportClearInfoFields() {}
void CKorvalent::OnReportClearConclutionFields() {}
void CKorvalent::OnReportShowConclutionTab() {}
void CKorvalent::OnReportShowPreviewTab() {}
void CKorvalent::OnReportShowResultsTab() {}
void CKorvalent::OnReportTabSwitch(int) {}
