// StartUp: fills the constants of AppContext and makes sure the message file exists.
#pragma once

#include <string>
#include <string_view>

#include "core/app_context.h"

namespace tovask {

inline constexpr std::string_view kMessageFileName = "DAZezo.ini";

// Runs once before any window: formatVersion "1.05", archiveMagic "RID", runDirectory from
// the executable's directory (with one trailing separator), and writes the default message
// file when none exists. An existing message file is never read, checked or replaced here.
// When the program directory cannot be written, the default file goes to the user
// configuration folder instead (platform::UserConfigDirectory()); failures are silent.
void StartUp(AppContext& context);
// The same with the executable directory given (tests).
void StartUp(AppContext& context, std::string_view executableDirectory);

// The two places of the message file, in the order they count: the program directory's
// ("" before StartUp has set runDirectory, so an unstarted context never reads a file relative
// to the working directory) and the user configuration folder's ("" when that is unknown).
[[nodiscard]] MessageFilePlaces MessageFileCandidates(const AppContext& context);

// Where the message file is read from, computed afresh on every call: the program
// directory's file when it exists, else the user configuration folder's when that exists,
// else the program directory's (whose absence makes lookups use the built-in fallbacks).
[[nodiscard]] std::string MessageFilePath(const AppContext& context);

}  // namespace tovask
