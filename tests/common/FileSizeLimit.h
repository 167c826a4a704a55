#pragma once

#include "tests/common/TestSupport.h"

// The file-size guard of the shared test support, under the name some
// suites use.
using FileSizeLimit = CFileSizeLimit;
