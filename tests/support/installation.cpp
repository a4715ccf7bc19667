#include "installation.h"

#include "app/handlers.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <zip.h>

namespace testing_support {

Installation::Installation() {
    QDir().mkpath(program());
    QDir().mkpath(data());
}

Installation::~Installation() = default;

void Installation::writeConfig(const QByteArray& record) {
    QFile f(program() + "/config.dat");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(record.leftJustified(50, ' '));
}

namespace {
void writeDb(const QString& path, const std::string& table, const char* versionColumn,
             const char* dateColumn, const VersionRecord& r, const std::string& password) {
    jet::Database db;
    db.password = password;
    jet::Table t{
        table,
        {{versionColumn, jet::ColumnType::Text, 50}, {dateColumn, jet::ColumnType::DateTime, 0}},
        {{r.version, r.date}}};
    db.tables.push_back(t);
    jet::write(db, path.toStdString());
}
} // namespace

void Installation::writeInstallationDb(const VersionRecord& r, const std::string& password,
                                       const std::string& table) {
    writeDb(data() + "/quna.mdb", table, "Versione", "dataver", r, password);
}

void Installation::writeWorkstationDb(const VersionRecord& r, const std::string& password,
                                      const std::string& table) {
    writeDb(program() + "/dbClient.mdb", table, "VersioPC", "DataVePC", r, password);
}

void Installation::writeEmptyTable(const QString& path, const std::string& table,
                                   const std::vector<jet::Column>& columns) {
    jet::Database db;
    db.tables.push_back({table, columns, {}});
    jet::write(db, path.toStdString());
}

void Installation::writeMainProgram(const QString& name, const QString& version) {
    QFile f(program() + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\necho \"QUNA %1\" >> \"$(dirname \"$0\")/started.log\"\n")
                .arg(version)
                .toUtf8());
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

void Installation::standard() {
    writeConfig(win(data()).toLatin1());
    writeInstallationDb();
    writeWorkstationDb();
    writeMainProgram();
}

QString Installation::writeArchive(const QString& folder, const QString& name,
                                   const std::vector<Entry>& entries, qint64 padTo) {
    QDir().mkpath(folder);
    const QString path = folder + "/" + name;
    QFile::remove(path);
    int error = 0;
    zip_t* z = zip_open(path.toLocal8Bit().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(z, nullptr);
    std::vector<std::string> keep; // libzip reads the buffers when the archive is closed
    keep.reserve(entries.size() + 1);
    auto add = [&](const std::string& entryName, const std::string& content, bool store) {
        if (!entryName.empty() && entryName.back() == '/') {
            zip_dir_add(z, entryName.c_str(), ZIP_FL_ENC_UTF_8);
            return;
        }
        keep.push_back(content);
        zip_source_t* src = zip_source_buffer(z, keep.back().data(), keep.back().size(), 0);
        const zip_int64_t i = zip_file_add(z, entryName.c_str(), src, ZIP_FL_ENC_UTF_8);
        EXPECT_GE(i, 0);
        if (store) zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_STORE, 0);
    };
    qint64 total = 0;
    for (const Entry& e : entries) {
        add(e.name, e.content, e.store);
        total += qint64(e.content.size());
    }
    constexpr qint64 kRoomForHeaders = 20000;
    if (padTo > total + kRoomForHeaders) {
        std::string noise(std::size_t(padTo - total - kRoomForHeaders), '\0');
        QRandomGenerator rng(42);
        for (char& c : noise)
            c = char(rng.generate() & 0xFF);
        add("dati/riempimento.bin", noise, true);
    }
    EXPECT_EQ(zip_close(z), 0);
    // The archive comment brings the file to exactly the size asked for.
    const qint64 missing = padTo - QFileInfo(path).size();
    if (padTo > 0 && missing > 0 && missing <= 65535) {
        z = zip_open(path.toLocal8Bit().constData(), 0, &error);
        const std::string comment(std::size_t(missing), 'c');
        zip_set_archive_comment(z, comment.data(), zip_uint16_t(comment.size()));
        EXPECT_EQ(zip_close(z), 0);
    }
    if (padTo > 0) {
        EXPECT_EQ(QFileInfo(path).size(), padTo);
    }
    return path;
}

QByteArray Installation::readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::map<QString, QByteArray> Installation::snapshot(const QString& folder) {
    std::map<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        out[QDir(folder).relativeFilePath(p)] = readFile(p);
    }
    return out;
}

Harness::Harness(Installation& inst) : previousFolder(QDir::currentPath()) {
    environment.setProgramFolder(inst.program());
    QDir::setCurrent(inst.program());
    form = std::make_unique<form::Form>(host);
    app::connectEvents(*form);
    form->window = &window;
}

void FakeWindow::setRegion(const std::optional<app::Region>& r) {
    regionSet = true;
    region = r;
}

Harness::~Harness() {
    environment.setProgramFolder(previousProgramFolder);
    QDir::setCurrent(previousFolder);
}

bool Harness::load() {
    return run([&] { app::Form_Load(*form); });
}

bool Harness::run(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const ui::ProcessEnded&) {
        return false;
    }
}

} // namespace testing_support
