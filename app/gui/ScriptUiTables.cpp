// The script layer's tables of rows kept by key (RowTable) in tree views.
#include <QItemSelectionModel>
#include <QTreeView>

#include "app/gui/RowTable.h"
#include "app/gui/ScriptUi.h"

namespace bextkit {

namespace {

RowTable::Tone toneNamed(const QString& name) {
  if (name == QLatin1String("edited")) return RowTable::Tone::kEdited;
  if (name == QLatin1String("error")) return RowTable::Tone::kError;
  return RowTable::Tone::kPlain;
}

// The view's table, or null for a widget that is no tree view showing one.
RowTable* tableOf(QObject* view) {
  const auto* tree = qobject_cast<QTreeView*>(view);
  return tree ? rowTableOf(tree) : nullptr;
}

}  // namespace

void ScriptUi::makeTable(QObject* view, const QVariantList& columns, const QString& settingsKey) {
  auto* tree = qobject_cast<QTreeView*>(view);
  if (!tree) return;
  std::vector<RowTable::Column> list;
  for (const QVariant& column : columns) {
    const QVariantMap fields = column.toMap();
    const QString edit = fields.value("edit").toString();
    const RowTable::Edit how = edit == QLatin1String("line")   ? RowTable::Edit::kLine
                               : edit == QLatin1String("text") ? RowTable::Edit::kText
                                                               : RowTable::Edit::kNone;
    list.push_back({fields.value("title").toString(), how, fields.value("width").toInt()});
  }
  showRowTable(tree, std::move(list), settingsKey);
}

void ScriptUi::setRows(QObject* view, const QVariantList& rows) {
  RowTable* table = tableOf(view);
  if (!table) return;
  std::vector<RowTable::Row> list;
  list.reserve(static_cast<size_t>(rows.size()));
  for (const QVariant& row : rows) {
    const QVariantMap fields = row.toMap();
    list.push_back({fields.value("key").toInt(), fields.value("cells").toStringList(),
                    fields.value("tips").toStringList(), toneNamed(fields.value("tone").toString()),
                    fields.value("shown").toStringList()});
  }
  table->setRows(std::move(list));
}

void ScriptUi::removeRow(QObject* view, int key) {
  if (RowTable* table = tableOf(view)) table->removeRow(key);
}

void ScriptUi::clearRows(QObject* view) {
  if (RowTable* table = tableOf(view)) table->removeAllRows();
}

void ScriptUi::onCellEdit(QObject* view, const QJSValue& callback) {
  RowTable* table = tableOf(view);
  if (!table) return;
  table->editor = [this, callback](int key, int column, const QString& text) {
    const QJSValue answer = callBack(callback, {QJSValue(key), QJSValue(column), QJSValue(text)});
    // A handler that fails takes nothing: its error is told as every callback's is.
    if (answer.isUndefined()) return tr("the edit is not taken: the window's script failed");
    return answer.toString();
  };
}

QVariantList ScriptUi::selectedKeys(QObject* view) const {
  const auto* tree = qobject_cast<QTreeView*>(view);
  const RowTable* table = tree ? rowTableOf(tree) : nullptr;
  if (!table || !tree->selectionModel()) return {};
  QModelIndexList rows = tree->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QVariantList keys;
  for (const QModelIndex& row : rows) keys << table->keyAt(tableRow(tree, row));
  return keys;
}

QVariantList ScriptUi::keysInOrder(QObject* view) const {
  const auto* tree = qobject_cast<QTreeView*>(view);
  const RowTable* table = tree ? rowTableOf(tree) : nullptr;
  if (!table) return {};
  QVariantList keys;
  for (int row = 0; row < tree->model()->rowCount(); ++row) {
    keys << table->keyAt(tableRow(tree, tree->model()->index(row, 0)));
  }
  return keys;
}

int ScriptUi::currentKey(QObject* view) const {
  const auto* tree = qobject_cast<QTreeView*>(view);
  const RowTable* table = tree ? rowTableOf(tree) : nullptr;
  if (!table || !tree->currentIndex().isValid()) return -1;
  return table->keyAt(tableRow(tree, tree->currentIndex()));
}

int ScriptUi::currentColumn(QObject* view) const {
  const auto* tree = qobject_cast<QTreeView*>(view);
  return tree && tree->currentIndex().isValid() ? tree->currentIndex().column() : -1;
}

void ScriptUi::selectKeys(QObject* view, const QVariantList& keys) {
  auto* tree = qobject_cast<QTreeView*>(view);
  const RowTable* table = tree ? rowTableOf(tree) : nullptr;
  if (!table || !tree->selectionModel()) return;
  const auto* proxy = static_cast<const QSortFilterProxyModel*>(tree->model());
  QItemSelection selection;
  QModelIndex first;
  for (const QVariant& key : keys) {
    const int row = table->rowOf(key.toInt());
    if (row < 0) continue;
    const QModelIndex at = proxy->mapFromSource(table->index(row, 0));
    if (!first.isValid()) first = at;
    selection.select(at, at.siblingAtColumn(table->columnCount() - 1));
  }
  QItemSelectionModel* model = tree->selectionModel();
  if (first.isValid()) model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
  model->select(selection, QItemSelectionModel::ClearAndSelect);
  if (first.isValid()) tree->scrollTo(first);
}

}  // namespace bextkit
