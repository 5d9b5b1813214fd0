#include "core/app_context.h"

namespace tovask {

std::string CurrentErrorLog(const AppContext& context) { return context.errorLog; }

void ClearErrorLog(AppContext& context) {
  context.errorLog.clear();
  context.errorMessages.clear();
}

void ApplyCommandLine(AppContext& context, const std::vector<std::string>& args) {
  context.commandLineArgs = args;
  // The path is taken as given: whether it names a readable archive is for the listing to
  // report, not for the command line.
  context.currentArchivePath =
      (args.empty() || args.front().empty()) ? std::string() : args.front();
}

}  // namespace tovask
