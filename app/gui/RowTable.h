// A table of rows of texts that a script keeps by key (one row per open file): the script puts
// whole rows in, the view sorts them, resizes, moves and hides columns (remembered between runs),
// and an edit of a cell goes to the script, which takes it or refuses it with a reason. A refused
// edit changes nothing in the row; the reason is shown at the cell.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <functional>
#include <unordered_map>
#include <vector>

class QTreeView;

namespace bextkit {

class RowTable : public QAbstractTableModel {
  Q_OBJECT

 public:
  // How a column's cells are edited: not at all, as a line, or as text of many lines.
  enum class Edit { kNone, kLine, kText };
  struct Column {
    QString title;
    Edit edit = Edit::kNone;
    int width = 0;  // the column's width until the user sets one; 0 for the view's own
  };
  // How a row stands out: plainly, in bold (edited), or in the error colour (refused, errors).
  enum class Tone { kPlain, kEdited, kError };
  struct Row {
    int key = 0;
    QStringList cells;
    QStringList tips;  // by column; an empty tip shows the cell's whole text where it is long
    Tone tone = Tone::kPlain;
    // By column, what the cell shows where it is more than the value it edits ("25 (iXML)" for
    // the rate 25); empty for the value itself.
    QStringList shown = {};
  };
  // Asked for each edit: the reason it is refused, or an empty text when the script took it.
  using Editor = std::function<QString(int key, int column, const QString& text)>;

  RowTable(std::vector<Column> columns, QObject* parent);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // Puts rows in: a row whose key is there already is replaced, the others are added at the end.
  void setRows(std::vector<Row> rows);
  void removeRow(int key);
  void removeAllRows();
  // The key of a row, and the row of a key (-1 for none).
  int keyAt(int row) const { return rows_[static_cast<size_t>(row)].key; }
  int rowOf(int key) const;
  Edit editOf(int column) const { return columns_[static_cast<size_t>(column)].edit; }
  int widthOf(int column) const { return columns_[static_cast<size_t>(column)].width; }
  // The reason the last edit was refused.
  const QString& lastRefusal() const { return lastRefusal_; }

  Editor editor;

 private:
  std::vector<Column> columns_;
  std::vector<Row> rows_;
  std::unordered_map<int, int> rowOfKey_;
  QString lastRefusal_;
};

// Edits a cell with a line, or with text of many lines where the column or the value has them;
// never cuts what is typed. A refused edit shows its reason at the cell.
class CellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  CellDelegate(QTreeView* view, RowTable* table);
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

 private:
  QTreeView* view_;
  RowTable* table_;
};

// Shows a RowTable in a tree view, sorted by the column the user clicks (numbers as numbers),
// with a menu on the header to show and hide columns; the columns' order, widths and visibility
// are kept in the settings under `settingsKey`.
RowTable* showRowTable(QTreeView* view, std::vector<RowTable::Column> columns,
                       const QString& settingsKey);
// The table a view shows, and the row of the table behind a row of the view.
RowTable* rowTableOf(const QTreeView* view);
int tableRow(const QTreeView* view, const QModelIndex& viewIndex);

}  // namespace bextkit
