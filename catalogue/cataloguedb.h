#pragma once
// The catalogue of projector makers (COP), models (MACHINE) and their key codes
// (FUNKEY). One CatalogueDb is one connection: either the catalogue file
// "projector.mdb" (an SQLite database) or, when PROJECTOR_CATALOGUE is set, the
// ODBC connection string it holds.
//
// Every operation that changes the catalogue runs in one transaction: it is
// applied whole or not at all, and a refused operation changes nothing. IDs of
// companies and models stay dense from 1; deletes renumber the rows above.
// Values are read whole. Texts are UTF-8 in the file.
//
// Several programs may share one catalogue (a file, or a PostgreSQL server
// through ODBC): changes are serialised (SQLite's write lock, a table lock on
// PostgreSQL), reads of several rows see one consistent state, and the
// operations that take what the caller read (a ModelRecord, a CompanyEntry)
// refuse with Conflict, writing nothing, when someone else deleted, renamed or
// changed it meanwhile. The input rules of every value are in checks.h.

#include "catalogue/result.h"
#include "link/state.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pj::catalogue {

// Input limits, in characters.
inline constexpr int kMaxNameLength = 50;           // company, model and key names
inline constexpr int kMaxCodeLength = 255;          // stored code text
inline constexpr int kMaxDescriptionLength = 65535; // model description

inline constexpr char kCatalogueEnv[] = "PROJECTOR_CATALOGUE";
inline constexpr char kDefaultCatalogueFile[] = "projector.mdb";

// Where the catalogue is.
struct CatalogueLocation {
    QString file; // used when odbc is empty
    QString odbc; // an ODBC connection string ("DRIVER=SQLite3;Database=/x/p.mdb")

    // PROJECTOR_CATALOGUE when it is set and not empty, otherwise `file`.
    static CatalogueLocation fromEnvironment(const QString& file);
    QString describe() const; // for messages: the file name, or the string without its password
};

enum class Engine { Sqlite, Access, Other, PostgreSql };

enum class Parity : int { None = 0, Odd = 1, Even = 2 };

// ---- read shapes --------------------------------------------------------

struct CompanyEntry {
    int id = 0;   // COP.ID
    QString name; // COP.COP
};

struct ModelEntry {
    int id = 0;        // MACHINE.ID
    int companyId = 0; // MACHINE.CID
    QString name;      // MACHINE.MODEL
};

// Everything the tree shows, read in one call. Both lists are in ID order; with
// a sound catalogue companies[i].id == i+1 and models[i].id == i+1, and a
// company's models are the entries with its id, in list order.
struct CatalogueTree {
    std::vector<CompanyEntry> companies;
    std::vector<ModelEntry> models;
};

struct KeyRecord {
    int id = 0;         // FUNKEY.ID (row number, in insertion order)
    QString function;   // FUNKEY.FUNCTION, display name
    QString code;       // FUNKEY.FUNCODE, stored hex text
    int slot = 0;       // FUNKEY.TYPE, 0..17
    bool ascii = false; // FUNKEY.ISASCII
    int parity = 0;     // FUNKEY.CHECK: 0 none, 1 odd, 2 even
};

struct ModelRecord {
    int id = 0;
    int companyId = 0;
    QString name;
    QString companyName; // COP.COP of companyId, read with the model
    std::uint32_t baud = 0;
    QString description;
    // Model-wide values as readers take them: those of the last key row (false
    // and 0 for a model without keys).
    bool ascii = false;
    int parity = 0;
    std::vector<KeyRecord> keys; // in the order they were saved
};

// Fills the selection the code writer sends from: id, speed (and its decimal
// text), lastParity = parity of the last row, one CodeListEntry per key row
// (whole code text), row 0 selected, every status unconfirmed.
void fillSelectedModel(const ModelRecord& model, pj::link::SelectedModel& out);

// ---- write shapes -------------------------------------------------------

struct KeyInput {
    QString function; // display name, at most 50 characters (may be empty)
    int slot = 0;     // 0..17
    QString code;     // as typed: hex text, or ASCII text when the model is ASCII
};

struct ModelInput {
    QString name; // at most 50 characters, not empty
    std::uint32_t baud = 9600;
    int parity = 0;     // 0 none, 1 odd, 2 even; stored on every key row
    bool ascii = false; // ISASCII of every key row; codes typed as ASCII text
    // When true, `code` holds the stored hex text even for an ASCII model (used
    // by import and by changes that keep existing rows); it is validated as hex
    // and stored unchanged.
    bool codesStored = false;
    QString description; // at most 65,535 characters
    std::vector<KeyInput> keys;
};

// The whole catalogue in ID order, for export and import. Importing a snapshot
// into an empty catalogue reproduces every ID.
struct CatalogueSnapshot {
    struct Model {
        QString company;  // name of its company (companies are unique by name)
        ModelInput input; // codesStored = true
    };
    std::vector<QString> companies;
    std::vector<Model> models;
};

// ---- check --------------------------------------------------------------

enum class ProblemKind {
    CompanyIdNotDense, // COP.ID gap, duplicate, or not starting at 1
    ModelIdNotDense,   // MACHINE.ID likewise
    DanglingCompany,   // MACHINE.CID names no company
    DanglingModel,     // FUNKEY.MID names no model
    MixedAscii,        // a model's key rows disagree on ISASCII
    MixedParity,       // a model's key rows disagree on CHECK
    SlotOutOfRange,    // FUNKEY.TYPE outside 0..17
    BadValue,          // NULL id or reference, parity outside 0..2, duplicate name
    BadSpeed,          // MACHINE.BAUD empty, not a number, or outside 1..4,294,967,295
    BadName,           // a company or model name that is empty, blank or holds control characters
};

struct Problem {
    ProblemKind kind;
    QString message; // Chinese, names the rows concerned
};

// ---- the connection -----------------------------------------------------

class CatalogueDb {
public:
    CatalogueDb();
    ~CatalogueDb();
    CatalogueDb(const CatalogueDb&) = delete;
    CatalogueDb& operator=(const CatalogueDb&) = delete;

    // Opens an existing catalogue. A missing file, a damaged file, a file that
    // is no catalogue, an unreachable ODBC source: CatalogueNotFound
    // ("没找到数据库文件！"), and the file is left untouched (it is probed
    // read-only first and never created). A file that another program keeps
    // locked beyond the busy time-out: Busy ("目录数据库正被另一个程序使用…").
    // A file is written to only once its integrity check has passed: when the
    // read-only check fails and files lie beside it (the journal a killed
    // change leaves), the check runs on a copy of them all, and the file is
    // opened for writing only when the copy, restored, is sound.
    Status connect(const CatalogueLocation& where);
    Status connectFile(const QString& file) { return connect({file, {}}); }
    bool isOpen() const;
    Engine engine() const;
    void close();

    // Creates an empty catalogue: a new file (refused when the file exists),
    // or the three tables on an ODBC connection that holds none of them.
    static Status init(const CatalogueLocation& where);

    // Waiting time when another process holds the file (default 5000 ms).
    void setBusyTimeout(int ms);

    // ---- reads ----
    Result<CatalogueTree> loadTree();
    Result<int> findCompany(const QString& name);              // NoSuchCompany
    Result<int> findModel(int companyId, const QString& name); // NoSuchModel
    // The model whole, with its company's name. A stored value is never
    // wrapped into another: a speed that is no unsigned 32-bit number (or
    // empty) reads as 0, a slot or parity that is no int as -1; every writer
    // refuses those and checkCatalogue names the stored value.
    Result<ModelRecord> loadModel(int modelId); // NoSuchModel
    Result<std::vector<ModelEntry>> modelsOfCompany(int companyId);
    // Every model whole, as loadModel reads each, in ID order: one read
    // transaction of three statements whatever the number of models (for
    // readers of the whole catalogue: lint, export). Key rows of no model
    // are left out.
    Result<std::vector<ModelRecord>> loadAllModels();

    // A number that changes whenever the catalogue may have changed since it
    // was last taken, by this connection or any other: a window keeps the
    // value its tree was built from and reloads when a new value differs.
    // One small query (SQLite: the data version; PostgreSQL: the server's
    // log position, which may also move without a catalogue change; other
    // engines: a digest of the tree and the key rows).
    Result<std::uint64_t> changeStamp();

    // ---- operations (each one transaction) ----
    Result<int> addCompany(const QString& name);                  // new COP.ID = MAX+1
    Result<int> addModel(int companyId, const ModelInput& model); // new MACHINE.ID
    // Renames (with the duplicate check in its company), sets speed and
    // description, and replaces all key rows.
    Status modifyModel(int modelId, const ModelInput& model);
    Status deleteModel(int modelId);
    Status deleteCompany(int companyId); // with all its models and their keys

    // The same operations on what the caller read, for catalogues that others
    // change at the same time. The company is found by its name and the model
    // by its company's and its own name, wherever deletes have renumbered
    // them; Conflict, with nothing written, when the company or the model is
    // gone or renamed, or (modify and delete of a model) when the model no
    // longer reads as `asRead` (speed, description, keys, ASCII, parity).
    Result<int> addModel(const CompanyEntry& company, const ModelInput& model);
    Status modifyModel(const ModelRecord& asRead, const ModelInput& model);
    Status deleteModel(const ModelRecord& asRead);
    Status deleteCompany(const CompanyEntry& company);

    // Every broken invariant; an empty list for a sound catalogue.
    Result<std::vector<Problem>> checkCatalogue();

    Result<CatalogueSnapshot> exportSnapshot();
    // Adds the snapshot's companies and models, in order, in one transaction.
    Status importSnapshot(const CatalogueSnapshot& snapshot);

    // Checks a model input against the limits without touching the catalogue
    // (the editor may call it before saving; findInputFault in checks.h also
    // says which value is at fault).
    static Status validateModelInput(const ModelInput& model);
    // The hex text stored for one key: the ASCII conversion or the text as
    // typed; BadCode / TooLong when it cannot be stored.
    static Result<QString> storedCodeText(const QString& typed, bool ascii, bool codesStored);

    class Impl;

private:
    std::unique_ptr<Impl> d_;
};

} // namespace pj::catalogue
