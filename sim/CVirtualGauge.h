#pragma once

// The virtual gauge: a complete QM-3RX answering on a pseudo-terminal.
class CVirtualGauge
{
public:
    CVirtualGauge();
};
