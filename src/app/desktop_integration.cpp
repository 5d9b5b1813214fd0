#include "app/desktop_integration.h"

#include <string_view>
#include <utility>

#include "app/tovask_desktop_bytes.h"
#include "app/tovask_svg_bytes.h"
#include "app/tovask_xml_bytes.h"
#include "platform/files.h"

namespace tovask {
namespace {

template <std::size_t N>
std::string_view TextOf(const unsigned char (&bytes)[N]) {
  return {reinterpret_cast<const char*>(bytes), N};
}

}  // namespace

platform::FileTypeRegistration ArchiveTypeRegistration(std::string programPath) {
  platform::FileTypeRegistration registration;
  registration.typeName = kArchiveMimeType;
  registration.extension = kArchiveExtension;
  registration.programId = kProgramId;
  registration.programPath = std::move(programPath);
  registration.typeInfo = TextOf(embedded::kTypeInfoFile);
  registration.programEntry = TextOf(embedded::kProgramEntryFile);
  registration.iconSvg = TextOf(embedded::kIconFile);
  return registration;
}

platform::RegistrationReport RegisterArchiveType(const platform::RunHelper& run) {
  std::string program = platform::ExecutablePath();
  if (program.empty()) return {};
  return platform::RegisterFileType(ArchiveTypeRegistration(std::move(program)), run);
}

}  // namespace tovask
