#include "extract/extraction.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <thread>

#include "archive/archive_index.h"
#include "archive/entry_names.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "core/ordered_work.h"
#include "extract/decode_ahead.h"
#include "extract/entry_decoder.h"
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

// Entries up to this original size are decoded whole in memory (ahead, on workers, when there
// are any); larger ones are decoded piece by piece straight into their file on the calling
// thread, which checks for an interrupt between pieces.
constexpr std::int64_t kInMemoryLimit = std::int64_t{4} << 20;
// What the entries decoded ahead may hold together, and how many they may be.
constexpr std::uint64_t kAheadBudget = std::uint64_t{64} << 20;
constexpr std::size_t kAheadCount = 256;
// Counted per entry decoded ahead besides its content: names, buffers, bookkeeping.
constexpr std::uint64_t kAheadEntryCost = 4096;

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
    source_ = {archive_, *archiveSize_};
    return true;
  }

  void Close() {
    // The workers read the archive and the index: they stop first.
    ahead_.reset();
    archive_ = nullptr;
    source_ = {};
    lock_.reset();
    (void)LoadArchiveIndex(context_, index_);
  }

  [[nodiscard]] const ArchiveIndex& index() const { return index_; }

  [[nodiscard]] bool passwordAsked() const { return passwordAsked_; }

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

  // False (with 115 recorded) when the encrypted entries among those wanted need more distinct
  // keys than the run may derive (37 when the archive cannot be read for it). Checked before
  // any entry is decoded, so a hostile archive costs one small read per entry, not hours of
  // key derivation.
  bool WithinKeyLimit(const std::function<bool(std::size_t)>& wanted) {
    const auto limit = static_cast<std::size_t>(std::max(context_.keyDerivationLimit, 0));
    const std::optional<std::size_t> needed = CountKeysNeeded(source_, index_, wanted, limit);
    if (!needed) {
      ErrorText(context_, ErrorCode::ExtractEndedEarly, {platform::AsciiUpper(archivePath_)});
      return false;
    }
    if (*needed <= limit) return true;
    ErrorText(context_, ErrorCode::TooManyKeys,
              {platform::AsciiUpper(archivePath_), std::to_string(limit)});
    return false;
  }

  // Starts decoding ahead on worker threads, when there are more than one: entries for which
  // wanted answers true and whose original size is within kInMemoryLimit, in index order, an
  // encrypted one only once the password is settled. keepContent: the results hold the content
  // (extraction) or only the verdict (test).
  void StartAhead(std::function<bool(std::size_t)> wanted, bool keepContent) {
    const unsigned workers = WorkerThreads(context_);
    if (workers <= 1 || index_.count <= 1) return;
    wanted_ = std::move(wanted);
    ahead_ = std::make_unique<DecodeAhead>(
        workers, kAheadBudget, kAheadCount,
        [this, keepContent](std::size_t i, const std::string& password, Bytes& readBuffer) {
          return DecodeInMemory(i, password, keepContent, readBuffer);
        });
  }

  // Submits what may be decoded ahead, from entry `from` (the consumer's position) on.
  void Refill(std::size_t from) {
    if (!ahead_) return;
    planned_ = std::max(planned_, from);
    const auto count = static_cast<std::size_t>(index_.count);
    while (planned_ < count) {
      const std::size_t j = planned_;
      const std::int64_t size = index_.originalSizes[j];
      if (!wanted_(j) || size < 0 || size > kInMemoryLimit) {
        ++planned_;
        continue;
      }
      const bool encrypted = (index_.flags[j] & EntryFlags::Encrypted) != 0;
      // The password is asked when the consumer reaches its first encrypted entry, as without
      // workers; until then the submitting waits there.
      if (encrypted && !PasswordSettled()) return;
      const std::uint64_t cost = static_cast<std::uint64_t>(size) + kAheadEntryCost;
      if (!ahead_->HasRoom(cost)) return;
      ahead_->Submit(j, cost, encrypted ? password_ : std::string());
      ++planned_;
    }
  }

  // Entry i will not be decoded: its result, if it was decoded ahead, is dropped.
  void Drop(std::size_t i) {
    if (ahead_ && ahead_->Oldest() == i) (void)ahead_->Take();
  }

  // Entry i decoded whole in memory: taken from the workers when they decoded it, else
  // decoded here.
  DecodeAhead::Result Obtain(std::size_t i, bool keepContent) {
    if (ahead_ && ahead_->Oldest() == i) return ahead_->Take();
    return DecodeInMemory(i, password_, keepContent, readBuffer_);
  }

  // True when entry i is decoded whole in memory (Obtain), false when piece by piece
  // (DecodeStreaming).
  [[nodiscard]] bool InMemory(std::size_t i) const {
    return index_.originalSizes[i] <= kInMemoryLimit;
  }

  // Entry i decoded piece by piece on this thread, each piece of content handed to out. The
  // progress sink is asked between pieces whether the user interrupted (without a report).
  EntryDecodeResult DecodeStreaming(std::size_t i, const PieceSink& out) {
    const std::function<bool()> keepGoing = [this] {
      return sink_ == nullptr || sink_->ProcessEvents();
    };
    return DecodeEntryData(context_.dataOps, source_, index_, i, password_, out, keepGoing,
                           readBuffer_);
  }

  // Records the message of a failing check: 37, 38/39, 40, or 107 when interrupted. True for
  // a sound entry.
  bool Verdict(std::size_t i, EntryCheck check) {
    switch (check) {
      case EntryCheck::Ok:
        return true;
      case EntryCheck::ReadFailed:
        ErrorText(context_, ErrorCode::ExtractEndedEarly, {platform::AsciiUpper(archivePath_)});
        return false;
      case EntryCheck::DigestMismatch:
        ErrorText(context_, (index_.flags[i] & EntryFlags::Encrypted) != 0
                                ? ErrorCode::DigestEncrypted
                                : ErrorCode::DigestDamaged);
        return false;
      case EntryCheck::LengthMismatch:
        ErrorText(context_, ErrorCode::LengthDamaged);
        return false;
      case EntryCheck::Stopped:
        ErrorText(context_, ErrorCode::Interrupted);
        return false;
    }
    return false;
  }

 private:
  [[nodiscard]] bool PasswordSettled() const { return !password_.empty() || passwordAsked_; }

  // Decodes entry i whole; the content is kept (up to the entry's original size: more fails
  // the checks anyway) when keepContent. Runs on workers too: touches only the index, the
  // archive file and the key cache.
  DecodeAhead::Result DecodeInMemory(std::size_t i, const std::string& password, bool keepContent,
                                     Bytes& readBuffer) {
    DecodeAhead::Result result;
    const auto limit = static_cast<std::size_t>(std::max<std::int32_t>(index_.originalSizes[i], 0));
    const PieceSink keep = [&](ByteView piece) {
      if (keepContent && result.content.size() + piece.size() <= limit) {
        result.content.insert(result.content.end(), piece.begin(), piece.end());
      }
    };
    result.decode =
        DecodeEntryData(context_.dataOps, source_, index_, i, password, keep, {}, readBuffer);
    if (result.decode.decodedEmpty) result.content.clear();
    return result;
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
  ArchiveSource source_;
  Bytes readBuffer_;  // this thread's pieces of stored data
  // Decoding ahead (StartAhead): the workers, which entries they may decode, and the next
  // entry to consider for them.
  std::unique_ptr<DecodeAhead> ahead_;
  std::function<bool(std::size_t)> wanted_;
  std::size_t planned_ = 0;
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

    // Entries that are certain to be skipped by their name alone are neither counted for keys
    // nor decoded ahead.
    const auto wanted = [this](std::size_t j) {
      const std::string& name = session_.index().paths[j];
      return name.find('?') == std::string::npos && Selected(name) && IsSafeEntryName(name);
    };
    if (!session_.Open() || !session_.WithinKeyLimit(wanted)) {
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
    session_.StartAhead(wanted, /*keepContent=*/true);
    for (std::size_t i = 0; i < static_cast<std::size_t>(index.count); ++i) {
      session_.Refill(i);
      if (!session_.ReportEntry(i)) break;
      const Step step = ExtractOne(i);
      session_.Drop(i);
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
        root_->Recheck();  // the tree may have changed while the user was asked
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
    root_->Recheck();
    // One look at the disk tells both whether the name is usable and whether it exists.
    const platform::PathState state = IsSafeEntryName(name) ? root_->Probe(EntryNameToNative(name))
                                                            : platform::PathState::LinkOnTheWay;
    if (state == platform::PathState::LinkOnTheWay) {
      ErrorText(context_, ErrorCode::UnsafeEntryName, {name});
      return Step::Next;
    }
    if (state == platform::PathState::Unknown) {
      // Whether a file is there is not known: writing could replace it without the question.
      ErrorText(context_, ErrorCode::WriteFile,
                {platform::AsciiUpper(root_->FullPath(EntryNameToNative(name)))});
      return Step::Next;
    }
    const bool askedBefore = session_.passwordAsked();
    if (!session_.EnsurePassword(i)) return Step::EndRun;
    if (session_.passwordAsked() != askedBefore) root_->Recheck();  // the user was asked

    if (request_.askBeforeOverwrite && state != platform::PathState::Missing) {
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

    if (!session_.InMemory(i)) return ExtractStreaming(i, name);
    const DecodeAhead::Result decoded = session_.Obtain(i, /*keepContent=*/true);
    if (!session_.Verdict(i, decoded.decode.check)) return Step::EndRun;
    const Bytes& content = decoded.content;

    const std::string native = EntryNameToNative(name);
    if (native.find(platform::kSeparator) != std::string::npos) {
      const std::string folder = platform::ParentFolder(native);
      if (!FolderUsable(root_->EnsureFolders(folder, nullptr), name, folder)) return Step::Next;
    }

    const platform::WriteOptions options = WriteOptionsFor(i);
    const std::string fullPath = root_->FullPath(native);
    const platform::WriteResult written = root_->WriteFile(native, content, options);
    if (!Written(written.status, name, fullPath)) return Step::Next;
    if (!written.timeSet) ErrorText(context_, ErrorCode::SetFileTime);
    // Hidden, System and Archive have no counterpart to set here: a hidden file is one whose
    // name starts with ".", which the name already says.
    return Step::Next;
  }

  // Records what EnsureFolders found for the folder of entry name: 106 and false for a link on
  // the way (nothing is written through it); for a folder that could not be made its message,
  // and true: the write is still tried, and fails in turn saying which file.
  bool FolderUsable(platform::FolderStatus status, const std::string& name,
                    const std::string& folder) {
    if (status == platform::FolderStatus::LinkOnTheWay) {
      ErrorText(context_, ErrorCode::UnsafeEntryName, {name});
      return false;
    }
    if (status == platform::FolderStatus::Failed) {
      ErrorText(context_, ErrorCode::ExtractCreateFolder,
                {platform::AsciiUpper(root_->FullPath(folder))});
    }
    return true;
  }

  // True for Written; otherwise records why the file at fullPath of entry name was not
  // written: 106 for a link on the way, 41 for anything else.
  bool Written(platform::WriteStatus status, const std::string& name, const std::string& fullPath) {
    switch (status) {
      case platform::WriteStatus::Written:
        return true;
      case platform::WriteStatus::LinkOnTheWay:
        ErrorText(context_, ErrorCode::UnsafeEntryName, {name});
        return false;
      case platform::WriteStatus::ReadOnlyExisting:
      case platform::WriteStatus::Failed:
        break;
    }
    ErrorText(context_, ErrorCode::WriteFile, {platform::AsciiUpper(fullPath)});
    return false;
  }

  // ExtractOne for an entry too large to hold in memory: its content goes piece by piece into
  // the temporary file as it is decoded. The places are prepared first, but every message
  // comes in the order of an entry decoded whole before anything is written: a failing
  // check ends the run with its message alone (the temporary file removed), then the
  // folder's and the file's messages.
  Step ExtractStreaming(std::size_t i, const std::string& name) {
    const ArchiveIndex& index = session_.index();
    const std::string native = EntryNameToNative(name);
    const bool inFolder = native.find(platform::kSeparator) != std::string::npos;
    const std::string folder = inFolder ? platform::ParentFolder(native) : std::string();
    const platform::FolderStatus folderStatus =
        inFolder ? root_->EnsureFolders(folder, nullptr) : platform::FolderStatus::Ok;
    platform::PendingFile file;
    platform::WriteStatus begun = platform::WriteStatus::Failed;
    if (folderStatus != platform::FolderStatus::LinkOnTheWay)
      begun = root_->BeginFile(native, &file);

    const auto limit = static_cast<std::uint64_t>(index.originalSizes[i]);
    std::uint64_t length = 0;
    const EntryDecodeResult decoded = session_.DecodeStreaming(i, [&](ByteView piece) {
      length += piece.size();
      // Content beyond the original size fails the length check: it is not written.
      if (begun == platform::WriteStatus::Written && length <= limit) (void)file.Write(piece);
    });
    if (!session_.Verdict(i, decoded.check)) {
      file.Discard();
      return Step::EndRun;
    }

    if (!FolderUsable(folderStatus, name, folder)) return Step::Next;
    const std::string fullPath = root_->FullPath(native);
    if (!Written(begun, name, fullPath)) return Step::Next;
    const platform::WriteResult written = file.Commit(WriteOptionsFor(i));
    if (written.status != platform::WriteStatus::Written) {
      ErrorText(context_, ErrorCode::WriteFile, {platform::AsciiUpper(fullPath)});
      return Step::Next;
    }
    if (!written.timeSet) ErrorText(context_, ErrorCode::SetFileTime);
    return Step::Next;
  }

  // The mode and time entry i's file is given.
  platform::WriteOptions WriteOptionsFor(std::size_t i) const {
    const ArchiveIndex& index = session_.index();
    platform::WriteOptions options;
    options.readOnly = (index.flags[i] & EntryFlags::ReadOnly) != 0;
    if (const auto local = LocalFromDateTime(index.times[i])) {
      options.modifiedUnix = platform::UnixFromLocal(*local);
    }
    return options;
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
    const auto every = [](std::size_t) { return true; };
    if (!session.Open() || !session.WithinKeyLimit(every)) return OutcomeOf(context, false, watch);
    const ArchiveIndex& index = session.index();
    session.StartAhead(every, /*keepContent=*/false);
    for (std::size_t i = 0; i < static_cast<std::size_t>(index.count); ++i) {
      session.Refill(i);
      if (!session.ReportEntry(i)) break;
      if (!session.EnsurePassword(i)) break;
      // A failing entry is recorded; the next one is tested all the same.
      const EntryCheck check = session.InMemory(i)
                                   ? session.Obtain(i, /*keepContent=*/false).decode.check
                                   : session.DecodeStreaming(i, [](ByteView) {}).check;
      (void)session.Verdict(i, check);
      if (check == EntryCheck::Stopped) break;
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
