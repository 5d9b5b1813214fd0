#include "core/messages.h"

#include <string>

#include "core/display_text.h"
#include "core/message_codes.h"
#include "core/startup.h"
#include "platform/ini_file.h"

namespace tovask {
namespace {

constexpr std::string_view kUnknownError = "未知的错误类型";
constexpr std::string_view kUnknownTitle = "未知的提示类型";
constexpr std::size_t kMaxArguments = 5;

// Replaces every occurrence of placeholder, left to right, without rescanning the inserted
// text (so an argument holding its own placeholder cannot loop).
void ReplaceAll(std::string& text, std::string_view placeholder, std::string_view replacement) {
  std::string::size_type position = 0;
  while ((position = text.find(placeholder, position)) != std::string::npos) {
    text.replace(position, placeholder.size(), replacement);
    position += replacement.size();
  }
}

// The text of code in section: the file's value, else the built-in text of an extended
// code, else the file's code 0, else lastResort. An empty value counts as missing at every
// step. The parsed file comes from the context's cache, which looks at the file as it is now
// (message_file_cache.h), so edits take effect without a restart.
std::string LookUp(const AppContext& context, std::string_view section, int code,
                   std::string_view builtIn, std::string_view lastResort) {
  const platform::IniFile* file =
      context.messageFile.Current([&context] { return MessageFileCandidates(context); });
  const auto fileText = [&](int key) {
    return file != nullptr ? file->Value(section, std::to_string(key)).value_or(std::string())
                           : std::string();
  };
  std::string text = fileText(code);
  if (!text.empty()) return text;
  text = std::string(builtIn);
  if (!text.empty()) return text;
  text = fileText(0);
  if (!text.empty()) return text;
  return std::string(lastResort);
}

// "%1%".."%5%" in that order, each on the result of the previous one; only the placeholders
// of the arguments given are touched, arguments past the fifth are ignored. Arguments are
// names and paths from archives and the disk: their control characters go in escaped, so a
// message can neither drive the terminal it is printed on nor forge lines of its own.
void SubstituteArguments(std::string& text, const std::vector<std::string>& args) {
  for (std::size_t k = 1; k <= kMaxArguments && k <= args.size(); ++k) {
    ReplaceAll(text, std::string("%").append(std::to_string(k)).append("%"),
               EscapeControlCharacters(args[k - 1]));
  }
}

}  // namespace

void ErrorText(AppContext& context, ErrorCode code, const std::vector<std::string>& args) {
  context.stepOk = false;
  std::string text =
      LookUp(context, "Error", CodeNumber(code), BuiltInMessageText(code), kUnknownError);
  // "/n" marks a line break of the message itself. It is turned into CR LF before the
  // arguments go in: an argument is usually a path, and "/n" is an ordinary part of a path
  // here ("/home/me/new.tvk"), which must reach the user unbroken.
  ReplaceAll(text, "/n", "\r\n");
  SubstituteArguments(text, args);
  // The line's prefix carries the requested code, also when the text is a fallback.
  LoggedMessage message{code, std::move(text)};
  if (!context.errorLog.empty()) context.errorLog += "\r\n";
  context.errorLog += LogLine(message);
  context.errorMessages.push_back(std::move(message));
}

std::string TitleText(const AppContext& context, TitleCode code,
                      const std::vector<std::string>& args) {
  std::string text = LookUp(context, "Title", CodeNumber(code), "", kUnknownTitle);
  SubstituteArguments(text, args);
  return text;
}

}  // namespace tovask
