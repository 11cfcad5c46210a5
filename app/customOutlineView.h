// The outline view of the interface file that re-announces each of its selection changes as a
// table-view selection change, so that whatever observes table-view selection changes for this
// view also hears the outline view's.
#pragma once

#include <QItemSelection>
#include <QTreeView>
#include <QWidget>

#include "platform/NotificationCenter.h"

namespace bextkit {

class customOutlineView : public QTreeView {
  Q_OBJECT

 public:
  explicit customOutlineView(QWidget* parent = nullptr);
  ~customOutlineView() override;

  // The application's default centre, not owned; null until the view has woken.
  NotificationCenter* nc = nullptr;

  // Called once the view has been loaded from the interface file: looks up the default centre
  // and starts relaying this view's own outline-view selection changes. Later calls do nothing.
  Q_INVOKABLE void awakeFromNib();
  // Posts the table-view selection change for this view, with no further information.
  Q_INVOKABLE void postWorkaroundNotification();

 protected:
  // Announces the change as an outline-view selection change, as the platform does for every
  // outline view, woken or not.
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
};

}  // namespace bextkit
