#pragma once

#include <QString>

// The folder the first "Salvar" and "Abrir" dialogs open in; later ones open
// where the last one ended. One file per platform.
QString FirstDialogFolder();
