#include "ui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace tovask::ui {

QString QtNameFilter(const QString& filter) {
  const qsizetype bar = filter.indexOf(QLatin1Char('|'));
  return bar < 0 ? filter : filter.left(bar);
}

bool QtDialogs::Message(QWidget* parent, const QString& text, const QString& title,
                        BoxFlags flags) {
  QMessageBox::Icon icon = QMessageBox::Information;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  switch (flags) {
    case kBoxCritical:
      icon = QMessageBox::Critical;
      break;
    case kBoxWarningOkCancel:
      icon = QMessageBox::Warning;
      buttons |= QMessageBox::Cancel;
      break;
    case kBoxInformation:
      break;
    case kBoxInformationOkCancel:
      buttons |= QMessageBox::Cancel;
      break;
  }
  QMessageBox box(icon, title, text, buttons, parent);
  const int answer = box.exec();
  return !(buttons & QMessageBox::Cancel) || answer == QMessageBox::Ok;
}

std::optional<QString> QtDialogs::InputText(QWidget* parent, const QString& prompt,
                                            const QString& title, const QString& initial,
                                            bool masked) {
  bool ok = false;
  QString text = QInputDialog::getText(
      parent, title, prompt, masked ? QLineEdit::Password : QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

QString QtDialogs::OpenFile(QWidget* parent, const QString& title, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, title, QString(), QtNameFilter(filter));
}

QStringList QtDialogs::OpenFiles(QWidget* parent, const QString& title, const QString& filter) {
  return QFileDialog::getOpenFileNames(parent, title, QString(), QtNameFilter(filter));
}

QString QtDialogs::SaveFile(QWidget* parent, const QString& title, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, title, QString(), QtNameFilter(filter));
}

QString QtDialogs::ChooseFolder(QWidget* parent, const QString& title) {
  return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
}

void QtDialogs::Beep() { QApplication::beep(); }

void QtDialogs::About(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::about(parent, title, text);
}

}  // namespace tovask::ui
