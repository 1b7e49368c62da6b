// projector-cli catalogue: keeping the catalogue from the command line, through
// the same operations as the program.

#include "catalogue/cataloguedb.h"
#include "catalogue/checks.h"
#include "catalogue/csvformat.h"
#include "catalogue/functionkeys.h"
#include "cli/args.h"
#include "cli/command.h"
#include "link/codetext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>

namespace pj::cli {

namespace {

using namespace pj::catalogue;

const char kSynopsis[] =
    "catalogue [--catalogue FILE] [--json] init | list | show COMPANY MODEL | add-company NAME | "
    "add-model COMPANY MODEL --baud N [--parity none|odd|even] [--ascii] "
    "[--key NAME:SLOT:CODE ...] [--description TEXT] | modify-model COMPANY MODEL [same options] "
    "[--rename NEW] [--clear-keys] | delete-model COMPANY MODEL | delete-company NAME | "
    "export FILE.csv | import FILE.csv | check";

struct Options {
    std::string catalogue = kDefaultCatalogueFile;
    bool json = false;
    std::optional<std::string> baud;
    std::optional<int> parity;
    bool ascii = false;
    bool clearKeys = false;
    std::vector<std::string> keys;
    std::optional<std::string> description;
    std::optional<std::string> rename;
    std::vector<std::string> positional; // the subcommand first
    bool help = false;
};

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string s(const QString& v) {
    return v.toStdString();
}

int usage(Io& io, const std::string& why) {
    io.err << "用法错误：" << why << '\n' << "用法: projector-cli " << kSynopsis << '\n';
    return kUsage;
}

int failed(Io& io, const QString& why) {
    io.err << "错误：" << s(why) << '\n';
    return kFailed;
}

int failed(Io& io, const Error& e) {
    return failed(io, e.message);
}

const char* parityName(int p) {
    switch (p) {
    case 0:
        return "无校验";
    case 1:
        return "奇校验";
    case 2:
        return "偶校验";
    default:
        return "?";
    }
}

// Returns an error text, or "" when the words were understood.
std::string parseOptions(const std::vector<std::string>& args, Options& o) {
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPositional || a.size() < 2 || a[0] != '-' || a[1] != '-') {
            o.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        if (a == "--help") {
            o.help = true;
            continue;
        }
        if (a == "--json") {
            o.json = true;
            continue;
        }
        if (a == "--ascii") {
            o.ascii = true;
            continue;
        }
        if (a == "--clear-keys") {
            o.clearKeys = true;
            continue;
        }
        static const std::vector<std::string> withValue = {
            "--catalogue", "--baud", "--parity", "--key", "--description", "--rename"};
        if (std::find(withValue.begin(), withValue.end(), a) == withValue.end())
            return unknownOptionText(a);
        if (i + 1 >= args.size())
            return a + " 需要一个值";
        const std::string& v = args[++i];
        if (a == "--catalogue") {
            o.catalogue = v;
        } else if (a == "--baud") {
            o.baud = v;
        } else if (a == "--parity") {
            if (v == "none")
                o.parity = 0;
            else if (v == "odd")
                o.parity = 1;
            else if (v == "even")
                o.parity = 2;
            else
                return "--parity 只能是 none、odd 或 even：" + v;
        } else if (a == "--key") {
            o.keys.push_back(v);
        } else if (a == "--description") {
            o.description = v;
        } else if (a == "--rename") {
            o.rename = v;
        }
    }
    return {};
}

// The text words of the command line, read as UTF-8 strictly: a word that is
// no valid UTF-8 is refused, never altered, and nothing is dropped from it (a
// leading U+FEFF stays part of a name).
struct Texts {
    QString company, model;
    std::optional<QString> rename, description;
    std::vector<QString> keys;
    std::optional<std::uint32_t> baud;
};

// NAME:SLOT:CODE - the name ends at the first colon, the slot at the second,
// the code is the rest (it may hold colons). SLOT is 0..17 or a key name.
std::string parseKey(const QString& keyText, KeyInput& key) {
    const auto c1 = keyText.indexOf(u':');
    const auto c2 = c1 < 0 ? -1 : keyText.indexOf(u':', c1 + 1);
    if (c2 < 0)
        return "--key 的格式是 NAME:SLOT:CODE：" + s(keyText);
    key.function = keyText.left(c1);
    const QString slot = keyText.mid(c1 + 1, c2 - c1 - 1);
    bool ok = false;
    const int n = slot.toInt(&ok);
    if (ok) {
        key.slot = n;
    } else if (auto named = functionKeySlot(s(slot))) {
        key.slot = *named;
    } else {
        return "--key 的功能键位置应为 0..17 或功能键名称：" + s(slot);
    }
    key.code = keyText.mid(c2 + 1);
    return {};
}

Result<QString> word(const std::string& w, const char* what) {
    return textFromUtf8(QByteArrayView(w.data(), static_cast<qsizetype>(w.size())),
                        QString::fromUtf8(what));
}

// Decodes the words; `names` is how many positional words are names (company,
// model). A speed that is no valid speed is a usage error (`usage` set).
Result<Texts> decodeTexts(const Options& o, std::size_t names, std::string& usage) {
    Texts t;
    if (names > 0) {
        auto c = word(o.positional[1], "公司名称");
        if (!c)
            return c.error();
        t.company = *c;
    }
    if (names > 1) {
        auto m = word(o.positional[2], "型号名称");
        if (!m)
            return m.error();
        t.model = *m;
    }
    if (o.rename) {
        auto r = word(*o.rename, "新型号名称");
        if (!r)
            return r.error();
        t.rename = *r;
    }
    if (o.description) {
        auto d = word(*o.description, "备注");
        if (!d)
            return d.error();
        t.description = *d;
    }
    for (const auto& k : o.keys) {
        auto text = word(k, "--key 的值");
        if (!text)
            return text.error();
        t.keys.push_back(*text);
    }
    if (o.baud) {
        auto b = word(*o.baud, "--baud 的值");
        auto baud = b ? parseBaudText(*b) : Result<std::uint32_t>(b.error());
        if (!baud) {
            usage = "--baud " + *o.baud + "：" + s(baud.error().message);
            return t;
        }
        t.baud = *baud;
    }
    return t;
}

// A stored name as printed on a terminal: control characters (which only a
// catalogue written by other means can hold) shown as \uXXXX, never sent raw.
std::string shown(const QString& v) {
    QString out;
    for (const QChar c : v) {
        if (c.category() == QChar::Other_Control || c == QChar(0x2028) || c == QChar(0x2029))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return s(out);
}

bool allowOnly(const Options& o, bool modelOptions, bool modifyOptions) {
    const bool anyModel = o.baud || o.parity || o.ascii || !o.keys.empty() || o.description;
    const bool anyModify = o.rename || o.clearKeys;
    return (modelOptions || !anyModel) && (modifyOptions || !anyModify);
}

void printJson(Io& io, const QJsonValue& v) {
    const QJsonDocument doc =
        v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject());
    io.out << doc.toJson(QJsonDocument::Indented).toStdString();
}

// Company and model named on the command line.
struct Named {
    int companyId = 0;
    int modelId = 0;
};

std::optional<Named> resolve(CatalogueDb& db, const QString& company, const QString* model,
                             Io& io) {
    Named n;
    auto c = db.findCompany(company);
    if (!c) {
        failed(io, c.error());
        return std::nullopt;
    }
    n.companyId = *c;
    if (model) {
        auto m = db.findModel(n.companyId, *model);
        if (!m) {
            failed(io, m.error());
            return std::nullopt;
        }
        n.modelId = *m;
    }
    return n;
}

int cmdList(CatalogueDb& db, const Options& o, Io& io) {
    auto tree = db.loadTree();
    if (!tree)
        return failed(io, tree.error());
    std::map<int, std::vector<const ModelEntry*>> byCompany;
    for (const auto& m : tree->models)
        byCompany[m.companyId].push_back(&m);
    if (o.json) {
        QJsonArray companies;
        for (const auto& c : tree->companies) {
            QJsonArray models;
            for (const ModelEntry* m : byCompany[c.id])
                models.append(
                    QJsonObject{{QStringLiteral("id"), m->id}, {QStringLiteral("name"), m->name}});
            companies.append(QJsonObject{{QStringLiteral("id"), c.id},
                                         {QStringLiteral("name"), c.name},
                                         {QStringLiteral("models"), models}});
        }
        printJson(io, QJsonObject{{QStringLiteral("companies"), companies}});
        return kOk;
    }
    for (const auto& c : tree->companies) {
        io.out << c.id << ' ' << shown(c.name) << '\n';
        for (const ModelEntry* m : byCompany[c.id])
            io.out << "    " << m->id << ' ' << shown(m->name) << '\n';
    }
    return kOk;
}

int cmdShow(CatalogueDb& db, const Options& o, const Texts& t, Io& io) {
    auto n = resolve(db, t.company, &t.model, io);
    if (!n)
        return kFailed;
    auto m = db.loadModel(n->modelId);
    if (!m)
        return failed(io, m.error());
    const auto asText = [](const KeyRecord& k) {
        std::string text;
        pj::link::codeTextToAscii(k.code.toStdString(), text);
        return text;
    };
    if (o.json) {
        QJsonArray keys;
        for (const auto& k : m->keys) {
            QJsonObject ko{{QStringLiteral("id"), k.id},
                           {QStringLiteral("function"), k.function},
                           {QStringLiteral("slot"), k.slot},
                           {QStringLiteral("slotName"), q(std::string(functionKeyName(k.slot)))},
                           {QStringLiteral("code"), k.code},
                           {QStringLiteral("ascii"), k.ascii},
                           {QStringLiteral("parity"), k.parity}};
            if (k.ascii)
                ko.insert(QStringLiteral("text"), q(asText(k)));
            keys.append(ko);
        }
        printJson(io, QJsonObject{{QStringLiteral("company"), m->companyName},
                                  {QStringLiteral("companyId"), m->companyId},
                                  {QStringLiteral("model"), m->name},
                                  {QStringLiteral("id"), m->id},
                                  {QStringLiteral("baud"), static_cast<qint64>(m->baud)},
                                  {QStringLiteral("parity"), m->parity},
                                  {QStringLiteral("ascii"), m->ascii},
                                  {QStringLiteral("description"), m->description},
                                  {QStringLiteral("keys"), keys}});
        return kOk;
    }
    io.out << "公司: " << shown(m->companyName) << " (" << m->companyId << ")\n"
           << "型号: " << shown(m->name) << " (" << m->id << ")\n"
           << "波特率: " << m->baud << '\n'
           << "校验位: " << parityName(m->parity) << '\n'
           << "ASCII码: " << (m->ascii ? "是" : "否") << '\n'
           << "备注: " << s(m->description) << '\n'
           << "功能码: " << m->keys.size() << '\n';
    for (std::size_t i = 0; i < m->keys.size(); ++i) {
        const auto& k = m->keys[i];
        io.out << "  " << i << "  " << shown(k.function) << "  [" << k.slot << ' '
               << functionKeyName(k.slot) << "]  " << shown(k.code);
        if (k.ascii)
            io.out << "  \"" << shown(q(asText(k))) << '"';
        io.out << '\n';
    }
    return kOk;
}

// Builds the input of add-model / modify-model; `current` is the model being
// modified. Returns kOk, or the exit code of a usage error already reported.
int modelInput(const Options& o, const Texts& t, const ModelRecord* current, ModelInput& in,
               Io& io) {
    in.name = current ? current->name : t.model;
    if (t.rename)
        in.name = *t.rename;
    in.baud = t.baud ? *t.baud : (current ? current->baud : 0);
    in.description = t.description ? *t.description : (current ? current->description : QString());
    in.parity = o.parity ? *o.parity : (current ? current->parity : 0);
    const bool replaceKeys = !current || !t.keys.empty() || o.clearKeys;
    if (!replaceKeys) {
        if (o.ascii)
            return usage(io, "--ascii 只能与 --key 一起用于修改功能码");
        // The key rows stay as stored; only parity may change on them.
        in.ascii = current->ascii;
        in.codesStored = true;
        for (const auto& k : current->keys)
            in.keys.push_back({k.function, k.slot, k.code});
        return kOk;
    }
    in.ascii = o.ascii;
    for (const auto& keyText : t.keys) {
        KeyInput k;
        if (auto why = parseKey(keyText, k); !why.empty())
            return usage(io, why);
        in.keys.push_back(std::move(k));
    }
    return kOk;
}

int cmdAddModel(CatalogueDb& db, const Options& o, const Texts& t, Io& io) {
    auto n = resolve(db, t.company, nullptr, io);
    if (!n)
        return kFailed;
    ModelInput in;
    if (int r = modelInput(o, t, nullptr, in, io); r != kOk)
        return r;
    // The company as found: should another program delete or renumber it
    // meanwhile, the model does not land under some other company.
    auto id = db.addModel(CompanyEntry{n->companyId, t.company}, in);
    if (!id)
        return failed(io, id.error());
    if (o.json)
        printJson(io, QJsonObject{{QStringLiteral("id"), *id}});
    else
        io.out << "已添加型号 " << *id << '\n';
    return kOk;
}

int cmdModifyModel(CatalogueDb& db, const Options& o, const Texts& t, Io& io) {
    auto n = resolve(db, t.company, &t.model, io);
    if (!n)
        return kFailed;
    auto current = db.loadModel(n->modelId);
    if (!current)
        return failed(io, current.error());
    ModelInput in;
    if (int r = modelInput(o, t, &*current, in, io); r != kOk)
        return r;
    // Applied only to the model as it was read: a change by another program
    // in between is reported, not undone.
    if (auto r = db.modifyModel(*current, in); !r)
        return failed(io, r.error());
    if (!o.json)
        io.out << "已修改型号 " << n->modelId << '\n';
    else
        printJson(io, QJsonObject{{QStringLiteral("id"), n->modelId}});
    return kOk;
}

int cmdDeleteModel(CatalogueDb& db, const Options& o, const Texts& t, Io& io) {
    auto n = resolve(db, t.company, &t.model, io);
    if (!n)
        return kFailed;
    auto current = db.loadModel(n->modelId);
    if (!current)
        return failed(io, current.error());
    if (auto r = db.deleteModel(*current); !r)
        return failed(io, r.error());
    if (!o.json)
        io.out << "已删除型号 " << n->modelId << '\n';
    return kOk;
}

int cmdCheck(CatalogueDb& db, const Options& o, Io& io) {
    auto problems = db.checkCatalogue();
    if (!problems)
        return failed(io, problems.error());
    if (o.json) {
        static const char* const kinds[] = {"company-id-not-dense",
                                            "model-id-not-dense",
                                            "dangling-company",
                                            "dangling-model",
                                            "mixed-ascii",
                                            "mixed-parity",
                                            "slot-out-of-range",
                                            "bad-value",
                                            "bad-speed",
                                            "bad-name"};
        QJsonArray list;
        for (const auto& p : *problems)
            list.append(QJsonObject{
                {QStringLiteral("kind"), QLatin1String(kinds[static_cast<int>(p.kind)])},
                {QStringLiteral("message"), p.message}});
        printJson(io, QJsonObject{{QStringLiteral("ok"), problems->empty()},
                                  {QStringLiteral("problems"), list}});
    } else if (problems->empty()) {
        io.out << "目录数据库完好\n";
    } else {
        for (const auto& p : *problems)
            io.out << shown(p.message) << '\n';
    }
    if (!problems->empty()) {
        io.err << "错误：目录数据库有 " << problems->size() << " 处问题\n";
        return kFailed;
    }
    return kOk;
}

int cmdExport(CatalogueDb& db, const Options& o, Io& io) {
    auto snapshot = db.exportSnapshot();
    if (!snapshot)
        return failed(io, snapshot.error());
    const QByteArray data = writeCatalogueCsv(*snapshot);
    QSaveFile f(q(o.positional[1]));
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
        return failed(io, QStringLiteral("无法写入文件：%1").arg(q(o.positional[1])));
    if (!o.json)
        io.out << "已导出 " << snapshot->companies.size() << " 个公司、" << snapshot->models.size()
               << " 个型号\n";
    return kOk;
}

int cmdImport(CatalogueDb& db, const Options& o, Io& io) {
    auto snapshot = readCatalogueCsvFile(q(o.positional[1]));
    if (!snapshot)
        return failed(io, snapshot.error());
    if (auto r = db.importSnapshot(*snapshot); !r)
        return failed(io, r.error());
    if (!o.json)
        io.out << "已导入 " << snapshot->companies.size() << " 个公司、" << snapshot->models.size()
               << " 个型号\n";
    return kOk;
}

int runCatalogue(const std::vector<std::string>& args, Io& io) {
    Options o;
    const std::string mistake = parseOptions(args, o);
    // "--help" wins over a mistake before it (the parse stops at the mistake).
    const auto end = std::find(args.begin(), args.end(), std::string("--"));
    if (o.help ||
        (!mistake.empty() && std::find(args.begin(), end, std::string("--help")) != end)) {
        io.out << "用法: projector-cli " << kSynopsis << '\n';
        return kOk;
    }
    if (!mistake.empty())
        return usage(io, mistake);
    if (o.positional.empty())
        return usage(io, "缺少子命令");
    const std::string& cmd = o.positional[0];
    struct Sub {
        const char* name;
        std::size_t words; // positional words after the subcommand
        std::size_t names; // how many of them are company and model names
        bool modelOptions, modifyOptions;
    };
    static const Sub subs[] = {
        {"init", 0, 0, false, false},         {"list", 0, 0, false, false},
        {"show", 2, 2, false, false},         {"add-company", 1, 1, false, false},
        {"add-model", 2, 2, true, false},     {"modify-model", 2, 2, true, true},
        {"delete-model", 2, 2, false, false}, {"delete-company", 1, 1, false, false},
        {"export", 1, 0, false, false},       {"import", 1, 0, false, false},
        {"check", 0, 0, false, false},
    };
    const Sub* sub = nullptr;
    for (const auto& candidate : subs) {
        if (cmd == candidate.name)
            sub = &candidate;
    }
    if (!sub)
        return usage(io, "未知子命令 " + cmd);
    if (o.positional.size() != sub->words + 1)
        return usage(io, cmd + " 需要 " + std::to_string(sub->words) + " 个参数");
    if (!allowOnly(o, sub->modelOptions, sub->modifyOptions))
        return usage(io, cmd + " 不接受这些选项");
    if (cmd == "add-model" && !o.baud)
        return usage(io, "add-model 需要 --baud N");
    std::string badUsage;
    auto decoded = decodeTexts(o, sub->names, badUsage);
    if (!badUsage.empty())
        return usage(io, badUsage);
    if (!decoded)
        return failed(io, decoded.error());
    const Texts& t = *decoded;
    for (const auto& keyText : t.keys) {
        KeyInput k;
        if (auto why = parseKey(keyText, k); !why.empty())
            return usage(io, why);
    }

    const auto where = CatalogueLocation::fromEnvironment(q(o.catalogue));
    if (cmd == "init") {
        if (auto r = CatalogueDb::init(where); !r)
            return failed(io, r.error());
        if (!o.json)
            io.out << "已创建目录数据库 " << s(where.describe()) << '\n';
        return kOk;
    }
    CatalogueDb db;
    if (auto r = db.connect(where); !r)
        return failed(io, QStringLiteral("%1（%2）").arg(r.error().message, where.describe()));

    if (cmd == "list")
        return cmdList(db, o, io);
    if (cmd == "show")
        return cmdShow(db, o, t, io);
    if (cmd == "add-company") {
        auto id = db.addCompany(t.company);
        if (!id)
            return failed(io, id.error());
        if (o.json)
            printJson(io, QJsonObject{{QStringLiteral("id"), *id}});
        else
            io.out << "已添加公司 " << *id << '\n';
        return kOk;
    }
    if (cmd == "add-model")
        return cmdAddModel(db, o, t, io);
    if (cmd == "modify-model")
        return cmdModifyModel(db, o, t, io);
    if (cmd == "delete-model")
        return cmdDeleteModel(db, o, t, io);
    if (cmd == "delete-company") {
        auto n = resolve(db, t.company, nullptr, io);
        if (!n)
            return kFailed;
        if (auto r = db.deleteCompany(CompanyEntry{n->companyId, t.company}); !r)
            return failed(io, r.error());
        if (!o.json)
            io.out << "已删除公司 " << n->companyId << '\n';
        return kOk;
    }
    if (cmd == "export")
        return cmdExport(db, o, io);
    if (cmd == "import")
        return cmdImport(db, o, io);
    return cmdCheck(db, o, io);
}

const CommandInfo kCommands[] = {
    {"catalogue", kSynopsis, &runCatalogue},
};

} // namespace

std::span<const CommandInfo> catalogueCommands() {
    return kCommands;
}

} // namespace pj::cli
