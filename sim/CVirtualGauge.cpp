#include "sim/CVirtualGauge.h"

CVirtualGauge::CVirtualGauge() = default;
