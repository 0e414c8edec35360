import QtQuick
import Pindle

// A monochrome icon tinted with `color`, `size` pixels square. Decoration only: whatever holds it
// says what it means to a screen reader.
Glyph {
    property string glyph
    property int size: 16

    Accessible.ignored: true

    name: Theme.icons[glyph][0]
    source: Qt.resolvedUrl(Theme.icons[glyph][1])
    width: size
    height: size
}
