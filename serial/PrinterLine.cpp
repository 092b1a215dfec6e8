#include "serial/PrinterLine.h"

void SetPrinterLine(TVaComm& port) {
    port.SetBaudrate(br9600);
    port.SetStopbits(sb2);
    port.SetDatabits(db8);
    port.SetParity(paNone);
    port.SetDirectWrite(true);
}
