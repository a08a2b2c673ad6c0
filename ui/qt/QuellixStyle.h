// The look of the window's controls: Qt's Fusion style, with check and option indicators sized to
// the small boxes of the layout (13 pixels) instead of Fusion's larger ones, so none is clipped.
#pragma once

#include <QProxyStyle>

class QuellixStyle : public QProxyStyle {
public:
    QuellixStyle();
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};
