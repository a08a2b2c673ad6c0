// The Qt view's building: one widget per control, with the user's input wired to the handlers.
#include "ui/qt/QtView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QMoveEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "log/ErrorLog.h"
#include "ui/frmQuellix.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/QtViewParts.h"

namespace {

WindowState stateOf(Qt::WindowStates s) {
    if (s & Qt::WindowMinimized) return WindowState::Minimized;
    if (s & (Qt::WindowMaximized | Qt::WindowFullScreen)) return WindowState::Maximized;
    return WindowState::Normal;
}

// Kinds drawn beneath the others.
bool drawnUnder(ControlKind kind) {
    return kind == ControlKind::Frame || kind == ControlKind::Picture ||
           kind == ControlKind::Line || kind == ControlKind::Label;
}

// The controls whose input runs a handler of the window object, and the handler's name as
// onInput reports it. A control is found by its identity, so its name plays no part in it.
struct Handler {
    Control frmQuellix::*control;
    void (frmQuellix::*run)();
    const char* name;
};

constexpr Handler kHandlers[] = {
    {&frmQuellix::cmdWipe, &frmQuellix::cmdWipe_Click, "cmdWipe_Click"},
    {&frmQuellix::cmdStop, &frmQuellix::cmdStop_Click, "cmdStop_Click"},
    {&frmQuellix::cmdExit, &frmQuellix::cmdExit_Click, "cmdExit_Click"},
    {&frmQuellix::cmdHelp, &frmQuellix::cmdHelp_Click, "cmdHelp_Click"},
    {&frmQuellix::cmdMinimize, &frmQuellix::cmdMinimize_Click, "cmdMinimize_Click"},
    {&frmQuellix::chkToolTip, &frmQuellix::chkToolTip_Click, "chkToolTip_Click"},
};

// The handler of a control, or nullptr for a control whose input runs none.
const Handler* handlerOf(const frmQuellix& w, const Control& c) {
    for (const Handler& h : kHandlers) {
        if (&(w.*h.control) == &c) return &h;
    }
    return nullptr;
}

}  // namespace

FormWidget::FormWidget(QtView& view)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      view_(view) {}

void FormWidget::closeEvent(QCloseEvent* e) {
    // The window never closes on request: the close handler takes the exit path instead.
    e->ignore();
    view_.closeRequested();
}

void FormWidget::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) view_.stateChanged();
}

void FormWidget::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    view_.moved();
}

QtView::QtView(frmQuellix& window) : w_(window), formState_(std::make_unique<FormState>()) {
    build();
}

QtView::~QtView() = default;

QWidget* QtView::form() const {
    return form_.get();
}

const Control& QtView::controlOf(const Binding& b) const {
    return b.single != nullptr ? *b.single : w_.chkDrive[static_cast<std::size_t>(b.drive)];
}

QWidget* QtView::widgetOf(const Control& control) const {
    for (const auto& b : bindings_) {
        if (&controlOf(*b) == &control) return b->widget;
    }
    for (const auto& b : driveBoxes_) {
        if (&controlOf(*b) == &control) return b->widget;
    }
    return nullptr;
}

void QtView::build() {
    form_ = std::make_unique<FormWidget>(*this);
    form_->setWindowIcon(quellixIcon());
    form_->setFixedSize(pixels(w_.Me.ClientWidth), pixels(w_.Me.ClientHeight));
    form_->setAutoFillBackground(true);
    options_ = new QButtonGroup(form_.get());
    options_->setExclusive(true);
    QObject::connect(options_, &QButtonGroup::idClicked, form_.get(), [this](int index) {
        input("optRandom_Click", [this, index] { w_.optRandom_Click(index); });
    });

    // Widgets are made in drawing order: coloured bands, pictures, lines and plain labels first,
    // so that value labels, boxes, option buttons, bars and buttons lie above them where the
    // layout overlays them.
    const std::vector<Control*> all = w_.AllControls();
    for (bool under : {true, false}) {
        for (Control* c : all) {
            if (c->Kind == ControlKind::DriveCheckBox || c->Kind == ControlKind::DriveList ||
                c->Kind == ControlKind::CommonDialog || drawnUnder(c->Kind) != under) {
                continue;
            }
            bindings_.push_back(std::make_unique<Binding>());
            bindings_.back()->single = c;
            bind(*c, -1);
        }
    }
    sync();
}

QtView::Binding& QtView::bind(const Control& c, int driveIndex) {
    Binding& b = driveIndex < 0 ? *bindings_.back() : *driveBoxes_.back();
    QWidget* parent = form_.get();
    const Handler* handler = handlerOf(w_, c);

    switch (c.Kind) {
        case ControlKind::Label:
        case ControlKind::ValueLabel:
        case ControlKind::Picture: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(false);
            b.widget = label;
            break;
        }
        case ControlKind::Button: {
            auto* push = new QPushButton(parent);
            if (handler != nullptr) {
                QObject::connect(push, &QPushButton::clicked, push, [this, handler] {
                    input(handler->name, [this, handler] { (w_.*handler->run)(); });
                });
            }
            b.widget = push;
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::DriveCheckBox: {
            auto* box = new QCheckBox(parent);
            Binding* bp = &b;
            QObject::connect(box, &QCheckBox::clicked, box, [this, bp, handler](bool checked) {
                const Control& target = controlOf(*bp);
                input(handler != nullptr ? std::string(handler->name) : target.Name + "_Click",
                      [this, bp, checked, handler] {
                          const_cast<Control&>(controlOf(*bp)).Value = checked ? 1 : 0;
                          if (handler != nullptr) (w_.*handler->run)();
                      });
            });
            b.widget = box;
            break;
        }
        case ControlKind::OptionButton: {
            auto* option = new QRadioButton(parent);
            options_->addButton(option, c.Index);
            b.widget = option;
            break;
        }
        case ControlKind::Line:
            b.widget = new LineWidget(parent);
            break;
        case ControlKind::Frame:
            b.widget = new QWidget(parent);
            break;
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setTextVisible(false);
            b.widget = bar;
            break;
        }
        case ControlKind::DriveList:
        case ControlKind::CommonDialog:
            b.widget = new QWidget(parent);
            break;
    }
    const bool focusable = c.Kind == ControlKind::Button || c.Kind == ControlKind::CheckBox ||
                           c.Kind == ControlKind::DriveCheckBox ||
                           c.Kind == ControlKind::OptionButton;
    b.widget->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
    b.widget->setObjectName(
        text(c.Index >= 0 ? c.Name + "(" + std::to_string(c.Index) + ")" : c.Name));
    b.widget->raise();
    return b;
}

void QtView::input(const std::string& name, const std::function<void()>& handler) {
    if (onInput) onInput(name);
    try {
        handler();
    } catch (const RuntimeError& e) {
        // A handler without an error handler of its own must not take the window down.
        ErrorLog(w_.platform(), "fQL " + name, e.number(), e.description());
    }
    sync();
}

void QtView::stateChanged() {
    if (syncing_) return;
    const WindowState now = stateOf(form_->windowState());
    if (now == w_.Me.State) return;
    // The user (through the window manager) changed the state: the window object follows, and
    // the resize handler runs as it does for any change of size or state.
    w_.Me.State = now;
    formState_->state = now;
    input("Form_Resize", [this] { w_.Form_Resize(); });
}

void QtView::moved() {
    if (syncing_ || !form_->isVisible() || w_.Me.State != WindowState::Normal) return;
    // The window object tells where the window is, so that putting it back is a change again.
    w_.Me.Left = form_->x() * 15;
    w_.Me.Top = form_->y() * 15;
    formState_->left = w_.Me.Left;
    formState_->top = w_.Me.Top;
}

void QtView::closeRequested() {
    input("Form_QueryUnload", [this] {
        std::int16_t cancel = 0;
        w_.Form_QueryUnload(cancel, 0);
    });
}
