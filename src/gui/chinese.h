#pragma once

class QCoreApplication;

// The program's own texts written in English in the sources (the message
// boxes' title, the settings table's captions) from its zh_CN translation,
// and Qt's own texts (message-box buttons, the print, file and preview dialogs)
// in Chinese whatever the system locale, from the translations installed
// with Qt. False, and the program runs with Qt's English, where the file is
// missing.
bool installChineseTranslations(QCoreApplication &app);
