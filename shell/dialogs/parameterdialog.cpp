#include "shell/dialogs/parameterdialog.h"

#include "link/edition.h"
#include "link/serialport.h"
#include "shell/dialogs/modal.h"
#include "skin/artwork.h"
#include "skin/bitmapbutton.h"
#include "skin/units.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace pj::shell {

namespace {

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

ParameterSettings::ParameterSettings(const pj::link::ShellState& state,
                                     std::vector<std::string> ports)
    : state_(state)
    , ports_(std::move(ports)) {
    std::sort(ports_.begin(), ports_.end(), pj::link::naturalLess);
    ports_.erase(std::unique(ports_.begin(), ports_.end()), ports_.end());
}

std::string ParameterSettings::initialPortText() const {
    if (!state_.portName.empty())
        return state_.portName;
    return ports_.empty() ? std::string() : ports_.front();
}

const std::vector<std::string>& ParameterSettings::typeLabels() {
    static const std::vector<std::string> labels{"单机版", "网络版"};
    return labels;
}

int ParameterSettings::initialTypeIndex() const {
    return state_.machineType == 1 ? 1 : 0;
}

std::vector<std::string> ParameterSettings::editionLabels() {
    std::vector<std::string> labels;
    for (const auto& e : pj::link::controllerEditions())
        labels.emplace_back(e.label);
    return labels;
}

int ParameterSettings::initialEditionRow() const {
    const auto* e = pj::link::findEdition(state_.editionCode);
    return e ? e->listPosition : -1;
}

bool ParameterSettings::initialTypeListEnabled() const {
    const auto* e = pj::link::findEdition(state_.editionCode);
    return !e || e->chunkByMachineType;
}

bool ParameterSettings::typeListEnabledFor(const std::string& editionLabel) {
    for (const auto& e : pj::link::controllerEditions()) {
        if (editionLabel == e.label)
            return e.chunkByMachineType;
    }
    return true;
}

void ParameterSettings::accept(pj::link::ShellState& state, const std::string& portText,
                               int typeIndex, const std::string& editionLabel) {
    state.portName = trimmed(portText);
    state.machineType = (typeIndex == 0 || typeIndex == 1) ? typeIndex : -1;
    for (const auto& e : pj::link::controllerEditions()) {
        if (editionLabel == e.label) {
            state.editionCode = e.code;
            state.controllerBaud = state.machineType == 1 ? e.baudNetwork : e.baudStandalone;
            return;
        }
    }
}

ParameterDialog::ParameterDialog(pj::link::ShellState& state, Hooks hooks, QWidget* parent)
    : SkinnedDialog(QStringLiteral("参数设置"), QSize(318, 155), parent)
    , state_(state) {
    using pj::skin::dlu;
    setObjectName(QStringLiteral("parameters134"));
    fullSize_ = size();

    auto* settings = new QGroupBox(QStringLiteral("设置"), this);
    settings->setObjectName(QStringLiteral("groupSettings"));
    settings->setGeometry(dlu(7, 24, 121, 117));

    const auto label = [this](const char16_t* text, const char* name, int x, int y) {
        auto* l = new QLabel(QString::fromUtf16(text), this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(pj::skin::dluX(x), pj::skin::dluY(y));
        l->adjustSize();
        return l;
    };
    const auto combo = [this](const char* name, int x, int y, int w, int dropHeight,
                              bool editable) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(editable);
        c->setInsertPolicy(QComboBox::NoInsert);
        const QRect r = dlu(x, y, w, 12);
        c->setGeometry(r.x(), r.y(), r.width(), std::max(r.height(), c->sizeHint().height()));
        // The drop-down shows as many rows as its height in dialog units holds.
        c->setMaxVisibleItems(std::max(1, (dropHeight - 12) / 8));
        return c;
    };

    label(u"串口号", "labelPort", 21, 41);
    port_ = combo("combo1037", 55, 41, 49, 49, true);
    label(u"类    型", "labelType", 21, 65);
    type_ = combo("combo1040", 55, 65, 49, 43, true);
    label(u"版本号", "labelEdition", 21, 89);
    edition_ = combo("combo1038", 55, 89, 49, 116, false);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("button1039"));
    ok->setGeometry(dlu(31, 115, 77, 20));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { onOk(); });

    arrow_ = new pj::skin::BitmapButton(pj::skin::BitmapButton::Variant::Edge, this);
    arrow_->setObjectName(QStringLiteral("picture1088"));
    arrow_->move(pj::skin::dluX(131), pj::skin::dluY(62));
    arrow_->setToolTip(QStringLiteral("说明"));
    connect(arrow_, &pj::skin::BitmapButton::clicked, this, [this] { toggleNotes(); });

    auto* notes = new QGroupBox(QStringLiteral("说明"), this);
    notes->setObjectName(QStringLiteral("groupNotes"));
    notes->setGeometry(dlu(144, 24, 167, 116));
    // A note runs to the pane's inner edge when the face standing in for the
    // dialog font needs more room than its table width, and wraps beyond that.
    const int paneRight = notes->geometry().right() - 6;
    const auto note = [this, paneRight](const char16_t* text, const char* name, QRect r) {
        auto* l = new QLabel(QString::fromUtf16(text), this);
        l->setObjectName(QString::fromLatin1(name));
        r.setWidth(std::max(r.width(), std::min(l->sizeHint().width(), paneRight - r.x())));
        if (l->sizeHint().width() > r.width()) {
            // Still too long: the crystal goes onto a second line whole (there
            // is room below), rather than "晶振" wrapping apart from its value.
            QString twoLines = l->text();
            twoLines.replace(QRegularExpression(QStringLiteral("\\s*晶振")),
                             QStringLiteral("\n晶振"));
            l->setText(twoLines);
            r.setHeight(std::max(r.height(), l->sizeHint().height()));
        }
        l->setGeometry(r);
        return l;
    };
    note(u"Orvel版、Cendo版  晶振=14.7456Mhz", "note1", dlu(151, 53, 125, 13));
    note(u"Tamir版、Vetra版、VRKT版   晶振=22.1384Mhz", "note2", dlu(151, 76, 158, 13));
    note(u"Lumer版、Dorim版  晶振=14.7456Mhz", "note3", dlu(151, 100, 158, 14));

    // Opening: folded in, the channel closed so that its port is free to be
    // listed, the lists filled and selected from the state.
    arrow_->setImage(pj::skin::artPixmap(pj::skin::Art::ArrowOut, {}, devicePixelRatioF()));
    foldIn();

    if (hooks.closeChannel)
        hooks.closeChannel();
    const std::vector<pj::link::PortCheck> checked =
        hooks.listPorts ? hooks.listPorts() : pj::link::checkPresentPorts();
    std::vector<std::string> ports;
    std::vector<pj::link::PortCheck> refused;
    for (const auto& c : checked) {
        if (pj::link::deviceOpened(c.status))
            ports.push_back(c.name);
        else if (c.status == pj::link::PortOpenStatus::Busy ||
                 c.status == pj::link::PortOpenStatus::PermissionDenied)
            refused.push_back(c);
    }
    const ParameterSettings logic(state_, std::move(ports));

    // The field is narrow: ports are shown and typed by their short names
    // ("ttyUSB0"), the list opens as wide as its longest name, and the
    // field's tooltip tells the whole port name.
    for (const auto& p : logic.ports())
        port_->addItem(q(pj::link::portShortName(p)), q(p));
    // A port that is there but cannot be had is not hidden: it is shown greyed,
    // with why, so that a technician whose adapter is missing from the list
    // learns that another program holds it or that permission is missing.
    auto* items = qobject_cast<QStandardItemModel*>(port_->model());
    for (const auto& c : refused) {
        const bool busy = c.status == pj::link::PortOpenStatus::Busy;
        const QString label = q(pj::link::portShortName(c.name)) +
                              (busy ? QStringLiteral("（被占用）") : QStringLiteral("（无权限）"));
        port_->addItem(label, q(c.name));
        const int row = port_->count() - 1;
        port_->setItemData(row, q(pj::link::openFailureText(c.name, c.status)), Qt::ToolTipRole);
        if (items)
            items->item(row)->setEnabled(false);
    }
    port_->view()->setMinimumWidth(port_->view()->sizeHintForColumn(0) + 24);
    const auto showWholeName = [this](const QString&) { port_->setToolTip(q(chosenPort())); };
    connect(port_, &QComboBox::currentTextChanged, port_, showWholeName);
    if (!state_.portName.empty())
        port_->setEditText(q(pj::link::portShortName(state_.portName)));
    else if (!logic.ports().empty())
        port_->setCurrentIndex(0);
    else
        port_->setEditText(QString());
    showWholeName(port_->currentText());

    for (const auto& t : ParameterSettings::typeLabels())
        type_->addItem(q(t));
    type_->setCurrentIndex(logic.initialTypeIndex());

    for (const auto& e : ParameterSettings::editionLabels())
        edition_->addItem(q(e));
    // Where the face standing in for the dialog font needs more room than the
    // template gives, the lists grow to their longest item (within their
    // group) so that no label is cut by the arrow.
    const int groupRight = settings->geometry().right() - 4;
    for (QComboBox* c : {type_, edition_}) {
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.editable = c->isEditable();
        const int field =
            c->style()
                ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c)
                .width();
        int need = 0;
        for (int i = 0; i < c->count(); ++i)
            need = std::max(need, c->fontMetrics().horizontalAdvance(c->itemText(i)));
        if (need > field)
            c->resize(std::min(c->width() + need - field, groupRight - c->x()), c->height());
    }
    edition_->setCurrentIndex(logic.initialEditionRow());
    type_->setEnabled(logic.initialTypeListEnabled());
    connect(edition_, &QComboBox::activated, this, [this](int row) { onEditionChosen(row); });
}

int ParameterDialog::run(pj::link::ShellState& state, Hooks hooks, QWidget* parent) {
    ParameterDialog d(state, std::move(hooks), parent);
    return runModal(d);
}

QSize ParameterDialog::foldedSize() const {
    const QRect a = arrow_->geometry();
    return {a.x() + a.width() + 4, fullSize_.height()};
}

void ParameterDialog::foldIn() {
    fullSize_ = expanded_ ? size() : fullSize_;
    resizeAndCentre(foldedSize());
}

void ParameterDialog::toggleNotes() {
    if (!expanded_) {
        arrow_->setImage(pj::skin::artPixmap(pj::skin::Art::ArrowIn, {}, devicePixelRatioF()));
        resizeAndCentre(fullSize_);
        expanded_ = true;
    } else {
        arrow_->setImage(pj::skin::artPixmap(pj::skin::Art::ArrowOut, {}, devicePixelRatioF()));
        foldIn();
        expanded_ = false;
    }
    update();
}

void ParameterDialog::onEditionChosen(int row) {
    (void)row;
    type_->setEnabled(ParameterSettings::typeListEnabledFor(edition_->currentText().toStdString()));
}

std::string ParameterDialog::chosenPort() const {
    // A listed port by its whole name; a typed short name by what it stands for.
    const QString text = port_->currentText().trimmed();
    const int row = port_->findText(text, Qt::MatchExactly);
    if (row >= 0)
        return port_->itemData(row).toString().toStdString();
    return pj::link::portFromShortName(text.toStdString());
}

void ParameterDialog::onOk() {
    const int typeIndex = type_->findText(type_->currentText(), Qt::MatchExactly);
    ParameterSettings::accept(state_, chosenPort(), typeIndex,
                              edition_->currentText().toStdString());
    done(1);
}

} // namespace pj::shell
