// Placeholder: handlers not written yet.
#include "app/TForm1.h"

void TForm1::Button4Click() {}
void TForm1::Button7Click() {}
void TForm1::fsave() {}
void TForm1::load() {}
void TForm1::ConnectSettingsHandlers() {}
