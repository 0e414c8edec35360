import QtQuick
import QtQuick.Controls.impl

// A monochrome icon tinted with `color`, `size` pixels square. Decoration only: whatever holds it
// says what it means to a screen reader.
IconImage {
    property string glyph
    property int size: 16

    Accessible.ignored: true

    name: Theme.icons[glyph][0]
    source: Qt.resolvedUrl(Theme.icons[glyph][1])
    sourceSize.width: size
    sourceSize.height: size
    width: size
    height: size
}
