// Reads arbitrary bytes as the message file, both parsed directly and as the program finds it
// (written to the run directory, looked up through the context's cache). Findings: a crash or
// sanitizer report; a value that is not UTF-8 (values are decoded from GBK, or checked when the
// file starts with the UTF-8 byte-order mark); an error or title text that does not carry the
// file's value for its code (the cache must always give the file as it is now), or a log line
// without its code.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/app_context.h"
#include "core/messages.h"
#include "core/startup.h"
#include "platform/ini_file.h"
#include "platform/text.h"

namespace {

void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_message_file: %s %s\n", what, detail.c_str());
  std::abort();
}

// A run directory of this process's own, removed at exit. Never destroyed, so the exit handler
// can still read it.
const std::string& RunDirectory() {
  static const std::string& folder = *[] {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/fuzz_messages-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp failed");
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(RunDirectory(), ec);
    });
    return new std::string(pattern + "/");
  }();
  return folder;
}

// Error codes worth a look: the ones of the default file and the program's own; key 0 is the
// fallback of every other.
constexpr int kErrorCodes[] = {0, 1, 2, 38, 53, 99, 100, 106, 114, 500};
constexpr int kTitleCodes[] = {0, 10, 12, 32, 51, 71};

// The text a lookup must give when the file holds value for its code: the value itself, as
// long as it needs no replacement.
bool PlainValue(const std::optional<std::string>& value) {
  return value && !value->empty() && value->find("/n") == std::string::npos &&
         value->find('%') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tovask::AppContext& context = []() -> tovask::AppContext& {
    static tovask::AppContext c;
    c.runDirectory = RunDirectory();
    c.archiveMagic = "RID";
    c.formatVersion = "1.05";
    return c;
  }();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const tovask::platform::IniFile file = tovask::platform::IniFile::Parse(bytes);

  // Every code key the program could ask for, under section names in any letter case.
  for (const char* section : {"Error", "Title", "error", "TITLE", ""}) {
    for (int code = 0; code < 128; ++code) {
      const auto value = file.Value(section, std::to_string(code));
      if (value && !tovask::platform::IsValidUtf8(*value)) Fail("a value is not UTF-8", *value);
    }
  }

  const std::string path = context.runDirectory + std::string(tovask::kMessageFileName);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) {
    Fail("cannot write the message file");
  }

  for (const int code : kErrorCodes) {
    tovask::ClearErrorLog(context);
    context.stepOk = true;
    tovask::ErrorText(context, tovask::ErrorCode{code}, {"a\x1b[2J", "%1%/n"});
    const std::string prefix = std::to_string(code) + ":";
    if (context.stepOk || context.errorLog.compare(0, prefix.size(), prefix) != 0) {
      Fail("the log line lacks its code", context.errorLog);
    }
    if (!tovask::platform::IsValidUtf8(context.errorLog)) Fail("an error text is not UTF-8");
    if (context.errorLog.find('\x1b') != std::string::npos &&
        bytes.find('\x1b') == std::string_view::npos) {
      Fail("an argument's control character reached the log", context.errorLog);
    }
    const auto value = file.Value("Error", std::to_string(code));
    if (PlainValue(value) && context.errorLog != prefix + *value) {
      Fail("the error text is not the file's", context.errorLog);
    }
  }
  for (const int code : kTitleCodes) {
    const std::string text = tovask::TitleText(context, tovask::TitleCode{code});
    if (!tovask::platform::IsValidUtf8(text)) Fail("a title text is not UTF-8");
    const auto value = file.Value("Title", std::to_string(code));
    if (PlainValue(value) && text != *value) Fail("the title text is not the file's", text);
  }
  return 0;
}
