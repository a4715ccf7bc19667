// The update procedure under faults: a kill at every step followed by a new start, a failure
// injected at every step, damaged and unsafe archives, a full and a read-only file system, and
// a second try after a failed one. After each of them the installation must hold either the
// set of files it had before or the set an undisturbed update gives, with its main program,
// and nothing outside the installation folder may have changed.
#include "platform/fs/environment.h"
#include "support/installation.h"

#include "app/handlers.h"
#include "platform/vb/error.h"
#include "update/handlers.h"
#include "update/safety.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <zip.h>

using namespace testing_support;

namespace {

const QString kArchiveName = QStringLiteral("qn45070218.zip");
const QString kJournal = QStringLiteral(".quna-update.journal");
const QString kDone = QStringLiteral("Elaborazione terminata!!!");
const QString kNotSelected =
    QStringLiteral("Archivio di aggiornamento non selezionato o danneggiato!!");
const QString kDiskFull = QStringLiteral("codice Errore = 61\r\nDisco pieno");
const QString kKeptOld =
    QStringLiteral("L'aggiornamento è stato annullato: QUNA è rimasto alla versione precedente.");
const std::vector<Entry> kEntries = {{"Quna.exe", "#!/bin/sh\necho 4.5\n"},
                                     {"dati/", ""},
                                     {"dati/nuovo.txt", "x"},
                                     {"Leggimi.txt", "y"}};
constexpr qint64 kPadTo = 3'000'000;

// Everything below a folder: each file as its permission bits and content, each folder and
// link as such. `skip` leaves out one folder below it.
using Tree = std::map<QString, QByteArray>;

Tree tree(const QString& folder, const QString& skip = {}) {
    Tree out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        if (!skip.isEmpty() && (p == skip || p.startsWith(skip + u'/'))) continue;
        const QString rel = QDir(folder).relativeFilePath(p);
        struct stat st;
        if (::lstat(QFile::encodeName(p).constData(), &st) != 0) {
            out[rel] = "gone";
        } else if (S_ISLNK(st.st_mode)) {
            out[rel] = "link " + QFile::encodeName(it.fileInfo().symLinkTarget());
        } else if (S_ISDIR(st.st_mode)) {
            out[rel] = "folder";
        } else {
            out[rel] = QByteArray::number(st.st_mode & 07777, 8) + ' ' + Installation::readFile(p);
        }
    }
    return out;
}

// The names that differ between two trees, for failure messages.
std::string difference(const Tree& a, const Tree& b) {
    std::string out;
    for (const auto& [name, value] : a) {
        const auto it = b.find(name);
        if (it == b.end())
            out += " -" + name.toStdString();
        else if (it->second != value)
            out += " ~" + name.toStdString();
    }
    for (const auto& [name, value] : b)
        if (!a.count(name)) out += " +" + name.toStdString();
    return out;
}

// Files the update keeps for itself while it runs: the journal and the staging folders.
QStringList leftovers(const Installation& i) {
    return QDir(i.program()).entryList({".quna-*"}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

bool mainProgramRuns(const Installation& i) {
    const QFileInfo info(i.program() + "/Quna.exe");
    return info.isFile() && info.isExecutable();
}

enum class Set { Old, New, Neither };

// The box a start shows after it recovered an interrupted update names what it did.
void expectRecoveryBox(Set set, const QString& text) {
    if (set == Set::Old) {
        EXPECT_TRUE(text.contains("annullato")) << text.toStdString();
    } else if (set == Set::New) {
        EXPECT_TRUE(text.contains("completato")) << text.toStdString();
    }
}

// What the user saw of one click on "Elabora", the confirmation question left out.
struct Outcome {
    QStringList messages;
    bool ended = false; // the main program was started and the updater ended
    QStringList calls;
};

Outcome elabora(Harness& h) {
    h.host.messages.clear();
    h.host.calls.clear();
    Outcome o;
    o.ended = !h.run([&] { update::cmdElabora_Click(*h.form); });
    for (const ui::ShownMessage& m : h.host.messages)
        if (!m.text.startsWith("Confermi l'elaborazione")) o.messages << m.text;
    o.calls = h.host.calls;
    return o;
}

std::string joined(const QStringList& l) {
    return l.join(" | ").toStdString();
}

// Waits for a child at most 30 seconds; kills it when it does not end in time.
bool waitForChild(pid_t pid, int& status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return false;
}

// The byte layout of a zip written by libzip: where each entry's local header and data are,
// and where the central directory is.
struct ZipLayout {
    struct Item {
        QByteArray name;
        qint64 local = 0, data = 0, compressedSize = 0, central = 0;
    };
    std::vector<Item> items;
    qint64 centralStart = 0, centralSize = 0, end = 0;

    const Item& item(const char* name) const {
        for (const Item& i : items)
            if (i.name == name) return i;
        throw std::runtime_error(std::string("no entry ") + name);
    }
};

quint32 le(const QByteArray& b, qint64 at, int bytes) {
    quint32 v = 0;
    for (int k = bytes - 1; k >= 0; --k)
        v = (v << 8) | quint8(b[at + k]);
    return v;
}

ZipLayout layoutOf(const QByteArray& zip) {
    ZipLayout l;
    const qint64 end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0) throw std::runtime_error("no end record");
    l.end = end;
    l.centralSize = le(zip, end + 12, 4);
    l.centralStart = le(zip, end + 16, 4);
    const int count = int(le(zip, end + 10, 2));
    qint64 at = l.centralStart;
    for (int k = 0; k < count; ++k) {
        ZipLayout::Item i;
        i.central = at;
        const int nameLength = int(le(zip, at + 28, 2));
        i.name = zip.mid(at + 46, nameLength);
        i.compressedSize = le(zip, at + 20, 4);
        i.local = le(zip, at + 42, 4);
        i.data = i.local + 30 + le(zip, i.local + 26, 2) + le(zip, i.local + 28, 2);
        at += 46 + nameLength + le(zip, at + 30, 2) + le(zip, at + 32, 2);
        l.items.push_back(i);
    }
    return l;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A file system mounted for one test, unmounted when it ends.
struct Mount {
    QString where;
    bool mounted = false;
    ~Mount() {
        if (mounted && ::umount(QFile::encodeName(where).constData()) != 0)
            ::umount2(QFile::encodeName(where).constData(), MNT_DETACH);
    }
};

class UpdateFaultTest : public ::testing::Test {
protected:
    // One installation ready for an update, copied for every case, and what an undisturbed
    // update of it gives.
    static void SetUpTestSuite() {
        LocaleScope locale(kItalian);
        model_ = new Installation;
        model_->standard();
        model_->writeArchive(model_->updates(), kArchiveName, kEntries, kPadTo);
        oldSet_ = new Tree(tree(model_->program()));
        modelTree_ = new Tree(tree(model_->root()));

        fs::Environment env;
        auto clean = copyOfModel();
        Harness h(*clean);
        ASSERT_TRUE(h.load());
        env.resetCheckpoints();
        steps_ = new std::vector<std::string>;
        env.setFault([](int, const char* what) { steps_->push_back(what); });
        const Outcome o = elabora(h);
        env.setFault(nullptr);
        ASSERT_TRUE(o.ended);
        ASSERT_EQ(o.messages, QStringList{kDone});
        ASSERT_EQ(int(steps_->size()), env.checkpointCount());
        newSet_ = new Tree(tree(clean->program()));
        ASSERT_TRUE(leftovers(*clean).isEmpty()) << joined(leftovers(*clean));
        ASSERT_TRUE(mainProgramRuns(*clean));
    }
    static void TearDownTestSuite() {
        delete model_;
        delete oldSet_;
        delete newSet_;
        delete modelTree_;
        delete steps_;
    }
    fs::Environment env;

    // Copies the model's installation folder; config.dat still names the model's data
    // folder, so every copy has the same files.
    static void copyModel(const QString& to, bool withArchive = true) {
        QDirIterator it(model_->program(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            const QString target = to + u'/' + QDir(model_->program()).relativeFilePath(p);
            if (it.fileInfo().isDir()) {
                QDir().mkpath(target);
            } else if (withArchive || !p.endsWith(".zip")) {
                EXPECT_TRUE(QFile::copy(p, target)) << target.toStdString();
            }
        }
    }
    static std::unique_ptr<Installation> copyOfModel() {
        auto i = std::make_unique<Installation>();
        copyModel(i->program());
        return i;
    }

    // Empty when the installation holds `expected`. With `backupAllowed`, a Quna.OLD identical
    // to the old main program may be there too: the procedure keeps its backup after a failure.
    static std::string differsFrom(const Tree& expected, const Installation& i,
                                   bool backupAllowed) {
        Tree t = tree(i.program());
        if (backupAllowed && t.count("Quna.OLD") && t["Quna.OLD"] == oldSet_->at("Quna.exe"))
            t.erase("Quna.OLD");
        return difference(expected, t);
    }

    // Which set the installation holds.
    static Set setOf(const Installation& i, bool backupAllowed, std::string* why = nullptr) {
        const std::string againstOld = differsFrom(*oldSet_, i, backupAllowed);
        if (againstOld.empty()) return Set::Old;
        const std::string againstNew = differsFrom(*newSet_, i, backupAllowed);
        if (againstNew.empty()) return Set::New;
        if (why) *why = "against old:" + againstOld + "; against new:" + againstNew;
        return Set::Neither;
    }

    // Everything outside the installation folder of a copy: the rest of its temporary folder
    // and the whole model (whose data folder every start-up reads).
    static Tree outside(const Installation& i) {
        Tree t = tree(i.root(), i.program());
        for (const auto& [name, value] : tree(model_->root()))
            t["model/" + name] = value;
        return t;
    }

    LocaleScope locale{kItalian};
    static inline Installation* model_ = nullptr;
    static inline Tree *oldSet_ = nullptr, *newSet_ = nullptr, *modelTree_ = nullptr;
    static inline std::vector<std::string>* steps_ = nullptr;
};

TEST_F(UpdateFaultTest, CleanUpdateChangesTheSetAndCountsItsSteps) {
    ASSERT_NE(*oldSet_, *newSet_);
    EXPECT_FALSE(newSet_->count("Quna.OLD"));
    EXPECT_EQ(newSet_->at("dati/nuovo.txt").split(' ').last(), "x");
    EXPECT_GT(steps_->size(), 10u);
    std::string names;
    for (const std::string& s : *steps_)
        names += (names.empty() ? "" : ", ") + s;
    RecordProperty("steps", names);
    EXPECT_EQ(tree(model_->root()), *modelTree_);
}

// A kill at every step of the procedure, then a new start on the same installation.
TEST_F(UpdateFaultTest, KillAtEveryStepThenRestartRecovers) {
    const int count = int(steps_->size());
    std::vector<Set> sets;
    for (int n = 1; n <= count; ++n) {
        SCOPED_TRACE("kill at step " + std::to_string(n) + " (" + steps_->at(n - 1) + ")");
        auto copy = copyOfModel();
        const Tree outsideBefore = outside(*copy);
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The child: no assertions, no destructors; its end is the kill.
            Harness h(*copy);
            if (!h.load()) ::_exit(2);
            env.resetCheckpoints();
            env.setFault([n](int step, const char*) {
                if (step == n) ::kill(::getpid(), SIGKILL);
            });
            h.run([&] { update::cmdElabora_Click(*h.form); });
            ::_exit(3);
        }
        int status = 0;
        ASSERT_TRUE(waitForChild(pid, status)) << "the update did not end within 30 s";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
        const bool journalWritten = QFile::exists(copy->program() + "/" + kJournal);

        Harness h(*copy);
        ASSERT_TRUE(h.load());
        std::string why;
        const Set set = setOf(*copy, false, &why);
        sets.push_back(set);
        EXPECT_NE(set, Set::Neither) << why;
        EXPECT_TRUE(mainProgramRuns(*copy));
        EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
        EXPECT_EQ(outside(*copy), outsideBefore);
        const QStringList seen = h.host.messageTexts();
        if (!journalWritten) {
            EXPECT_EQ(set, Set::Old);
            EXPECT_TRUE(seen.isEmpty()) << joined(seen);
        } else {
            ASSERT_EQ(seen.size(), 1) << joined(seen);
            EXPECT_EQ(h.host.messages[0].icon, ui::Icon::None);
            expectRecoveryBox(set, seen[0]);
        }
        // A second start finds nothing more to do.
        Harness again(*copy);
        ASSERT_TRUE(again.load());
        EXPECT_TRUE(again.host.messages.empty()) << joined(again.host.messageTexts());
    }
    // One point of no return: the commit list taking its name. Before it every kill gives the
    // old set back, from it on every kill ends with the new set.
    const auto firstNew = std::find(sets.begin(), sets.end(), Set::New);
    ASSERT_NE(firstNew, sets.end());
    const std::size_t k = std::size_t(firstNew - sets.begin());
    ASSERT_GE(k, 1u);
    EXPECT_EQ(steps_->at(k - 1), "mark commit begun");
    for (std::size_t i = 0; i < sets.size(); ++i)
        EXPECT_EQ(sets[i], i < k ? Set::Old : Set::New) << "step " << i + 1;
    EXPECT_EQ(tree(model_->root()), *modelTree_);
}

// A failure (disk full) injected at every step, once or from that step on, in the process.
TEST_F(UpdateFaultTest, FailureAtEveryStepLeavesOneOfTheTwoSets) {
    const int count = int(steps_->size());
    for (const bool persistent : {false, true}) {
        std::vector<Set> sets;
        for (int n = 1; n <= count; ++n) {
            SCOPED_TRACE(std::string(persistent ? "from" : "at") + " step " + std::to_string(n) +
                         " (" + steps_->at(n - 1) + ")");
            auto copy = copyOfModel();
            const Tree outsideBefore = outside(*copy);
            Outcome o;
            {
                Harness h(*copy);
                ASSERT_TRUE(h.load());
                env.resetCheckpoints();
                env.setFault([n, persistent](int step, const char*) {
                    if (step == n || (persistent && step > n)) vb::raise(vb::err::DiskFull);
                });
                o = elabora(h);
                env.setFault(nullptr);
            }
            // Either the error is reported and nothing starts, or the failure was one the
            // procedure can go past and the update ends normally.
            const bool reported = o.messages.size() == 1 && o.messages[0].startsWith(kDiskFull);
            EXPECT_TRUE(reported || o.messages == QStringList{kDone}) << joined(o.messages);
            EXPECT_EQ(o.ended, !reported);
            EXPECT_EQ(o.calls.filter(QRegularExpression("^start ")).size(), reported ? 0 : 1);

            const bool journalLeft = QFile::exists(copy->program() + "/" + kJournal);
            EXPECT_TRUE(reported || !journalLeft);
            // A staging folder stays only beside the journal, as the evidence that its files
            // went in, for the next start.
            const QStringList staging = leftovers(*copy).filter(".quna-staging-");
            EXPECT_TRUE(staging.isEmpty() || journalLeft) << joined(staging);
            std::string why;
            Set set = Set::Neither;
            if (!journalLeft) {
                set = setOf(*copy, reported, &why);
                EXPECT_TRUE(mainProgramRuns(*copy));
            } else {
                // The restore itself failed: the next start finishes it.
                EXPECT_TRUE(persistent);
                Harness h(*copy);
                ASSERT_TRUE(h.load());
                const QStringList seen = h.host.messageTexts();
                set = setOf(*copy, false, &why);
                ASSERT_EQ(seen.size(), 1) << joined(seen);
                expectRecoveryBox(set, seen[0]);
                EXPECT_TRUE(mainProgramRuns(*copy));
            }
            sets.push_back(set);
            EXPECT_NE(set, Set::Neither) << why;
            if (!reported) {
                EXPECT_EQ(set, Set::New);
            } else {
                // The box says whether the previous version is still there.
                EXPECT_EQ(o.messages[0].endsWith(kKeptOld), set == Set::Old && !journalLeft)
                    << joined(o.messages);
            }
            EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
            EXPECT_EQ(outside(*copy), outsideBefore);
        }
        // The commit is all or nothing up to its last sync: a failure until then gives the old
        // set back, one after it leaves the new set, and no later failure takes it back.
        const auto firstNew = std::find(sets.begin(), sets.end(), Set::New);
        ASSERT_NE(firstNew, sets.end());
        const std::size_t k = std::size_t(firstNew - sets.begin());
        ASSERT_GE(k, 1u);
        EXPECT_EQ(steps_->at(k - 1), "sync installation folder");
        for (std::size_t i = 0; i < sets.size(); ++i)
            EXPECT_EQ(sets[i], i < k ? Set::Old : Set::New) << "step " << i + 1;
    }
}

// Opens the archive's folder in the folder list and clicks the archive in the file list.
void selectArchive(Harness& h, const QString& hostPath) {
    const QFileInfo info(hostPath);
    h.form->Dir1.setPath(Installation::win(info.absolutePath()));
    const int index = int(h.form->File1.files().indexOf(info.fileName()));
    ASSERT_GE(index, 0) << joined(h.form->File1.files());
    h.form->File1.setListIndex(index);
}

// An entry of a hostile archive. A NUL in a name is written as "\x01" and patched into
// the archive's bytes afterwards, as libzip takes names as C strings.
struct RawEntry {
    std::string name;
    std::string content = "contenuto\n";
    bool link = false; // a symbolic link to `content`
};
const std::string kProgram = "#!/bin/sh\necho 4.5\n";

// Writes an archive with libzip: the entries, then stored noise to pass the minimum size.
QString writeHostileArchive(const QString& folder, const std::vector<RawEntry>& entries) {
    QDir().mkpath(folder);
    const QString path = folder + u'/' + kArchiveName;
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) return {};
    static const std::string noise = [] {
        std::string n(std::size_t(kPadTo) + 1000, '\0');
        QRandomGenerator rng(7);
        for (char& c : n)
            c = char(rng.generate() & 0xFF);
        return n;
    }();
    auto add = [&](const std::string& name, const std::string& data) {
        zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
        const zip_int64_t i = name.back() == '/'
                                  ? zip_dir_add(z, name.c_str(), ZIP_FL_ENC_RAW)
                                  : zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_RAW);
        EXPECT_GE(i, 0) << name;
        if (name.back() == '/') zip_source_free(src);
        return zip_uint64_t(i);
    };
    for (const RawEntry& e : entries) {
        const zip_uint64_t i = add(e.name, e.content);
        if (e.link)
            zip_file_set_external_attributes(z, i, 0, ZIP_OPSYS_UNIX,
                                             zip_uint32_t(S_IFLNK | 0777) << 16);
    }
    zip_set_file_compression(z, add("riempimento.bin", noise), ZIP_CM_STORE, 0);
    EXPECT_EQ(zip_close(z), 0);
    QByteArray bytes = Installation::readFile(path);
    for (const RawEntry& e : entries) {
        const QByteArray written = QByteArray::fromStdString(e.name);
        if (written.contains('\x01'))
            bytes.replace(written, QByteArray(written).replace('\x01', '\0'));
    }
    writeBytes(path, bytes);
    return path;
}

TEST_F(UpdateFaultTest, DamagedArchivesChangeNothing) {
    // Entries with data worth compressing, so that some of the archive is deflate data.
    std::string text;
    for (int k = 0; k < 1500; ++k)
        text += "riga " + std::to_string(k) + " del file Leggimi\n";
    Installation maker;
    const QString good = maker.writeArchive(maker.root() + "/pronto", kArchiveName,
                                            {{"Quna.exe", "#!/bin/sh\necho 4.5\n"},
                                             {"dati/", ""},
                                             {"dati/nuovo.txt", "x"},
                                             {"Leggimi.txt", text}},
                                            kPadTo);
    const QByteArray bytes = Installation::readFile(good);
    const ZipLayout zip = layoutOf(bytes);
    const auto& first = zip.items.front();
    const auto& readme = zip.item("Leggimi.txt");
    const auto& noise = zip.item("dati/riempimento.bin");
    ASSERT_LT(readme.compressedSize, qint64(text.size())); // deflated
    auto cut = [&](qint64 at) { return bytes.left(at); };
    auto flip = [&](qint64 at) {
        QByteArray b = bytes;
        b[at] = char(b[at] ^ 0x5A);
        return b;
    };
    struct Case {
        const char* name;
        QByteArray archive;
        bool listed; // the listing at start-up accepts it (it fails only when extracted)
    } cases[] = {
        {"cut after the first local header", cut(first.data), false},
        {"cut in the middle of the data", cut(noise.data + noise.compressedSize / 2), false},
        {"cut in the central directory", cut(zip.centralStart + zip.centralSize / 2), false},
        {"cut in the end record", cut(zip.end + 12), false},
        {"central header signature", flip(first.central), false},
        {"deflate data", flip(readme.data + readme.compressedSize / 2), true},
        {"stored data (checksum)", flip(noise.data + noise.compressedSize / 2), true},
        {"last byte of the data", flip(noise.data + noise.compressedSize - 1), true},
        {"name length in a local header", flip(zip.item("Quna.exe").local + 26), true},
        {"checksum in the central directory", flip(readme.central + 16), true},
        {"method in the central directory", flip(readme.central + 10), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto copy = copyOfModel();
        const QString archive = copy->root() + "/altrove/" + kArchiveName;
        QDir().mkpath(copy->root() + "/altrove");
        writeBytes(archive, c.archive);
        const Tree outsideBefore = outside(*copy);
        Harness h(*copy);
        ASSERT_TRUE(h.load());
        h.host.messages.clear();
        selectArchive(h, archive);
        const QStringList listing = h.host.messageTexts();
        const bool listed = !h.form->Label2.caption().trimmed().isEmpty();
        EXPECT_EQ(listed, c.listed) << joined(listing);
        const Outcome o = elabora(h);
        EXPECT_FALSE(o.ended);
        ASSERT_EQ(o.messages.size(), 1) << joined(o.messages);
        if (listed) {
            EXPECT_TRUE(listing.isEmpty()) << joined(listing);
            EXPECT_TRUE(o.messages[0].startsWith(
                "codice Errore = " + QString::number(vb::err::NotAnArchive) +
                "\r\nVoce non leggibile nell'archivio: "))
                << joined(o.messages);
        } else {
            EXPECT_EQ(o.messages[0], kNotSelected);
            EXPECT_EQ(differsFrom(*oldSet_, *copy, false), "") << "a refused update wrote";
        }
        EXPECT_EQ(differsFrom(*oldSet_, *copy, true), "");
        EXPECT_TRUE(mainProgramRuns(*copy));
        EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
        EXPECT_EQ(outside(*copy), outsideBefore);
    }
}

// Archives that would write outside the installation, over the backup or the update's own
// files, a folder where the main program goes or a file where a folder is: each is refused
// before anything is moved into place, and the old main program is there and starts.
TEST_F(UpdateFaultTest, HostileArchivesAreRefusedAndTheMainProgramStays) {
    const RawEntry program{"Quna.exe", kProgram};
    const QString unsafe = QStringLiteral("codice Errore = 75\r\nNome non sicuro nell'archivio: ");
    const QString clash = QStringLiteral("codice Errore = 75\r\nEsiste ");
    const struct {
        std::vector<RawEntry> entries;
        QString message; // what the one box starts with
        QString names;   // what it names
    } cases[] = {
        {{program, {"../fuori.txt"}}, unsafe, "../fuori.txt"},
        {{program, {"..\\fuori.txt"}}, unsafe, "..\\fuori.txt"},
        {{program, {"/assoluto.txt"}}, unsafe, "/assoluto.txt"},
        {{program, {"C:x.txt"}}, unsafe, "C:x.txt"},
        {{program, {"\\\\server\\share\\x.txt"}}, unsafe, "\\\\server\\share\\x.txt"},
        {{program, {"dati/../../fuori.txt"}}, unsafe, "dati/../../fuori.txt"},
        {{program, {"collegamento", "../fuori.txt", true}}, unsafe, "collegamento"},
        // The backup of the main program, the journal, the staging folder, a copy being made.
        {{{"Quna.OLD", kProgram}}, unsafe, "Quna.OLD (nome riservato alla copia di sicurezza)"},
        {{program, {"quna.old"}}, unsafe, "quna.old (nome riservato alla copia di sicurezza)"},
        {{program, {".quna-update.journal"}}, unsafe, ".quna-update.journal (nome riservato"},
        {{program, {".QUNA-staging-1/n1"}}, unsafe, ".QUNA-staging-1/n1 (nome riservato"},
        {{program, {".quna-copy-AbC123"}}, unsafe, ".quna-copy-AbC123 (nome riservato"},
        // The main program is only ever a regular file.
        {{{"quna.exe/leggimi.txt"}}, unsafe, "quna.exe/leggimi.txt (cartella al posto del"},
        {{{"Quna.exe/"}}, unsafe, "Quna.exe/ (cartella al posto del"},
        {{{"Quna.exe", "/bin/sh", true}}, unsafe, "Quna.exe (collegamento simbolico)"},
        // Within the archive a name is a file or a folder (listed last first).
        {{program, {"cartella/a.txt"}, {"cartella"}},
         clash,
         "un file al posto della cartella: cartella/a.txt"},
        {{program, {"cartella"}, {"cartella/a.txt"}},
         clash,
         "una cartella al posto del file: cartella"},
        {{program, {"CARTELLA/"}, {"cartella"}},
         clash,
         "un file al posto della cartella: CARTELLA/"},
        // A NUL ends a name as listed: these are not the files dati/nu and Quna.exe.
        {{program, {"dati/nu\x01vo.dat"}}, unsafe, "dati/nu (carattere nullo"},
        {{{"Quna.exe\x01.txt", kProgram}}, unsafe, "Quna.exe (carattere nullo"},
    };
    const QStringList absolute = {"/assoluto.txt", "/server", "/fuori.txt"};
    QStringList absentBefore;
    for (const QString& p : absolute)
        if (!QFileInfo::exists(p)) absentBefore << p;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names.toStdString());
        auto copy = copyOfModel();
        const QString archive = writeHostileArchive(copy->root() + "/altrove", c.entries);
        ASSERT_GT(QFileInfo(archive).size(), kPadTo);
        const Tree outsideBefore = outside(*copy);
        Harness h(*copy);
        ASSERT_TRUE(h.load());
        selectArchive(h, archive);
        ASSERT_FALSE(h.form->Label2.caption().trimmed().isEmpty()) << joined(h.host.messageTexts());
        ASSERT_EQ(h.form->lv.rowCount(), int(c.entries.size()) + 1);
        const Outcome o = elabora(h);
        EXPECT_FALSE(o.ended);
        ASSERT_EQ(o.messages.size(), 1) << joined(o.messages);
        EXPECT_TRUE(o.messages[0].startsWith(c.message)) << joined(o.messages);
        EXPECT_TRUE(o.messages[0].contains(c.names)) << joined(o.messages);
        EXPECT_EQ(differsFrom(*oldSet_, *copy, true), "");
        EXPECT_TRUE(mainProgramRuns(*copy));
        EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
        EXPECT_EQ(outside(*copy), outsideBefore);
        for (const QString& p : absentBefore)
            EXPECT_FALSE(QFileInfo::exists(p)) << p.toStdString();
        // Nothing is left for the next start to recover, and "Esci" starts the old program.
        Harness again(*copy);
        ASSERT_TRUE(again.load());
        EXPECT_TRUE(again.host.messages.empty()) << joined(again.host.messageTexts());
        EXPECT_FALSE(again.run([&] { app::cmdAnnulla_Click(*again.form); }));
        EXPECT_EQ(again.host.calls.filter(QRegularExpression("^start ")).size(), 1);
    }
}

// No space left, or no inode left: both are a full disk, said with the path concerned.
TEST_F(UpdateFaultTest, FullFileSystemReportsDiskFullAndKeepsTheOldSet) {
    for (const bool inodes : {false, true}) {
        SCOPED_TRACE(inodes ? "no inode left" : "no space left");
        Installation inst; // its installation folder becomes a small file system of its own
        Mount m{inst.program()};
        const QByteArray where = QFile::encodeName(inst.program());
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, "size=4m") != 0)
            GTEST_SKIP() << "tmpfs cannot be mounted here (" << std::strerror(errno)
                         << "); the injected disk full covers error 61";
        m.mounted = true;
        copyModel(inst.program(), false);
        if (inodes) {
            // Room for the lock, the journal and the backup's name, not for the staging folder.
            struct statvfs now;
            ASSERT_EQ(::statvfs(where.constData(), &now), 0);
            const QByteArray options =
                "size=64m,nr_inodes=" + QByteArray::number(quint64(now.f_files - now.f_ffree + 3));
            ASSERT_EQ(::mount(nullptr, where.constData(), nullptr, MS_REMOUNT, options.constData()),
                      0);
        }
        // More than the free space once extracted; the archive itself lies elsewhere.
        const QString archive =
            inst.writeArchive(inst.root() + "/altrove", kArchiveName, kEntries, 6'000'000);
        const Tree before = tree(inst.program());
        const Tree outsideBefore = outside(inst);
        Harness h(inst);
        ASSERT_TRUE(h.load());
        selectArchive(h, archive);
        ASSERT_FALSE(h.form->Label2.caption().trimmed().isEmpty());
        const Outcome o = elabora(h);
        EXPECT_FALSE(o.ended);
        ASSERT_EQ(o.messages.size(), 1);
        EXPECT_TRUE(o.messages[0].startsWith(kDiskFull + ": " + h.form->PathProgramma))
            << joined(o.messages);
        EXPECT_TRUE(o.messages[0].endsWith(kKeptOld)) << joined(o.messages);
        EXPECT_EQ(differsFrom(before, inst, true), "");
        EXPECT_TRUE(mainProgramRuns(inst));
        EXPECT_TRUE(leftovers(inst).isEmpty()) << joined(leftovers(inst));
        EXPECT_EQ(outside(inst), outsideBefore);
    }
}

// Under a file-size limit smaller than the archive's largest entry: the write fails as a full
// disk does, the error is reported and the old set stays, instead of the process being killed.
TEST_F(UpdateFaultTest, FileSizeLimitReportsDiskFullAndKeepsTheOldSet) {
    auto copy = copyOfModel();
    const Tree outsideBefore = outside(*copy);
    const QString told = copy->root() + "/messaggi.txt";
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child: as the updater starts, then under a 1 MiB limit.
        fs::reportOversizedWrites();
        Harness h(*copy);
        if (!h.load()) ::_exit(2);
        const rlimit limit{1 << 20, 1 << 20};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
        const Outcome o = elabora(h);
        QFile out(told);
        if (!out.open(QIODevice::WriteOnly) || out.write(o.messages.join("|").toUtf8()) < 0)
            ::_exit(4);
        out.close();
        ::_exit(o.ended ? 5 : 0);
    }
    int status = 0;
    ASSERT_TRUE(waitForChild(pid, status));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const QString messages = QString::fromUtf8(Installation::readFile(told));
    EXPECT_TRUE(messages.startsWith(kDiskFull) && !messages.contains(u'|'))
        << messages.toStdString();
    QFile::remove(told);
    EXPECT_EQ(differsFrom(*oldSet_, *copy, true), "");
    EXPECT_TRUE(mainProgramRuns(*copy));
    EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
    EXPECT_EQ(outside(*copy), outsideBefore);
}

TEST_F(UpdateFaultTest, ReadOnlyInstallationFolderChangesNothing) {
    auto copy = copyOfModel();
    const Tree outsideBefore = outside(*copy);
    const QByteArray where = QFile::encodeName(copy->program());
    Mount m{copy->program()};
    m.mounted = ::mount(where.constData(), where.constData(), nullptr, MS_BIND, nullptr) == 0;
    const bool readOnly = m.mounted && ::mount(nullptr, where.constData(), nullptr,
                                               MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    Harness h(*copy);
    ASSERT_TRUE(h.load());
    EXPECT_TRUE(h.host.messages.empty()) << joined(h.host.messageTexts());
    if (!readOnly) {
        // No mounts here: the first change the update makes is refused instead.
        env.setFault([](int, const char*) { vb::raise(vb::err::PermissionDenied); });
    }
    const Outcome o = elabora(h);
    env.setFault(nullptr);
    EXPECT_FALSE(o.ended);
    ASSERT_EQ(o.messages.size(), 1);
    // The lock file is the update's first write: the folder it could not be made in is named.
    EXPECT_EQ(o.messages[0],
              readOnly ? "codice Errore = 70\r\nAutorizzazione negata (file system di sola "
                         "lettura): " +
                             h.form->PathProgramma
                       : "codice Errore = 70\r\nAutorizzazione negata\r\n" + kKeptOld);
    EXPECT_EQ(differsFrom(*oldSet_, *copy, false), "");
    EXPECT_TRUE(mainProgramRuns(*copy));
    EXPECT_EQ(outside(*copy), outsideBefore);
}

TEST_F(UpdateFaultTest, SecondTryAfterAFailedOneKeepsTheOnlyCopy) {
    auto copy = copyOfModel();
    const QByteArray program = Installation::readFile(copy->program() + "/Quna.exe");
    // As a failed update leaves it when its restore could not run: only the backup is left.
    ASSERT_TRUE(QFile::rename(copy->program() + "/Quna.exe", copy->program() + "/Quna.OLD"));
    // An archive without the main program.
    copy->writeArchive(copy->updates(), kArchiveName,
                       {{"dati/", ""}, {"dati/nuovo.txt", "x"}, {"Leggimi.txt", "y"}}, kPadTo);
    const Tree outsideBefore = outside(*copy);
    Harness h(*copy);
    ASSERT_TRUE(h.load());
    ASSERT_FALSE(h.form->Label2.caption().trimmed().isEmpty());
    const Outcome o = elabora(h);
    EXPECT_EQ(o.messages, QStringList{"ATTENZIONE!! L'aggiornamento non è andato a buon fine !\r\n"
                                      "Ripristino la versione precedente"});
    EXPECT_TRUE(o.ended);
    EXPECT_TRUE(o.calls.contains("start " + h.form->PathProgramma + "\\quna.exe 1"))
        << joined(o.calls);
    const QStringList files = QDir(copy->program()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_TRUE(files.contains("Quna.EXE")) << joined(files);
    EXPECT_TRUE(files.contains("Quna.OLD")) << joined(files);
    EXPECT_EQ(Installation::readFile(copy->program() + "/Quna.EXE"), program);
    EXPECT_EQ(Installation::readFile(copy->program() + "/Quna.OLD"), program);
    EXPECT_TRUE(QFileInfo(copy->program() + "/Quna.EXE").isExecutable());
    EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
    EXPECT_EQ(outside(*copy), outsideBefore);
}

} // namespace

// A start after a killed or failed run: whatever the run left under the updater's own names
// goes; a journal is finished, or kept with a warning while the start goes on when something
// stands in the main program's place, and finished by the first start after it is gone.
TEST_F(UpdateFaultTest, StartAfterAKilledRunLeavesNoFileOfOursAndNeverStops) {
    const QString restored = QStringLiteral("L'aggiornamento interrotto è stato annullato: "
                                            "ripristinata la versione precedente di QUNA.");
    const auto put = [](const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeBytes(path, bytes);
    };
    // As a run killed after its backup leaves it: the main program only as Quna.OLD.
    const auto backedUp = [&](const QString& program, const QString& namedMain) {
        ASSERT_TRUE(QFile::rename(program + "/Quna.exe", program + "/Quna.OLD"));
        put(program + u'/' + kJournal, "quna-update 1\nbacked-up\n" + namedMain.toUtf8() + '\n');
    };
    const struct {
        const char* name;
        std::function<void(const QString& program)> prepare;
        QString message;                // of the start, "" for none
        const char* obstacle = nullptr; // removed before a second start, which then recovers
    } cases[] = {
        {"a copy being written", [&](const QString& p) { put(p + "/.quna-copy-Ab12Cd", "pa"); },
         ""},
        {"a journal being replaced",
         [&](const QString& p) { put(p + "/.quna-update.journal.XyZ123", "quna-update 1\n"); }, ""},
        {"a staging folder without its journal",
         [&](const QString& p) { put(p + "/.QUNA-staging-77/n1", "nuovo"); }, ""},
        {"a journal naming a main program elsewhere",
         [&](const QString& p) {
             backedUp(p, Installation::win(QFileInfo(p).absolutePath()) + "\\fuori.exe");
         },
         restored},
        {"a folder where the main program goes",
         [&](const QString& p) {
             backedUp(p, Installation::win(p) + "\\Quna.exe");
             put(p + "/quna.exe/leggimi.txt", "y");
         },
         "ATTENZIONE!! Impossibile completare l'aggiornamento interrotto\r\n"
         "codice Errore = 75\r\n",
         "quna.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto copy = copyOfModel();
        const Tree outsideBefore = outside(*copy);
        c.prepare(copy->program());
        {
            Harness h(*copy);
            ASSERT_TRUE(h.load());
            const QStringList seen = h.host.messageTexts();
            ASSERT_EQ(seen.size(), c.message.isEmpty() ? 0 : 1) << joined(seen);
            if (!c.message.isEmpty()) {
                EXPECT_TRUE(seen[0].startsWith(c.message)) << joined(seen);
            }
            EXPECT_FALSE(h.form->lblVersPC.caption().isEmpty()); // the start went on
            EXPECT_FALSE(h.form->Label2.caption().trimmed().isEmpty());
        }
        if (c.obstacle) {
            EXPECT_EQ(leftovers(*copy), QStringList{kJournal});
            EXPECT_TRUE(QFile::exists(copy->program() + "/Quna.OLD"));
            ASSERT_TRUE(QDir(copy->program() + u'/' + c.obstacle).removeRecursively());
            Harness h(*copy);
            ASSERT_TRUE(h.load());
            EXPECT_EQ(h.host.messageTexts(), QStringList{restored});
        }
        EXPECT_EQ(differsFrom(*oldSet_, *copy, false), "");
        EXPECT_TRUE(mainProgramRuns(*copy));
        EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
        EXPECT_EQ(outside(*copy), outsideBefore);
        Harness again(*copy);
        ASSERT_TRUE(again.load());
        EXPECT_TRUE(again.host.messages.empty()) << joined(again.host.messageTexts());
        EXPECT_FALSE(again.run([&] { app::cmdAnnulla_Click(*again.form); }));
    }
}

// A main program that is a folder in the installation: the archive's main program cannot take
// its place, the update is refused, and no journal is left for the next start unless a
// backup waits to be copied back.
TEST_F(UpdateFaultTest, MainProgramFolderInTheInstallationRefusesTheUpdate) {
    for (const bool oldBackup : {false, true}) {
        SCOPED_TRACE(oldBackup ? "with a backup of an earlier run" : "without a backup");
        auto copy = copyOfModel();
        const QString p = copy->program();
        if (oldBackup) {
            ASSERT_TRUE(QFile::copy(p + "/Quna.exe", p + "/Quna.OLD"));
        }
        ASSERT_TRUE(QFile::remove(p + "/Quna.exe"));
        ASSERT_TRUE(QDir().mkpath(p + "/Quna.exe"));
        const Tree before = tree(p);
        Harness h(*copy);
        ASSERT_TRUE(h.load());
        const Outcome o = elabora(h);
        EXPECT_FALSE(o.ended);
        ASSERT_EQ(o.messages.size(), 1) << joined(o.messages);
        EXPECT_TRUE(o.messages[0].startsWith(
            "codice Errore = 75\r\nEsiste una cartella al posto del file: "))
            << joined(o.messages);
        Tree after = tree(p);
        after.erase(kJournal);
        EXPECT_EQ(difference(before, after), "");
        EXPECT_EQ(leftovers(*copy), oldBackup ? QStringList{kJournal} : QStringList{});
        Harness again(*copy);
        ASSERT_TRUE(again.load());
        EXPECT_EQ(again.host.messages.size(), oldBackup ? 1u : 0u)
            << joined(again.host.messageTexts());
    }
}

namespace {

const QString kAnotherUpdate =
    QStringLiteral("ATTENZIONE!! Un altro aggiornamento di QUNA è in corso nella cartella ");

// A child process that stops at the first file-system step called `pauseAt` until the parent
// lets it go on. It runs a start-up, then (with `update`) "Elabora"; its exit status is 0 when
// it saw what an undisturbed run shows: the end of the update, or the recovery's box.
struct PausedUpdater {
    pid_t pid = -1;
    int paused[2] = {-1, -1}, resume[2] = {-1, -1};

    PausedUpdater(Installation& copy, const char* pauseAt, bool update) {
        if (::pipe(paused) != 0 || ::pipe(resume) != 0) return;
        std::fflush(nullptr);
        pid = ::fork();
        if (pid != 0) return;
        fs::Environment env; // the child's own, until it ends
        bool waited = false;
        env.setFault([&](int, const char* what) {
            if (waited || std::strcmp(what, pauseAt) != 0) return;
            waited = true;
            char c = 'p';
            if (::write(paused[1], &c, 1) != 1 || ::read(resume[0], &c, 1) != 1) ::_exit(8);
        });
        Harness h(copy);
        const bool loaded = h.load();
        if (!update) ::_exit(loaded && h.host.messages.size() == 1 ? 0 : 1);
        if (!loaded) ::_exit(2);
        const Outcome o = elabora(h);
        ::_exit(o.ended && o.messages == QStringList{kDone} ? 0 : 1);
    }
    // True once the child waits at its step (at most 30 s).
    bool waitsAtItsStep() const {
        for (int i = 0; i < 3000; ++i) {
            char c;
            const ssize_t n = ::read(paused[0], &c, 1);
            if (n == 1) return true;
            if (n == 0 || (n < 0 && errno != EINTR)) return false;
        }
        return false;
    }
    int goOn() {
        char c = 'r';
        if (::write(resume[1], &c, 1) != 1) return -1;
        int status = 0;
        if (!waitForChild(pid, status) || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }
    void kill() {
        int status = 0;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ~PausedUpdater() {
        for (int fd : {paused[0], paused[1], resume[0], resume[1]})
            if (fd >= 0) ::close(fd);
    }
};

} // namespace

// Two updaters on one installation, each a real process: the second one never touches what
// the first is doing, says so, and the first ends as it would have alone. A first updater
// that dies leaves nothing locked.
TEST_F(UpdateFaultTest, TwoUpdatersNeverChangeOneInstallationTogether) {
    enum class Second { Starts, PressesElabora, KillsTheFirst };
    const struct {
        const char* name;
        const char* pauseAt;
        bool firstIsARecovery; // the first settles an update killed in its commit
        Second second;
        Set expected;
    } cases[] = {
        {"a start during the staging", "write staged file", false, Second::Starts, Set::New},
        {"a start during the commit", "move file into place", false, Second::Starts, Set::New},
        {"Elabora during the staging", "write staged file", false, Second::PressesElabora,
         Set::New},
        {"Elabora during the commit", "move file into place", false, Second::PressesElabora,
         Set::New},
        {"a start during a recovery", "journal", true, Second::Starts, Set::New},
        {"the first killed, then a start", "write staged file", false, Second::KillsTheFirst,
         Set::Old},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto copy = copyOfModel();
        if (c.firstIsARecovery) {
            PausedUpdater killed(*copy, "move file into place", true);
            ASSERT_TRUE(killed.waitsAtItsStep());
            killed.kill();
        }
        // The second window, opened before the first update began.
        Harness second(*copy);
        if (c.second == Second::PressesElabora) {
            ASSERT_TRUE(second.load());
        }
        PausedUpdater first(*copy, c.pauseAt, !c.firstIsARecovery);
        ASSERT_TRUE(first.waitsAtItsStep());
        const Tree during = tree(copy->program());
        QStringList seen;
        if (c.second == Second::Starts) {
            EXPECT_FALSE(second.load()); // it ends without starting QUNA
            EXPECT_TRUE(second.host.calls.filter(QRegularExpression("^start ")).isEmpty());
            seen = second.host.messageTexts();
        } else if (c.second == Second::PressesElabora) {
            const Outcome o = elabora(second);
            EXPECT_FALSE(o.ended);
            seen = o.messages;
        }
        if (c.second != Second::KillsTheFirst) {
            ASSERT_EQ(seen.size(), 1) << joined(seen);
            EXPECT_TRUE(seen[0].startsWith(kAnotherUpdate + second.form->PathProgramma))
                << joined(seen);
            EXPECT_EQ(tree(copy->program()), during) << "the second updater changed files";
            EXPECT_EQ(first.goOn(), 0) << "the first updater did not end as it would alone";
        } else {
            first.kill();
            Harness next(*copy);
            ASSERT_TRUE(next.load());
            ASSERT_EQ(next.host.messages.size(), 1u) << joined(next.host.messageTexts());
            expectRecoveryBox(c.expected, next.host.messages[0].text);
        }
        std::string why;
        EXPECT_EQ(setOf(*copy, false, &why), c.expected) << why;
        EXPECT_TRUE(mainProgramRuns(*copy));
        EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
        Harness again(*copy);
        ASSERT_TRUE(again.load());
        EXPECT_TRUE(again.host.messages.empty()) << joined(again.host.messageTexts());
    }
}

// The installation folder on a small file system that another process fills to its last block
// and inode just as the main program is put back: that needs neither, so a failed or
// interrupted update still leaves QUNA able to start, and a failed one keeps its backup.
TEST_F(UpdateFaultTest, RestoreNeedsNoFreeSpace) {
    const struct {
        const char* name;
        const char* killedAt; // the update is killed there and a new start restores; or none
    } cases[] = {
        {"a failed update", nullptr},
        {"killed while staging", "write staged file"},
        {"killed in the commit", "move file into place"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        Mount m{inst.program()};
        if (::mount("tmpfs", QFile::encodeName(inst.program()).constData(), "tmpfs", 0,
                    "size=16m,nr_inodes=64") != 0)
            GTEST_SKIP() << "tmpfs cannot be mounted here (" << std::strerror(errno) << ")";
        m.mounted = true;
        copyModel(inst.program(), false);
        // An update without the main program: the restore is what the user gets.
        inst.writeArchive(inst.updates(), kArchiveName, {{"Leggimi.txt", "y"}}, kPadTo);
        QDir().mkpath(inst.program() + "/pieno");
        const QByteArray program = Installation::readFile(inst.program() + "/Quna.exe");
        const QString filler = inst.program() + "/pieno/";
        // Fills the file system at the restore, the second "move" of an update (the first
        // sets the program aside) or the first of a start; true once it was full.
        bool full = false;
        const auto fillAtRestore = [&](int movesBefore) {
            return [&, movesBefore, moves = 0](int, const char* what) mutable {
                if (std::strcmp(what, "move") != 0 || moves++ != movesBefore) return;
                QFile big(filler + "blocchi");
                if (big.open(QIODevice::WriteOnly)) {
                    const QByteArray chunk(1 << 16, 'x');
                    while (big.write(chunk) == chunk.size() && big.flush()) {
                    }
                }
                for (int i = 0;; ++i)
                    if (!QFile(filler + QString::number(i)).open(QIODevice::WriteOnly)) break;
                struct statvfs now;
                full = ::statvfs(QFile::encodeName(filler).constData(), &now) == 0 &&
                       now.f_ffree == 0 && now.f_bavail == 0;
            };
        };
        if (c.killedAt) {
            std::fflush(nullptr);
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                Harness h(inst);
                if (!h.load()) ::_exit(2);
                env.setFault([&](int, const char* what) {
                    if (std::strcmp(what, c.killedAt) == 0) ::kill(::getpid(), SIGKILL);
                });
                elabora(h);
                ::_exit(3);
            }
            int status = 0;
            ASSERT_TRUE(waitForChild(pid, status));
            ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
            env.setFault(fillAtRestore(0));
            Harness h(inst);
            ASSERT_TRUE(h.load());
            env.setFault(nullptr);
            const QStringList seen = h.host.messageTexts();
            ASSERT_EQ(seen.size(), 1) << joined(seen);
            EXPECT_TRUE(seen[0].contains("ripristinata")) << joined(seen);
        } else {
            Harness h(inst);
            ASSERT_TRUE(h.load());
            env.setFault(fillAtRestore(1));
            const Outcome o = elabora(h);
            env.setFault(nullptr);
            EXPECT_EQ(o.messages, QStringList{"ATTENZIONE!! L'aggiornamento non è andato a buon "
                                              "fine !\r\nRipristino la versione precedente"});
            EXPECT_TRUE(o.ended);
            // The backup survives a failed update, as a second name of the program.
            EXPECT_EQ(Installation::readFile(inst.program() + "/Quna.OLD"), program);
        }
        EXPECT_TRUE(full) << "the file system was not full at the restore";
        EXPECT_TRUE(mainProgramRuns(inst));
        EXPECT_EQ(Installation::readFile(inst.program() + "/Quna.exe"), program);
        EXPECT_FALSE(QFile::exists(inst.program() + u'/' + kJournal));
        QDir(filler).removeRecursively();
    }
}

// What the user reads when an update cannot go on: the cause and the path, in the Part's own
// words where it has them; and whether the previous version is still there.
TEST_F(UpdateFaultTest, ErrorsNameTheirCause) {
    const QString server = QStringLiteral("\\\\server\\quna");
    const struct {
        const char* name;
        // Prepares the installation and the window, before the start or after it.
        bool beforeStart;
        std::function<QString(Installation&, Harness&)> prepare;
        std::function<QString(const Harness&)> expected; // the start of the one box shown
        bool keptOld;                                    // the box says QUNA stayed as it was
    } cases[] = {
        {"an archive deleted while the question was open", false,
         [](Installation& i, Harness& h) {
             const QString archive = i.updates() + u'/' + kArchiveName;
             h.host.onMessage = [archive](const QString& text) {
                 if (text.startsWith("Confermi")) QFile::remove(archive);
             };
             return archive;
         },
         [](const Harness& h) { return "Archivio " + h.form->PathArchivio + " non trovato!!"; },
         false},
        {"an archive replaced since its listing", false,
         [](Installation& i, Harness&) {
             return i.writeArchive(i.updates(), kArchiveName,
                                   {{"Quna.exe", "#!/bin/sh\necho altro\n"}}, kPadTo);
         },
         [](const Harness&) { return kNotSelected; }, false},
        {"a name too long for the file system", true,
         [](Installation& i, Harness&) {
             return i.writeArchive(
                 i.updates(), kArchiveName,
                 {{"Quna.exe", "#!/bin/sh\n"}, {"dati/" + std::string(300, 'n') + ".txt", "x"}},
                 kPadTo);
         },
         [](const Harness&) {
             return QStringLiteral("codice Errore = 75\r\nNome troppo lungo per il file system: ");
         },
         true},
        {"a server that stops answering during the extraction", false,
         [this](Installation& i, Harness& h) {
             const QString archive = i.updates() + u'/' + kArchiveName;
             env.setFault([archive](int, const char* what) {
                 if (std::strcmp(what, "write staged file") == 0)
                     fs::raiseSystemError(EIO, archive);
             });
             (void)h;
             return archive;
         },
         [server](const Harness& h) {
             return "codice Errore = 57\r\nIl server " + server +
                    " non risponde: " + h.form->PathArchivio;
         },
         true},
        {"an archive whose server no longer answers", false,
         [this](Installation& i, Harness&) {
             const QString archive = i.updates() + u'/' + kArchiveName;
             QFile::remove(archive);
             env.setProbe([](QChar letter) { return letter == u'S' ? vb::err::DiskNotReady : 0; });
             return archive;
         },
         [server](const Harness& h) {
             return "ATTENZIONE!! Il server " + server + " non risponde: " + h.form->PathArchivio;
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto copy = copyOfModel();
        // The installation's own folder reached through a drive mapped to a server share, as
        // S: is in an office; the rest of the disk as Z:.
        env.setDrives({{u'Z', "/", "/"}, {u'S', copy->program(), "quna", server}});
        Harness h(*copy);
        if (c.beforeStart) c.prepare(*copy, h);
        const Tree before = tree(copy->program(), copy->updates());
        ASSERT_TRUE(h.load());
        ASSERT_FALSE(h.form->Label2.caption().trimmed().isEmpty());
        ASSERT_TRUE(h.form->PathArchivio.startsWith("S:\\")) << h.form->PathArchivio.toStdString();
        if (!c.beforeStart) c.prepare(*copy, h);
        const Outcome o = elabora(h);
        env.setFault(nullptr);
        env.setProbe({});
        EXPECT_FALSE(o.ended);
        ASSERT_EQ(o.messages.size(), 1) << joined(o.messages);
        EXPECT_TRUE(o.messages[0].startsWith(c.expected(h))) << joined(o.messages);
        EXPECT_EQ(o.messages[0].endsWith(kKeptOld), c.keptOld) << joined(o.messages);
        Tree after = tree(copy->program(), copy->updates());
        if (after.count("Quna.OLD") && after["Quna.OLD"] == oldSet_->at("Quna.exe"))
            after.erase("Quna.OLD"); // the backup stays after a failure
        EXPECT_EQ(difference(before, after), "");
        EXPECT_TRUE(mainProgramRuns(*copy));
        EXPECT_TRUE(leftovers(*copy).isEmpty()) << joined(leftovers(*copy));
        env.setDrives({});
    }
}
