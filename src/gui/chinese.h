#pragma once

class QCoreApplication;

// Qt's own texts (message-box buttons, the print, file and preview dialogs)
// in Chinese whatever the system locale, from the translations installed
// with Qt. False, and the program runs with Qt's English, where the file is
// missing.
bool installChineseTranslations(QCoreApplication &app);
