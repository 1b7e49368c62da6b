// Builds the catalogue delivered with the program from models.csv and keys.csv
// through the same operations the program uses: each company added, each model
// added with its keys typed as a technician types them (text for ASCII models,
// hex otherwise). Fails when a stored code differs from the code column of
// keys.csv or when the result breaks an invariant.
//
//   pj-catalogue-builder MODELS.csv KEYS.csv OUT.mdb

#include "catalogue/cataloguedb.h"
#include "catalogue/csvformat.h"

#include <QFile>

#include <cstdio>
#include <map>
#include <set>

using namespace pj::catalogue;

namespace {

int fail(const QString& why) {
    std::fprintf(stderr, "pj-catalogue-builder: %s\n", why.toUtf8().constData());
    return 1;
}

std::optional<std::vector<QStringList>> readTable(const QString& path, const QStringList& header,
                                                  QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1").arg(path);
        return std::nullopt;
    }
    auto rows = parseCsv(f.readAll());
    if (!rows || rows->empty() || rows->front() != header) {
        error = QStringLiteral("%1: unexpected format").arg(path);
        return std::nullopt;
    }
    rows->erase(rows->begin());
    for (const auto& r : *rows) {
        if (r.size() != header.size()) {
            error = QStringLiteral("%1: a row has %2 columns").arg(path).arg(r.size());
            return std::nullopt;
        }
    }
    return rows;
}

int build(const QString& modelsPath, const QString& keysPath, const QString& out) {
    QString error;
    const auto models = readTable(modelsPath,
                                  {QStringLiteral("company"), QStringLiteral("model"),
                                   QStringLiteral("baud"), QStringLiteral("parity"),
                                   QStringLiteral("ascii"), QStringLiteral("description")},
                                  error);
    if (!models)
        return fail(error);
    const auto keys =
        readTable(keysPath,
                  {QStringLiteral("company"), QStringLiteral("model"), QStringLiteral("function"),
                   QStringLiteral("slot"), QStringLiteral("entered_as"), QStringLiteral("code")},
                  error);
    if (!keys)
        return fail(error);

    // Key rows per model, in file order.
    std::map<std::pair<QString, QString>, std::vector<const QStringList*>> keysOf;
    for (const auto& k : *keys)
        keysOf[{k[0], k[1]}].push_back(&k);

    const QString tmp = out + QStringLiteral(".tmp");
    QFile::remove(tmp);
    if (auto r = CatalogueDb::init({tmp, {}}); !r)
        return fail(r.error().message);
    CatalogueDb db;
    if (auto r = db.connectFile(tmp); !r)
        return fail(r.error().message);

    std::map<QString, int> companyIds;
    std::size_t keyCount = 0;
    std::set<std::pair<QString, QString>> seenModels;
    for (const auto& m : *models) {
        const QString& company = m[0];
        if (!companyIds.count(company)) {
            auto id = db.addCompany(company);
            if (!id)
                return fail(company + QStringLiteral(": ") + id.error().message);
            companyIds[company] = *id;
        }
        ModelInput in;
        in.name = m[1];
        bool ok = false;
        in.baud = m[2].toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("%1 %2: bad baud %3").arg(company, in.name, m[2]));
        in.parity = m[3].toInt(&ok);
        if (!ok)
            return fail(QStringLiteral("%1 %2: bad parity").arg(company, in.name));
        in.ascii = m[4] == QLatin1String("1");
        in.description = m[5];
        std::vector<QString> expected;
        for (const QStringList* k : keysOf[{company, in.name}]) {
            const int slot = (*k)[3].toInt(&ok);
            if (!ok)
                return fail(QStringLiteral("%1 %2: bad slot %3").arg(company, in.name, (*k)[3]));
            in.keys.push_back({(*k)[2], slot, (*k)[4]});
            expected.push_back((*k)[5]);
        }
        seenModels.insert({company, in.name});
        auto id = db.addModel(companyIds[company], in);
        if (!id)
            return fail(company + QStringLiteral(" / ") + in.name + QStringLiteral(": ") +
                        id.error().message);
        auto stored = db.loadModel(*id);
        if (!stored)
            return fail(stored.error().message);
        if (stored->keys.size() != expected.size())
            return fail(QStringLiteral("%1 / %2: key count differs").arg(company, in.name));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (stored->keys[i].code != expected[i])
                return fail(QStringLiteral("%1 / %2 / %3: stored \"%4\", keys.csv says \"%5\"")
                                .arg(company, in.name, stored->keys[i].function,
                                     stored->keys[i].code, expected[i]));
        }
        keyCount += expected.size();
    }
    for (const auto& [name, rows] : keysOf) {
        if (!seenModels.count(name))
            return fail(QStringLiteral("keys.csv names a model not in models.csv: %1 / %2")
                            .arg(name.first, name.second));
    }
    auto problems = db.checkCatalogue();
    if (!problems)
        return fail(problems.error().message);
    for (const auto& p : *problems)
        std::fprintf(stderr, "pj-catalogue-builder: %s\n", p.message.toUtf8().constData());
    if (!problems->empty())
        return fail(QStringLiteral("the catalogue breaks %1 invariants").arg(problems->size()));
    db.close();

    QFile::remove(out);
    if (!QFile::rename(tmp, out))
        return fail(QStringLiteral("cannot write %1").arg(out));
    std::printf("%s: %zu companies, %zu models, %zu keys\n", out.toUtf8().constData(),
                companyIds.size(), models->size(), keyCount);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: pj-catalogue-builder MODELS.csv KEYS.csv OUT.mdb\n");
        return 2;
    }
    return build(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                 QString::fromLocal8Bit(argv[3]));
}
