// Shared pieces of the extraction tests: a started context with an archive folder and a
// separate target folder, scripted answers to the overwrite question and the password prompt,
// and a listing of everything below a folder.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/format.h"
#include "core/messages.h"
#include "core/prompts.h"
#include "extract/extraction.h"
#include "extract/overwrite.h"
#include "platform/text.h"
#include "support/archive_builder.h"
#include "support/archive_fixture.h"
#include "support/scripted_password.h"
#include "support/temp_dir.h"

namespace tovask::testing {

// Answers the overwrite question from a script; once the script is used up, every further
// question is answered by fallback. Records every existing path it was asked about.
class ScriptedQuestion : public OverwriteQuestion {
 public:
  struct Step {
    OverwriteAnswer answer = AnswerNone;  // AnswerNone: leave the question unanswered
    std::string newName;                  // for AnswerRename
  };
  explicit ScriptedQuestion(std::deque<Step> script, Step fallback = {AnswerNo, ""})
      : script_(std::move(script)), fallback_(std::move(fallback)) {}

  void Ask(OverwritePrompt& prompt) override {
    asked.push_back(prompt.existingPath);
    Step step = fallback_;
    if (!script_.empty()) {
      step = script_.front();
      script_.pop_front();
    }
    if (step.answer != AnswerNone) {  // AnswerNone: closed without a button
      prompt.answer = step.answer;
      if (step.answer == AnswerRename) prompt.newName = step.newName;
    }
    lastPrompt = prompt;
  }

  std::vector<std::string> asked;
  OverwritePrompt lastPrompt;  // the record as the question left it, last time asked

 private:
  std::deque<Step> script_;
  Step fallback_;
};

using ScriptedPassword = tovask::testing::ScriptedPassword;

// Sets TZ for one test and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> old_;
};

// Every path below root, relative, sorted; folders end in "/", links in "@". Links are not
// followed.
inline std::vector<std::string> TreeOf(const std::string& root) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::string name = it->path().lexically_relative(root).string();
    if (it->is_symlink()) {
      name += "@";
    } else if (it->is_directory()) {
      name += "/";
    }
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline bool OwnerWritable(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) != 0;
}

inline std::int64_t ModifiedUnix(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_mtim.tv_sec) : -1;
}

class ExtractFixture : public ArchiveFixture {
 protected:
  // Writes an archive of the given entries (blocks back to back) to ArchivePath().
  void WriteArchive(const std::vector<StoredEntry>& entries) {
    ArchiveBuilder builder(context.dataOps);
    for (const StoredEntry& entry : entries) builder.Entry(entry);
    builder.WriteTo(ArchivePath());
  }

  [[nodiscard]] StoredEntry Stored(const std::string& name, const std::string& content,
                                   const std::string& password = "",
                                   std::uint8_t attributes = EntryFlags::Archive) {
    return MakeStoredEntry(context.dataOps, name, content, password, kExampleTime, attributes);
  }

  [[nodiscard]] ExtractRequest Request() const {
    ExtractRequest request;
    request.archivePath = ArchivePath();
    request.targetFolder = target.path();
    return request;
  }

  // True when nothing failed: Done, or Cancelled by the overwrite question's "取消".
  bool Extract(const ExtractRequest& request) {
    outcome = ExtractEntries(context, request, seams);
    return outcome.kind == OutcomeKind::Done || outcome.kind == OutcomeKind::Cancelled;
  }
  bool Extract() { return Extract(Request()); }

  TempDir target;
  OperationSeams seams;
  Outcome outcome;  // of the last Extract
};

}  // namespace tovask::testing
