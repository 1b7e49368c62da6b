#pragma once
// The virtual controller panel ("虚拟中控"): with --simulate, a small skinned
// window beside the main window that stands for the simulated controller's
// front panel. One button per key slot (the 18 key names); a key for which the
// controller holds a code is marked with a tick, its tooltip telling the code
// and the projector line it was stored with. Pressing a button makes the
// simulator send that key's code as a real panel would: at the stored speed
// and parity, so a listening side set differently receives garbage. Below the
// keys: the last room parameters and ID card the controller received, and
// what the last press sent.
//
// The window follows the simulator's event log (looked at every 150 ms).
// Closing it hides it; it never keeps the program running.
//
// Object names: "virtualPanel", "key0" … "key17", "groupRoom", "room0" …
// "room7" (the values, in the block's order), "labelCard", "labelPress".

#include "sim/controller.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstddef>

class QLabel;
class QPushButton;
class QTimer;

namespace pj::sim {
class Simulator;
}

namespace pj::skin {
class CaptionBar;
}

namespace pj::shell {

class VirtualPanel : public QWidget {
    Q_OBJECT
public:
    static QString title(); // "虚拟中控"
    static constexpr int kPollMs = 150;

    explicit VirtualPanel(pj::sim::Simulator& simulator, QWidget* parent = nullptr);

    QPushButton* keyButton(int slot) const;
    // Presses key `slot` on the simulated controller; what it sent is shown.
    void press(int slot);
    // Reads the simulator's stored keys, room blocks and cards now.
    void refresh();
    // Puts the window beside `window`: right of it when the screen has room,
    // else left of it, else at the screen's right edge.
    void placeBeside(const QWidget* window);

    // The room block's eight values as the panel shows them, and the labels
    // they stand under ("关投影机延时" …).
    static QStringList roomLabels();
    static QStringList roomValues(const std::array<std::uint8_t, 8>& block);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void build();
    void poll();

    pj::sim::Simulator& sim_;
    pj::skin::CaptionBar* caption_ = nullptr;
    std::array<QPushButton*, 18> keys_{};
    std::array<QLabel*, 8> room_{};
    QLabel* card_ = nullptr;
    QLabel* pressed_ = nullptr;
    QTimer* poll_ = nullptr;
    std::size_t seenEvents_ = 0;
};

} // namespace pj::shell
