#pragma once
// The About box (dialog 125, title "关于"): program icon, author and contact
// lines between two sunken lines, "Ok" (button1022) -> 1, closed -> 0.

#include "skin/skinneddialog.h"

namespace pj::shell {

class AboutDialog : public pj::skin::SkinnedDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static int run(QWidget* parent = nullptr);
};

} // namespace pj::shell
