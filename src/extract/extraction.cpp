#include "extract/extraction.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>

#include "archive/archive_index.h"
#include "archive/entry_names.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "extract/overwrite.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/safe_write.h"
#include "platform/text.h"
#include "platform/times.h"

namespace tovask {
namespace {

// Catalogue codes used here.

// Loading takes the first half of the bar, the entries the second.
constexpr int kLoadSpan = 50;
constexpr int kEntriesBase = 50;
constexpr int kEntriesSpan = 50;

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// The folder part of an entry name up to and including its last "\" ("" without one).
std::string EntryFolderPrefix(const std::string& name) {
  const std::size_t slash = name.rfind(kEntrySeparator);
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// What extraction and testing share: the loaded index, the open archive, the password asked
// once per run, and the reading and verifying of one entry.
class Session {
 public:
  // sink is the run's watched progress sink (null: no reports).
  Session(AppContext& context, ProgressSink* sink, PasswordPrompt* passwordPrompt,
          bool passwordIsFinal, std::string archivePath, std::string password)
      : context_(context),
        sink_(sink),
        passwordPrompt_(passwordPrompt),
        passwordIsFinal_(passwordIsFinal),
        archivePath_(std::move(archivePath)),
        password_(std::move(password)) {}

  ~Session() { Close(); }

  // Loads the index (0..50 percent) and opens the archive. False when either failed.
  bool Open() {
    LoadOptions options;
    options.mode = LoadMode::IndexOnly;
    options.sink = sink_;
    options.progressBase = 0;
    options.progressSpan = kLoadSpan;
    // One shared hold from the load to the last block read: the blocks are read from the very
    // file the index came from, and no change can replace it meanwhile.
    lock_ = ArchiveLock::Acquire(context_, archivePath_, ArchiveLock::Purpose::Read,
                                 ErrorCode::ReadFile);
    if (!lock_) return false;
    options.lock = &*lock_;
    if (!LoadArchiveIndex(context_, index_, archivePath_, options)) return false;
    archive_ = &lock_->file();
    archiveSize_ = archive_->Size();
    if (!archiveSize_) {
      archive_ = nullptr;
      ErrorText(context_, ErrorCode::ReadFile, {platform::AsciiUpper(archivePath_)});
      return false;
    }
    return true;
  }

  void Close() {
    archive_ = nullptr;
    lock_.reset();
    (void)LoadArchiveIndex(context_, index_);
  }

  [[nodiscard]] const ArchiveIndex& index() const { return index_; }

  // One report per entry: percent 50 + i * 50 / count (i counted from 1). False (with 107
  // recorded) when the user interrupted.
  bool ReportEntry(std::size_t i) {
    if (sink_ == nullptr) return true;
    const auto count = static_cast<std::int64_t>(index_.count);
    const int percent =
        kEntriesBase + static_cast<int>((static_cast<std::int64_t>(i) + 1) * kEntriesSpan / count);
    if (sink_->Report(percent, TitleText(context_, TitleCode::Decompressing, {index_.paths[i]}))) {
      return true;
    }
    ErrorText(context_, ErrorCode::Interrupted);
    return false;
  }

  void ReportFinished() {
    if (sink_ != nullptr && context_.stepOk) {
      (void)sink_->Report(100, TitleText(context_, TitleCode::DecompressionDone));
    }
  }

  // For encrypted entry i with no password yet, asks once per run. False when there is no
  // password to go on: 36 when the prompt is cancelled or there is no one to ask, 113 naming
  // the entry when the caller's password is final and empty.
  bool EnsurePassword(std::size_t i) {
    if ((index_.flags[i] & EntryFlags::Encrypted) == 0 || !password_.empty() || passwordAsked_) {
      return true;
    }
    if (passwordIsFinal_) {
      ErrorText(context_, ErrorCode::PasswordNeeded, {index_.paths[i]});
      return false;
    }
    passwordAsked_ = true;
    std::optional<std::string> typed;
    if (passwordPrompt_ != nullptr) {
      typed = passwordPrompt_->AskPassword(TitleText(context_, TitleCode::PasswordPrompt),
                                           TitleText(context_, TitleCode::PasswordCaption));
    }
    if (!typed) {
      ErrorText(context_, ErrorCode::ExtractCancelled);
      return false;
    }
    password_ = std::move(*typed);
    return true;
  }

  // Reads, decodes and verifies entry i. nullopt with 37 (block outside the file or read
  // error), 38/39 (digest) or 40 (length) recorded.
  std::optional<Bytes> DecodeEntry(std::size_t i) {
    const std::int64_t offset = index_.dataAreaStart + index_.dataOffsets[i];
    const std::int64_t size = index_.storedSizes[i];
    const auto fileSize = static_cast<std::int64_t>(*archiveSize_);
    std::optional<Bytes> stored;
    if (index_.dataOffsets[i] >= 0 && size >= 0 && index_.dataAreaStart >= 0 &&
        offset <= fileSize && size <= fileSize - offset &&
        archive_->Seek(static_cast<std::uint64_t>(offset))) {
      stored = archive_->Read(static_cast<std::size_t>(size));
    }
    if (!stored || static_cast<std::int64_t>(stored->size()) != size) {
      ErrorText(context_, ErrorCode::ExtractEndedEarly, {platform::AsciiUpper(archivePath_)});
      return std::nullopt;
    }
    const std::uint8_t flags = index_.flags[i];
    Bytes content =
        DecodeDataBlock(context_.dataOps, *stored, flags, password_, index_.originalSizes[i]);
    if (context_.dataOps.Digest(content) != index_.md5Texts[i]) {
      ErrorText(context_, (flags & EntryFlags::Encrypted) != 0 ? ErrorCode::DigestEncrypted
                                                               : ErrorCode::DigestDamaged);
      return std::nullopt;
    }
    if (static_cast<std::int64_t>(content.size()) != index_.originalSizes[i]) {
      ErrorText(context_, ErrorCode::LengthDamaged);
      return std::nullopt;
    }
    return content;
  }

 private:
  AppContext& context_;
  ProgressSink* const sink_;
  PasswordPrompt* const passwordPrompt_;
  const bool passwordIsFinal_;
  std::string archivePath_;
  std::string password_;
  bool passwordAsked_ = false;
  ArchiveIndex index_;
  std::optional<ArchiveLock> lock_;
  platform::File* archive_ = nullptr;  // the held archive, while the session is open
  std::optional<std::uint64_t> archiveSize_;
};

// The entry loop of one extraction run.
class Extraction {
 public:
  Extraction(AppContext& context, ExtractRequest request, ProgressSink* sink,
             const OperationSeams& seams)
      : context_(context),
        request_(std::move(request)),
        overwrite_(seams.overwrite),
        session_(context, sink, seams.password, request_.passwordIsFinal, request_.archivePath,
                 request_.password),
        selection_(request_.selection.value_or(std::vector<std::string>{})),
        exclusions_(request_.exclusions.value_or(std::vector<std::string>{})) {}

  bool Run() {
    ClearErrorLog(context_);
    context_.stepOk = true;
    if (!platform::IsAbsolutePath(request_.archivePath)) {
      ErrorText(context_, ErrorCode::PathNotAbsolute, {request_.archivePath});
      return false;
    }
    if (IsBlank(request_.targetFolder)) {
      request_.targetFolder = platform::ParentFolder(request_.archivePath);
    } else if (!platform::IsAbsolutePath(request_.targetFolder)) {
      ErrorText(context_, ErrorCode::PathNotAbsolute, {request_.targetFolder});
      return false;
    }
    prompt_.answer = AnswerNone;

    if (!session_.Open()) {
      session_.Close();
      return false;
    }
    if (!platform::FolderExists(request_.targetFolder)) {
      std::string folder = request_.targetFolder;
      if (!platform::EnsureFolderPath(folder)) {
        ErrorText(context_, ErrorCode::ExtractCreateFolder,
                  {platform::AsciiUpper(request_.targetFolder)});
      }
    }
    if (context_.stepOk) {
      root_ = platform::SafeFolder::Open(request_.targetFolder);
      if (!root_) {
        ErrorText(context_, ErrorCode::ExtractCreateFolder,
                  {platform::AsciiUpper(request_.targetFolder)});
      }
    }
    if (!context_.stepOk) {
      session_.Close();
      return false;
    }

    const ArchiveIndex& index = session_.index();
    for (std::size_t i = 0; i < static_cast<std::size_t>(index.count); ++i) {
      if (!session_.ReportEntry(i)) break;
      const Step step = ExtractOne(i);
      if (step == Step::Cancelled) {
        session_.Close();
        cancelled_ = true;
        return true;
      }
      if (step == Step::EndRun) break;
    }
    session_.ReportFinished();
    session_.Close();
    return context_.stepOk;
  }

  // The user answered "取消" to the overwrite question: the run ended there, by choice.
  [[nodiscard]] bool cancelled() const { return cancelled_; }

 private:
  enum class Step { Next, EndRun, Cancelled };

  bool Selected(const std::string& name) const {
    if (request_.selection) return selection_.Contains(name);
    if (request_.exclusions) return !exclusions_.Contains(name);
    return true;
  }

  // A name is usable when it passes the entry-name rule and no folder level on its way inside
  // the target is a symbolic link.
  bool Usable(const std::string& name) const {
    return IsSafeEntryName(name) &&
           root_->Probe(EntryNameToNative(name)) != platform::PathState::LinkOnTheWay;
  }

  bool Exists(const std::string& name) const {
    return root_->Probe(EntryNameToNative(name)) != platform::PathState::Missing;
  }

  // Asks (or takes the remembered answer) for an existing file: Write (with *name changed for
  // a rename), Skip, or Cancel the run.
  enum class Decision { Write, Skip, Cancel };
  Decision DecideExisting(std::size_t i, std::string* name) {
    const ArchiveIndex& index = session_.index();
    const OverwriteAnswer remembered = prompt_.answer;
    if (remembered != AnswerYesToAll && remembered != AnswerNoToAll &&
        remembered != AnswerRenameAll) {
      prompt_.existingPath = root_->FullPath(EntryNameToNative(*name));
      prompt_.archivedSize = index.originalSizes[i];
      prompt_.archivedTime = index.times[i];
      prompt_.newName.clear();
      // Cleared so that a question closed without an answer is seen as such, never mistaken
      // for the answer given to the previous file.
      prompt_.answer = AnswerNone;
      if (overwrite_ != nullptr) {
        overwrite_->Ask(prompt_);
      } else {
        prompt_.answer = AnswerNo;
      }
    }
    switch (prompt_.answer) {
      case AnswerYes:
      case AnswerYesToAll:
        return Decision::Write;
      case AnswerRename: {
        const std::string& typed = prompt_.newName;
        const std::string renamed = EntryFolderPrefix(*name) + typed;
        if (typed.find(kEntrySeparator) != std::string::npos ||
            typed.find(platform::kSeparator) != std::string::npos || !Usable(renamed)) {
          ErrorText(context_, ErrorCode::UnsafeTargetName, {typed});
          return Decision::Skip;
        }
        *name = renamed;
        return Decision::Write;
      }
      case AnswerRenameAll: {
        const std::string numbered =
            NumberedName(*name, [this](const std::string& candidate) { return Exists(candidate); });
        if (numbered.empty() || !Usable(numbered)) {
          ErrorText(context_, ErrorCode::UnsafeTargetName, {numbered.empty() ? *name : numbered});
          return Decision::Skip;
        }
        *name = numbered;
        return Decision::Write;
      }
      case AnswerCancel:
        return Decision::Cancel;
      case AnswerNo:
      case AnswerNoToAll:
      case AnswerNone:
      default:
        // No, and a question left without an answer: the existing file is kept.
        return Decision::Skip;
    }
  }

  Step ExtractOne(std::size_t i) {
    const ArchiveIndex& index = session_.index();
    std::string name = index.paths[i];
    if (name.find('?') != std::string::npos) return Step::Next;
    if (!Selected(name)) return Step::Next;
    if (!Usable(name)) {
      ErrorText(context_, ErrorCode::UnsafeEntryName, {name});
      return Step::Next;
    }
    if (!session_.EnsurePassword(i)) return Step::EndRun;
    const std::uint8_t flags = index.flags[i];

    if (request_.askBeforeOverwrite && Exists(name)) {
      switch (DecideExisting(i, &name)) {
        case Decision::Write:
          break;
        case Decision::Skip:
          return Step::Next;
        case Decision::Cancel:
          ErrorText(context_, ErrorCode::ExtractCancelled);
          return Step::Cancelled;
      }
    }

    std::optional<Bytes> content = session_.DecodeEntry(i);
    if (!content) return Step::EndRun;

    const std::string native = EntryNameToNative(name);
    if (native.find(platform::kSeparator) != std::string::npos) {
      const std::string folder = platform::ParentFolder(native);
      const platform::FolderStatus status = root_->EnsureFolders(folder, nullptr);
      if (status == platform::FolderStatus::LinkOnTheWay) {
        ErrorText(context_, ErrorCode::UnsafeEntryName, {name});
        return Step::Next;
      }
      if (status == platform::FolderStatus::Failed) {
        // Reported, and the write is still tried: it fails in turn and says which file.
        ErrorText(context_, ErrorCode::ExtractCreateFolder,
                  {platform::AsciiUpper(root_->FullPath(folder))});
      }
    }

    platform::WriteOptions options;
    options.readOnly = (flags & EntryFlags::ReadOnly) != 0;
    if (const auto local = LocalFromDateTime(index.times[i])) {
      options.modifiedUnix = platform::UnixFromLocal(*local);
    }
    const std::string fullPath = root_->FullPath(native);
    const platform::WriteResult written = root_->WriteFile(native, *content, options);
    switch (written.status) {
      case platform::WriteStatus::Written:
        break;
      case platform::WriteStatus::LinkOnTheWay:
        ErrorText(context_, ErrorCode::UnsafeEntryName, {name});
        return Step::Next;
      case platform::WriteStatus::ReadOnlyExisting:
      case platform::WriteStatus::Failed:
        ErrorText(context_, ErrorCode::WriteFile, {platform::AsciiUpper(fullPath)});
        return Step::Next;
    }
    if (!written.timeSet) ErrorText(context_, ErrorCode::SetFileTime);
    // Hidden, System and Archive have no counterpart to set here: a hidden file is one whose
    // name starts with ".", which the name already says.
    return Step::Next;
  }

  AppContext& context_;
  ExtractRequest request_;
  OverwriteQuestion* const overwrite_;
  // The record the overwrite question fills in; its answer is kept from one question to the
  // next (yes to all, no to all, rename all).
  OverwritePrompt prompt_;
  bool cancelled_ = false;
  Session session_;
  // The request's names, matched once per entry without regard to letter case.
  const EntryNameSet selection_;
  const EntryNameSet exclusions_;
  std::optional<platform::SafeFolder> root_;
};

void RecordFailure(AppContext& context, const char* what) {
  ErrorText(context, ErrorCode::InternalFailure, {what});
}

}  // namespace

Outcome ExtractEntries(AppContext& context, ExtractRequest request, const OperationSeams& seams) {
  InterruptWatch watch(seams.progress);
  bool ok = false;
  bool cancelled = false;
  try {
    Extraction extraction(context, std::move(request), watch.sink(), seams);
    ok = extraction.Run();
    cancelled = extraction.cancelled();
  } catch (const std::bad_alloc&) {
    RecordFailure(context, "分配内存");
  } catch (const std::exception&) {
    RecordFailure(context, "解压缩");
  }
  return OutcomeOf(context, ok, watch, cancelled);
}

bool RestoreFileTime(AppContext& context, const std::string& path, double dateTime) {
  if (!platform::StatPath(path)) {
    ErrorText(context, ErrorCode::OpenFile, {path});
    return false;
  }
  const std::optional<platform::LocalDateTime> local = LocalFromDateTime(dateTime);
  const std::optional<std::int64_t> unix = local ? platform::UnixFromLocal(*local) : std::nullopt;
  if (!unix || !platform::SetModifiedTime(path, *unix)) {
    ErrorText(context, ErrorCode::SetFileTime);
    return false;
  }
  return true;
}

Outcome TestEntries(AppContext& context, TestRequest request, const OperationSeams& seams) {
  InterruptWatch watch(seams.progress);
  bool ok = false;
  try {
    const std::string& archivePath = request.archivePath;
    ClearErrorLog(context);
    context.stepOk = true;
    if (!platform::IsAbsolutePath(archivePath)) {
      ErrorText(context, ErrorCode::PathNotAbsolute, {archivePath});
      return OutcomeOf(context, false, watch);
    }
    Session session(context, watch.sink(), seams.password, request.passwordIsFinal, archivePath,
                    std::move(request.password));
    if (!session.Open()) return OutcomeOf(context, false, watch);
    const ArchiveIndex& index = session.index();
    for (std::size_t i = 0; i < static_cast<std::size_t>(index.count); ++i) {
      if (!session.ReportEntry(i)) break;
      if (!session.EnsurePassword(i)) break;
      // A failing entry is recorded; the next one is tested all the same.
      (void)session.DecodeEntry(i);
    }
    session.ReportFinished();
    ok = context.stepOk;
  } catch (const std::bad_alloc&) {
    RecordFailure(context, "分配内存");
  } catch (const std::exception&) {
    RecordFailure(context, "测试");
  }
  return OutcomeOf(context, ok, watch);
}

}  // namespace tovask
