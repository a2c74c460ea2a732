// Media copy: print screen, print line, printer controller and auto print.

#include "vt/Vt.h"

// MC.
void CVt::DoMC()
{
    if (Marked(0, '?')) {
        switch (Param(0)) {
        case 1: RequestProperty(kVtPropPrintLine, 1); break;
        case 4: RequestProperty(kVtPropAutoPrint, 0); break;
        case 5: RequestProperty(kVtPropAutoPrint, 1); break;
        default: break;
        }
        return;
    }
    switch (Param(0)) {
    case 0: RequestProperty(kVtPropPrintScreen, 1); break;
    case 4: RequestProperty(kVtPropPrinterController, 0); break;
    case 5: RequestProperty(kVtPropPrinterController, 1); break;
    default: break;
    }
}
