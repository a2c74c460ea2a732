// Media copy: print screen, print line, printer controller and auto print.

#include "vt/Vt.h"

// MC.
void CVt::DoMC()
{
    if (Marked(0, '?')) {
        switch (Param(0)) {
        case 1: RequestProperty(28, 1); break;
        case 4: RequestProperty(6, 0); break;
        case 5: RequestProperty(6, 1); break;
        default: break;
        }
        return;
    }
    switch (Param(0)) {
    case 0: RequestProperty(31, 1); break;
    case 4: RequestProperty(29, 0); break;
    case 5: RequestProperty(29, 1); break;
    default: break;
    }
}
