#include "cli/commission_plan.h"

#include "catalogue/csvformat.h"
#include "cli/args.h"
#include "cli/link_commands.h"
#include "link/codetext.h"
#include "link/edition.h"
#include "link/gbk.h"
#include "link/messages.h"
#include "link/sequences.h"

#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <map>

namespace pj::cli {

namespace {

const char* const kColumns[] = {
    "room",    "port",  "edition",        "machine_type",  "company",   "model",
    "codes",   "keys",  "projector_baud", "signal_source", "off_delay", "visualizer_type",
    "curtain", "alarm", "one_key",        "door_open",     "network",   "card"};

const char* const kParameterColumns[] = {"signal_source", "off_delay", "visualizer_type",
                                         "curtain",       "alarm",     "one_key",
                                         "door_open",     "network"};

// One record of the file by column name.
class Fields {
public:
    Fields(const std::map<std::string, int>& columns, const QStringList& values)
        : columns_(columns)
        , values_(values) {}
    std::string get(const char* name) const {
        const auto it = columns_.find(name);
        if (it == columns_.end() || it->second >= values_.size())
            return {};
        return values_[it->second].trimmed().toStdString();
    }

private:
    const std::map<std::string, int>& columns_;
    const QStringList& values_;
};

// Checks one record; the reason of the first fault in `error`.
std::optional<PlannedRow> planRow(const Fields& f, const ModelCodesLookup& models,
                                  std::string& error) {
    PlannedRow row;
    row.room = f.get("room");
    if (row.room.empty()) {
        error = "缺少房间名（room）";
        return std::nullopt;
    }
    row.port = f.get("port");
    if (row.port.empty()) {
        error = "缺少串口（port）";
        return std::nullopt;
    }
    const std::string editionText = f.get("edition");
    const auto edition = parseInteger(editionText, 0, 99999);
    if (editionText.empty() || !edition || !link::findEdition(static_cast<int>(*edition))) {
        error = editionText.empty()
                    ? std::string("缺少中控版本（edition）")
                    : link::msg::formatMessage(link::msg::kUnknownEdition, editionText);
        return std::nullopt;
    }
    int machineType = 0;
    const std::string mt = f.get("machine_type");
    if (mt == "1" || mt == "网络")
        machineType = 1;
    else if (!(mt.empty() || mt == "0" || mt == "单机")) {
        error = "机器类型（machine_type）只能是 0（单机）或 1（网络）: " + mt;
        return std::nullopt;
    }
    row.shell.portName = row.port;
    row.shell.editionCode = static_cast<int>(*edition);
    row.shell.machineType = machineType;
    row.shell.controllerBaud = *link::programmingBaud(row.shell.editionCode, machineType);

    // Room parameters: the panel's defaults for the columns left empty; the
    // network switch follows the machine type unless given.
    bool anyParameter = false;
    for (const char* c : kParameterColumns)
        anyParameter = anyParameter || !f.get(c).empty();
    if (anyParameter) {
        link::RoomParameters p;
        p.networkMachine = machineType == 1;
        struct Column {
            const char* name;
            long long lo, hi;
            std::function<void(long long)> set;
        };
        const Column columns[] = {
            {"signal_source", 0, 4, [&](long long v) { p.signalSource = static_cast<int>(v); }},
            {"off_delay", 0, 255,
             [&](long long v) { p.offDelayMinutes = static_cast<std::uint8_t>(v); }},
            {"visualizer_type", 0, 1, [&](long long v) { p.visualizerType = static_cast<int>(v); }},
            {"curtain", 0, 255,
             [&](long long v) { p.curtainSeconds = static_cast<std::uint8_t>(v); }},
            {"alarm", 0, 1, [&](long long v) { p.shutdownAlarm = v != 0; }},
            {"one_key", 0, 1, [&](long long v) { p.oneKey = v != 0; }},
            {"door_open", 0, 1, [&](long long v) { p.doorNormallyOpen = v != 0; }},
            {"network", 0, 1, [&](long long v) { p.networkMachine = v != 0; }},
        };
        for (const auto& c : columns) {
            const std::string text = f.get(c.name);
            if (text.empty())
                continue;
            const auto v = parseInteger(text, c.lo, c.hi);
            if (!v) {
                error = std::string(c.name) + " 必须是 " + std::to_string(c.lo) + " 到 " +
                        std::to_string(c.hi) + " 的整数: " + text;
                return std::nullopt;
            }
            c.set(*v);
        }
        row.parameters = p;
        // Code frames carry the visualizer the parameters set.
        row.shell.visualizerNumber = link::visualizerNumberFor(p);
    }

    // Codes: a catalogue model or codes given by hand.
    row.company = f.get("company");
    row.model = f.get("model");
    const std::string codes = f.get("codes");
    const std::string keys = f.get("keys");
    const std::string baudText = f.get("projector_baud");
    const bool fromCatalogue = !row.company.empty() || !row.model.empty();
    if (fromCatalogue && !codes.empty()) {
        error = "codes 与 company/model 只能给一种";
        return std::nullopt;
    }
    std::optional<std::uint32_t> baud;
    if (!baudText.empty()) {
        baud = link::parseBaudText(baudText);
        if (!baud) {
            error = std::string(link::msg::kInvalidBaud) + "（projector_baud）: " + baudText;
            return std::nullopt;
        }
    }
    if (fromCatalogue) {
        if (row.company.empty() || row.model.empty()) {
            error = "目录型号需要 company 和 model 两列";
            return std::nullopt;
        }
        auto model = models.load(row.company, row.model, error);
        if (!model)
            return std::nullopt;
        auto chosen = parseKeys(keys.empty() ? "all" : keys, model->rows.size(), error);
        if (!chosen) {
            error = "keys: " + error;
            return std::nullopt;
        }
        for (auto& r : model->rows)
            r.selected = false;
        for (std::size_t k : *chosen)
            model->rows[k].selected = true;
        if (baud) {
            model->selectedBaud = *baud;
            model->selectedBaudText = std::to_string(*baud);
        }
        row.codes = std::move(*model);
    } else if (!codes.empty()) {
        if (!keys.empty()) {
            error = "keys 只用于目录型号（给出 codes 时写入全部功能码）";
            return std::nullopt;
        }
        if (!baud) {
            error = "给出 codes 时需要投影机波特率（projector_baud）";
            return std::nullopt;
        }
        link::SelectedModel model;
        const QStringList items =
            QString::fromStdString(codes).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString& item : items) {
            const std::string text = item.trimmed().toStdString();
            if (text.empty())
                continue;
            auto entry = parseCodeOption(text, error);
            if (!entry)
                return std::nullopt;
            model.rows.push_back(std::move(*entry));
        }
        if (model.rows.empty()) {
            error = "codes 中没有功能码";
            return std::nullopt;
        }
        model.selectedBaud = *baud;
        model.selectedBaudText = std::to_string(*baud);
        row.codes = std::move(model);
    } else if (!keys.empty() || baud) {
        error = "keys / projector_baud 需要 company 和 model（或 codes）";
        return std::nullopt;
    }
    if (row.codes) {
        if (auto refusal = link::checkCodeWriteSettings(row.shell, row.codes->selectedBaud)) {
            error = *refusal;
            return std::nullopt;
        }
        for (std::size_t i = 0; i < row.codes->rows.size(); ++i) {
            const auto& r = row.codes->rows[i];
            if (!r.selected)
                continue;
            if (const auto refusal = link::codeRowRefusal(r)) {
                error = "第 " + std::to_string(i) + " 个功能码" +
                        (r.name.empty() ? "" : "（" + r.name + "）") + "：" + *refusal;
                return std::nullopt;
            }
        }
        row.approximateBaud =
            link::reloadIsApproximate(row.shell.editionCode, row.codes->selectedBaud);
    }

    const std::string card = f.get("card");
    if (!card.empty()) {
        if (std::any_of(card.begin(), card.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
            error = link::msg::kCardNotEncodable;
            return std::nullopt;
        }
        const auto gbk = link::utf8ToGbk(card);
        if (!gbk) {
            error = link::msg::kCardNotEncodable;
            return std::nullopt;
        }
        if (gbk->size() > link::kMaxCardBytes) {
            error = link::msg::kCardTooLong;
            return std::nullopt;
        }
        row.card = card;
    }
    if (!row.codes && !row.parameters && !row.card) {
        error = "该行没有要写入的内容（功能码、房间参数或ID卡号）";
        return std::nullopt;
    }
    row.portKey = portIdentity(row.port);
    return row;
}

} // namespace

std::string portIdentity(const std::string& port) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(port);
    if (fs::exists(path, ec)) {
        const fs::path resolved = fs::canonical(path, ec);
        if (!ec)
            return resolved.string();
    }
    if (port.size() > 3 && (port[0] == 'c' || port[0] == 'C') &&
        (port[1] == 'o' || port[1] == 'O') && (port[2] == 'm' || port[2] == 'M')) {
        std::string upper = port;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        });
        return upper;
    }
    return port;
}

std::vector<std::vector<std::size_t>> CommissionPlan::byPort() const {
    std::vector<std::vector<std::size_t>> groups;
    std::map<std::string, std::size_t> where;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto [it, added] = where.emplace(rows[i].portKey, groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(i);
    }
    return groups;
}

CommissionPlan readCommissionPlan(const QByteArray& file, const ModelCodesLookup& models) {
    CommissionPlan plan;
    std::vector<int> lines;
    const auto records = catalogue::parseCsv(file, &lines);
    if (!records) {
        plan.errors.push_back({lines.empty() ? 1 : lines.back(), "引号没有结束"});
        return plan;
    }
    std::size_t first = 0;
    while (first < records->size() && (*records)[first].join(QString()).trimmed().isEmpty())
        ++first;
    if (first == records->size()) {
        plan.errors.push_back({1, "文件是空的（第一行应为标题行）"});
        return plan;
    }
    const QStringList& header = (*records)[first];
    std::map<std::string, int> columns;
    for (int i = 0; i < header.size(); ++i) {
        const std::string name = header[i].trimmed().toStdString();
        const bool known = std::any_of(std::begin(kColumns), std::end(kColumns),
                                       [&name](const char* c) { return name == c; });
        if (!known) {
            plan.errors.push_back({lines[first], "未知的列: " + name});
            continue;
        }
        if (!columns.emplace(name, i).second)
            plan.errors.push_back({lines[first], "列重复: " + name});
    }
    for (const char* required : {"room", "port", "edition"}) {
        if (!columns.count(required))
            plan.errors.push_back({lines[first], std::string("缺少列: ") + required});
    }
    if (!plan.errors.empty())
        return plan;

    std::map<std::string, int> rooms; // room name -> line
    for (std::size_t r = first + 1; r < records->size(); ++r) {
        const QStringList& values = (*records)[r];
        if (values.join(QString()).trimmed().isEmpty())
            continue; // blank line
        const int line = lines[r];
        if (values.size() != header.size()) {
            plan.errors.push_back({line, "有 " + std::to_string(values.size()) +
                                             " 个字段，标题行有 " + std::to_string(header.size()) +
                                             " 个"});
            continue;
        }
        const Fields fields(columns, values);
        // Two rows of one room would fill one page of the report twice.
        const std::string room = fields.get("room");
        if (!room.empty()) {
            const auto [it, added] = rooms.emplace(room, line);
            if (!added) {
                plan.errors.push_back(
                    {line, "房间 " + room + " 已在第 " + std::to_string(it->second) + " 行"});
                continue;
            }
        }
        std::string error;
        auto row = planRow(fields, models, error);
        if (!row) {
            plan.errors.push_back({line, error});
            continue;
        }
        row->line = line;
        plan.rows.push_back(std::move(*row));
    }
    if (plan.rows.empty() && plan.errors.empty())
        plan.errors.push_back({lines[first], "文件中没有房间"});
    return plan;
}

} // namespace pj::cli
