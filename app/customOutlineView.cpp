#include "app/customOutlineView.h"

namespace bextkit {

customOutlineView::customOutlineView(QWidget* parent) : QTreeView(parent) {}

customOutlineView::~customOutlineView() {
  // The centre keeps no reference to a view that no longer exists.
  if (nc != nullptr) nc->removeObserver(this);
}

void customOutlineView::awakeFromNib() {
  // The centre is looked up only here, so a centre already present means the view has woken.
  if (nc != nullptr) return;
  nc = &NotificationCenter::defaultCenter();
  // Only this view's own selection changes are relayed, not those of other outline views.
  nc->addObserver(this, kOutlineViewSelectionDidChange, this,
                  [this](const Notification&) { postWorkaroundNotification(); });
}

void customOutlineView::postWorkaroundNotification() {
  // A view that has not woken has no centre to post on, and so announces nothing.
  if (nc != nullptr) nc->post(kTableViewSelectionDidChange, this);
}

void customOutlineView::selectionChanged(const QItemSelection& selected,
                                         const QItemSelection& deselected) {
  QTreeView::selectionChanged(selected, deselected);
  // Qt also calls this with nothing selected or deselected when a model or selection model is
  // installed; that is no change and is not announced.
  if (selected.isEmpty() && deselected.isEmpty()) return;
  NotificationCenter::defaultCenter().post(kOutlineViewSelectionDidChange, this);
}

}  // namespace bextkit
