#pragma once

// The main window's widgets as one set: those of its frame's form and those
// of the report page's form, which is built when the page is first needed
// (until then its pointers are null). Included by the frame's generated
// header; the frame's class is the parameter because it is declared there
// after this header.
#include "ui_CReportPage.h"

template <typename Frame> class CKorvalentUiOf : public Frame, public Ui::CReportPage
{
public:
    CKorvalentUiOf() : Frame(), Ui::CReportPage() {}
};
