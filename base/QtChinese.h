#pragma once
// Qt's own texts in Chinese: the standard buttons ("确定"), the file and print dialogs, the
// message box's details button, the calendar; whatever language the system speaks.
class QCoreApplication;
class QTranslator;

namespace corvanta {

// Installs Qt's Chinese translations (Debian: qt6-translations-l10n) and makes Chinese the
// default locale. The translator (owned by app), or null when the translation file is not
// installed: Qt's texts then stay English.
QTranslator* InstallQtChinese(QCoreApplication& app);

}  // namespace corvanta
