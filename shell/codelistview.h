#pragma once
// The code list (control 1010): one row per key of the selected model with its
// check box, its name and its status icon (question mark 137, tick 136), under
// the columns "选择" 50, "名称" 200, "状态" 60 and "备注" 120 pixels, which
// cannot be resized. A header 20 pixels high, rows 17 pixels apart, grid lines,
// full-row selection. Over "备注" lies the model's description (1011). A click
// anywhere on a row toggles its box; a click below the last row does nothing.
// A right click on a row opens its context menu: "试发" sends the row's code
// to the projector (testSendRequested); greyed while toggling is off (a
// controller operation runs).
//
// Object names: "list1010", the description "edit1011", the menu "menuList"
// with "actionTestSend".

#include "shell/codelistmodel.h"

#include <QTableView>

class QMenu;
class QPlainTextEdit;

namespace pj::shell {

class CodeListView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kHeaderHeight = 20;
    static constexpr int kRowPitch = 17;
    static constexpr int kCheckX = 16;       // check box 15 x 15 at x 16 of the row
    static constexpr int kCheckSize = 15;    //
    static constexpr int kStatusOffset = 21; // status icon 16 x 16, 21 px into "状态"
    static constexpr int kIconSize = 16;
    static constexpr int kDescriptionWidth = 140;
    static constexpr int kDescriptionHeight = 212;

    explicit CodeListView(CodeListModel& model, QWidget* parent = nullptr);

    QPlainTextEdit* descriptionBox() const { return description_; }
    void setDescription(const QString& text);

    // While false (a controller operation is running) clicks leave the boxes alone.
    void setTogglingEnabled(bool on) { togglingEnabled_ = on; }
    bool togglingEnabled() const { return togglingEnabled_; }

    // Where row r's check box and status icon are drawn, in viewport coordinates.
    QRect checkBoxRect(int row) const;
    QRect statusIconRect(int row) const;

    QMenu* contextMenu() const { return menu_; }
    // What a right click at `pos` (viewport coordinates) does before the menu
    // opens: makes the row under it current and sets the menu's items. False
    // (no menu) below the last row.
    bool prepareContextMenu(const QPoint& pos);
    // The row the menu was opened on; -1 before any.
    int menuRow() const { return menuRow_; }

Q_SIGNALS:
    // "试发" was chosen on `row`.
    void testSendRequested(int row);

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void onClicked(const QModelIndex& index);
    void placeDescription();

    CodeListModel& model_;
    QPlainTextEdit* description_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* testSend_ = nullptr;
    int menuRow_ = -1;
    bool togglingEnabled_ = true;
};

} // namespace pj::shell
