#include "extract/overwrite.h"

#include <optional>

#include "archive/format.h"
#include "archive/listing.h"
#include "core/display_text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/times.h"

namespace tovask {
namespace {

constexpr int kMaxNumberingTries = 10000;
constexpr std::string_view kBytesSuffix = " 字节";
constexpr std::string_view kModifiedPrefix = "修改于 ";

std::string FormatLocal(const platform::LocalDateTime& t) {
  return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day) +
         " " + std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" +
         std::to_string(t.second);
}

// The last level of path as the window shows it: control characters escaped.
std::string FileNamePart(const std::string& path) {
  return EscapeControlCharacters(platform::FileName(path));
}

std::string SizeText(std::int64_t size) {
  return FormatWithThousands(size) + std::string(kBytesSuffix);
}

}  // namespace

std::string FormatDateTime(double dateTime) {
  const std::optional<platform::LocalDateTime> local = LocalFromDateTime(dateTime);
  return local ? FormatLocal(*local) : std::string();
}

FileDetails ExistingFileDetails(const std::string& path) {
  FileDetails details;
  details.fileName = FileNamePart(path);
  const std::optional<platform::FileInfo> info = platform::StatPath(path);
  if (!info) return details;
  details.sizeText = SizeText(static_cast<std::int64_t>(info->size));
  if (const auto local = platform::LocalFromUnix(info->modifiedUnix)) {
    details.timeText = std::string(kModifiedPrefix) + FormatLocal(*local);
  }
  return details;
}

FileDetails ArchivedFileDetails(const OverwritePrompt& prompt) {
  FileDetails details;
  details.fileName = FileNamePart(prompt.existingPath);
  details.sizeText = SizeText(prompt.archivedSize);
  const std::string time = FormatDateTime(prompt.archivedTime);
  if (!time.empty()) details.timeText = std::string(kModifiedPrefix) + time;
  return details;
}

RenameStep DecideRename(OverwritePrompt& prompt, const std::string& typedName,
                        std::string* candidate,
                        const std::function<bool(const std::string&)>& exists) {
  if (typedName.empty()) return RenameStep::NoAnswer;
  std::string path = platform::SiblingPath(prompt.existingPath, typedName);
  const bool taken = exists(path);
  if (candidate != nullptr) *candidate = std::move(path);
  if (taken) return RenameStep::ShowCandidate;
  prompt.answer = AnswerRename;
  prompt.newName = typedName;
  return RenameStep::Answered;
}

std::string NumberedName(const std::string& entryName,
                         const std::function<bool(const std::string&)>& exists) {
  std::string name = entryName;
  for (int n = 1; n <= kMaxNumberingTries; ++n) {
    const std::size_t dot = name.rfind('.');
    const std::size_t at = dot == std::string::npos ? 0 : dot;
    name.insert(at, std::string("(").append(std::to_string(n)).append(")"));
    if (!exists(name)) return name;
  }
  return std::string();
}

}  // namespace tovask
