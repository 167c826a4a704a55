#pragma once

// The program's icons (resource files named *.ico, PNG inside) are read
// when first painted or measured, not when a form is built: a form sets
// every icon of its buttons, actions and tabs, and reading them all took a
// sixth of the main window's start-up, most for menus and tabs not yet open.
namespace CDeferredIcons
{
// From now on, icons made from *.ico files read their images when first
// needed. Safe to call more than once.
void Install();
} // namespace CDeferredIcons
