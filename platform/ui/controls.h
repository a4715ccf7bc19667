#pragma once
// The window's controls as headless models: they hold what the program reads and writes and
// raise their events synchronously, as the classic controls do. Qt widgets observe them; the
// handlers and the diagnostic tool use them without any widget.
#include <QString>
#include <QStringList>
#include <QVarLengthArray>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace ui {

// Geometry is designed in twips; at the design's 96 dots per inch a pixel is 15 of them.
constexpr int kTwipsPerPixel = 15;

// Base for every control: its name, its visibility and an observer that views use to
// repaint. Geometry and tab order are the window's layout, not the control's.
class Control {
public:
    explicit Control(QString name) : name_(std::move(name)) {}
    virtual ~Control() = default;
    const QString& name() const { return name_; }
    bool visible() const { return visible_; }
    virtual void setVisible(bool v);
    std::function<void()> observer; // called after any change

protected:
    void changed() const {
        if (observer) observer();
    }

private:
    QString name_;
    bool visible_ = true;
};

// Label, frame, 3-D panel and 3-D button: a caption.
class Captioned : public Control {
public:
    using Control::Control;
    const QString& caption() const { return caption_; }
    void setCaption(const QString& c);

private:
    QString caption_;
};

class Button : public Captioned {
public:
    using Captioned::Captioned;
    std::function<void()> Click;
    void click() {
        if (Click) Click();
    }
};

// The drive list: texts such as "z: [/]"; choosing another drive raises Change.
class DriveList : public Control {
public:
    using Control::Control;
    QStringList items() const;
    QString drive() const { return drive_; }
    // Takes the drive letter of a text ("d:", "D:\x"); raises 68 for an unknown drive.
    void setDrive(const QString& text);
    std::function<void()> Change;

private:
    QString drive_ = QStringLiteral("z:");
};

// The folder list: the open folder's ancestors, the open folder and its subfolders.
class DirList : public Control {
public:
    using Control::Control;
    struct Entry {
        QString path; // Windows path
        QString name; // as shown
        int depth;    // 0 = drive root
        bool open;    // ancestors and the open folder
    };
    const QString& path() const { return path_; }
    // Opens a folder (raises Change when it differs); a bare drive "d:" opens that drive's
    // current folder. Raises 68/71 for an unreadable drive and 76 for a missing folder.
    void setPath(const QString& windowsPath);
    const std::vector<Entry>& entries() const { return entries_; }
    int highlighted() const { return highlighted_; }
    void clickEntry(int index);       // highlight, raises Click
    void doubleClickEntry(int index); // open, raises Change
    void refresh();
    std::function<void()> Change;
    std::function<void()> Click;

private:
    QString path_;
    std::vector<Entry> entries_;
    int highlighted_ = -1;
};

// The file list: normal files of a folder matching a pattern, sorted without regard to case.
class FileList : public Control {
public:
    using Control::Control;
    const QString& path() const { return path_; }
    void setPath(const QString& windowsPath); // 76 when missing
    const QString& pattern() const { return pattern_; }
    void setPattern(const QString& pattern);
    const QStringList& files() const { return files_; }
    int listCount() const { return int(files_.size()); }
    int listIndex() const { return listIndex_; }
    void setListIndex(int index); // raises Click; 380 outside the list
    QString fileName() const;     // the selected name, or ""
    QString toolTip;
    void refresh();
    void clear(); // no folder, no files
    std::function<void()> Click;

private:
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    QStringList files_;
    int listIndex_ = -1;
};

// The report list view: rows in insertion order, inserted at the top in O(1).
class ListView : public Control {
public:
    using Control::Control;
    enum class Align { Left, Right, Center };
    struct Column {
        QString header;
        int widthTwips;
        Align align;
    };
    struct Row {
        QString text;
        // Columns 2 and on, kept in the row for the usual few: a listing writes three per
        // entry, and one allocation less per row is felt over 32,767 of them.
        QVarLengthArray<QString, 3> subItems;
    };
    // What a view needs to catch up in batches.
    struct Listener {
        virtual ~Listener() = default;
        virtual void columnsReset() = 0;
        virtual void rowsReset() = 0;
        virtual void rowInsertedAtTop() = 0;
        virtual void rowChanged(int index) = 0;
        // Also when the value stays: a listing ends by showing the list, and a view that
        // catches up in batches shows every row from then on.
        virtual void visibilitySet() = 0;
    };

    const std::vector<Column>& columns() const { return columns_; }
    void clearColumns();
    void addColumn(const QString& header, int widthTwips, Align align);

    int rowCount() const { return int(rows_.size()); }
    const Row& row(int index) const { return rows_[std::size_t(index)]; } // 0-based
    void clearRows();
    void insertAtTop(const QString& text);
    // Writes sub-item `sub` (1 = the second column) of row `index` (1-based, as the program
    // counts); 380 when that column does not exist, 9 when the row does not.
    void setSubItem(int index, int sub, const QString& text);
    void setVisible(bool v) override;
    Listener* listener = nullptr;

private:
    std::vector<Column> columns_;
    std::deque<Row> rows_;
};

} // namespace ui
