#include "window.h"
#include "form/messages.h"

#include "handlers.h"
#include "layout.h"
#include "shape.h"

#include "platform/ui/views.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <map>

// The window's pictures live in a static library, whose resources must be registered by hand.
static void registerResources() {
    Q_INIT_RESOURCE(resources);
}

namespace app {

namespace {
// A picture from the resources, read as the PNG it is: left to guess, Qt loads every image
// format plugin (SVG, JPEG, GIF, ICO and their libraries) to ask each whether it can read it.
QPixmap picture(const char* resource) {
    QImageReader reader(QString::fromLatin1(resource), "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QRect pixels(const ControlDesign& d) {
    return QRect(d.left / kTwipsPerPixel, d.top / kTwipsPerPixel, d.width / kTwipsPerPixel,
                 d.height / kTwipsPerPixel);
}

// The first installed face among the designed family and its substitutes, so that the font
// is found directly rather than through the font system's search for a missing family.
QString installedFamily(const QString& designed) {
    static std::map<QString, QString> chosen;
    auto it = chosen.find(designed);
    if (it == chosen.end()) {
        QString family = designed;
        for (const QString& candidate : QStringList{designed} + QFont::substitutes(designed))
            if (QFontDatabase::hasFamily(candidate)) {
                family = candidate;
                break;
            }
        it = chosen.emplace(designed, family).first;
    }
    return it->second;
}

QFont fontFor(const FontSpec& font, double scale) {
    QFont f(installedFamily(font.family));
    f.setPixelSize(qRound(font.points * 96.0 / 72.0 * scale)); // designed at 96 dots per inch
    f.setBold(font.bold);
    return f;
}

// The caption bar of the frameless window: icon, title, close box; dragging moves the window.
class CaptionBar : public QWidget {
public:
    CaptionBar(QWidget* window, double scale) : QWidget(window) {
        setObjectName(QStringLiteral("captionBar"));
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(10, 36, 106));
        p.setColor(QPalette::WindowText, Qt::white);
        setPalette(p);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(qRound(12 * scale), 2, qRound(12 * scale), 2);
        auto* icon = new QLabel(this);
        const int side = qRound(16 * scale);
        icon->setPixmap(window->windowIcon().pixmap(side, side));
        auto* title = new QLabel(QString::fromLatin1(kWindowCaption), this);
        title->setObjectName(QStringLiteral("captionTitle"));
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        auto* close = new QToolButton(this);
        close->setObjectName(QStringLiteral("closeBox"));
        close->setText(QStringLiteral("✕"));
        close->setToolTip(QStringLiteral("Chiudi"));
        close->setAccessibleName(QStringLiteral("Chiudi"));
        close->setAutoRaise(true);
        close->setStyleSheet(QStringLiteral("color: white;"));
        connect(close, &QToolButton::clicked, window, &QWidget::close);
        layout->addWidget(icon);
        layout->addWidget(title, 1);
        layout->addWidget(close);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        // The window system moves the window where it offers to: some (Wayland) ignore a
        // window's own move().
        QWindow* handle = window()->windowHandle();
        systemMove_ = handle && handle->startSystemMove();
        grab_ = e->globalPosition().toPoint() - window()->frameGeometry().topLeft();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!systemMove_ && (e->buttons() & Qt::LeftButton))
            window()->move(e->globalPosition().toPoint() - grab_);
    }

private:
    QPoint grab_;
    bool systemMove_ = false;
};

// Assistive tools see the window as the dialog it is (a plain widget reads as a filler).
QAccessibleInterface* windowAccessible(const QString&, QObject* object) {
    if (auto* w = dynamic_cast<Window*>(object))
        return new QAccessibleWidget(w, QAccessible::Dialog, w->windowTitle());
    return nullptr;
}

} // namespace

void installFontSubstitutions() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

Window::Window(form::Form& form) : form_(form) {
    registerResources();
    static const bool accessibleAsDialog = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    Q_UNUSED(accessibleAsDialog)
    setObjectName(QStringLiteral("frmQunaAgg"));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    QIcon icon;
    // Every size the desktop may ask for (menus, task bars, switchers) drawn for that size.
    for (const char* file :
         {":/quna16.png", ":/quna24.png", ":/quna32.png", ":/quna48.png", ":/quna.png"})
        icon.addPixmap(picture(file));
    setWindowIcon(icon);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        scale_ = fittingScale(designSize(), s->availableGeometry());
    setFont(fontFor({QStringLiteral("MS Sans Serif"), 8.25, false}, scale_));
    build();
}

QSize Window::designSize() {
    return {kClientWidthTwips / kTwipsPerPixel,
            kClientHeightTwips / kTwipsPerPixel + kCaptionHeight};
}

// Each edge is scaled on its own, so that neighbouring controls keep their common edges.
QRect Window::scaled(const QRect& r) const {
    return QRect(QPoint(scaled(r.left()), scaled(r.top())),
                 QPoint(scaled(r.left() + r.width()) - 1, scaled(r.top() + r.height()) - 1));
}

void Window::build() {
    const int width = scaled(kClientWidthTwips / kTwipsPerPixel);
    const int height = scaled(kClientHeightTwips / kTwipsPerPixel);
    const int captionHeight = scaled(kCaptionHeight);
    setFixedSize(width, height + captionHeight);
    auto* caption = new CaptionBar(this, scale_);
    caption->setGeometry(0, 0, width, captionHeight);
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setGeometry(0, captionHeight, width, height);

    form::Form& f = form_;
    std::map<QString, QWidget*> widgets;
    auto parentOf = [&](const ControlDesign& d) {
        return d.parent.isEmpty() ? client_ : widgets.at(d.parent);
    };
    std::map<QString, std::function<QWidget*(QWidget*)>> makers{
        {"SSPanel1", [&](QWidget* p) { return new ui::PanelView(f.SSPanel1, p); }},
        {"Frame1", [&](QWidget* p) { return new ui::FrameView(f.Frame1, p); }},
        {"Frame2", [&](QWidget* p) { return new ui::FrameView(f.Frame2, p); }},
        {"Frame3", [&](QWidget* p) { return new ui::FrameView(f.Frame3, p); }},
        {"Drive1", [&](QWidget* p) { return new ui::DriveView(f.Drive1, p); }},
        {"Dir1",
         [&](QWidget* p) {
             return new ui::DirView(f.Dir1, QIcon(picture(":/folder_open.png")),
                                    QIcon(picture(":/folder_closed.png")), p);
         }},
        {"File1", [&](QWidget* p) { return new ui::FileView(f.File1, p); }},
        {"lv", [&](QWidget* p) { return new ui::ReportView(f.lv, p); }},
        {"Label2", [&](QWidget* p) { return new ui::LabelView(f.Label2, p); }},
        {"Label3", [&](QWidget* p) { return new ui::LabelView(f.Label3, p); }},
        {"lblVersPC", [&](QWidget* p) { return new ui::LabelView(f.lblVersPC, p); }},
        {"lblVersDB", [&](QWidget* p) { return new ui::LabelView(f.lblVersDB, p); }},
        // A long path does not fit: the tool tip shows it whole.
        {"lblPathArchivi",
         [&](QWidget* p) { return new ui::LabelView(f.lblPathArchivi, p, ui::CaptionTip::Shown); }},
        {"cmdElabora",
         [&](QWidget* p) {
             return new ui::ButtonView(f.cmdElabora, QIcon(picture(":/elabora.png")), p);
         }},
        {"cmdAnnulla",
         [&](QWidget* p) {
             return new ui::ButtonView(f.cmdAnnulla, QIcon(picture(":/esci.png")), p);
         }},
    };
    for (std::size_t i = 0; i < f.Label1.size(); ++i) {
        ui::Captioned& label = f.Label1[i];
        makers[label.name()] = [&label](QWidget* p) { return new ui::LabelView(label, p); };
    }

    // A frame's children are placed in its client area, so they come after it in the table.
    for (const ControlDesign& d : controlDesigns()) {
        QWidget* w = makers.at(d.name)(parentOf(d));
        w->setGeometry(scaled(pixels(d)));
        w->setFont(fontFor(d.font, scale_));
        if (auto* button = qobject_cast<QToolButton*>(w))
            button->setIconSize(button->iconSize() * scale_);
        if (auto* list = dynamic_cast<ui::ReportView*>(w)) list->setScale(scale_);
        if (!d.toolTip.isEmpty()) w->setToolTip(d.toolTip);
        QPalette p = w->palette();
        if (d.background) {
            p.setColor(QPalette::Window, *d.background);
            p.setColor(QPalette::Base, *d.background);
            w->setAutoFillBackground(true);
        } else {
            // A control without a colour of its own has the system's: a list inside a
            // coloured frame keeps the white of lists, not the frame's colour.
            p.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
        }
        if (d.foreground) {
            p.setColor(QPalette::WindowText, *d.foreground);
            p.setColor(QPalette::Text, *d.foreground);
        }
        w->setPalette(p);
        widgets[d.name] = w;
    }
    widgets.at(QStringLiteral("lv"))->setVisible(f.lv.visible());

    // How far an update is, in the free space under the version label and left of the
    // buttons; shown only while an update runs.
    progress_ = new QProgressBar(client_);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setGeometry(scaled(QRect(40, 502, 240, 22)));
    progress_->setFont(fontFor({QStringLiteral("MS Sans Serif"), 8.25, true}, scale_));
    progress_->setAlignment(Qt::AlignCenter);
    progress_->setFocusPolicy(Qt::NoFocus);
    progress_->hide();

    // Tab order by tab index, among the controls that take the focus (labels, frames and the
    // panel never do, as in the classic controls).
    std::vector<const ControlDesign*> order;
    for (const ControlDesign& d : controlDesigns())
        if (widgets.at(d.name)->focusPolicy() & Qt::TabFocus) order.push_back(&d);
    std::sort(order.begin(), order.end(),
              [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(widgets.at(order[i - 1]->name), widgets.at(order[i]->name));

    // Screen readers name each list by the label above it (as a label of the list, too) and
    // describe each value by the caption that tells what it is.
    const std::pair<const char*, const char*> namedBy[] = {
        {"Drive1", "Label1_2"}, {"Dir1", "Label1_3"}, {"File1", "Label1_4"}, {"lv", "Label1_5"}};
    for (const auto& [control, label] : namedBy) {
        auto* caption = static_cast<QLabel*>(widgets.at(label));
        caption->setBuddy(widgets.at(control));
        widgets.at(control)->setAccessibleName(caption->text().trimmed());
        widgets.at(control)->setAccessibleDescription(widgets.at(control)->toolTip());
    }
    const std::pair<const char*, const ui::Captioned*> describedBy[] = {
        {"lblPathArchivi", &f.Label1[0]}, {"lblVersDB", &f.Label1[1]}, {"lblVersPC", &f.Frame2}};
    for (const auto& [value, caption] : describedBy)
        widgets.at(value)->setAccessibleDescription(caption->caption().trimmed());

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(openingPosition(size(), s->availableGeometry()));
}

double fittingScale(const QSize& window, const QRect& available) {
    return std::min({1.0, double(available.width()) / window.width(),
                     double(available.height()) / window.height()});
}

QPoint openingPosition(const QSize& window, const QRect& available) {
    // Centred, then pulled back inside: when the window is larger than the screen (at large
    // scale factors) its top-left corner stays on it, so the caption bar, which alone moves
    // the frameless window, can be reached.
    const QPoint centred = available.center() - QRect(QPoint(), window).center();
    return {
        std::max(available.left(), std::min(centred.x(), available.right() + 1 - window.width())),
        std::max(available.top(), std::min(centred.y(), available.bottom() + 1 - window.height()))};
}

form::WindowHandle::Rect Window::outerRect() const {
    const QRect r = frameGeometry();
    return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void Window::setRegion(const std::optional<Region>& region) {
    if (!region) {
        clearMask();
        return;
    }
    if (region->empty()) {
        // Shows nothing. Qt reads an empty mask as no mask at all, so the mask is one pixel
        // outside the window, which covers none of it.
        setMask(QRegion(-1, -1, 1, 1));
        return;
    }
    QPainterPath path;
    switch (region->kind) {
    case Region::Kind::Ellipse:
        path.addEllipse(0, 0, region->width, region->height);
        break;
    case Region::Kind::RoundRect:
        path.addRoundedRect(0, 0, region->width, region->height, region->cornerWidth / 2.0,
                            region->cornerHeight / 2.0);
        break;
    case Region::Kind::Polygon: {
        QPolygon polygon;
        for (const Point& p : region->corners)
            polygon << QPoint(p.x, p.y);
        setMask(QRegion(polygon, Qt::OddEvenFill));
        return;
    }
    }
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void Window::showUntrapped(const QString& text) {
    form_.host.messageBox(text, ui::Buttons::Ok, ui::Icon::Exclamation);
}

void Window::focusElabora() {
    if (auto* b = findChild<QWidget*>(QStringLiteral("cmdElabora"))) b->setFocus();
}

void Window::showProgress(int entry, int entries, int percent) {
    progress_->setRange(0, 100);
    progress_->setValue(percent);
    progress_->setFormat(form::msg::extractionProgress(entry, entries));
    progress_->setAccessibleName(progress_->text());
    progress_->show();
    // The update runs as one procedure, so the window is brought up to date here, a few times
    // a second. Painting what the question box uncovered needs the window system's news of
    // it, so its events are taken in, but no input: no click or key reaches a handler, and a
    // close is refused (see closeEvent); input waits, as it always did, until the update ends.
    if (entry == 1 || entry == entries || !lastShown_.isValid() || lastShown_.elapsed() >= 100) {
        updating_ = true;
        repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        updating_ = false;
        lastShown_.start();
    }
}

void Window::closeEvent(QCloseEvent* e) {
    if (updating_) {
        e->ignore();
        return;
    }
    e->accept();
    Form_Unload(form_); // starts the main program and ends the process
}

} // namespace app
