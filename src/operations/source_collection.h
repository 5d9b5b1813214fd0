// CollectSources: expands the chosen files and folders into the flat list of files to store,
// each with the name it gets in the archive.
//
// Sources are absolute native paths, made lexically normal here as the platform does it (a
// closing separator kept). A file source is named by its last level. A folder source keeps its
// own name as the first level of every name below it, except when it ends with the separator
// (the root "/" always does): then names start inside it, so "/" gives "etc\x", never "\etc\x"
// or an empty first level. A source ending in "." or ".." names its folder like its name does
// ("/a/b/." is "/a/b", "/a/b/.." is "/a").
//
// Walk order: a folder's files, then its subfolders depth first, names sorted bytewise in
// each folder (never the order the OS lists them in). Folders whose names start with "." are
// skipped with their content; files starting with "." are kept. Only regular files and links
// to them are collected; FIFOs, sockets, devices and dangling links are passed over, so a walk
// never blocks on a pipe. Each real folder (device + inode) is walked once, so a link leading
// back into the tree neither loops nor stores the same files twice. There is no
// de-duplication of names: two sources may give the same name, and both stay.
//
// Entry names use "\" between levels. A file whose name an entry cannot hold so that
// extraction restores it ("\" or "?" in a level, control characters, bytes that are not
// UTF-8, a drive-like start such as "C:x") is refused: whatever is collected can be extracted.
#pragma once

#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/progress.h"

namespace tovask {

struct SourceSet {
  std::vector<std::string> fullPaths;      // native absolute path of each file
  std::vector<std::string> relativeNames;  // its entry name, "\" between levels
  int count = 0;                           // fullPaths.size()
};

// Fills set (emptied first) from sources, in source order. Returns false, with messages
// naming the path, when a source is not absolute (100), does not exist (101), a folder
// cannot be read (102), or events reports an interrupt (107); the set is empty then. Every
// file whose name an entry cannot hold is reported (103, one message each, full path) and the
// set is left empty too. A source that is neither a folder nor a regular file (a FIFO, a
// device) contributes nothing. events (optional) gets one ProcessEvents call per folder
// walked; no progress is reported during collection.
[[nodiscard]] bool CollectSources(AppContext& context, const std::vector<std::string>& sources,
                                  SourceSet& set, ProgressSink* events = nullptr);

}  // namespace tovask
