// The Qt view of the main window: one widget per control of the window object. It copies the
// window object's state onto the widgets when asked (at every yield) and sends the user's input
// straight into the window object's handlers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QFont>
#include <QString>

class QWidget;
class QButtonGroup;
class FormWidget;
class frmQuellix;
struct Control;

class QtView {
public:
    explicit QtView(frmQuellix& window);
    ~QtView();
    QtView(const QtView&) = delete;
    QtView& operator=(const QtView&) = delete;

    // The top-level window.
    QWidget* form() const;
    // The widget that shows a control; nullptr for controls without one (the drive list, the
    // common dialog) and for drive boxes the view has not met yet.
    QWidget* widgetOf(const Control& control) const;

    // Copies the window object's state onto the widgets.
    void sync();

    // Called with the handler's name just before user input goes into it.
    std::function<void(const std::string&)> onInput;

    // The font a control is drawn with, before any fitting of its text.
    static QFont fontOf(const Control& control);
    // Pixels for twips (15 twips = 1 pixel at 96 dpi), rounded to the nearest pixel.
    static int pixels(int twips);

private:
    friend class FormWidget;
    struct Binding;

    void build();
    Binding& bind(const Control& control, int driveIndex);
    void syncDriveBoxes();
    void syncForm();
    void syncTabOrder();
    void apply(Binding& b);
    const Control& controlOf(const Binding& b) const;

    // Runs a handler for user input, then shows what it changed.
    void input(const std::string& name, const std::function<void()>& handler);
    // Input from the window system.
    void stateChanged();
    void moved();
    void closeRequested();

    frmQuellix& w_;
    std::unique_ptr<FormWidget> form_;
    QButtonGroup* options_ = nullptr;
    std::vector<std::unique_ptr<Binding>> bindings_;
    std::vector<std::unique_ptr<Binding>> driveBoxes_;
    std::vector<std::pair<int, QWidget*>> tabOrder_;
    bool syncing_ = false;
    bool shownOnce_ = false;
    // The window object's window as last written to or read from the real window.
    struct FormState;
    std::unique_ptr<FormState> formState_;
};
