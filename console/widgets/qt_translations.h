#pragma once
// Qt's own texts (standard buttons of message boxes, the file dialogs) in
// Chinese, like the rest of the window, whatever the system's locale is.
// False, reported on stderr, when the translation file is missing.
bool InstallQtChineseTranslations();
