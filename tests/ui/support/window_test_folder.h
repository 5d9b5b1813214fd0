// A temporary folder for window tests: a started AppContext whose message file lives in its
// own folder, source files and archives made by the engine itself (the windows are tested
// against real archives), the names an archive lists, and screenshots on request.
#pragma once

#include <QDir>
#include <QString>
#include <QWidget>
#include <QtGlobal>
#include <string>
#include <utility>
#include <vector>

#include "archive/listing.h"
#include "core/app_context.h"
#include "core/startup.h"
#include "operations/compress_add.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace tovask::ui::testing {

using Files = std::vector<std::pair<std::string, std::string>>;  // relative path, content

class WindowTestFolder {
 public:
  WindowTestFolder() { StartUp(context, home.path()); }

  // Writes files below work/folder and returns the folder's path.
  std::string Folder(const std::string& folder, const Files& files) {
    const std::string root = work / folder;
    for (const auto& [name, content] : files)
      tovask::testing::WriteFile(root + "/" + name, content);
    QDir().mkpath(QString::fromStdString(root));
    return root;
  }

  // An archive work/name holding files, named from inside their folder ("a.txt", "d/b.txt"
  // as "d\b.txt").
  std::string Archive(const std::string& name, const Files& files,
                      const std::string& password = "") {
    const std::string sources = Folder("src-" + name, files);
    const std::string path = work / name;
    if (!CompressAndAdd(context, {{sources + "/"}, path, password, true}).done()) {
      qFatal("cannot make %s: %s", path.c_str(), context.errorLog.c_str());
    }
    return path;
  }

  // The entries of an archive as its listing names them, in index order.
  std::vector<std::string> Names(const std::string& archive) {
    AppContext reader;
    StartUp(reader, home.path());
    ArchiveListing listing;
    if (!ListArchive(reader, archive, listing)) return {"<unreadable>"};
    std::vector<std::string> names;
    for (const ArchiveEntry& entry : listing.entries) names.push_back(entry.path);
    return names;
  }

  tovask::testing::TempDir home;  // the program directory (message file)
  tovask::testing::TempDir work;  // sources, archives, extraction targets
  AppContext context;
};

}  // namespace tovask::ui::testing
