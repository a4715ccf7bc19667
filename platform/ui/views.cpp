#include "views.h"

#include "platform/vb/error.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace ui {

void guarded(QWidget* view, const std::function<void()>& action) {
    try {
        action();
    } catch (const vb::VbError& e) {
        if (auto* window = dynamic_cast<UntrappedErrors*>(view->window()))
            window->showUntrapped(vb::errorMessage("codice Errore = ", e));
    }
}

namespace {
QString shown(const QString& caption) {
    return QString(caption).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

LabelView::LabelView(Captioned& model, QWidget* parent, CaptionTip tip) : QLabel(parent) {
    setObjectName(model.name());
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto update = [this, &model, tip] {
        setText(shown(model.caption()));
        if (tip == CaptionTip::Shown) setToolTip(text());
        setVisible(model.visible());
    };
    model.observer = update;
    update();
}

FrameView::FrameView(Captioned& model, QWidget* parent) : QGroupBox(parent) {
    setObjectName(model.name());
    auto update = [this, &model] { setTitle(model.caption()); };
    model.observer = update;
    update();
}

PanelView::PanelView(Captioned& model, QWidget* parent) : QFrame(parent) {
    setObjectName(model.name());
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    text_ = new QLabel(this);
    text_->setAlignment(Qt::AlignCenter); // in the panel's own font, which it inherits
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(text_);
    auto update = [this, &model] { text_->setText(shown(model.caption())); };
    model.observer = update;
    update();
}

void ButtonView::keyPressEvent(QKeyEvent* e) {
    // Return presses the focused command button, as Space does.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (!e->isAutoRepeat()) click();
        return;
    }
    QToolButton::keyPressEvent(e);
}

ButtonView::ButtonView(Button& model, const QIcon& picture, QWidget* parent) : QToolButton(parent) {
    setObjectName(model.name());
    setIcon(picture);
    setIconSize(QSize(32, 32));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setFocusPolicy(Qt::StrongFocus);
    auto update = [this, &model] { setText(model.caption()); };
    model.observer = update;
    update();
    connect(this, &QToolButton::clicked, this,
            [this, &model] { guarded(this, [&] { model.click(); }); });
}

DriveView::DriveView(DriveList& model, QWidget* parent) : QComboBox(parent), model_(model) {
    setObjectName(model.name());
    model.observer = [this] { sync(); };
    sync();
    connect(this, &QComboBox::activated, this,
            [this](int index) { guarded(this, [&] { model_.setDrive(itemText(index)); }); });
}

void DriveView::sync() {
    const QSignalBlocker block(this);
    clear();
    addItems(model_.items());
    for (int i = 0; i < count(); ++i)
        if (itemText(i).startsWith(model_.drive(), Qt::CaseInsensitive)) setCurrentIndex(i);
}

DirView::DirView(DirList& model, const QIcon& open, const QIcon& closed, QWidget* parent)
    : QListWidget(parent), model_(model), open_(open), closed_(closed) {
    setObjectName(model.name());
    model.observer = [this] { sync(); };
    sync();
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* it) { guarded(this, [&] { model_.clickEntry(row(it)); }); });
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) {
        guarded(this, [&] { model_.doubleClickEntry(row(it)); });
    });
}

void DirView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        const int r = currentRow();
        guarded(this, [&] { model_.doubleClickEntry(r); });
        return;
    }
    QListWidget::keyPressEvent(e);
}

void DirView::sync() {
    const QSignalBlocker block(this);
    // A click only moves the highlight: the rows stay, so that the second click of a double
    // click finds the row its first click pressed and opens the folder.
    const std::vector<DirList::Entry>& entries = model_.entries();
    bool same = count() == int(entries.size());
    for (int i = 0; same && i < count(); ++i)
        same = item(i)->data(Qt::UserRole).toString() == entries[std::size_t(i)].path;
    if (!same) {
        clear();
        for (const DirList::Entry& e : entries) {
            // Indented by depth with leading blanks, as the classic folder list does.
            auto* item =
                new QListWidgetItem(e.open ? open_ : closed_, QString(e.depth * 2, u' ') + e.name);
            item->setData(Qt::UserRole, e.path);
            addItem(item);
        }
    }
    int current = model_.highlighted();
    for (std::size_t i = 0; current < 0 && i < entries.size(); ++i)
        if (entries[i].open && entries[i].path.compare(model_.path(), Qt::CaseInsensitive) == 0)
            current = int(i);
    setCurrentRow(current);
}

FileView::FileView(FileList& model, QWidget* parent) : QListWidget(parent), model_(model) {
    setObjectName(model.name());
    setToolTip(model.toolTip);
    model.observer = [this] { sync(); };
    sync();
    connect(this, &QListWidget::currentRowChanged, this, [this](int r) {
        if (!syncing_ && r >= 0 && r != model_.listIndex())
            guarded(this, [&] { model_.setListIndex(r); });
    });
}

void FileView::sync() {
    syncing_ = true;
    // Rows are rebuilt only when some name differs, so that selecting a file keeps the
    // scroll position; two folders may share their count and first name.
    const QStringList& files = model_.files();
    bool same = count() == files.size();
    for (int i = 0; same && i < count(); ++i)
        same = item(i)->text() == files[i];
    if (!same) {
        clear();
        addItems(files);
    }
    setCurrentRow(model_.listIndex());
    syncing_ = false;
}

// ---- report list view

ReportModel::ReportModel(ListView& model) : model_(model) {
    model.listener = this;
}

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : model_.rowCount() - pending_;
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max<int>(1, int(model_.columns().size()));
}

// A column's alignment holds for its header and its cells alike.
QVariant ReportModel::alignment(int column) const {
    if (column >= int(model_.columns().size())) return {};
    switch (model_.columns()[std::size_t(column)].align) {
    case ListView::Align::Right:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case ListView::Align::Center:
        return int(Qt::AlignHCenter | Qt::AlignVCenter);
    case ListView::Align::Left:
        break;
    }
    return int(Qt::AlignLeft | Qt::AlignVCenter);
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int c = index.column();
    if (role == Qt::TextAlignmentRole) return alignment(c);
    if (role != Qt::DisplayRole) return {};
    const ListView::Row& r = model_.row(index.row() + pending_);
    if (c == 0) return r.text;
    return c - 1 < r.subItems.size() ? r.subItems[c - 1] : QString();
}

QVariant ReportModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) return alignment(section);
    if (role != Qt::DisplayRole) return {};
    return section < int(model_.columns().size()) ? model_.columns()[std::size_t(section)].header
                                                  : QVariant();
}

void ReportModel::flush() {
    if (pending_ == 0) return;
    beginInsertRows({}, 0, pending_ - 1);
    pending_ = 0;
    endInsertRows();
}

void ReportModel::columnsReset() {
    beginResetModel();
    pending_ = 0;
    endResetModel();
    if (onColumns) onColumns();
}

void ReportModel::rowsReset() {
    beginResetModel();
    pending_ = 0;
    endResetModel();
}

void ReportModel::rowInsertedAtTop() {
    // The view catches up a few times a second, not once per row.
    if (++pending_ == 1) QTimer::singleShot(100, this, [this] { flush(); });
}

void ReportModel::rowChanged(int index) {
    if (index < pending_) return; // not shown yet; it will be read when flushed
    const int shownRow = index - pending_;
    emit dataChanged(this->index(shownRow, 0), this->index(shownRow, columnCount() - 1));
}

void ReportModel::visibilitySet() {
    flush();
    if (onVisibility) onVisibility();
}

ReportView::ReportView(ListView& model, QWidget* parent) : QTreeView(parent), model_(model) {
    setObjectName(model.name());
    report_ = new ReportModel(model);
    report_->setParent(this);
    setModel(report_);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setSortingEnabled(false);
    setAlternatingRowColors(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header()->setStretchLastSection(false);
    report_->onVisibility = [this] { setVisible(model_.visible()); };
    report_->onColumns = [this] { applyColumns(); };
    setVisible(model.visible());
    applyColumns();
}

void ReportView::setScale(double scale) {
    scale_ = scale;
    applyColumns();
}

void ReportView::applyColumns() {
    const auto& cols = model_.columns();
    for (std::size_t i = 0; i < cols.size(); ++i)
        header()->resizeSection(int(i), qRound(cols[i].widthTwips * scale_ / kTwipsPerPixel));
    header()->setVisible(!cols.empty());
}

} // namespace ui
