// A password prompt answered from a script; it remembers what it was asked.
#pragma once

#include <optional>
#include <string>

#include "core/prompts.h"

namespace tovask::testing {

class ScriptedPassword : public PasswordPrompt {
 public:
  // nullopt: every question is cancelled.
  explicit ScriptedPassword(std::optional<std::string> answer) : answer_(std::move(answer)) {}
  std::optional<std::string> AskPassword(const std::string& prompt,
                                         const std::string& caption) override {
    ++calls;
    lastPrompt = prompt;
    lastCaption = caption;
    return answer_;
  }
  int calls = 0;
  std::string lastPrompt;
  std::string lastCaption;

 private:
  std::optional<std::string> answer_;
};

}  // namespace tovask::testing
