#include "app/gui/RowTable.h"

#include <QAction>
#include <QColor>
#include <QCursor>
#include <QFont>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QToolTip>
#include <QTreeView>
#include <optional>

namespace bextkit {

namespace {

// A cell's text on one line: the line ends of a description or a coding history as a mark.
QString oneLine(const QString& text) {
  QString line = text;
  line.replace(QLatin1String("\r\n"), QStringLiteral(" \u23CE "));
  line.replace(QLatin1Char('\n'), QStringLiteral(" \u23CE "));
  line.replace(QLatin1Char('\r'), QStringLiteral(" \u23CE "));
  return line;
}

// The number a text begins with ("0.250 s", "-23.00", "01:00:00:00"), if any.
std::optional<double> leadingNumber(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^\\s*-?\\d+(\\.\\d+)?"));
  const QRegularExpressionMatch match = number.match(text);
  if (!match.hasMatch()) return std::nullopt;
  return match.captured(0).trimmed().toDouble();
}

// Sorts cells by the numbers they begin with (durations, loudness, timecodes by the hour), and
// other texts as the user's language orders them.
class SortingProxy : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
    const QString a = left.data(Qt::EditRole).toString(), b = right.data(Qt::EditRole).toString();
    const std::optional<double> x = leadingNumber(a), y = leadingNumber(b);
    if (x && y && *x != *y) return *x < *y;
    if (x.has_value() != y.has_value()) return x.has_value();  // numbers before other texts
    return QString::localeAwareCompare(a, b) < 0;
  }
};

void saveHeader(const QHeaderView* header, const QString& key) {
  QSettings().setValue(key, header->saveState());
}

}  // namespace

RowTable::RowTable(std::vector<Column> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {}

int RowTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RowTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RowTable::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  const auto column = static_cast<qsizetype>(index.column());
  const QString text = column < row.cells.size() ? row.cells[column] : QString();
  switch (role) {
    case Qt::DisplayRole:
      if (column < row.shown.size() && !row.shown[column].isEmpty()) return row.shown[column];
      return oneLine(text);
    case Qt::EditRole:
      return text;
    case Qt::ToolTipRole: {
      const QString tip = column < row.tips.size() ? row.tips[column] : QString();
      if (!tip.isEmpty()) return tip;
      return text.size() > 40 || text.contains(QLatin1Char('\n')) ? text : QVariant();
    }
    case Qt::FontRole:
      if (row.tone == Tone::kEdited) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    case Qt::ForegroundRole:
      if (row.tone == Tone::kError) return QColor(Qt::darkRed);
      return {};
    default:
      return {};
  }
}

QVariant RowTable::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) return columns_[static_cast<size_t>(section)].title;
  if (role == Qt::ToolTipRole && editOf(section) != Edit::kNone) {
    return tr("%1: double-click or F2 to edit").arg(columns_[static_cast<size_t>(section)].title);
  }
  return {};
}

Qt::ItemFlags RowTable::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && editOf(index.column()) != Edit::kNone) flags |= Qt::ItemIsEditable;
  return flags;
}

bool RowTable::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !editor) return false;
  const Row& row = rows_[static_cast<size_t>(index.row())];
  const QString text = value.toString();
  const auto column = static_cast<qsizetype>(index.column());
  if (column < row.cells.size() && row.cells[column] == text) return true;  // nothing typed
  // The script puts the row back as it now stands: the model changes through setRows only.
  lastRefusal_ = editor(row.key, index.column(), text);
  return lastRefusal_.isEmpty();
}

void RowTable::setRows(std::vector<Row> rows) {
  std::vector<Row> added;
  for (Row& row : rows) {
    const int at = rowOf(row.key);
    if (at < 0) {
      added.push_back(std::move(row));
      continue;
    }
    rows_[static_cast<size_t>(at)] = std::move(row);
    emit dataChanged(index(at, 0), index(at, columnCount() - 1));
  }
  if (added.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  for (Row& row : added) {
    rowOfKey_[row.key] = static_cast<int>(rows_.size());
    rows_.push_back(std::move(row));
  }
  endInsertRows();
}

void RowTable::removeRow(int key) {
  const int at = rowOf(key);
  if (at < 0) return;
  beginRemoveRows({}, at, at);
  rows_.erase(rows_.begin() + at);
  rowOfKey_.clear();
  for (size_t i = 0; i < rows_.size(); ++i) rowOfKey_[rows_[i].key] = static_cast<int>(i);
  endRemoveRows();
}

void RowTable::removeAllRows() {
  beginResetModel();
  rows_.clear();
  rowOfKey_.clear();
  endResetModel();
}

int RowTable::rowOf(int key) const {
  const auto found = rowOfKey_.find(key);
  return found == rowOfKey_.end() ? -1 : found->second;
}

CellDelegate::CellDelegate(QTreeView* view, RowTable* table)
    : QStyledItemDelegate(view), view_(view), table_(table) {}

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  const bool lines = table_->editOf(index.column()) == RowTable::Edit::kText ||
                     index.data(Qt::EditRole).toString().contains(QLatin1Char('\n'));
  if (!lines) {
    auto* line = new QLineEdit(parent);  // no length limit: a text too long is refused, not cut
    line->setFrame(false);
    return line;
  }
  auto* text = new QPlainTextEdit(parent);
  text->setTabChangesFocus(true);  // Tab leaves the cell and keeps the edit
  text->setMinimumHeight(option.rect.height() * 4);
  return text;
}

void CellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  if (auto* text = qobject_cast<QPlainTextEdit*>(editor)) {
    text->setPlainText(index.data(Qt::EditRole).toString());
    return;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void CellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
  QString typed;
  if (auto* text = qobject_cast<QPlainTextEdit*>(editor)) {
    typed = text->toPlainText();
  } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    typed = line->text();
  }
  if (model->setData(index, typed, Qt::EditRole)) return;
  const QRect cell = view_->visualRect(index);
  QToolTip::showText(view_->viewport()->mapToGlobal(cell.bottomLeft()), table_->lastRefusal(),
                     view_->viewport(), cell, 10000);
}

RowTable* showRowTable(QTreeView* view, std::vector<RowTable::Column> columns,
                       const QString& settingsKey) {
  auto* table = new RowTable(std::move(columns), view);
  auto* proxy = new SortingProxy(view);
  proxy->setSourceModel(table);
  QAbstractItemModel* old = view->model();
  view->setModel(proxy);
  if (old && old->parent() == view) old->deleteLater();
  view->setItemDelegate(new CellDelegate(view, table));
  view->setSortingEnabled(true);
  view->sortByColumn(-1, Qt::AscendingOrder);  // the order the files were opened in, until asked
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                        QAbstractItemView::SelectedClicked);
  view->setUniformRowHeights(true);  // rows of one line: a thousand of them lay out at once
  QHeaderView* header = view->header();
  header->setSectionsMovable(true);
  header->setStretchLastSection(false);
  header->setDefaultSectionSize(120);
  for (int column = 0; column < table->columnCount(); ++column) {
    if (const int width = table->widthOf(column); width > 0) header->resizeSection(column, width);
  }
  const QByteArray state = QSettings().value(settingsKey).toByteArray();
  if (!state.isEmpty()) header->restoreState(state);
  const auto save = [header, settingsKey] { saveHeader(header, settingsKey); };
  QObject::connect(header, &QHeaderView::sectionMoved, header, save);
  QObject::connect(header, &QHeaderView::sectionResized, header, save);
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(header, &QWidget::customContextMenuRequested, header, [header, table, save] {
    QMenu menu;
    for (int column = 0; column < table->columnCount(); ++column) {
      QAction* action =
          menu.addAction(table->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
      action->setCheckable(true);
      action->setChecked(!header->isSectionHidden(column));
      action->setEnabled(column != 0);  // the file's name stays
      QObject::connect(action, &QAction::toggled, header, [header, column, save](bool on) {
        header->setSectionHidden(column, !on);
        save();
      });
    }
    menu.exec(QCursor::pos());
  });
  return table;
}

RowTable* rowTableOf(const QTreeView* view) {
  const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(view->model());
  return proxy ? qobject_cast<RowTable*>(proxy->sourceModel()) : nullptr;
}

int tableRow(const QTreeView* view, const QModelIndex& viewIndex) {
  const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(view->model());
  return proxy && viewIndex.isValid() ? proxy->mapToSource(viewIndex).row() : -1;
}

}  // namespace bextkit
