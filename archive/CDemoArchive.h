#pragma once

#include "archive/CSurveyArchive.h"

// The demo archive: one object surveyed once a year 2022 … 2026, most
// locations losing a little wall each year and a few thinning much faster,
// so that an object's history has something to show out of the box.
namespace CDemoArchive
{
QString ObjectName(); // "Трубопровод-3"
DataFileList Surveys();
// Adds the surveys to an open archive; false with *error when it fails.
bool Fill(CSurveyArchive& archive, QString* error);
} // namespace CDemoArchive
