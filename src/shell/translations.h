#pragma once
// Qt's own texts (message box buttons, file, colour and print dialogs) in
// Russian, whatever the machine's locale: every operator reads Russian.

// Installs Qt's Russian translations into the running application. Returns
// false when they are not installed on the machine (the texts stay English).
bool LoadQtRussianTranslations();
