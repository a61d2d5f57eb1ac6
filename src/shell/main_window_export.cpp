// Spreadsheet export of the rows shown.
#include "shell/main_window.h"

// "Экспорт в Excel".
void TForm1::Excel1Click() {}
// Writes the rows of the active view to an .xls file.
void TForm1::exp2excel() {}
