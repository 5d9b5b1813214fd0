// ScriptedDialogs: the Dialogs of the window tests. Each call is recorded (kind, text, title,
// flags, masked) and answered from the queue of answers the test put in beforehand, in order;
// a call with no answer queued gets the cancel answer (false, nullopt, "", empty list), so a
// test that forgets an answer sees a cancelled dialog, never a hang.
//
// A box can also be answered by a callback, for windows that must be inspected while the box
// is "open" (the callback runs inside the call).
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <deque>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "ui/dialogs.h"

namespace tovask::ui::testing {

enum class DialogKind { Message, Input, OpenFile, OpenFiles, SaveFile, Folder, Beep, About };

struct DialogCall {
  DialogKind kind;
  QString text{};     // message text, input prompt, about text
  QString title{};    // title or caption
  int flags = 0;      // message boxes
  QString initial{};  // input boxes
  bool masked = false;
  QString filter{};  // file dialogs
};

// One queued answer: bool for message boxes, optional text for input boxes, a text for
// OpenFile/SaveFile/ChooseFolder, a list for OpenFiles.
using DialogAnswer = std::variant<bool, std::optional<QString>, QString, QStringList>;

class ScriptedDialogs final : public Dialogs {
 public:
  void Queue(DialogAnswer answer) { answers_.push_back(std::move(answer)); }
  // Runs before each call is answered (after it is recorded), with the call.
  std::function<void(const DialogCall&)> onCall;

  [[nodiscard]] const std::vector<DialogCall>& calls() const { return calls_; }
  [[nodiscard]] std::size_t pendingAnswers() const { return answers_.size(); }
  void ClearCalls() { calls_.clear(); }

  bool Message(QWidget*, const QString& text, const QString& title, BoxFlags flags) override {
    Record({DialogKind::Message, text, title, flags});
    return Next<bool>(false);
  }
  std::optional<QString> InputText(QWidget*, const QString& prompt, const QString& title,
                                   const QString& initial, bool masked) override {
    Record({DialogKind::Input, prompt, title, 0, initial, masked});
    return Next<std::optional<QString>>(std::nullopt);
  }
  QString OpenFile(QWidget*, const QString& title, const QString& filter) override {
    Record({DialogKind::OpenFile, {}, title, 0, {}, false, filter});
    return Next<QString>({});
  }
  QStringList OpenFiles(QWidget*, const QString& title, const QString& filter) override {
    Record({DialogKind::OpenFiles, {}, title, 0, {}, false, filter});
    return Next<QStringList>({});
  }
  QString SaveFile(QWidget*, const QString& title, const QString& filter) override {
    Record({DialogKind::SaveFile, {}, title, 0, {}, false, filter});
    return Next<QString>({});
  }
  QString ChooseFolder(QWidget*, const QString& title) override {
    Record({DialogKind::Folder, {}, title});
    return Next<QString>({});
  }
  void Beep() override { Record({DialogKind::Beep}); }
  void About(QWidget*, const QString& title, const QString& text) override {
    Record({DialogKind::About, text, title});
  }

 private:
  void Record(DialogCall call) {
    calls_.push_back(call);
    if (onCall) onCall(calls_.back());
  }
  template <typename T>
  T Next(T cancel) {
    if (answers_.empty()) return cancel;
    DialogAnswer answer = std::move(answers_.front());
    answers_.pop_front();
    if (auto* value = std::get_if<T>(&answer)) return std::move(*value);
    qFatal("ScriptedDialogs: the queued answer is of the wrong kind for this dialog");
  }

  std::deque<DialogAnswer> answers_;
  std::vector<DialogCall> calls_;
};

}  // namespace tovask::ui::testing
