#pragma once
// The colour of a piece of log text: an RGB value, or the view's own text
// colour. A value type of the log's own, so the log needs no GUI library.

#include <QString>
#include <QtGlobal>

class TlogColour
{
public:
    // The view's text colour.
    constexpr TlogColour() = default;
    // 0xRRGGBB.
    constexpr explicit TlogColour(quint32 rgb) : rgb_(rgb & 0xFFFFFFu), set_(true) {}

    static constexpr TlogColour standard() { return TlogColour(); }
    static constexpr TlogColour red() { return TlogColour(0xFF0000); }   // time stamps, errors
    static constexpr TlogColour green() { return TlogColour(0x008000); } // the client part
    static constexpr TlogColour blue() { return TlogColour(0x0000FF); }  // continuation lines

    constexpr bool isStandard() const { return !set_; }
    // 0 for the standard colour.
    constexpr quint32 rgb() const { return rgb_; }
    // "#rrggbb", or "default".
    QString name() const
    {
        if (!set_)
            return QStringLiteral("default");
        return u'#' + QString::number(rgb_ | 0x1000000u, 16).mid(1);
    }

    friend constexpr bool operator==(TlogColour, TlogColour) = default;

private:
    quint32 rgb_ = 0;
    bool set_ = false;
};
