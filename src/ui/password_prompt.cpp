#include "ui/password_prompt.h"

#include <QString>

namespace tovask::ui {

std::optional<std::string> DialogsPasswordPrompt::AskPassword(const std::string& prompt,
                                                              const std::string& caption) {
  const std::optional<QString> answer =
      dialogs_.InputText(parent_, QString::fromStdString(prompt), QString::fromStdString(caption),
                         QString(), /*masked=*/true);
  if (!answer) return std::nullopt;
  return answer->toStdString();
}

}  // namespace tovask::ui
