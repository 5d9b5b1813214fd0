// tovask: the desktop program. Qt's own texts (standard buttons, file dialogs) are Chinese
// whatever the system locale, like every text of the program.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "core/app_context.h"
#include "core/startup.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                   QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }
  tovask::AppContext context;
  tovask::StartUp(context);
  return 0;
}
