#include "ui/entry_list_view.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace tovask::ui {

EntryListView::EntryListView(QWidget* parent) : QTableView(parent) {
  // Emitted by the base class for a double-click on the row it was pressed on.
  connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (leftDoubleClick_ && index.isValid()) emit openRequested(index.row());
  });
}

void EntryListView::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  // While a name is edited, Enter commits it (an Enter the editor passes on ends here too).
  if (enter && modifiers == Qt::NoModifier && state() != EditingState) {
    if (currentIndex().isValid()) emit openRequested(currentIndex().row());
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void EntryListView::mouseDoubleClickEvent(QMouseEvent* event) {
  leftDoubleClick_ = event->button() == Qt::LeftButton;
  QTableView::mouseDoubleClickEvent(event);
  leftDoubleClick_ = false;
}

void EntryListView::startDrag(Qt::DropActions) {
  if (onDragStart) onDragStart();
}

}  // namespace tovask::ui
