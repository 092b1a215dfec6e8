// Placeholder: handlers not written yet.
#include "app/TForm1.h"

void TForm1::Button1Click() {}
void TForm1::Timer2Timer() {}
void TForm1::Button2Click() {}
void TForm1::Button3Click() {}
void TForm1::Button5Click() {}
void TForm1::Button6Click() {}
void TForm1::Button8Click() {}
void TForm1::ConnectOperationHandlers() {}
