#pragma once
// Qt widgets that show the headless controls and turn the user's clicks into their events.
#include "controls.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <QTreeView>
#include <functional>

namespace ui {

// The window that holds the views shows an error that no handler traps.
class UntrappedErrors {
public:
    virtual void showUntrapped(const QString& text) = 0;

protected:
    ~UntrappedErrors() = default;
};

// Runs a user action of a view; an error that no handler traps is shown by the view's window
// instead of ending the process.
void guarded(QWidget* view, const std::function<void()>& action);

// Whether a label's tool tip repeats its caption, for captions that may not fit.
enum class CaptionTip { None, Shown };

class LabelView : public QLabel {
public:
    LabelView(Captioned& model, QWidget* parent, CaptionTip tip = CaptionTip::None);
};

class FrameView : public QGroupBox {
public:
    FrameView(Captioned& model, QWidget* parent);
};

class PanelView : public QFrame {
public:
    PanelView(Captioned& model, QWidget* parent);

private:
    QLabel* text_;
};

class ButtonView : public QToolButton {
public:
    ButtonView(Button& model, const QIcon& picture, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

class DriveView : public QComboBox {
public:
    DriveView(DriveList& model, QWidget* parent);
    void sync();

private:
    DriveList& model_;
};

class DirView : public QListWidget {
public:
    // `open` marks the folders of the path, `closed` the subfolders.
    DirView(DirList& model, const QIcon& open, const QIcon& closed, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void sync();
    DirList& model_;
    QIcon open_, closed_;
};

class FileView : public QListWidget {
public:
    FileView(FileList& model, QWidget* parent);

private:
    void sync();
    FileList& model_;
    bool syncing_ = false;
};

// The report list view. Rows inserted at the top are announced to the view in batches, so a
// listing that lets the event loop run once per row stays linear.
class ReportModel : public QAbstractTableModel, public ListView::Listener {
public:
    explicit ReportModel(ListView& model);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    void flush(); // lets the view catch up with the rows inserted since the last batch

    void columnsReset() override;
    void rowsReset() override;
    void rowInsertedAtTop() override;
    void rowChanged(int index) override;
    void visibilitySet() override;
    std::function<void()> onVisibility;
    std::function<void()> onColumns;

private:
    QVariant alignment(int column) const;
    ListView& model_;
    int pending_ = 0; // rows at the top that the view does not know yet
};

class ReportView : public QTreeView {
public:
    ReportView(ListView& model, QWidget* parent);
    void setScale(double scale); // of the columns' widths, with the window's

private:
    void applyColumns();
    double scale_ = 1;
    ReportModel* report_;
    ListView& model_;
};

} // namespace ui
