// The safety check shared by the extraction fuzzer and its corpus replay test: extract
// arbitrary archive bytes into a fresh folder and prove that nothing appeared outside it.
//
// Layout of one check, all inside a fresh outer folder:
//   outer/root/arch/input.tvk   the bytes under test
//   outer/root/out/             the target folder
//   outer/root/sentinel/        a sibling that must stay empty
// Afterwards outer holds only root, root only arch, out and sentinel, arch only the input,
// sentinel nothing, and nothing below out is a symbolic link (extraction never makes one).
//
// With planted links, out holds links into sentinel before the extraction (folders "a", "f",
// "sub" to sentinel itself; files "a.txt", "readme", "x" to sentinel/kept.txt), the names the
// seeds use, so entries meet a link on their way or at their own name. Afterwards sentinel must
// hold kept.txt alone, unchanged, and the only links below out are planted ones, unchanged (a
// planted file link may have been replaced by the extracted file).
// No gtest here: the fuzzer links without it.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/app_context.h"
#include "core/prompts.h"
#include "extract/extraction.h"
#include "extract/overwrite.h"

namespace tovask::fuzzcheck {

// Every question answered "rename all".
class RenameAllQuestion : public OverwriteQuestion {
 public:
  void Ask(OverwritePrompt& prompt) override { prompt.answer = AnswerRenameAll; }
};

class FixedPassword : public PasswordPrompt {
 public:
  std::optional<std::string> AskPassword(const std::string&, const std::string&) override {
    return std::string("pw");
  }
};

inline std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* item = ::readdir(dir)) {
      const std::string name = item->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(dir);
  }
  return names;
}

// "" when every file below folder is a regular file or a real folder, else the first link.
inline std::string FirstLinkBelow(const std::string& folder) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_symlink(ec)) return it->path().string();
  }
  return std::string();
}

// The links planted for ExtractAndCheck: name in out, and target below root.
inline const std::vector<std::pair<std::string, std::string>>& PlantedLinks() {
  static const std::vector<std::pair<std::string, std::string>> links = {
      {"a", "sentinel"},
      {"f", "sentinel"},
      {"sub", "sentinel"},
      {"a.txt", "sentinel/kept.txt"},
      {"readme", "sentinel/kept.txt"},
      {"x", "sentinel/kept.txt"}};
  return links;
}

inline constexpr std::string_view kKeptContent = "kept";

// The first link below folder that is not a planted one still leading where it was planted.
inline std::string FirstForeignLinkBelow(const std::string& folder, const std::string& root) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec)) continue;
    bool planted = false;
    for (const auto& [name, target] : PlantedLinks()) {
      planted = planted || (it->path() == std::filesystem::path(folder) / name &&
                            std::filesystem::read_symlink(it->path(), ec) ==
                                std::filesystem::path(root) / target);
    }
    if (!planted) return it->path().string();
  }
  return std::string();
}

inline std::string FileText(const std::string& path) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[64];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
  }
  return text;
}

// Extracts bytes as described above; returns "" when all is well, else what went wrong.
// tamper (tests of the check itself) runs between the extraction and the check, given root.
inline std::string ExtractAndCheck(const std::uint8_t* data, std::size_t size,
                                   const std::function<void(const std::string&)>& tamper = {},
                                   bool plantLinks = false) {
  std::string outer = std::filesystem::temp_directory_path().string() + "/tvk-fuzz-XXXXXX";
  if (::mkdtemp(outer.data()) == nullptr) return "mkdtemp failed";
  const std::string root = outer + "/root";
  const std::string arch = root + "/arch";
  const std::string out = root + "/out";
  const std::string sentinel = root + "/sentinel";
  for (const std::string& folder : {root, arch, out, sentinel}) ::mkdir(folder.c_str(), 0777);
  if (plantLinks) {
    std::error_code ec;
    if (std::FILE* kept = std::fopen((sentinel + "/kept.txt").c_str(), "wb")) {
      std::fwrite(kKeptContent.data(), 1, kKeptContent.size(), kept);
      std::fclose(kept);
    }
    for (const auto& [name, target] : PlantedLinks()) {
      std::filesystem::create_symlink(root + "/" + target, out + "/" + name, ec);
    }
  }
  const std::string input = arch + "/input.tvk";
  if (std::FILE* file = std::fopen(input.c_str(), "wb")) {
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return "cannot write the input";
  } else {
    return "cannot write the input";
  }

  std::string problem;
  {
    AppContext context;
    // No StartUp: messages use their built-in texts and no message file is written.
    context.archiveMagic = "RID";
    context.formatVersion = "1.05";
    context.runDirectory = arch + "/";
    RenameAllQuestion question;
    FixedPassword password;
    ExtractRequest request;
    request.archivePath = input;
    request.password = "pw";
    request.targetFolder = out;
    OperationSeams seams;
    seams.overwrite = &question;
    seams.password = &password;
    const Outcome outcome = ExtractEntries(context, request, seams);
    if (outcome.done() != context.errorLog.empty() || outcome.LogText() != context.errorLog) {
      problem = "outcome and error log disagree";
    }
  }
  if (tamper) tamper(root);

  if (NamesIn(outer) != std::set<std::string>{"root"}) problem = "something beside root";
  if (NamesIn(root) != std::set<std::string>{"arch", "out", "sentinel"}) {
    problem = "something beside the target";
  }
  if (NamesIn(arch) != std::set<std::string>{"input.tvk"}) problem = "the archive folder changed";
  if (plantLinks) {
    if (NamesIn(sentinel) != std::set<std::string>{"kept.txt"} ||
        FileText(sentinel + "/kept.txt") != kKeptContent) {
      problem = "the sentinel folder was written through a link";
    }
    if (const std::string link = FirstForeignLinkBelow(out, root); !link.empty()) {
      problem = "a link: " + link;
    }
  } else {
    if (!NamesIn(sentinel).empty()) problem = "the sentinel folder was written";
    if (const std::string link = FirstLinkBelow(out); !link.empty()) problem = "a link: " + link;
  }

  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(outer, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    ::chmod(it->path().c_str(), 0777);  // read-only files must not stop the clean-up
  }
  std::filesystem::remove_all(outer, ec);
  return problem;
}

}  // namespace tovask::fuzzcheck
