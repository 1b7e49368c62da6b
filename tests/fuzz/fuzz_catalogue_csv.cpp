// The catalogue exchange file: the record reader on any bytes, and the
// catalogue reader and writer. Whatever the reader accepts, written again and
// read back, is the same catalogue, byte for byte the second time; records
// written again read back as the same records; a catalogue built from the input
// that survives writing and reading comes back unchanged.
//
// Input: the whole of it is read as an exchange file; then, from its start, it
// also gives the names and values of a catalogue to write.

#include "catalogue/csvformat.h"
#include "tests/fuzz/fuzz_support.h"

#include <QByteArray>
#include <QString>

#include <vector>

using namespace pj::catalogue;

namespace {

bool sameKeys(const std::vector<KeyInput>& a, const std::vector<KeyInput>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].function != b[i].function || a[i].slot != b[i].slot || a[i].code != b[i].code)
            return false;
    }
    return true;
}

bool sameSnapshot(const CatalogueSnapshot& a, const CatalogueSnapshot& b) {
    if (a.companies != b.companies || a.models.size() != b.models.size())
        return false;
    for (std::size_t i = 0; i < a.models.size(); ++i) {
        const auto& x = a.models[i];
        const auto& y = b.models[i];
        if (x.company != y.company || x.input.name != y.input.name ||
            x.input.baud != y.input.baud || x.input.parity != y.input.parity ||
            x.input.ascii != y.input.ascii || x.input.codesStored != y.input.codesStored ||
            x.input.description != y.input.description || !sameKeys(x.input.keys, y.input.keys))
            return false;
    }
    return true;
}

void checkRecords(const QByteArray& file) {
    std::vector<int> lines;
    const auto records = parseCsv(file, &lines);
    if (!records)
        return;
    PJ_FUZZ_CHECK(lines.size() == records->size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        PJ_FUZZ_CHECK(lines[i] >= 1);
        PJ_FUZZ_CHECK(i == 0 || lines[i] > lines[i - 1]);
        PJ_FUZZ_CHECK(!(*records)[i].isEmpty());
    }
    // Written again (with a byte-order mark, which the reader skips), the
    // records read back as they were.
    QByteArray again("\xEF\xBB\xBF");
    for (const auto& r : *records)
        again += csvRecord(r);
    const auto reread = parseCsv(again);
    PJ_FUZZ_CHECK(reread.has_value());
    PJ_FUZZ_CHECK(*reread == *records);
}

void checkCatalogue(const QByteArray& file) {
    const auto read = readCatalogueCsv(file);
    if (!read) {
        PJ_FUZZ_CHECK(!read.error().message.isEmpty());
        return;
    }
    const QByteArray written = writeCatalogueCsv(*read);
    const auto reread = readCatalogueCsv(written);
    PJ_FUZZ_CHECK(reread.ok());
    PJ_FUZZ_CHECK(sameSnapshot(*read, *reread));
    PJ_FUZZ_CHECK(writeCatalogueCsv(*reread) == written);
}

// Text of UTF-16 units from the input; surrogates are left out, so that the
// text is always encodable. Control characters, U+FEFF and the like stay.
QString textFrom(pj::fuzz::Input& in) {
    QString out;
    const std::size_t units = in.byte() % 24;
    for (std::size_t i = 0; i < units && !in.empty(); ++i) {
        const char16_t u = in.u16();
        if (u < 0xD800 || u > 0xDFFF)
            out += QChar(u);
    }
    return out;
}

void checkWrittenCatalogue(pj::fuzz::Input& in) {
    CatalogueSnapshot s;
    const std::size_t companies = in.byte() % 4;
    for (std::size_t i = 0; i < companies; ++i)
        s.companies.push_back(textFrom(in));
    const std::size_t models = in.byte() % 4;
    for (std::size_t i = 0; i < models; ++i) {
        CatalogueSnapshot::Model m;
        m.company = textFrom(in);
        m.input.name = textFrom(in);
        m.input.baud = in.u32();
        m.input.parity = static_cast<std::int8_t>(in.byte());
        m.input.ascii = in.flag();
        m.input.codesStored = true;
        m.input.description = textFrom(in);
        const std::size_t keys = in.byte() % 4;
        for (std::size_t k = 0; k < keys; ++k) {
            KeyInput key;
            key.function = textFrom(in);
            key.slot = static_cast<std::int8_t>(in.byte());
            key.code = textFrom(in);
            m.input.keys.push_back(key);
        }
        s.models.push_back(std::move(m));
    }
    const QByteArray written = writeCatalogueCsv(s);
    const auto read = readCatalogueCsv(written);
    if (read)
        PJ_FUZZ_CHECK(sameSnapshot(s, *read));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return pj::fuzz::run(data, size, [&](pj::fuzz::Input& in) {
        const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        checkRecords(file);
        checkCatalogue(file);
        checkWrittenCatalogue(in);
    });
}
