#include "app/DialogFolder.h"

// None: Qt's own choice, the folder the window was started from, where a
// launcher from the desktop puts the user's home and a terminal the folder
// the operator works in.
QString FirstDialogFolder() {
    return {};
}
