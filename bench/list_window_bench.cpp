// The main window over a large archive: the time from the start of opening an archive of
// 100,000 entries (load the index, reset the list model) to the list painted, and of a find
// over it (select the matches, paint). Not part of the test run; see README.md.
// Built with the release preset and -DTOVASK_BENCH=ON.
//
//   list_window_bench [ENTRIES] [ROUNDS]     (QT_QPA_PLATFORM=offscreen, or under xvfb-run)
#include <stdlib.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/archive_index.h"
#include "archive/format.h"
#include "archive/writer.h"
#include "core/app_context.h"
#include "core/startup.h"
#include "ui/dialogs.h"
#include "ui/entry_list_model.h"
#include "ui/main_window.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Returns once the widget has been painted after the call (the paint event handled).
class PaintWait final : public QObject {
 public:
  explicit PaintWait(QWidget& widget) : widget_(widget) { widget_.installEventFilter(this); }
  void Wait() {
    painted_ = false;
    widget_.update();
    while (!painted_) loop_.exec();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &widget_ && event->type() == QEvent::Paint) {
      // Ends the wait after this paint has been handled.
      QMetaObject::invokeMethod(
          this,
          [this] {
            painted_ = true;
            loop_.quit();
          },
          Qt::QueuedConnection);
    }
    return false;
  }

 private:
  QWidget& widget_;
  QEventLoop loop_;
  bool painted_ = false;
};

// The find box answers with findText; nothing else is asked here.
class FindAnswer final : public tovask::ui::Dialogs {
 public:
  QString findText;
  bool Message(QWidget*, const QString&, const QString&, tovask::ui::BoxFlags) override {
    return false;
  }
  std::optional<QString> InputText(QWidget*, const QString&, const QString&, const QString&,
                                   bool) override {
    return findText;
  }
  QString OpenFile(QWidget*, const QString&, const QString&) override { return {}; }
  QStringList OpenFiles(QWidget*, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&) override { return {}; }
  QString ChooseFolder(QWidget*, const QString&) override { return {}; }
  void Beep() override {}
  void About(QWidget*, const QString&, const QString&) override {}
};

// An archive of count small entries in 100 folders, written through the engine.
void WriteArchive(tovask::AppContext& context, const std::string& path, int count) {
  tovask::ArchiveIndex index;
  for (int i = 0; i < count; ++i) {
    const std::string content = std::string("entry ").append(std::to_string(i)).append("\n");
    auto encoded = tovask::EncodeDataBlock(context.dataOps, tovask::AsBytes(content), "");
    if (!encoded) throw std::runtime_error("EncodeDataBlock failed");
    tovask::ArchiveEntry entry;
    entry.path = std::string("d")
                     .append(std::to_string(i % 100))
                     .append("\\file")
                     .append(std::to_string(i))
                     .append(".txt");
    entry.originalSize = static_cast<std::int32_t>(content.size());
    entry.time = 45000.5;
    entry.flags = tovask::EntryFlags::Archive | encoded->transformFlags;
    entry.md5Text = encoded->md5Text;
    entry.storedSize = static_cast<std::int32_t>(encoded->block.size());
    index.Append(entry);
    index.storedBlocks.push_back(std::move(encoded->block));
  }
  index.count = count;
  if (!tovask::WriteArchive(context, index, path)) throw std::runtime_error(context.errorLog);
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const int entries = argc > 1 ? std::stoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;

  std::string pattern = (fs::temp_directory_path() / "tovask-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path folder = pattern;
  fs::create_directories(folder / "prog");
  tovask::AppContext context;
  tovask::StartUp(context, (folder / "prog").string());
  const std::string archive = (folder / "big.tvk").string();
  WriteArchive(context, archive, entries);

  FindAnswer dialogs;
  // "7" matches some 40 % of the names, in thousands of separate runs of rows.
  dialogs.findText = QStringLiteral("7");
  tovask::ui::MainWindow window(context, dialogs);
  window.show();
  PaintWait painted(*window.list()->viewport());
  painted.Wait();

  std::vector<double> open, find;
  qsizetype selected = 0;
  for (int round = 0; round < rounds; ++round) {
    const Clock::time_point start = Clock::now();
    context.currentArchivePath = archive;
    window.Reload();
    painted.Wait();
    open.push_back(Milliseconds(Clock::now() - start));
    if (window.model()->rowCount() != entries) {
      std::fprintf(stderr, "listed %d rows, not %d\n", window.model()->rowCount(), entries);
      return 1;
    }

    const Clock::time_point findStart = Clock::now();
    window.Find();
    painted.Wait();
    find.push_back(Milliseconds(Clock::now() - findStart));
    selected = window.list()->selectionModel()->selection().size();
  }
  std::printf("%d entries, %d rounds (%s)\n", entries, rounds,
              qPrintable(QGuiApplication::platformName()));
  std::printf("open to painted list: median %.0f ms (min %.0f, max %.0f)\n", Median(open),
              *std::min_element(open.begin(), open.end()),
              *std::max_element(open.begin(), open.end()));
  std::printf("find \"7\" to painted selection: median %.0f ms (%lld runs of rows selected)\n",
              Median(find), static_cast<long long>(selected));
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
