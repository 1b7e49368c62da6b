#pragma once
// The receive monitor (dialog 144, title "接收"): shows what arrives on the
// serial channel in hex or as ASCII, and changes the speed and parity the
// channel listens with. It is modal to the main window only, which it stays
// above; other windows (the virtual controller panel) remain usable.
//
// Opening: a closed channel is opened on the port at the model's speed and
// last parity; an open one keeps its settings (the lists then show them).
// Picking a speed, or a parity, closes the channel, waits 20 ms and opens it
// with the new settings; a speed that is not a positive whole number is
// refused with "波特率无效" and the lists go back to what is listened with.
// "关闭" leaves the channel open; closing the window (strip, Escape) closes it.
//
// The box keeps a bounded scrollback (MonitorLog). Its context menu adds
// "显示时间" (a time stamp before each block) and "保存…" (the blocks with
// their time stamps to a text file). When the device goes away the box says
// "串口 … 已断开" and the port is tried again every half second until it
// opens ("串口 … 已重新连接").
//
// Object names: "monitor144", "check1063", "combo1091", "label1073" (the text
// before the speed), "combo1073", "edit1064", "lineSeparator", "button1069",
// "button1065"; the menu "menuMonitor" with "actionCopy", "actionSelectAll",
// "actionShowTime", "actionSave".

#include "link/serialchannel.h"
#include "link/state.h"
#include "shell/monitorlog.h"
#include "skin/skinneddialog.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QMenu;
class QPlainTextEdit;
class QTimer;

namespace pj::shell {

class ReceiveMonitor : public pj::skin::SkinnedDialog {
    Q_OBJECT
public:
    struct Context {
        pj::link::ShellState& shell;
        pj::link::SerialChannel& channel;
        const pj::link::SelectedModel& model;
    };
    static constexpr int kReconnectMs = 500;
    // The box is brought up to date at most this often while blocks pour in.
    static constexpr int kRefreshMs = 40;

    explicit ReceiveMonitor(Context context, QWidget* parent = nullptr);
    ~ReceiveMonitor() override;

    // Sets monitorOpen, opens the channel when it is closed, fills the lists.
    // Called once, before the window is shown.
    void start();

    // A received block (while the monitor is open).
    void appendReceived(const QByteArray& block);
    // The channel's device went away: note it, close the channel and try the
    // port again until it opens.
    void portLost();
    bool reconnecting() const;

    // What the channel was last asked to listen with.
    pj::link::LineSettings listening() const { return listening_; }
    const MonitorLog& log() const { return log_; }
    QMenu* contextMenu() const { return menu_; }

    // Writes MonitorLog::savedText() to `path` (UTF-8, in the system's line
    // ends: CRLF on Windows, so Notepad shows the lines); false after a message.
    bool saveTo(const QString& path);
    // Where "保存…" writes: by default the desktop's save dialog; an empty
    // answer saves nothing.
    void setSaveFileChooser(std::function<QString()> chooser);

    // "清空".
    void clearText();
    // Puts what has arrived since the box was last brought up to date into it.
    void flush();

public Q_SLOTS:
    // The window is closed: monitorOpen cleared, the channel closed.
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void buildControls();
    void showListening();
    void onSpeedPicked(int row);
    void onParityPicked(int row);
    void reopen(const QString& speedText, int parityRow);
    void openChannel();
    void tryReconnect();
    void apply(const MonitorLog::Change& change);
    void setWholeText();
    void updateWrap();
    void note(const QString& text);
    void showTime(bool on);
    void save();
    void finish(int result, bool closeChannel);

    pj::link::ShellState& shell_;
    pj::link::SerialChannel& channel_;
    const pj::link::SelectedModel& model_;
    MonitorLog log_;
    pj::link::LineSettings listening_{};
    std::string lostPort_; // the port that went away, while it is tried again
    std::function<QString()> chooseFile_;

    QCheckBox* ascii_ = nullptr;    // 1063
    QComboBox* parity_ = nullptr;   // 1091
    QComboBox* speed_ = nullptr;    // 1073
    QPlainTextEdit* box_ = nullptr; // 1064
    QMenu* menu_ = nullptr;
    QAction* copy_ = nullptr;
    QAction* showTime_ = nullptr;
    QTimer* reconnect_ = nullptr;
    QTimer* refresh_ = nullptr;
    QElapsedTimer sinceFlush_;
    // Not yet in the box: characters to cut from its start, text to add.
    qsizetype pendingCut_ = 0;
    QString pendingText_;
    bool finished_ = false;
};

} // namespace pj::shell
