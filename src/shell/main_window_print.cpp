// Preview and printing of the rows shown.
#include "shell/main_window.h"

// "Предварительный просмотр".
void TForm1::N8Click() {}
// "Печать".
void TForm1::N9Click() {}
// Popup "Печать".
void TForm1::N22Click() {}
