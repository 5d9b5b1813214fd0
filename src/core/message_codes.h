// Message codes the program uses beyond the default catalogue. They start at 100; their
// built-in texts are used when the message file has no such key, so the default file stays
// byte for byte as it is.
#pragma once

#include <string_view>

namespace tovask {

enum ExtendedMessage : int {
  kMsgPathNotAbsolute = 100,    // %1% path
  kMsgSourceMissing = 101,      // %1% source path
  kMsgFolderUnreadable = 102,   // %1% folder
  kMsgNameNotStorable = 103,    // %1% file path
  kMsgFileTooLarge = 104,       // %1% file path
  kMsgArchiveTooLarge = 105,    // (none)
  kMsgUnsafeEntryName = 106,    // %1% entry name
  kMsgInterrupted = 107,        // (none)
  kMsgDeleteAllRefused = 108,   // (none)
  kMsgArchivePathEmpty = 109,   // (none)
  kMsgUnsafeTargetName = 110,   // %1% name
  kMsgInternalFailure = 111,    // %1% what failed
  kMsgArchiveBusy = 112,        // %1% archive path
  kMsgPasswordNeeded = 113,     // %1% entry name
};

// The built-in text of an extended code; "" for any other code.
[[nodiscard]] std::string_view BuiltInMessageText(int code);

}  // namespace tovask
