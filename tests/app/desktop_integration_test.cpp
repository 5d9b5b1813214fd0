#include "app/desktop_integration.h"

#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tovask {
namespace {

using testing::ReadFile;

std::string DataFile(const std::string& name) {
  return ReadFile(std::string(TOVASK_SOURCE_DIR) + "/data/" + name);
}

TEST(DesktopIntegrationTest, CarriesTheInstalledDesktopFiles) {
  const platform::FileTypeRegistration registration = ArchiveTypeRegistration("/x/tovask");
  EXPECT_EQ(registration.typeInfo, DataFile("tovask.xml"));
  EXPECT_EQ(registration.programEntry, DataFile("tovask.desktop"));
  EXPECT_EQ(registration.iconSvg, DataFile("tovask.svg"));
  EXPECT_EQ(registration.programPath, "/x/tovask");
  // The package and the entry name the type the registration makes the default.
  EXPECT_NE(registration.typeInfo.find("type=\"" + registration.typeName + "\""),
            std::string::npos);
  EXPECT_NE(registration.programEntry.find("MimeType=" + registration.typeName + ";"),
            std::string::npos);
}

}  // namespace
}  // namespace tovask
