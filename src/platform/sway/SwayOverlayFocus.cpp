#include "platform/sway/SwayOverlayFocus.h"

#include <QJsonArray>
#include <QWindow>

#include <algorithm>

namespace {

QJsonArray childNodes(const QJsonObject &node) {
    QJsonArray all = node[QLatin1String("nodes")].toArray();
    for (const QJsonValue &floating : node[QLatin1String("floating_nodes")].toArray())
        all.append(floating);
    return all;
}

qint64 idOf(const QJsonValue &node) {
    return node[QLatin1String("id")].toInteger(-1);
}

// The workspace holding container `id`.
QJsonObject workspaceOf(const QJsonObject &node, qint64 id, const QJsonObject &workspace = {}) {
    const QJsonObject here =
        node[QLatin1String("type")].toString() == u"workspace" ? node : workspace;
    for (const QJsonValue &child : childNodes(node)) {
        if (idOf(child) == id)
            return here;
        if (QJsonObject found = workspaceOf(child.toObject(), id, here); !found.isEmpty())
            return found;
    }
    return {};
}

// The container with the keyboard.
qint64 focusedIn(const QJsonObject &node) {
    if (node[QLatin1String("focused")].toBool())
        return idOf(node);
    for (const QJsonValue &child : childNodes(node))
        if (const qint64 id = focusedIn(child.toObject()); id >= 0)
            return id;
    return -1;
}

} // namespace

SwayOverlayFocus::SwayOverlayFocus(std::unique_ptr<SwayIpc> ipc, QObject *parent)
    : QObject(parent)
    , m_ipc(std::move(ipc)) {
    connect(m_ipc.get(), &SwayIpc::windowChanged, this, &SwayOverlayFocus::windowChanged);
}

void SwayOverlayFocus::showing(QWindow &overlay) {
    if (m_window != overlay.winId())
        m_container = -1;
    m_window = overlay.winId();
    m_position = overlay.position();
    m_keyboardWanted = false;
}

void SwayOverlayFocus::takeKeyboard(QWindow &overlay) {
    m_window = overlay.winId();
    m_keyboardWanted = true;
    // Not yet mapped: sway focuses it when it maps.
    if (m_container >= 0)
        m_ipc->run(QStringLiteral("[con_id=%1] focus").arg(m_container));
}

void SwayOverlayFocus::giveKeyboardBack() {
    m_keyboardWanted = false;
    giveBackIfHeld();
}

void SwayOverlayFocus::giveBackIfHeld() {
    if (m_container < 0)
        return;
    m_ipc->tree([this, ours = m_container](const QJsonObject &tree) {
        if (!m_keyboardWanted && focusedIn(tree) == ours)
            focusPrevious(ours, tree);
    });
}

void SwayOverlayFocus::windowChanged(const QJsonObject &event) {
    const QJsonObject container = event[QLatin1String("container")].toObject();
    if (m_window == 0 || quint64(container[QLatin1String("window")].toInteger()) != m_window)
        return;
    const QString change = event[QLatin1String("change")].toString();
    if (change == u"close") {
        m_container = -1;
        return;
    }
    m_container = idOf(container);
    // Sway centres a window it maps: the overlay goes back where it was, as it does on X11.
    if (change == u"new")
        m_ipc->run(QStringLiteral("[con_id=%1] floating enable, sticky enable, "
                                  "move absolute position %2 %3")
                       .arg(m_container)
                       .arg(m_position.x())
                       .arg(m_position.y()));
    if (container[QLatin1String("focused")].toBool())
        giveBackIfHeld();
}

void SwayOverlayFocus::focusPrevious(qint64 ours, const QJsonObject &tree) {
    // Sway lists each container's children most recently focused first: the first that is not
    // the overlay, followed down to a window, is where the user was.
    QJsonObject node = workspaceOf(tree, ours);
    if (node.isEmpty())
        return;
    for (qint64 next = -1;; next = -1) {
        const QJsonArray focusOrder = node[QLatin1String("focus")].toArray();
        for (const QJsonValue &id : focusOrder)
            if (id.toInteger() != ours) {
                next = id.toInteger();
                break;
            }
        if (next < 0)
            break;
        const QJsonArray nodes = childNodes(node);
        const auto child = std::find_if(nodes.begin(), nodes.end(),
                                        [next](const QJsonValue &n) { return idOf(n) == next; });
        if (child == nodes.end())
            break;
        node = child->toObject();
    }
    if (node[QLatin1String("type")].toString() == u"workspace")
        return; // nobody else on this workspace: there is nothing to give back to
    m_ipc->run(QStringLiteral("[con_id=%1] focus").arg(idOf(node)));
}
