#pragma once
// "写码记录": the past code writes of the model the code list shows, from the
// commissioning record, the most recent first: when, for which room, on which
// port and controller, and how it ended; below, the keys of the chosen write,
// each written, refused (with why) or confirmed by the controller's echo.
// "房间报告…" opens the room report; "关闭" or the strip closes.
//
// Object names: the dialog "records", the writes "listWrites", the keys
// "listKeys", the model line "labelModel", the buttons "buttonReport",
// "buttonRecordsClose".

#include "record/recordtypes.h"
#include "skin/skinneddialog.h"

#include <functional>
#include <vector>

class QLabel;
class QTreeWidget;

namespace pj::shell {

class RecordDialog : public skin::SkinnedDialog {
    Q_OBJECT
public:
    static constexpr int kWidthDlu = 380;
    static constexpr int kHeightDlu = 250;

    // `writes`: the model's code writes in the order they started.
    RecordDialog(const QString& company, const QString& model,
                 std::vector<record::WriteEntry> writes, std::function<void()> openReport,
                 QWidget* parent = nullptr);

    QTreeWidget* writesList() const { return writes_; }
    QTreeWidget* keysList() const { return keys_; }

    // The text of a write's outcome as the list shows it.
    static QString outcomeText(const record::WriteEntry& write);
    static QString keyOutcomeText(const record::KeyEntry& key);

private:
    void showKeys(int index);

    std::vector<record::WriteEntry> entries_; // most recent first
    QTreeWidget* writes_ = nullptr;
    QTreeWidget* keys_ = nullptr;
};

} // namespace pj::shell
