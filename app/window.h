#pragma once
// The Qt window frmQunaAgg: frameless, with its own caption bar, showing the headless form.
#include "form/form.h"
#include "platform/ui/views.h"

#include <QElapsedTimer>
#include <QProgressBar>
#include <QWidget>

namespace app {

class Window : public QWidget, public form::WindowHandle, public ui::UntrappedErrors {
public:
    explicit Window(form::Form& form);

    Rect outerRect() const override;
    void setRegion(const std::optional<form::Region>& region) override;
    void show() override { QWidget::show(); }
    void focusElabora() override;
    void showProgress(int entry, int entries, int percent) override;
    void showUntrapped(const QString& text) override;

    QWidget* client() const { return client_; }
    static constexpr int kCaptionHeight = 24;
    // The size the window is designed at (client area and caption bar), in pixels.
    static QSize designSize();
    double scale() const { return scale_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void build();
    int scaled(double pixels) const { return qRound(pixels * scale_); }
    QRect scaled(const QRect& r) const;
    form::Form& form_;
    double scale_ = 1;
    QWidget* client_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QElapsedTimer lastShown_;
    bool updating_ = false; // while an update brings the window up to date
};

// The scale the window is drawn at: 1 when the designed window fits the available area, else the
// largest scale at which it does.
double fittingScale(const QSize& window, const QRect& available);

// Where the window opens: centred in the available area, its top-left corner inside it.
QPoint openingPosition(const QSize& window, const QRect& available);

// Maps the designed fonts to installed ones (metric-compatible where one exists).
void installFontSubstitutions();

} // namespace app
