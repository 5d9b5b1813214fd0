#include "operations/entry_edits.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "archive/archive_lock.h"
#include "archive/block_spill.h"
#include "archive/entry_names.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "archive/writer.h"
#include "core/display_text.h"
#include "core/message_codes.h"
#include "core/messages.h"
#include "core/ordered_work.h"
#include "platform/text.h"

namespace tovask {
namespace {

// The characters a new entry name may not hold. "\" is allowed: it moves the entry to another
// folder level inside the archive.
constexpr std::string_view kIllegalNameCharacters = "/:*?<>|\"";

// A change that cannot hold its archive says it could not read it (and why, when busy).

// Runs body on a fresh index and releases the index on every path. A library exception (out
// of memory, a filesystem error) ends the operation with a message instead of escaping to the
// caller's event loop. The result is what body returned; it is also left in stepOk.
template <typename Body>
bool WithIndex(AppContext& context, Body&& body) {
  ArchiveIndex index;
  bool result = false;
  try {
    result = body(index);
  } catch (const std::bad_alloc&) {
    ErrorText(context, ErrorCode::InternalFailure, {"内存分配"});
  } catch (const std::exception& e) {
    ErrorText(context, ErrorCode::InternalFailure, {e.what()});
  }
  LoadArchiveIndex(context, index);
  context.stepOk = result;
  return result;
}

// The operation's outcome; stepOk ends true exactly when it is Done.
Outcome Finish(AppContext& context, bool ok, const InterruptWatch& watch) {
  Outcome outcome = OutcomeOf(context, ok, watch);
  context.stepOk = outcome.done();
  return outcome;
}

// Seals the stored blocks of the named entries that are not encrypted yet, on worker threads
// ahead of the calling thread, which takes them in order and alone reports (20..60) and
// records messages. Each block is read from its place in the held archive (WithBlockPlaces) and
// its sealed form kept through spill. False with the message recorded on a failure or an
// interrupt.
bool SealChosenEntries(AppContext& context, ArchiveIndex& index, const std::string& archive,
                       const std::vector<std::string>& names, const std::string& password,
                       ProgressSink* sink, BlockSpill& spill) {
  const EntryNameSet selected(names);
  // Columns of unequal length are the writer's to report; never index past one.
  const std::size_t rows =
      std::min({index.paths.size(), index.flags.size(), index.storedSizes.size(),
                index.storedBlocks.size(), index.blockPlaces.size()});
  std::vector<std::size_t> chosen;
  for (std::size_t i = 0; i < rows; ++i) {
    if ((index.flags[i] & EntryFlags::Encrypted) != 0) continue;  // kept as it is
    if (selected.Contains(index.paths[i])) chosen.push_back(i);
  }
  if (chosen.empty()) return true;
  // The key is derived once, for every worker.
  const std::shared_ptr<const DataOps::SealingKey> key = context.dataOps.SealingKeyFor(password);
  struct Sealed {
    enum class Status { Ok, ReadFailed, SealFailed };
    Status status = Status::Ok;
    int method = 1;
    Bytes block;
  };
  const DataOps& ops = context.dataOps;
  OrderedWork<Sealed> work(
      chosen.size(), {.workers = WorkerThreads(context)},
      [&](std::size_t k) { return static_cast<std::uint64_t>(index.storedSizes[chosen[k]]); },
      [&](std::size_t k, unsigned) {
        // Workers only read the index, and each reads only its own entry's place.
        Sealed sealed;
        const std::size_t i = chosen[k];
        const BlockPlace& place = index.blockPlaces[i];
        Bytes plain(static_cast<std::size_t>(index.storedSizes[i]));
        const auto got = place.file->ReadAt(static_cast<std::uint64_t>(place.offset), plain.data(),
                                            plain.size());
        if (!got || *got != plain.size()) {
          sealed.status = Sealed::Status::ReadFailed;
          return sealed;
        }
        sealed.method = ops.DrawCipherMethod();  // const, no state: thread-safe
        if (key) sealed.block = DataOps::Seal(plain, *key, sealed.method);
        if (sealed.block.empty()) sealed.status = Sealed::Status::SealFailed;
        return sealed;
      });
  for (std::size_t k = 0; k < chosen.size(); ++k) {
    const std::size_t i = chosen[k];
    if (sink != nullptr) {
      const int percent = static_cast<int>(20 + k * 40 / chosen.size());
      if (!sink->Report(percent, EscapeControlCharacters(index.paths[i]))) {
        ErrorText(context, ErrorCode::Interrupted);
        return false;
      }
    }
    Sealed sealed = work.Take();
    switch (sealed.status) {
      case Sealed::Status::Ok:
        break;
      case Sealed::Status::ReadFailed:
        ErrorText(context, ErrorCode::ReadFile, {platform::AsciiUpper(archive)});
        return false;
      case Sealed::Status::SealFailed:
        ErrorText(context, ErrorCode::InternalFailure, {"加密"});
        return false;
    }
    if (static_cast<std::int64_t>(sealed.block.size()) > kMaxFieldValue) {
      ErrorText(context, ErrorCode::ArchiveTooLarge);
      return false;
    }
    std::uint8_t flags = index.flags[i] | EntryFlags::Encrypted;
    if (sealed.method == 2) {
      flags |= EntryFlags::SecondCipher;
    } else {
      flags &= static_cast<std::uint8_t>(~EntryFlags::SecondCipher);
    }
    index.storedSizes[i] = static_cast<std::int32_t>(sealed.block.size());
    // The workers read places only through chosen entries still ahead of this one, so
    // changing this entry's place is safe.
    if (!spill.Keep(context, std::move(sealed.block), index.storedBlocks[i],
                    index.blockPlaces[i])) {
      return false;
    }
    index.flags[i] = flags;
    // The MD5 text and the original size describe the content, which has not changed.
  }
  return true;
}

}  // namespace

Outcome DeleteEntries(AppContext& context, DeleteRequest request, const OperationSeams& seams) {
  ClearErrorLog(context);
  InterruptWatch watch(seams.progress);
  ProgressSink* const sink = watch.sink();
  const std::string& archive = request.archivePath;
  const bool ok = WithIndex(context, [&](ArchiveIndex& index) {
    bool result = false;
    std::optional<ArchiveLock> lock =
        ArchiveLock::Acquire(context, archive, ArchiveLock::Purpose::Change, ErrorCode::ReadFile);
    if (!lock) return false;
    LoadOptions load;
    load.lock = &*lock;
    load.exclusions = std::move(request.names);
    load.mode = LoadMode::WithBlockPlaces;  // the kept blocks are copied from the held file
    load.sink = sink;
    load.progressBase = 0;
    load.progressSpan = 40;
    if (LoadArchiveIndex(context, index, archive, load)) {
      if (index.paths.empty()) {
        // An archive with no entries is refused as damaged when it is read again, so deleting
        // every entry would turn the archive into a file nothing can open.
        ErrorText(context, ErrorCode::DeleteAllRefused);
      } else {
        WriteOptions write;
        write.sink = sink;
        write.progressBase = 40;
        write.progressSpan = 60;
        write.lock = &*lock;
        result = WriteArchive(context, index, archive, write);
      }
    }
    return result;
  });
  return Finish(context, ok, watch);
}

Outcome RenameEntry(AppContext& context, const RenameRequest& request) {
  ClearErrorLog(context);
  const InterruptWatch noProgress(nullptr);
  const std::string& archive = request.archivePath;
  const std::string& oldName = request.oldName;
  const std::string& newName = request.newName;
  if (newName == oldName) {
    context.stepOk = true;
    return Finish(context, true, noProgress);
  }

  // A name extraction would refuse ("", "..", a leading "\", control characters, ...) is
  // refused here too, so a rename never makes an archive that cannot be extracted again.
  if (newName.find_first_of(kIllegalNameCharacters) != std::string::npos ||
      !IsSafeEntryName(newName)) {
    ErrorText(context, ErrorCode::RenameIllegalName, {newName});
    return Finish(context, false, noProgress);
  }
  context.stepOk = true;

  const bool ok = WithIndex(context, [&](ArchiveIndex& index) {
    std::optional<ArchiveLock> lock =
        ArchiveLock::Acquire(context, archive, ArchiveLock::Purpose::Change, ErrorCode::ReadFile);
    if (!lock) return false;
    LoadOptions load;
    load.mode = LoadMode::WithDataAreaPlace;  // copied over from the held file as it is
    load.lock = &*lock;
    context.stepOk = LoadArchiveIndex(context, index, archive, load);
    if (context.stepOk) {
      const std::string upperNew = platform::AsciiUpper(newName);
      const std::string upperOld = platform::AsciiUpper(oldName);
      std::optional<std::size_t> position;
      for (std::size_t i = 0; i < index.paths.size(); ++i) {
        const std::string upperPath = platform::AsciiUpper(index.paths[i]);
        if (upperPath == upperNew) {
          // Also the entry itself when only the letter case changes: names are unique
          // regardless of case.
          ErrorText(context, ErrorCode::RenameNameTaken, {newName});
          context.stepOk = false;
          position.reset();
          break;
        }
        if (upperPath == upperOld) position = i;  // with several matches the last one counts
      }
      if (context.stepOk) {
        if (position) {
          index.paths[*position] = newName;
          // WithDataAreaPlace: the writer keeps the data area and every data offset as they
          // are.
          WriteOptions write;
          write.progressBase = 0;
          write.progressSpan = 0;
          write.lock = &*lock;
          context.stepOk = WriteArchive(context, index, archive, write);
        } else {
          ErrorText(context, ErrorCode::RenameNotFound, {oldName});
          context.stepOk = false;
        }
      }
    }
    return context.stepOk;
  });
  return Finish(context, ok, noProgress);
}

Outcome EncryptEntries(AppContext& context, EncryptRequest request, const OperationSeams& seams) {
  ClearErrorLog(context);
  InterruptWatch watch(seams.progress);
  ProgressSink* const sink = watch.sink();
  const std::string& archive = request.archivePath;
  std::string& password = request.password;
  if (password.empty()) {
    std::optional<std::string> answer;
    if (seams.password != nullptr)
      answer = seams.password->AskPassword(TitleText(context, TitleCode::PasswordPrompt),
                                           TitleText(context, TitleCode::PasswordCaption));
    if (!answer) {
      // Cancelled: not a failure the caller reports, but nothing was done.
      context.stepOk = false;
      return OutcomeOf(context, true, watch, /*cancelled=*/true);
    }
    password = std::move(*answer);  // used as confirmed, even when empty
  }

  const bool ok = WithIndex(context, [&](ArchiveIndex& index) {
    std::optional<ArchiveLock> lock =
        ArchiveLock::Acquire(context, archive, ArchiveLock::Purpose::Change, ErrorCode::ReadFile);
    if (!lock) return false;
    LoadOptions load;
    load.mode = LoadMode::WithBlockPlaces;
    load.sink = sink;
    load.progressBase = 0;
    load.progressSpan = 20;
    load.lock = &*lock;
    context.stepOk = LoadArchiveIndex(context, index, archive, load);
    // Sealed blocks beyond the memory budget wait in its scratch file until the write.
    BlockSpill spill(BlockSpill::FolderFor(archive), context.blockMemoryBudget);
    if (context.stepOk)
      context.stepOk =
          SealChosenEntries(context, index, archive, request.names, password, sink, spill);
    if (context.stepOk) {
      WriteOptions write;
      write.sink = sink;
      write.progressBase = 60;
      write.progressSpan = 40;
      write.lock = &*lock;
      context.stepOk = WriteArchive(context, index, archive, write);
    }
    return context.stepOk;
  });
  return Finish(context, ok, watch);
}

}  // namespace tovask
