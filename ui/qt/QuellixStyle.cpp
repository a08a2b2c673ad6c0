// Fusion with indicators that fit the layout's check boxes and option buttons.
#include "ui/qt/QuellixStyle.h"

#include <QStyleFactory>
#include <QWidget>
#include <algorithm>

QuellixStyle::QuellixStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

int QuellixStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                              const QWidget* widget) const {
    const int base = QProxyStyle::pixelMetric(metric, option, widget);
    switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            // The layout's boxes are 13 or 14 pixels high; one pixel is left free so that the
            // indicator's edge is drawn whole, and all indicators get the same size.
            if (widget != nullptr && widget->height() > 1) {
                return std::min({base, widget->height() - 1, 12});
            }
            return base;
        default:
            return base;
    }
}
