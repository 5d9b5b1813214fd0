// EntryListView: the main window's list of entries. A QTableView that also tells when the user
// wants an entry opened (a double-click with the left button, or Enter/Return on the current
// row while no name is being edited) and when a drag of the selected rows starts; the main
// window does the work.
//
// In-place renaming keeps the view's own triggers (a slow second click on a selected row, the
// edit key) and the main window's rename command; a double-click is no edit trigger. (The
// base class starts a slow second click's editor only after the double-click interval and
// drops it when a double-click comes first.)
//
// User-interface thread only.
#pragma once

#include <QModelIndex>
#include <QTableView>
#include <functional>

namespace tovask::ui {

class EntryListView final : public QTableView {
  Q_OBJECT

 public:
  explicit EntryListView(QWidget* parent = nullptr);

  // Called when a drag of the selected rows starts (the button is still down); the view
  // itself starts no drag.
  std::function<void()> onDragStart;

 signals:
  // The user asked to open the entry of row.
  void openRequested(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;

 private:
  bool leftDoubleClick_ = false;  // while the base class handles a double-click
};

}  // namespace tovask::ui
