// The program's place on the desktop: ".tvk" files open with this program, which shows its own
// icon. Registered at every start, when the main window is created; nothing is asked and
// failures are ignored.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_type_registration.h"

namespace tovask {

inline constexpr std::string_view kArchiveMimeType = "application/x-tovask";
inline constexpr std::string_view kArchiveExtension = ".tvk";
inline constexpr std::string_view kProgramId = "tovask";

// The registration of the archive type for the program at programPath, with the desktop files
// the program carries (the type's package, its desktop entry, its icon).
[[nodiscard]] platform::FileTypeRegistration ArchiveTypeRegistration(std::string programPath);

// Registers the archive type for the running program (platform::RegisterFileType). Does
// nothing when the OS does not tell where the program lies.
platform::RegistrationReport RegisterArchiveType(const platform::RunHelper& run = {});

}  // namespace tovask
