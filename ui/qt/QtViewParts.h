// What the Qt view's building (QtView.cpp) and its syncing (QtViewSync.cpp) share.
#pragma once

#include <QPainter>
#include <QString>
#include <QWidget>
#include <string>

#include "ui/Control.h"
#include "ui/qt/QtView.h"

inline QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// A separator line between two points, one pixel wide.
class LineWidget : public QWidget {
public:
    using QWidget::QWidget;
    QPoint from, to;
    QColor colour;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(colour, 1));
        p.drawLine(from, to);
    }
};

// The top-level window: hands the window system's requests to the view.
class FormWidget : public QWidget {
public:
    explicit FormWidget(QtView& view);

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    QtView& view_;
};

struct QtView::Binding {
    Control* single = nullptr;  // nullptr for a drive box
    int drive = -1;
    QWidget* widget = nullptr;
    Control last;  // the state last copied onto the widget
    bool fresh = true;
};

struct QtView::FormState {
    std::string caption;
    WindowState state = WindowState::Normal;
    int left = -1;
    int top = -1;
    std::int32_t back = -1;
};
