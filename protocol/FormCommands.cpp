// Placeholder: handlers not written yet.
#include "app/TForm1.h"

void TForm1::envia_e2p() {}
void TForm1::envia_linha() {}
void TForm1::envia_status() {}
void TForm1::envia_statuss() {}
void TForm1::envia_relogio() {}
void TForm1::imprime_banda() {}
void TForm1::envia_inicializa() {}
void TForm1::imprime_relatorio() {}
void TForm1::asc() {}
