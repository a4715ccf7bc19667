#include "controls.h"

#include "platform/fs/fs.h"
#include "platform/vb/error.h"

#include <QRegularExpression>

namespace ui {

void Control::setVisible(bool v) {
    if (visible_ == v) return;
    visible_ = v;
    changed();
}

void Captioned::setCaption(const QString& c) {
    caption_ = c;
    changed();
}

// ---- drive list

QStringList DriveList::items() const {
    QStringList out;
    for (const fs::Drive& d : fs::drives())
        out << (d.label.isEmpty() ? QStringLiteral("%1:").arg(d.letter.toLower())
                                  : QStringLiteral("%1: [%2]").arg(d.letter.toLower(), d.label));
    return out;
}

void DriveList::setDrive(const QString& text) {
    if (text.isEmpty()) vb::raise(vb::err::DeviceUnavailable);
    const QChar letter = text[0].toUpper();
    bool known = false;
    for (const fs::Drive& d : fs::drives())
        known = known || d.letter == letter;
    if (!known) vb::raise(vb::err::DeviceUnavailable);
    const QString next = QString(letter.toLower()) + u':';
    if (next == drive_) return;
    drive_ = next;
    changed();
    if (Change) Change();
}

// ---- folder list

namespace {
// "Z:\a\b" -> {"Z:\", "Z:\a", "Z:\a\b"}
QStringList ancestry(const QString& path) {
    QStringList out{path.left(2) + u'\\'};
    const QStringList parts =
        path.mid(3).split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    QString cur = path.left(2);
    for (const QString& p : parts)
        out << (cur += u'\\' + p);
    return out;
}

QString joinPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'\\') ? folder + name : folder + u'\\' + name;
}

// A drive path in its normal form: drive letter upper case, one separator between names,
// no trailing separator except at the root.
QString normalFolder(const QString& path) {
    const QStringList parts =
        path.mid(2).split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    QString out = path.left(1).toUpper() + u':';
    if (parts.isEmpty()) return out + u'\\';
    for (const QString& p : parts)
        out += u'\\' + p;
    return out;
}
} // namespace

void DirList::setPath(const QString& windowsPath) {
    QString target = windowsPath;
    if (target.size() <= 2 || (target.size() == 3 && (target[2] == u'\\' || target[2] == u'/'))) {
        // A bare drive opens that drive's current folder: the process's current folder when it
        // lies on that drive, else the root.
        fs::probeDrive(target.isEmpty() ? QChar() : target[0].toUpper());
        const QString cwd = fs::currentFolder();
        target =
            (target.size() == 2 && cwd.left(1).compare(target.left(1), Qt::CaseInsensitive) == 0)
                ? cwd
                : target.left(2) + u'\\';
    } else if (target.size() >= 2 && target[1] == u':') {
        fs::probeDrive(target[0].toUpper());
    }
    if (!fs::folderExists(target)) vb::raise(vb::err::PathNotFound);
    target = normalFolder(target);
    const bool different = target.compare(path_, Qt::CaseInsensitive) != 0;
    path_ = target;
    refresh();
    if (different && Change) Change();
}

void DirList::refresh() {
    entries_.clear();
    highlighted_ = -1;
    if (path_.isEmpty()) return;
    const QStringList chain = ancestry(path_);
    for (int i = 0; i < chain.size(); ++i) {
        const QString name = i == 0 ? chain[i] : chain[i].section(u'\\', -1);
        entries_.push_back({chain[i], name, i, true});
    }
    for (const QString& sub : fs::subfolders(path_))
        entries_.push_back({joinPath(path_, sub), sub, int(chain.size()), false});
    changed();
}

void DirList::clickEntry(int index) {
    if (index < 0 || index >= int(entries_.size())) return;
    highlighted_ = index;
    changed();
    if (Click) Click();
}

void DirList::doubleClickEntry(int index) {
    if (index < 0 || index >= int(entries_.size())) return;
    setPath(entries_[std::size_t(index)].path);
}

// ---- file list

void FileList::setPath(const QString& windowsPath) {
    if (!fs::folderExists(windowsPath)) vb::raise(vb::err::PathNotFound);
    path_ = normalFolder(windowsPath);
    refresh();
}

void FileList::setPattern(const QString& pattern) {
    pattern_ = pattern;
    refresh();
}

void FileList::refresh() {
    files_ = path_.isEmpty() ? QStringList() : fs::matchingFiles(path_, pattern_);
    listIndex_ = -1;
    changed();
}

void FileList::clear() {
    path_.clear();
    refresh();
}

void FileList::setListIndex(int index) {
    if (index < -1 || index >= listCount()) vb::raise(vb::err::InvalidPropertyValue);
    listIndex_ = index;
    changed();
    if (index >= 0 && Click) Click();
}

QString FileList::fileName() const {
    return listIndex_ >= 0 ? files_[listIndex_] : QString();
}

// ---- list view

void ListView::clearColumns() {
    columns_.clear();
    if (listener) listener->columnsReset();
}

void ListView::addColumn(const QString& header, int widthTwips, Align align) {
    columns_.push_back({header, widthTwips, align});
    if (listener) listener->columnsReset();
}

void ListView::clearRows() {
    rows_.clear();
    if (listener) listener->rowsReset();
}

void ListView::insertAtTop(const QString& text) {
    rows_.push_front({text, {}});
    if (listener) listener->rowInsertedAtTop();
}

void ListView::setSubItem(int index, int sub, const QString& text) {
    if (sub < 1 || sub >= int(columns_.size())) vb::raise(vb::err::InvalidPropertyValue);
    if (index < 1 || index > rowCount()) vb::raise(vb::err::SubscriptOutOfRange);
    Row& r = rows_[std::size_t(index - 1)];
    // Room for every column at the first write: the listing fills them one after the other.
    if (r.subItems.size() < sub) r.subItems.resize(qsizetype(columns_.size()) - 1);
    r.subItems[sub - 1] = text;
    if (listener) listener->rowChanged(index - 1);
}

void ListView::setVisible(bool v) {
    Control::setVisible(v);
    if (listener) listener->visibilitySet();
}

} // namespace ui
