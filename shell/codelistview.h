#pragma once
// The code list (control 1010): one row per key of the selected model with its
// check box, its name and its status icon (question mark 137, tick 136), under
// the columns "选择" 50, "名称" 200, "状态" 60 and "备注" 120 pixels, which
// cannot be resized. A header 20 pixels high, rows 17 pixels apart, grid lines,
// full-row selection. Over "备注" lies the model's description (1011). A click
// anywhere on a row toggles its box; a click below the last row does nothing.
//
// Object names: "list1010", the description "edit1011".

#include "shell/codelistmodel.h"

#include <QTableView>

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

protected:
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void onClicked(const QModelIndex& index);
    void placeDescription();

    CodeListModel& model_;
    QPlainTextEdit* description_ = nullptr;
    bool togglingEnabled_ = true;
};

} // namespace pj::shell
