#pragma once

#include <QPoint>
#include <QString>

#include <optional>

class ControllerState;
struct CommandLine;

// The stored settings of sections "General" (window position) and "Settings" (model, port,
// auto refresh, simulation). All geometry is in twips; the window converts with Twips.
class IniSettings
{
public:
    // Screen and current window size in twips (in service mode including the extra height).
    struct Geometry
    {
        double screenWidth = 0;
        double screenHeight = 0;
        double windowWidth = 0;
        double windowHeight = 0;
    };

    // Reads the settings into `state` and applies the command line's model and port switches
    // (the model through setPowerSupply, so the caption follows). Returns the window's new
    // left/top in twips; the caller moves the window there.
    static QPoint load(ControllerState &state, const CommandLine &commandLine, const Geometry &geometry);

    // Writes the window's left/top edge (twips), then model, port, auto refresh and simulation.
    static void save(const ControllerState &state, const QPoint &windowTopLeftTwips);

    // The placement rule on its own. A missing text means "not stored": the default applies.
    static QPoint placeWindow(const std::optional<QString> &storedLeft, const std::optional<QString> &storedTop,
                              const Geometry &geometry);
    // Defaults: at the right edge of the screen, centred vertically.
    static qint32 defaultLeft(const Geometry &geometry);
    static qint32 defaultTop(const Geometry &geometry);
    // Reads a stored value by the leading-number rule, rounded halves to even.
    static qint16 readInt16(const QString &text);
    static qint32 readInt32(const QString &text);
};
