#pragma once

#include <functional>

class QWidget;

// The program from its application object to the end of its event loop, as
// the executable runs it. `shown`, when given, is called with the main window
// once it has been shown (the start-up benchmark watches its first paint).
int KorvalentMain(int argc, char** argv,
                  const std::function<void(QWidget*)>& shown = nullptr);
