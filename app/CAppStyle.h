#pragma once

class QStyle;

// The program's style: Fusion, except that the arrow a menu bar shows when
// its menus do not fit is read when first drawn, not when the bar is made.
// Qt's reader of that first picture loads every image plug-in there is to
// ask each whether it reads PNG (a tenth of the start-up), for an arrow a
// window wide enough never shows.
namespace CAppStyle
{
QStyle* Create();
} // namespace CAppStyle
