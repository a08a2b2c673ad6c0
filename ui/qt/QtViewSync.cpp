// The Qt view's syncing: copies the window object's state onto the widgets at every yield.
#include "ui/qt/QtView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <map>

#include "ui/frmQuellix.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/QtViewParts.h"

namespace {

QColor rgb(std::int32_t colour) {
    return QColor((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// The families that stand in for the designed ones where those are not installed.
QString resolveFamily(const std::string& name) {
    static std::map<std::string, QString> resolved;
    const auto it = resolved.find(name);
    if (it != resolved.end()) return it->second;
    QString family = text(name);
    if (!QFontDatabase::hasFamily(family)) {
        // Liberation Sans has Arial's metrics, so texts take the room they were designed for.
        if (name == "Arial") family = "Liberation Sans";
        // A clean sans that draws digits crisply at seven pixels and can be drawn narrower.
        if (name == "Small Fonts") family = "Liberation Sans";
    }
    resolved.emplace(name, family);
    return family;
}

// A font in which the text fits the width. Plain labels first draw their text narrower, which
// keeps the spacing of the decoration labels' runs of blanks; then every label takes a smaller
// size, down to a floor.
QFont fitted(QFont font, const QString& s, double width, bool narrowFirst) {
    if (s.isEmpty() || width <= 0) return font;
    auto advance = [&](const QFont& f) { return QFontMetricsF(f).horizontalAdvance(s); };
    if (advance(font) <= width) return font;
    if (narrowFirst) {
        constexpr int kNarrowest = 60;  // percent of the normal width
        int stretch = static_cast<int>(100.0 * width / advance(font));
        for (stretch = std::max(stretch, kNarrowest); stretch >= kNarrowest; --stretch) {
            font.setStretch(stretch);
            if (advance(font) <= width) return font;
        }
    }
    constexpr int kSmallest = 6;
    while (font.pixelSize() > kSmallest && advance(font) > width) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

// A disabled control's reason stands in for its tool-tip help.
const std::string& shownToolTip(const Control& c) {
    return !c.Enabled && !c.DisabledReason.empty() ? c.DisabledReason : c.ToolTipText;
}

Qt::WindowStates qtState(WindowState s) {
    switch (s) {
        case WindowState::Minimized:
            return Qt::WindowMinimized;
        case WindowState::Maximized:
            return Qt::WindowMaximized;
        default:
            return Qt::WindowNoState;
    }
}

}  // namespace

int QtView::pixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QFont QtView::fontOf(const Control& c) {
    QFont font(resolveFamily(c.FontName));
    // Sizes are points at 96 dpi; pixel sizes keep the layout the same on every screen.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(c.FontSize * 96.0 / 72.0))));
    font.setBold(c.FontBold);
    return font;
}

void QtView::sync() {
    if (syncing_) return;
    syncing_ = true;
    syncDriveBoxes();
    for (auto& b : bindings_)
        apply(*b);
    for (auto& b : driveBoxes_)
        apply(*b);
    syncTabOrder();
    syncForm();
    syncing_ = false;
}

void QtView::syncDriveBoxes() {
    const std::size_t count = w_.chkDrive.size();
    while (driveBoxes_.size() > count) {
        // The box may be the one whose click is being handled further up the stack.
        driveBoxes_.back()->widget->hide();
        driveBoxes_.back()->widget->disconnect();
        driveBoxes_.back()->widget->deleteLater();
        driveBoxes_.pop_back();
    }
    while (driveBoxes_.size() < count) {
        const int index = static_cast<int>(driveBoxes_.size());
        driveBoxes_.push_back(std::make_unique<Binding>());
        driveBoxes_.back()->drive = index;
        bind(w_.chkDrive[static_cast<std::size_t>(index)], index);
    }
}

void QtView::apply(Binding& b) {
    const Control& c = controlOf(b);
    Control& last = b.last;
    QWidget* widget = b.widget;
    const bool fresh = b.fresh;
    b.fresh = false;

    const bool placed = fresh || c.Left != last.Left || c.Top != last.Top ||
                        c.Width != last.Width || c.Height != last.Height || c.X1 != last.X1 ||
                        c.Y1 != last.Y1 || c.X2 != last.X2 || c.Y2 != last.Y2;
    if (placed) {
        if (c.Kind == ControlKind::Line) {
            auto* line = static_cast<LineWidget*>(widget);
            const QPoint a(pixels(c.X1), pixels(c.Y1));
            const QPoint z(pixels(c.X2), pixels(c.Y2));
            const QRect box = QRect(a, z).normalized();
            widget->setGeometry(box.x(), box.y(), box.width(), box.height());
            line->from = a - box.topLeft();
            line->to = z - box.topLeft();
        } else {
            const int left = pixels(c.Left);
            const int top = pixels(c.Top);
            widget->setGeometry(left, top, pixels(c.Left + c.Width) - left,
                                pixels(c.Top + c.Height) - top);
        }
    }
    if (fresh || c.Visible != last.Visible) widget->setVisible(c.Visible);
    if (fresh || c.Enabled != last.Enabled) widget->setEnabled(c.Enabled);
    if (fresh || shownToolTip(c) != shownToolTip(last)) widget->setToolTip(text(shownToolTip(c)));

    const bool styled = fresh || c.BackColor != last.BackColor || c.ForeColor != last.ForeColor;
    if (styled) {
        QPalette palette = widget->palette();
        // Text keeps the style's grey where the control is disabled.
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::WindowText, rgb(c.ForeColor));
            palette.setColor(group, QPalette::ButtonText, rgb(c.ForeColor));
            palette.setColor(group, QPalette::Text, rgb(c.ForeColor));
        }
        if (c.BackColor >= 0) {
            palette.setColor(QPalette::Window, rgb(c.BackColor));
            palette.setColor(QPalette::Button, rgb(c.BackColor));
        }
        widget->setPalette(palette);
        const bool opaque =
            c.BackColor >= 0 && c.Kind != ControlKind::Button && c.Kind != ControlKind::ValueLabel;
        widget->setAutoFillBackground(opaque);
        if (c.Kind == ControlKind::ValueLabel) {
            widget->setStyleSheet(QString("QLabel { background: %1; color: %2; border: 1px "
                                          "solid #000000; }")
                                      .arg(rgb(c.BackColor).name(), rgb(c.ForeColor).name()));
        }
        if (c.Kind == ControlKind::Line) {
            static_cast<LineWidget*>(widget)->colour = rgb(c.ForeColor);
            widget->update();
        }
    }

    const bool texted = fresh || placed || c.Caption != last.Caption ||
                        c.FontName != last.FontName || c.FontSize != last.FontSize ||
                        c.FontBold != last.FontBold || c.TextAlign != last.TextAlign;
    if (texted) {
        const QString caption = text(c.Caption);
        const QFont font = fontOf(c);
        const Qt::Alignment horizontal =
            c.TextAlign == Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft;
        switch (c.Kind) {
            case ControlKind::Label: {
                auto* label = static_cast<QLabel*>(widget);
                label->setFont(fitted(font, caption, widget->width(), true));
                label->setAlignment(horizontal | Qt::AlignTop);
                label->setText(caption);
                break;
            }
            case ControlKind::ValueLabel: {
                auto* label = static_cast<QLabel*>(widget);
                // Inside the border, with a little air at each end.
                label->setFont(fitted(font, caption, widget->width() - 4, false));
                label->setAlignment(horizontal | Qt::AlignVCenter);
                label->setText(caption);
                break;
            }
            case ControlKind::Button:
                widget->setFont(font);
                static_cast<QPushButton*>(widget)->setText(caption);
                break;
            case ControlKind::DriveCheckBox: {
                auto* box = static_cast<QCheckBox*>(widget);
                box->setFont(font);
                // A long mount point is shortened in its middle rather than cut off at the edge;
                // the indicator and its gap take the rest of the box.
                const int room = widget->width() - 20;
                box->setText(QFontMetrics(font).elidedText(caption, Qt::ElideMiddle, room));
                break;
            }
            default:
                break;
        }
    }

    if (fresh || c.Value != last.Value) {
        switch (c.Kind) {
            case ControlKind::CheckBox:
            case ControlKind::DriveCheckBox:
                static_cast<QCheckBox*>(widget)->setChecked(c.Value != 0);
                break;
            case ControlKind::OptionButton: {
                auto* option = static_cast<QRadioButton*>(widget);
                if (c.Value != 0) {
                    option->setChecked(true);
                } else if (option->isChecked()) {
                    // An exclusive group keeps one button checked; this one is cleared by hand.
                    options_->setExclusive(false);
                    option->setChecked(false);
                    options_->setExclusive(true);
                }
                break;
            }
            case ControlKind::ProgressBar:
                static_cast<QProgressBar*>(widget)->setValue(std::clamp(c.Value, 0, 100));
                break;
            default:
                break;
        }
    }
    if (c.Kind == ControlKind::Picture && (fresh || c.Picture != last.Picture)) {
        static_cast<QLabel*>(widget)->setPixmap(quellixBitmap(c.Picture));
    }
    last = c;
}

void QtView::syncTabOrder() {
    std::vector<std::pair<int, QWidget*>> order;
    auto add = [&](const Binding& b) {
        const Control& c = controlOf(b);
        if (c.TabIndex >= 0 && b.widget->focusPolicy() != Qt::NoFocus) {
            order.emplace_back(c.TabIndex, b.widget);
        }
    };
    for (const auto& b : bindings_)
        add(*b);
    for (const auto& b : driveBoxes_)
        add(*b);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    if (order == tabOrder_) return;
    tabOrder_ = order;
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
    }
}

void QtView::syncForm() {
    const FormProperties& me = w_.Me;
    FormState& applied = *formState_;
    if (me.Caption != applied.caption) {
        applied.caption = me.Caption;
        form_->setWindowTitle(text(me.Caption));
    }
    if (me.BackColor != applied.back) {
        applied.back = me.BackColor;
        QPalette palette = form_->palette();
        palette.setColor(QPalette::Window, rgb(me.BackColor));
        form_->setPalette(palette);
    }
    if (me.Left != applied.left || me.Top != applied.top) {
        applied.left = me.Left;
        applied.top = me.Top;
        form_->move(pixels(me.Left), pixels(me.Top));
    }
    if (me.State != applied.state) {
        applied.state = me.State;
        form_->setWindowState(qtState(me.State));
    }
    if (me.Visible && !form_->isVisible()) {
        form_->show();
        if (!shownOnce_) {
            shownOnce_ = true;
            // The window system raises the resize handler when the window is first shown; it
            // runs as the next piece of input, not inside this copy of the state.
            QTimer::singleShot(0, form_.get(),
                               [this] { input("Form_Resize", [this] { w_.Form_Resize(); }); });
        }
    } else if (!me.Visible && form_->isVisible()) {
        form_->hide();
    }
}
