// AppContext: the program-wide state. One instance per program, created before anything else
// runs and passed by reference to every window and operation (never a global).
#pragma once

#include <cstdint>

#include <string>
#include <vector>

#include "core/data_ops.h"
#include "core/message_codes.h"
#include "core/message_file_cache.h"

namespace tovask {

struct AppContext {
  // Full path of the archive shown by the desktop program; "" when none is open.
  std::string currentArchivePath;
  // Directory of the executable, always ending in the native separator (set by StartUp).
  std::string runDirectory;
  // "RID": the archive magic; "1.05": the only format version read and written (StartUp).
  std::string archiveMagic;
  std::string formatVersion;
  // The program's arguments without the program name.
  std::vector<std::string> commandLineArgs;
  // Errors of the running operation, "code:text" lines joined by CR LF (ErrorText appends;
  // every top-level operation clears it when it starts, ClearErrorLog).
  std::string errorLog;
  // The same errors as a list, in the order recorded: errorLog is exactly these lines
  // (LogLine) joined by CR LF.
  std::vector<LoggedMessage> errorMessages;
  // Success flag of the running step; ErrorText clears it.
  bool stepOk = true;
  // The data-operations service; its key cache lives as long as the program.
  DataOps dataOps;
  // Worker threads of the operations that compute in parallel (ordered_work.h): 0 = one per
  // core (or TOVASK_WORKERS); 1 = everything on the calling thread. Results never depend on it.
  unsigned workerThreads = 0;
  // Bytes of new stored blocks (compressed or sealed files) a change keeps in memory; later
  // ones wait in a scratch file until the write (block_spill.h). Results never depend on it.
  std::uint64_t blockMemoryBudget = std::uint64_t{8} << 20;
  // The most distinct keys one extraction or test may derive. Each derivation is slow on
  // purpose and an archive chooses its salts, so without a bound a small hostile archive would
  // hold a processor for hours; archives written here need one key per run that encrypted.
  int keyDerivationLimit = 64;
  // The message file as last parsed (messages.h). Lookups take the context as const and
  // refresh it, hence mutable; like the whole context it is used from one thread only.
  mutable MessageFileCache messageFile;
};

// A copy of the error log.
[[nodiscard]] std::string CurrentErrorLog(const AppContext& context);

// Empties the error log, both forms: the start of every top-level operation.
void ClearErrorLog(AppContext& context);

// Command-line rule: only the first argument counts. When it is present and not "", it
// becomes currentArchivePath as given; otherwise currentArchivePath is "". Also fills
// commandLineArgs.
void ApplyCommandLine(AppContext& context, const std::vector<std::string>& args);

}  // namespace tovask
