// The message catalogue's codes: ErrorCode names every [Error] key the program records,
// TitleCode every [Title] key it shows. The default message file holds the codes below 100;
// the codes from 100 up are the program's own, with built-in texts used when the message file
// has no such key, so the default file stays byte for byte as it is.
//
// A code the program does not name (a key someone added to the message file) is still a
// valid value: ErrorCode{500} looks up key 500.
#pragma once

#include <string>
#include <string_view>

namespace tovask {

enum class ErrorCode : int {
  Unrecorded = 0,            // the fallback text of any code without one
  OpenFile = 1,              // %1% path
  ReadFile = 2,              // %1% path
  FileChanged = 11,          // %1% file path
  CreateFolder = 12,         // %1% folder
  OpenTemporaryFile = 18,    //
  ReplaceFile = 19,          // %1% archive path
  WriteData = 20,            //
  NoSources = 21,            //
  SetFileTime = 31,          //
  ExtractNotArchive = 32,    // %1% path, %2% magic
  ExtractWrongVersion = 33,  // %1% path, %2% version found, %3% version read
  ExtractDamaged = 34,       // %1% path
  ExtractCreateFolder = 35,  // %1% folder
  ExtractCancelled = 36,     //
  ExtractEndedEarly = 37,    // %1% archive path
  DigestEncrypted = 38,      //
  DigestDamaged = 39,        //
  LengthDamaged = 40,        //
  WriteFile = 41,            // %1% file path
  NotArchive = 51,           // %1% path, %2% magic
  WrongVersion = 52,         // %1% path, %2% version found, %3% version read
  Damaged = 53,              // %1% path
  EndedEarly = 54,           // %1% path
  RenameNameTaken = 71,      // %1% new name
  RenameNotFound = 72,       // %1% old name
  RenameIllegalName = 73,    // %1% new name
  InternalLogic = 99,        // %1% internal error number
  PathNotAbsolute = 100,     // %1% path
  SourceMissing = 101,       // %1% source path
  FolderUnreadable = 102,    // %1% folder
  NameNotStorable = 103,     // %1% file path
  FileTooLarge = 104,        // %1% file path
  ArchiveTooLarge = 105,     //
  UnsafeEntryName = 106,     // %1% entry name
  Interrupted = 107,         //
  DeleteAllRefused = 108,    //
  ArchivePathEmpty = 109,    //
  UnsafeTargetName = 110,    // %1% name
  InternalFailure = 111,     // %1% what failed
  ArchiveBusy = 112,         // %1% archive path
  PasswordNeeded = 113,      // %1% entry name
  NoApplication = 114,       // %1% file path
  TooManyKeys = 115,         // %1% archive path, %2% the most keys one run derives
};

enum class TitleCode : int {
  Unset = 0,                  // the fallback text of any code without one
  ReadingData = 10,           // %1% "i/n"
  PreparingCompression = 11,  //
  Compressing = 12,           // %1% file, %2% "i/n"
  CheckingUpdates = 13,       // %1% "i/n"
  PreparingWrite = 14,        // %1% "i/n"
  WritingData = 15,           // %1% "i/n"
  CompressionDone = 16,       //
  WritingDataPlain = 17,      //
  ReadingFile = 31,           //
  Decompressing = 32,         // %1% entry name
  DecompressionDone = 33,     //
  PasswordPrompt = 34,        //
  PasswordCaption = 35,       //
  ListColumnTitles = 51,      // the seven column titles, separated by ","
  FindingFiles = 71,          // %1% "i/n"
};

// The number of a code, as the message file and the error log write it.
[[nodiscard]] constexpr int CodeNumber(ErrorCode code) { return static_cast<int>(code); }
[[nodiscard]] constexpr int CodeNumber(TitleCode code) { return static_cast<int>(code); }

// One recorded error: its code and its text with the arguments filled in.
struct LoggedMessage {
  ErrorCode code = ErrorCode::Unrecorded;
  std::string text;
  friend bool operator==(const LoggedMessage&, const LoggedMessage&) = default;
};

// The error log's line of a message: "code:text".
[[nodiscard]] std::string LogLine(const LoggedMessage& message);

// The built-in text of one of the program's own codes (100 and up); "" for any other code.
[[nodiscard]] std::string_view BuiltInMessageText(ErrorCode code);

}  // namespace tovask
