// Placeholder: handlers not written yet.
#include "app/TForm1.h"

void TForm1::ComboBox5Click() {}
void TForm1::ComboBox5Change() {}
void TForm1::VaComm1Open() {}
void TForm1::ConnectPortHandlers() {}
