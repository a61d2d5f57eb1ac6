// The life of the one open table: New, Open, Save, Close, the series list,
// row deletion and the two decoders.
#include "shell/main_window.h"

// "Создать": save dialog, download, Create_DB.
void TForm1::N2Click() {}
// Creates the table file and decodes the download into it.
void TForm1::Create_DB() {}
// "Открыть": open dialog, Open_DB, series list.
void TForm1::N3Click() {}
// Opens a table file and shows it.
void TForm1::Open_DB(const QString&) {}
// "Сохранить".
void TForm1::N5Click() {}
// Writes the table to disk by closing and reopening it.
void TForm1::Save_DB() {}
// "Закрыть".
void TForm1::N7Click() {}
// Closes the table and returns the window to its state without table.
void TForm1::Close_DB() {}
// Shows the selected series.
void TForm1::ListBox1Click() {}
// Shows the selected series.
void TForm1::ListBox1DblClick() {}
// Deletes the selected rows.
void TForm1::N21Click() {}
// Decodes a water-permeability download into rows.
void TForm1::flash2klt3() {}
// Decodes a plate-test download into rows.
void TForm1::flash2zen() {}
