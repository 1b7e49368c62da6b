// projector-cli catalogue lint: every code of the catalogue (or of one company
// or model) against its maker's framing rules, with the corrected code where
// the checker can tell it. Exit 1 when any code breaks its rule.

#include "catalogue/cataloguedb.h"
#include "catalogue/functionkeys.h"
#include "cli/args.h"
#include "cli/command.h"
#include "codecheck/lint.h"
#include "codecheck/load.h"
#include "link/codetext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>

namespace pj::cli {

namespace {

using namespace pj::catalogue;
namespace cc = pj::codecheck;

struct LintOptions {
    std::string catalogue = kDefaultCatalogueFile;
    std::string rules; // empty: PROJECTOR_RULES or the delivered rules
    bool json = false;
    std::vector<std::string> positional; // "lint" first
};

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string s(const QString& v) {
    return v.toStdString();
}

// The words of `catalogue`, or an error text.
std::string parseLintOptions(const std::vector<std::string>& args, LintOptions& o) {
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPositional || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            o.positional.push_back(a);
        } else if (a == "--") {
            onlyPositional = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--catalogue" || a == "--rules") {
            if (i + 1 >= args.size())
                return a + " 需要一个值";
            (a == "--catalogue" ? o.catalogue : o.rules) = args[++i];
        } else {
            return unknownOptionText(a);
        }
    }
    return {};
}

int usage(Io& io, const std::string& why) {
    io.err << "用法错误：" << why << '\n'
           << "用法: projector-cli " << kCatalogueLintSynopsis << '\n';
    return kUsage;
}

int failed(Io& io, const QString& why) {
    io.err << "错误：" << s(why) << '\n';
    return kFailed;
}

// The code as the technician sees it: hex, and the text for an ASCII row.
std::string shownCode(const std::string& hex, bool ascii) {
    if (!ascii)
        return hex;
    std::string text;
    pj::link::codeTextToAscii(hex, text);
    return "\"" + text + "\"（" + hex + "）";
}

std::string slotText(int slot) {
    return std::string(functionKeyName(slot));
}

QJsonObject problemJson(const cc::LintModel& m, const cc::LintKey& k, const cc::CodeReport& r) {
    QJsonArray findings;
    for (const auto& f : r.findings)
        findings.append(
            QJsonObject{{QStringLiteral("rule"), q(f.rule)},
                        {QStringLiteral("kind"), q(std::string(cc::checkKindName(f.kind)))},
                        {QStringLiteral("message"), q(f.message)}});
    QJsonArray rules;
    for (const auto& name : r.rules)
        rules.append(q(name));
    QJsonObject o{
        {QStringLiteral("company"), q(m.company)}, {QStringLiteral("model"), q(m.model)},
        {QStringLiteral("maker"), q(r.maker)},     {QStringLiteral("function"), q(k.function)},
        {QStringLiteral("slot"), k.slot},          {QStringLiteral("code"), q(k.code)},
        {QStringLiteral("ascii"), k.ascii},        {QStringLiteral("rules"), rules},
        {QStringLiteral("findings"), findings}};
    if (r.fix) {
        QJsonObject fix{{QStringLiteral("code"),
                         q(pj::link::bytesToCodeText(r.fixedBytes.value_or(cc::Bytes{})))},
                        {QStringLiteral("ascii"), r.fix->ascii}};
        if (r.fix->ascii)
            fix.insert(QStringLiteral("text"), q(r.fix->text));
        o.insert(QStringLiteral("fix"), fix);
    }
    return o;
}

void printProblem(std::ostream& out, const cc::LintModel& m, const cc::LintKey& k,
                  const cc::CodeReport& r) {
    out << m.company << " / " << m.model << " / " << k.function << "（" << slotText(k.slot)
        << "）: " << shownCode(k.code, k.ascii) << '\n';
    for (const auto& f : r.findings)
        out << "    " << f.message << '\n';
    if (r.fix) {
        const std::string hex = pj::link::bytesToCodeText(r.fixedBytes.value_or(cc::Bytes{}));
        if (r.fix->ascii)
            out << "    改为: " << shownCode(hex, true) << '\n';
        else if (k.ascii)
            out << "    改为（关闭 ASCII码）: " << hex << '\n';
        else
            out << "    改为: " << hex << '\n';
    }
}

// The models named on the command line, read from the catalogue.
std::optional<std::vector<cc::LintModel>> readModels(CatalogueDb& db, const LintOptions& o,
                                                     Io& io) {
    std::optional<int> onlyCompany, onlyModel;
    if (o.positional.size() >= 2) {
        auto c = db.findCompany(q(o.positional[1]));
        if (!c) {
            failed(io, c.error().message);
            return std::nullopt;
        }
        onlyCompany = *c;
        if (o.positional.size() == 3) {
            auto m = db.findModel(*c, q(o.positional[2]));
            if (!m) {
                failed(io, m.error().message);
                return std::nullopt;
            }
            onlyModel = *m;
        }
    }
    // Every model in one read of the catalogue, whatever their number; one
    // model alone by itself.
    Result<std::vector<ModelRecord>> all = std::vector<ModelRecord>();
    if (onlyModel) {
        auto one = db.loadModel(*onlyModel);
        if (one)
            all->push_back(std::move(*one));
        else
            all = one.error();
    } else {
        all = db.loadAllModels();
    }
    if (!all) {
        failed(io, all.error().message);
        return std::nullopt;
    }
    std::vector<cc::LintModel> models;
    for (const auto& record : *all) {
        if ((onlyCompany && record.companyId != *onlyCompany) ||
            (onlyModel && record.id != *onlyModel))
            continue;
        cc::LintModel m;
        m.company = s(record.companyName);
        m.model = s(record.name);
        for (const auto& k : record.keys)
            m.keys.push_back({s(k.function), k.slot, s(k.code), k.ascii});
        models.push_back(std::move(m));
    }
    return models;
}

} // namespace

const char kCatalogueLintSynopsis[] =
    "catalogue [--catalogue FILE] [--rules FILE] [--json] lint [COMPANY [MODEL]]";

bool isCatalogueLint(const std::vector<std::string>& args) {
    // The first word that is no option and no option's value.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--catalogue" || a == "--rules") {
            ++i;
            continue;
        }
        if (a.size() >= 2 && a.compare(0, 2, "--") == 0)
            continue;
        return a == "lint";
    }
    return false;
}

int catalogueLintCommand(const std::vector<std::string>& args, Io& io) {
    if (std::find(args.begin(), args.end(), std::string("--help")) != args.end()) {
        io.out << "用法: projector-cli " << kCatalogueLintSynopsis << '\n';
        return kOk;
    }
    LintOptions o;
    if (auto why = parseLintOptions(args, o); !why.empty())
        return usage(io, why);
    if (o.positional.empty() || o.positional[0] != "lint")
        return usage(io, "缺少子命令 lint");
    if (o.positional.size() > 3)
        return usage(io, "lint 最多接受公司和型号两个参数");

    const cc::LoadedRules rules = cc::loadRules(o.rules);
    if (!rules.ok()) {
        for (const auto& e : rules.errors)
            io.err << "错误：" << e << '\n';
        return kFailed;
    }
    const auto where = CatalogueLocation::fromEnvironment(q(o.catalogue));
    CatalogueDb db;
    if (auto r = db.connect(where); !r)
        return failed(io, QStringLiteral("%1（%2）").arg(r.error().message, where.describe()));
    const auto models = readModels(db, o, io);
    if (!models)
        return kFailed;

    const cc::Checker checker(rules.rules);
    const cc::LintResult result = cc::lintModels(checker, *models);

    if (o.json) {
        QJsonArray problems, unchecked;
        for (const auto& p : result.problems) {
            const auto& m = (*models)[p.model];
            problems.append(problemJson(m, m.keys[p.key], p.report));
        }
        for (std::size_t i : result.unchecked)
            unchecked.append(QJsonObject{{QStringLiteral("company"), q((*models)[i].company)},
                                         {QStringLiteral("model"), q((*models)[i].model)}});
        const QJsonObject doc{{QStringLiteral("ok"), result.clean()},
                              {QStringLiteral("rules"), q(rules.source)},
                              {QStringLiteral("models"), static_cast<qint64>(result.models)},
                              {QStringLiteral("codes"), static_cast<qint64>(result.codes)},
                              {QStringLiteral("problems"), problems},
                              {QStringLiteral("unchecked"), unchecked}};
        io.out << QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString();
    } else {
        for (const auto& p : result.problems) {
            const auto& m = (*models)[p.model];
            printProblem(io.out, m, m.keys[p.key], p.report);
        }
        // Models no rule applies to, one line per company.
        std::vector<std::pair<std::string, std::size_t>> byCompany;
        std::map<std::string, std::size_t> line;
        for (std::size_t i : result.unchecked) {
            const std::string& c = (*models)[i].company;
            const auto [it, added] = line.emplace(c, byCompany.size());
            if (added)
                byCompany.emplace_back(c, 0);
            ++byCompany[it->second].second;
        }
        for (const auto& [company, count] : byCompany)
            io.out << "未检查（没有适用的规则）: " << company << "，" << count << " 个型号\n";
        if (result.clean())
            io.out << "检查了 " << result.models << " 个型号的 " << result.codes
                   << " 个功能码，都符合厂家的规则\n";
    }
    if (!result.clean()) {
        io.err << "错误：" << result.problems.size() << " 个功能码不符合厂家的规则（共检查 "
               << result.codes << " 个）\n";
        return kFailed;
    }
    return kOk;
}

} // namespace pj::cli
