#include "skin/palette.h"

#include <QWidget>

namespace pj::skin {

QPalette PanelPalette::widgetPalette(const QPalette& base) {
    QPalette p = base;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, background());
        p.setColor(group, QPalette::Button, background());
    }
    return p;
}

void PanelPalette::apply(QWidget* w) {
    w->setPalette(widgetPalette(w->palette()));
}

} // namespace pj::skin
