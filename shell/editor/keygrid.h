#pragma once
// The model editor's key grid: columns "ID" 40, "功能键" 90, "功能码" 350,
// "状态" 55 and "备注" 120 pixels, which cannot be resized; grid lines,
// whole-row selection, every row drawn light blue. "功能键" and "功能码" are
// edited in place by the cell editor laid exactly over the cell; every shown
// row's "状态" is a drop-down of the 18 key names (made for the rows in view,
// so that a model of hundreds of keys opens at once); one
// description box lies over "备注", 19 pixels wider than the column and 210
// high, from the top of row 0.
//
// An open cell editor writes its text into the cell whenever the grid is
// clicked or scrolled, and when commitCell() is called (the dialog does so
// before every button).
//
// A code that breaks its maker's framing rule (KeyGridModel::ProblemRole) is
// drawn in flaggedColour() with the reason as its tooltip; the cell editor
// reports every edit, so the dialog can judge the code while it is typed.
//
// Object names: the cell editor "edit3015", row i's drop-down "combo" + (3032
// + i) (renamed when rows above it go), the description "edit1012".

#include "shell/editor/keygridmodel.h"

#include <QColor>
#include <QPointer>
#include <QTableView>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace pj::shell {

class KeyGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr int kHeaderHeight = 20;
    static constexpr int kRowHeight = 19; // the 18-pixel row images and a grid line
    static constexpr int kDescriptionOverhang = 19;
    static constexpr int kDescriptionHeight = 210;
    static constexpr int kCellEditorId = 3015;
    static constexpr int kFirstSlotBoxId = 3032;
    static QColor rowColour() { return {202, 220, 250}; }
    // A code that breaks its maker's rule: a light red in the rows' lightness.
    static QColor flaggedColour() { return {250, 202, 202}; }

    explicit KeyGrid(KeyGridModel& model, QWidget* parent = nullptr);

    // Width in pixels that shows every column, the description's overhang and
    // a vertical scroll bar without scrolling sideways.
    int preferredWidth() const;

    QPlainTextEdit* descriptionBox() const { return description_; }
    // The row's drop-down; null for a row scrolled out of view.
    QComboBox* slotBox(int row) const;
    QLineEdit* cellEditor() const; // null when no cell is being edited
    // The cell being edited; invalid when none.
    QModelIndex editingCell() const { return editing_; }

    // Opens the cell editor over the cell, filled with its text and focused.
    void editCell(int row, int column);
    // Writes an open cell editor's text into its cell and closes it.
    void commitCell();

Q_SIGNALS:
    // A left click on a cell (row and column -1 below the last row or beside
    // the columns); F2 on the current cell counts as a click on it.
    void cellClicked(int row, int column);
    // The user changed the text in the cell editor (not yet in the cell).
    void cellTextEdited(int row, int column, const QString& text);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    // Gives the rows in view their drop-downs and takes them from the others.
    void updateSlotBoxes();
    void placeDescription();

    KeyGridModel& model_;
    QPlainTextEdit* description_ = nullptr;
    QPersistentModelIndex editing_;
};

} // namespace pj::shell
