#pragma once
// The Qt window frmQunaAgg: frameless, with its own caption bar, showing the headless form.
#include "form.h"

#include <QWidget>

namespace app {

class Window : public QWidget, public WindowHandle {
public:
    explicit Window(Form& form);

    Rect outerRect() const override;
    void setRegion(const std::optional<Region>& region) override;
    void show() override { QWidget::show(); }
    void focusElabora() override;

    QWidget* client() const { return client_; }
    static constexpr int kCaptionHeight = 24;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void build();
    Form& form_;
    QWidget* client_ = nullptr;
};

// Where the window opens: centred in the available area, its top-left corner inside it.
QPoint openingPosition(const QSize& window, const QRect& available);

// Maps the designed fonts to installed ones (metric-compatible where one exists).
void installFontSubstitutions();

} // namespace app
