#include "shell/virtualpanel.h"

#include "catalogue/functionkeys.h"
#include "link/codetext.h"
#include "link/gbk.h"
#include "sim/simulator.h"
#include "skin/artwork.h"
#include "skin/captionbar.h"
#include "skin/framepaint.h"
#include "skin/skinneddialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace pj::shell {

namespace {

constexpr int kColumns = 3;
constexpr int kGap = 8; // between the main window and the panel

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString parityText(std::uint8_t parity) {
    switch (parity) {
    case 1:
        return QStringLiteral("奇校验");
    case 2:
        return QStringLiteral("偶校验");
    default:
        return QStringLiteral("无校验");
    }
}

QString pick(const QStringList& names, std::uint8_t index) {
    return index < names.size() ? names[index] : QString::number(index);
}

} // namespace

QString VirtualPanel::title() {
    return QStringLiteral("虚拟中控");
}

QStringList VirtualPanel::roomLabels() {
    return {QStringLiteral("关投影机延时"), QStringLiteral("信号源"),
            QStringLiteral("展台类型"),     QStringLiteral("关机报警"),
            QStringLiteral("幕布升降时间"), QStringLiteral("一键通"),
            QStringLiteral("门探开关"),     QStringLiteral("机器类型")};
}

QStringList VirtualPanel::roomValues(const std::array<std::uint8_t, 8>& b) {
    const QStringList sources{QStringLiteral("台式电脑"), QStringLiteral("手提电脑"),
                              QStringLiteral("展台"), QStringLiteral("视频"),
                              QStringLiteral("备用")};
    const QStringList visualizers{QStringLiteral("模拟展台"), QStringLiteral("数字展台")};
    const auto yesNo = [](std::uint8_t v) {
        return v == 0 ? QStringLiteral("否") : QStringLiteral("是");
    };
    return {QStringLiteral("%1 分钟").arg(b[0]),
            pick(sources, b[1]),
            pick(visualizers, b[2]),
            yesNo(b[3]),
            QStringLiteral("%1 秒").arg(b[4]),
            yesNo(b[5]),
            pick({QStringLiteral("常闭"), QStringLiteral("常开")}, b[6]),
            pick({QStringLiteral("单机"), QStringLiteral("网络")}, b[7])};
}

VirtualPanel::VirtualPanel(pj::sim::Simulator& simulator, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , sim_(simulator) {
    setObjectName(QStringLiteral("virtualPanel"));
    pj::skin::makeSkinned(this);
    setWindowTitle(title());
    // A window beside the program, not one that keeps it running.
    setAttribute(Qt::WA_QuitOnClose, false);
    build();

    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, &VirtualPanel::poll);
    poll_->start();
    refresh();
}

void VirtualPanel::build() {
    auto* layout = new QVBoxLayout(this);
    // Inside the frame (3 px left, 4 px right and bottom) and below the strip.
    layout->setContentsMargins(3 + 8, pj::skin::CaptionBar::kHeight + 6, 4 + 8, 4 + 8);
    layout->setSpacing(6);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    for (const auto& key : pj::catalogue::kFunctionKeyTable) {
        auto* b = new QPushButton(q(key.name), this);
        b->setObjectName(QStringLiteral("key%1").arg(key.slot));
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumWidth(72);
        const int slot = key.slot;
        connect(b, &QPushButton::clicked, this, [this, slot] { press(slot); });
        grid->addWidget(b, key.slot / kColumns, key.slot % kColumns);
        keys_[static_cast<std::size_t>(key.slot)] = b;
    }
    layout->addLayout(grid);

    auto* group = new QGroupBox(QStringLiteral("房间参数"), this);
    group->setObjectName(QStringLiteral("groupRoom"));
    auto* form = new QGridLayout(group);
    form->setVerticalSpacing(2);
    const QStringList labels = roomLabels();
    for (int i = 0; i < labels.size(); ++i) {
        form->addWidget(new QLabel(labels[i], group), i, 0);
        auto* value = new QLabel(QStringLiteral("—"), group);
        value->setObjectName(QStringLiteral("room%1").arg(i));
        form->addWidget(value, i, 1);
        room_[static_cast<std::size_t>(i)] = value;
    }
    form->setColumnStretch(1, 1);
    layout->addWidget(group);

    auto* cardRow = new QHBoxLayout;
    cardRow->addWidget(new QLabel(QStringLiteral("ID卡号"), this));
    card_ = new QLabel(QStringLiteral("—"), this);
    card_->setObjectName(QStringLiteral("labelCard"));
    card_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cardRow->addWidget(card_, 1);
    layout->addLayout(cardRow);

    pressed_ = new QLabel(QStringLiteral("按下按键，中控即发出该键的功能码"), this);
    pressed_->setObjectName(QStringLiteral("labelPress"));
    pressed_->setWordWrap(true);
    layout->addWidget(pressed_);

    setFixedSize(layout->sizeHint().expandedTo(QSize(240, 0)));
    caption_ = new pj::skin::CaptionBar(this, pj::skin::CaptionBar::Kind::Dialog);
    caption_->show();
}

QPushButton* VirtualPanel::keyButton(int slot) const {
    return pj::catalogue::isValidSlot(slot) ? keys_[static_cast<std::size_t>(slot)] : nullptr;
}

void VirtualPanel::press(int slot) {
    if (!pj::catalogue::isValidSlot(slot))
        return;
    const QString name = q(pj::catalogue::functionKeyName(slot));
    const auto stored = sim_.storedKey(slot);
    const pj::link::Bytes sent = sim_.press(slot);
    if (!stored) {
        pressed_->setText(QStringLiteral("%1：中控没有此键的功能码").arg(name));
    } else if (sent.empty()) {
        pressed_->setText(QStringLiteral("%1：串口无人接收，未发出").arg(name));
    } else {
        QString text = QStringLiteral("%1：已发出 %2")
                           .arg(name, QString::fromStdString(pj::link::bytesToCodeText(sent)));
        if (sent != stored->code)
            text += QStringLiteral("（接收方的波特率或校验与该键不同，收到的是乱码）");
        pressed_->setText(text);
    }
    refresh();
}

void VirtualPanel::poll() {
    const std::size_t n = sim_.log().size();
    if (n != seenEvents_)
        refresh();
}

void VirtualPanel::refresh() {
    seenEvents_ = sim_.log().size();
    const QIcon tick(pj::skin::artPixmap(pj::skin::Art::StatusConfirmed, {}, devicePixelRatioF()));
    for (int slot = 0; slot < pj::catalogue::kFunctionKeyCount; ++slot) {
        QPushButton* b = keys_[static_cast<std::size_t>(slot)];
        const auto key = sim_.storedKey(slot);
        b->setProperty("stored", key.has_value());
        if (key) {
            b->setIcon(tick);
            b->setToolTip(QStringLiteral("功能码 %1\n投影机 %2 波特，%3")
                              .arg(QString::fromStdString(pj::link::bytesToCodeText(key->code)))
                              .arg(key->projectorBaud)
                              .arg(parityText(key->parity)));
        } else {
            b->setIcon(QIcon());
            b->setToolTip(QStringLiteral("中控没有此键的功能码"));
        }
    }
    const auto rooms = sim_.roomBlocks();
    if (!rooms.empty()) {
        const QStringList values = roomValues(rooms.back().bytes);
        for (std::size_t i = 0; i < room_.size(); ++i)
            room_[i]->setText(values[static_cast<qsizetype>(i)]);
    }
    const auto cards = sim_.cards();
    if (!cards.empty()) {
        const auto& number = cards.back().number;
        const std::string bytes(number.begin(), number.end());
        const auto utf8 = pj::link::gbkToUtf8(bytes);
        card_->setText(utf8 ? QString::fromStdString(*utf8)
                            : QString::fromStdString(pj::link::bytesToCodeText(number)));
        if (card_->text().isEmpty())
            card_->setText(QStringLiteral("（空）"));
    }
}

void VirtualPanel::placeBeside(const QWidget* window) {
    const QScreen* screen = window->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect main = window->frameGeometry();
    const QSize size = frameGeometry().size();
    int x = main.right() + 1 + kGap;
    if (x + size.width() > area.right() + 1) {
        x = main.left() - kGap - size.width();
        if (x < area.left())
            x = area.right() + 1 - size.width();
    }
    const int y =
        std::clamp(main.top(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    move(x, y);
}

void VirtualPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    pj::skin::FramePaint::paint(p, rect());
}

} // namespace pj::shell
