#pragma once
// What projector-cli's controller commands (ports, detect, write, room, card,
// monitor) share: their synopses, line-whole output from several threads, the
// observer that prints what the link core's sequences report, and the parsing
// of the options they have in common. Internal to the cli library.

#include "cli/args.h"
#include "cli/command.h"
#include "cli/link_commands.h"
#include "link/codetext.h"
#include "link/observer.h"
#include "link/sequences.h"
#include "link/serialchannel.h"

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pj::cli::linkcmd {

namespace link = pj::link;
using link::Bytes;
using link::Millis;

// ---- synopses ---------------------------------------------------------------------

inline constexpr char kPortsSynopsis[] = "ports [--json]";
inline constexpr char kDetectSynopsis[] = "detect [--port PORT]... [--json]";
inline constexpr char kWriteSynopsis[] =
    "write --port PORT --edition CODE [--machine-type 0|1] [--visualizer N] "
    "(--projector-baud BAUD --code SLOT:PARITY:CODETEXT [--code ...] | "
    "--catalogue FILE --company C --model M [--keys all|N,N,...] [--projector-baud BAUD]) "
    "[--wait-echo SECONDS] [--room NAME] [--record FILE] [--require-record] [--json]";
inline constexpr char kRoomSynopsis[] =
    "room --port PORT --edition CODE [--machine-type 0|1] [--signal-source 0-4] [--off-delay N] "
    "[--visualizer-type 0|1] [--curtain N] [--alarm 0|1] [--one-key 0|1] [--door-open 0|1] "
    "[--network 0|1] [--projector-baud BAUD] [--room NAME] [--record FILE] [--require-record] "
    "[--json]";
inline constexpr char kCardSynopsis[] =
    "card --port PORT --edition CODE [--machine-type 0|1] --number TEXT "
    "[--room NAME] [--record FILE] [--require-record] [--json]";
inline constexpr char kMonitorSynopsis[] =
    "monitor --port PORT --baud BAUD [--parity none|odd|even] [--ascii] [--seconds N] [--json]";

// ---- output -----------------------------------------------------------------

// A JSON string literal for `text` (UTF-8 passed through).
std::string jsonQuote(std::string_view text);

// Output from the command's thread and the channel's reader thread; each line
// goes out whole. Error lines are printed once each.
class Printer {
public:
    explicit Printer(Io& io)
        : io_(io) {}
    void out(const std::string& line) {
        std::lock_guard lock(mu_);
        io_.out << line << '\n';
        io_.out.flush();
    }
    void outRaw(const std::string& text) {
        std::lock_guard lock(mu_);
        io_.out << text;
        io_.out.flush();
    }
    void error(const std::string& line) {
        std::lock_guard lock(mu_);
        if (!printedErrors_.insert(line).second)
            return;
        io_.err << line << '\n';
        io_.err.flush();
    }

private:
    Io& io_;
    std::mutex mu_;
    std::set<std::string> printedErrors_;
};

// The usage error: the reason and the synopsis on stderr; exit code 2.
int usageError(Io& io, const std::string& why, const char* synopsis);

// The command line read by `spec`; nullopt when the command ends here, with its
// exit code in `exit`: a usage error, or --help (the usage on stdout, exit 0).
std::optional<ParsedArgs> readCommandLine(const std::vector<std::string>& args,
                                          const OptionSpec& spec, const char* synopsis, Io& io,
                                          int& exit);

// The exit code of a sequence that did not complete: 2 when the port cannot
// take the projector's line (the speed asked for is no use here), else 1.
int exitFor(const link::SequenceResult& result);

// ---- shared option handling ---------------------------------------------------

// Seconds as a decimal number (0.5, 3), at most one day.
std::optional<Millis> parseSeconds(const std::string& text);

// --port, --edition and --machine-type, as the write, room and card commands
// take them. Returns an error text for a usage error.
std::optional<std::string> readController(const ParsedArgs& a, link::ShellState& shell);

// A channel on the environment's port and clock (or `clock` when given) whose
// messages go to stderr.
std::unique_ptr<link::SerialChannel> makeChannel(const LinkEnv& env, Printer& printer,
                                                 link::Clock* clock = nullptr);

// What the sequences report, printed.
class CliObserver : public link::SequenceObserver {
public:
    CliObserver(Printer& printer, bool json, const link::SelectedModel* model = nullptr)
        : printer_(printer)
        , json_(json)
        , model_(model) {}

    void rowWritten(std::size_t row) override {
        const link::CodeListEntry* e =
            model_ && row < model_->rows.size() ? &model_->rows[row] : nullptr;
        const std::string code = e ? link::bytesToCodeText(link::codeTextToBytes(e->codeText)) : "";
        const unsigned key = e ? e->keyType : 0;
        if (json_) {
            printer_.out("{\"event\":\"written\",\"row\":" + std::to_string(row) +
                         ",\"key\":" + std::to_string(key) + ",\"code\":" + jsonQuote(code) + "}");
        } else {
            printer_.out("第 " + std::to_string(row) + " 行已写入（键 " + std::to_string(key) +
                         "）: " + code);
        }
    }
    void rowRefused(std::size_t row, const std::string& reason) override {
        ++refused;
        if (json_)
            printer_.out("{\"event\":\"refused\",\"row\":" + std::to_string(row) +
                         ",\"reason\":" + jsonQuote(reason) + "}");
        const link::CodeListEntry* e =
            model_ && row < model_->rows.size() ? &model_->rows[row] : nullptr;
        const std::string name = e && !e->name.empty() ? "（" + e->name + "）" : "";
        printer_.error("第 " + std::to_string(row) + " 行" + name + "未写入: " + reason);
    }
    void message(const std::string& text) override { printer_.error(text); }
    void listening(std::uint32_t baud, link::Parity parity) override {
        listenBaud = baud;
        listenParity = parity;
        if (!announceListening)
            return;
        if (json_) {
            printer_.out("{\"event\":\"listening\",\"baud\":" + std::to_string(baud) +
                         ",\"parity\":" + jsonQuote(link::parityName(parity)) + "}");
        } else {
            printer_.out("正在以 " + std::to_string(baud) + " 波特（" + parityText(parity) +
                         "）等待回码，请按中控上的键……");
        }
    }
    bool confirmApproximateBaud(std::uint32_t, const std::string& question) override {
        // The command line cannot ask: warn and go on.
        std::string text = question;
        const std::string ask = "，是否继续？";
        if (text.size() >= ask.size() &&
            text.compare(text.size() - ask.size(), ask.size(), ask) == 0)
            text.resize(text.size() - ask.size());
        printer_.error("警告：" + text + "，仍然写入");
        return true;
    }

    static std::string parityText(link::Parity p) {
        switch (p) {
        case link::Parity::Odd:
            return "奇校验";
        case link::Parity::Even:
            return "偶校验";
        default:
            return "无校验";
        }
    }

    bool announceListening = false;
    std::size_t refused = 0;
    std::uint32_t listenBaud = 0;
    link::Parity listenParity = link::Parity::None;

private:
    Printer& printer_;
    bool json_;
    const link::SelectedModel* model_;
};

// Blocks from the reader thread, taken on the command's thread.
class BlockQueue {
public:
    void push(Bytes b) {
        std::lock_guard lock(mu_);
        blocks_.push_back(std::move(b));
    }
    std::optional<Bytes> pop() {
        std::lock_guard lock(mu_);
        if (blocks_.empty())
            return std::nullopt;
        Bytes b = std::move(blocks_.front());
        blocks_.pop_front();
        return b;
    }

private:
    std::mutex mu_;
    std::deque<Bytes> blocks_;
};

constexpr Millis kWaitStep{10};

} // namespace pj::cli::linkcmd
