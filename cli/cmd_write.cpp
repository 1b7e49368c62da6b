// projector-cli write: the selected codes into a controller, given on the
// command line or taken from the catalogue, kept in the commissioning record,
// and (--wait-echo) the keys pressed on the controller confirmed by their echo.

#include "cli/interrupt.h"
#include "cli/link_support.h"
#include "cli/model_source.h"
#include "cli/recording.h"
#include "link/edition.h"
#include "link/messages.h"

#include <algorithm>

namespace pj::cli {

using namespace linkcmd;

int writeCommand(const std::vector<std::string>& args, Io& io, const LinkEnv& env) {
    std::string error;
    OptionSpec spec{{"--port", "--edition", "--machine-type", "--visualizer", "--projector-baud",
                     "--wait-echo", "--catalogue", "--company", "--model", "--keys"},
                    {"--code"},
                    {"--json"}};
    addRecordOptions(spec);
    int exit = kOk;
    const auto a = readCommandLine(args, spec, kWriteSynopsis, io, exit);
    if (!a)
        return exit;
    link::ShellState shell;
    if (auto why = readController(*a, shell))
        return usageError(io, *why, kWriteSynopsis);
    if (const auto v = a->value("--visualizer")) {
        const auto n = parseInteger(*v, 0, 255);
        if (!n)
            return usageError(io, "--visualizer 必须是 0 到 255 的整数", kWriteSynopsis);
        shell.visualizerNumber = static_cast<int>(*n);
    }
    std::optional<std::uint32_t> baud;
    if (const auto v = a->value("--projector-baud")) {
        baud = link::parseBaudText(*v);
        if (!baud)
            return usageError(io, std::string(link::msg::kInvalidBaud) + ": " + *v, kWriteSynopsis);
    }
    std::optional<Millis> waitEcho;
    if (const auto v = a->value("--wait-echo")) {
        waitEcho = parseSeconds(*v);
        if (!waitEcho)
            return usageError(io, "--wait-echo 需要秒数（0 到 86400）", kWriteSynopsis);
    }

    link::SelectedModel model;
    const bool fromCodes = a->has("--code");
    const bool fromCatalogue =
        a->has("--company") || a->has("--model") || a->has("--catalogue") || a->has("--keys");
    if (fromCodes == fromCatalogue)
        return usageError(io, "请给出 --code，或者 --catalogue/--company/--model（二选一）",
                          kWriteSynopsis);
    if (fromCodes) {
        if (!baud)
            return usageError(io, "缺少 --projector-baud", kWriteSynopsis);
        for (const auto& text : a->values("--code")) {
            auto row = parseCodeOption(text, error);
            if (!row)
                return usageError(io, error, kWriteSynopsis);
            model.rows.push_back(std::move(*row));
        }
    } else {
        const auto company = a->value("--company");
        const auto modelName = a->value("--model");
        if (!company || !modelName)
            return usageError(io, "从目录写码需要 --company 和 --model", kWriteSynopsis);
        auto codes =
            loadModelCodes(a->value("--catalogue").value_or(""), *company, *modelName, error);
        if (!codes) {
            io.err << error << '\n';
            return kFailed;
        }
        auto keys = parseKeys(a->value("--keys").value_or("all"), codes->rows.size(), error);
        if (!keys)
            return usageError(io, error, kWriteSynopsis);
        model.rows = std::move(codes->rows);
        for (auto& r : model.rows)
            r.selected = false;
        for (std::size_t k : *keys)
            model.rows[k].selected = true;
        if (!baud)
            baud = codes->baud;
    }
    model.selectedBaud = *baud;
    model.selectedBaudText = std::to_string(*baud);

    const bool json = a->has("--json");
    Printer printer(io);
    auto record = CliRecord::open(*a, env, a->value("--catalogue").value_or(""),
                                  [&printer](const std::string& line) { printer.error(line); });
    if (!record)
        return kFailed;
    record::WriteStart start = record->start(record::WriteKind::Codes, shell);
    start.company = QString::fromStdString(a->value("--company").value_or(""));
    start.model = QString::fromStdString(a->value("--model").value_or(""));
    start.projectorBaud = model.selectedBaud;
    RecordedWrite recorded(*record, start);

    // Ctrl-C ends the write at its next pause (a frame begun is finished), or
    // the wait for echoes.
    InterruptScope interrupts(env.stop == nullptr);
    StopRelay stop(env);
    auto channel = makeChannel(env, printer, &stop.clock());
    BlockQueue blocks;
    channel->setReceiveHandler([&blocks](Bytes b) { blocks.push(std::move(b)); });
    CliObserver observer(printer, json, &model);
    observer.announceListening = waitEcho.has_value() || json;

    const link::SequenceResult result = link::writeSelectedCodes(
        *channel, shell, model, recorded.observe(model.rows, observer), stop.token());
    recorded.done(result);
    if (!result.ok()) {
        if (!result.message.empty())
            printer.error(result.message);
        else if (result.outcome == link::SequenceOutcome::Cancelled)
            printer.error("写码已取消");
        channel->close();
        return exitFor(result);
    }

    std::vector<bool> confirmed(model.rows.size(), false);
    if (waitEcho && result.listening && waitEcho->count() > 0) {
        link::Clock& clock = *env.clock;
        const Millis deadline = clock.now() + *waitEcho;
        auto takeBlocks = [&] {
            while (auto block = blocks.pop()) {
                const auto row = link::matchEcho(model.rows, *block);
                if (!row)
                    continue;
                if (!confirmed[*row])
                    recorded.echo(static_cast<int>(*row), model.rows[*row], *block);
                confirmed[*row] = true;
                if (json)
                    printer.out("{\"event\":\"confirmed\",\"row\":" + std::to_string(*row) + "}");
                else
                    printer.out("第 " + std::to_string(*row) + " 行已确认（回码 " +
                                link::bytesToCodeText(*block) + "）");
            }
        };
        auto allConfirmed = [&] {
            for (std::size_t i = 0; i < model.rows.size(); ++i) {
                if (model.rows[i].selected && !confirmed[i] &&
                    link::codeTextToBytes(model.rows[i].codeText).size() <= link::kMaxCodeBytes)
                    return false;
            }
            return true;
        };
        while (!allConfirmed() && clock.now() < deadline && !stopRequested(env) &&
               !channel->deviceLost()) {
            takeBlocks();
            if (allConfirmed())
                break;
            clock.sleep(std::min(kWaitStep, deadline - clock.now()));
        }
        if (!channel->deviceLost())
            channel->pollReceived();
        takeBlocks();
        if (!json) {
            std::string missing;
            for (std::size_t i = 0; i < model.rows.size(); ++i) {
                if (model.rows[i].selected && !confirmed[i])
                    missing += (missing.empty() ? "" : ", ") + std::to_string(i);
            }
            if (!missing.empty())
                printer.out("未收到回码的行: " + missing);
        }
    }
    const bool lost = channel->deviceLost();
    channel->close();
    if (lost) {
        printer.error(link::msg::formatMessage(link::msg::kPortLost, shell.portName));
        return kFailed;
    }
    return observer.refused > 0 ? kFailed : kOk;
}

} // namespace pj::cli
